#include "app/journal/runjournal.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/journal/host.h"
#include "app/journal/sha256.h"
#include "app/journal/texts.h"
#include "app/mainform.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"

namespace app::journal {

namespace {

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// "2026-12-07 22:58:01 UTC" from a record's ISO time.
std::string ShownTime(const std::string& iso) {
  if (iso.size() < 19) return iso;
  return iso.substr(0, 10) + " " + iso.substr(11, 8) + " UTC";
}

}  // namespace

RunJournal::Opening RunJournal::Open(const Options& options, const std::string& environment,
                                     Warn warn) {
  const JournalChoice choice = ChooseJournal(options, environment);
  if (choice.kind == JournalChoice::Kind::None) return {};
  const std::string shown =
      choice.target.empty() ? std::string(texts::kDefaultFileName) : ShownJournal(choice.target);
  auto journal = [&](std::unique_ptr<JournalStore> store, JournalChoice deferred) {
    return std::unique_ptr<RunJournal>(
        new RunJournal(std::move(store), std::move(deferred), shown, options, warn));
  };
  if (choice.kind == JournalChoice::Kind::Default) return {journal(nullptr, choice), {}};
  try {
    return {journal(OpenJournal(choice, warn), {}), {}};
  } catch (const JournalError& e) {
    return {nullptr, fw::Format(texts::kNamedUnavailable, shown, e.what())};
  }
}

RunJournal::RunJournal(std::unique_ptr<JournalStore> store, JournalChoice deferred,
                       std::string shown, const Options& options, Warn warn)
    : store_(std::move(store)),
      deferred_(std::move(deferred)),
      shown_(std::move(shown)),
      warn_(std::move(warn)) {
  record_.simulated = options.simulate;
  if (options.simulate && !options.scenario.empty()) {
    std::error_code error;
    record_.scenario =
        plat::PathText(std::filesystem::absolute(plat::FilePath(options.scenario), error));
  }
}

bool RunJournal::Ready() {
  if (deferred_.kind == JournalChoice::Kind::None) return store_ != nullptr;
  const JournalChoice choice = std::move(deferred_);
  deferred_ = {};
  try {
    store_ = OpenJournal(choice, warn_);
  } catch (const JournalError& e) {
    warn_(fw::Format(texts::kDefaultUnavailable, shown_, e.what()));
  }
  return store_ != nullptr;
}

template <typename Call>
void RunJournal::Guarded(Call call) {
  if (!store_) return;
  try {
    call(*store_);
  } catch (const std::exception& e) {
    warn_(fw::Format(texts::kRecordFailed, shown_, e.what()));
    store_.reset();
  }
}

std::string RunJournal::WriteStarting(const TMainForm& form) {
  start_ = std::chrono::steady_clock::now();
  if (!Ready()) return {};
  const protocol::ConfigRecord& config = ConfigRecord;
  JournalRecord& r = record_;
  r.host = HostName();
  r.runId = NewRunId(r.host);
  r.started = UtcNow();
  r.user = UserName();
  r.toolVersion = LCDWRITE_VERSION_TEXT;
  r.platform = PlatformName();
  r.port = fw::Cp1252ToUtf8(config.portName);
  if (!form.ConverterInstance().empty()) {
    // The device instance is the converter's serial with its interface's letter ("A") after it.
    r.converterVid = "0403";
    r.converterPid = "6001";
    r.converterSerial = form.ConverterInstance();
    if (r.converterSerial.size() > 1 && r.converterSerial.back() == 'A')
      r.converterSerial.pop_back();
  }
  const std::filesystem::path file =
      plat::FilePath(form.WorkingDirectory()) / app::texts::kConfigFileName;
  r.configPath = reinterpret_cast<const char*>(file.u8string().c_str());
  const std::string bytes = ReadBytes(file);
  r.configSha256 = Sha256Hex(bytes);
  r.configText = fw::Cp1252ToUtf8(bytes);
  const std::string sent = std::string(config.serialPart1, protocol::kSerialPart1Bytes) +
                           std::string(config.serialPart2, protocol::kSerialPart2Bytes);
  r.serial = fw::Cp1252ToUtf8(sent.substr(0, sent.find('\0')));
  for (unsigned char c : sent) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    r.serialBytes += hex;
  }
  r.deviceType = config.deviceType;
  const plat::LatencyStep& latency = form.Latency();
  if (latency.outcome != plat::LatencyStep::Outcome::kAbsent) {
    r.latencyFound = static_cast<int>(latency.found);
  }
  if (latency.outcome == plat::LatencyStep::Outcome::kLowered) r.latencySet = 1;

  std::optional<std::string> before;
  Guarded([&](JournalStore& store) {
    before = store.LastWritten(r.serial);
    store.Begin(r);
    begun_ = true;
  });
  if (!before) return {};
  return fw::Format(texts::kWrittenBefore, fw::Utf8ToCp1252(r.serial), ShownTime(*before));
}

void RunJournal::OperationStored(const char* operation) {
  if (!begun_) return;
  record_.operations += (record_.operations.empty() ? "" : ",") + std::string(operation);
  Guarded([&](JournalStore& store) { store.Progress(record_); });
}

void RunJournal::Complete(int status, const std::string& failure) {
  if (!begun_) return;
  record_.ended = UtcNow();
  record_.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start_)
                           .count();
  record_.exitStatus = status;
  record_.exitName = ExitStatusName(status);
  record_.failure = fw::Cp1252ToUtf8(failure);
  Guarded([&](JournalStore& store) { store.Update(record_); });
}

}  // namespace app::journal
