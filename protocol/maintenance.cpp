// ClearOperatingTime and ClearErrorMemory: two start characters, then the confirmation wait.
#include "protocol/boardbytes.h"
#include "protocol/boardtexts.h"
#include "protocol/link.h"
#include "protocol/operations.h"

namespace protocol {

namespace {

struct ClearCommand {
  std::uint8_t start2;
  int transmitCode1;
  int transmitCode2;
  const char* start1Wrong;
  const char* start1None;
  const char* start2Wrong;
  const char* start2None;
  const char* clearing;
  int confirmPolls;
  const char* cleared;
};

constexpr ClearCommand kOperatingTime{
    kStartOperatingTime,           33, 34,
    texts::kOperatingTimeStart1Wrong, texts::kOperatingTimeStart1None,
    texts::kOperatingTimeStart2Wrong, texts::kOperatingTimeStart2None,
    texts::kOperatingTimeClearing, 40, texts::kOperatingTimeCleared};

constexpr ClearCommand kErrorMemory{
    kStartErrorMemory,             31, 32,
    texts::kErrorMemoryStart1Wrong, texts::kErrorMemoryStart1None,
    texts::kErrorMemoryStart2Wrong, texts::kErrorMemoryStart2None,
    texts::kErrorMemoryClearing,   600, texts::kErrorMemoryCleared};

void RunClearCommand(BoardWindow& window, const ClearCommand& command) {
  ProbeDevice(window);
  ExchangeStartCharacter(window, kStart1, command.transmitCode1, command.start1Wrong,
                         command.start1None);
  ExchangeStartCharacter(window, command.start2, command.transmitCode2, command.start2Wrong,
                         command.start2None);
  window.Port().PurgeInput();
  window.SetProgress(0);
  ShowStatus(window, command.clearing);
  AwaitConfirmation(window, command.confirmPolls, true,
                    Failure::Abort(texts::kClearWrongConfirmation),
                    Failure::Abort(texts::kConfirmationTimeout));
  PauseWatchingPort(window, 1000);
  window.SetProgress(100);
  ShowStatus(window, command.cleared);
}

}  // namespace

void ClearOperatingTime(BoardWindow& window) { RunClearCommand(window, kOperatingTime); }

void ClearErrorMemory(BoardWindow& window) { RunClearCommand(window, kErrorMemory); }

}  // namespace protocol
