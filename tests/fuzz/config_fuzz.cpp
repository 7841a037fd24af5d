// Quorix.lcd as it comes from the disk: any bytes. The reader either takes the whole file or
// refuses it and leaves the record as it was.
#include <cstdint>
#include <cstring>
#include <string>

#include "app/configfile.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool SameRecord(const protocol::ConfigRecord& a, const protocol::ConfigRecord& b) {
  return a.formatVersion == b.formatVersion && a.loaded == b.loaded &&
         std::memcmp(a.serialPart1, b.serialPart1, sizeof a.serialPart1) == 0 &&
         std::memcmp(a.serialPart2, b.serialPart2, sizeof a.serialPart2) == 0 &&
         std::memcmp(a.portName, b.portName, sizeof a.portName) == 0 &&
         a.parameterCount == b.parameterCount && a.deviceType == b.deviceType &&
         std::memcmp(a.parameters, b.parameters, sizeof a.parameters) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  protocol::ConfigRecord record;
  const protocol::ConfigRecord before = record;
  const app::ConfigLoadOutcome outcome = app::ParseConfigText(content, record);
  switch (outcome.result) {
    case app::ConfigLoadResult::Loaded:
      FUZZ_CHECK(record.loaded == 1);
      FUZZ_CHECK(outcome.detail.empty());
      // The serial texts stay terminated within their fields.
      FUZZ_CHECK(std::memchr(record.serialPart1, '\0', sizeof record.serialPart1) != nullptr);
      FUZZ_CHECK(std::memchr(record.serialPart2, '\0', sizeof record.serialPart2) != nullptr);
      break;
    case app::ConfigLoadResult::Damaged:
      FUZZ_CHECK(!outcome.detail.empty());
      FUZZ_CHECK(SameRecord(record, before));
      break;
    case app::ConfigLoadResult::VersionMismatch:
      FUZZ_CHECK(SameRecord(record, before));
      break;
    case app::ConfigLoadResult::CannotOpen:
      // Only the reading of the file can fail that way, never its text.
      FUZZ_CHECK(false);
      break;
  }
  return 0;
}
