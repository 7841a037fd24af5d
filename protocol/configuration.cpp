// SendConfiguration: the version check, then the parameters as decimal text.
#include <algorithm>
#include <string>

#include "protocol/boardbytes.h"
#include "protocol/boardtexts.h"
#include "protocol/link.h"
#include "protocol/operations.h"

namespace protocol {

namespace {

constexpr unsigned kVersionPauseMs = 20;
constexpr unsigned kVersionPollMs = 10;
constexpr int kVersionChecks = 500;

// Sends 0xA8 and waits for the board's version byte: looked at after a 20 ms pause and then
// every 10 ms, up to 500 looks; accepted whenever it is found within them.
void ExchangeVersion(BoardWindow& window, std::uint8_t formatVersion) {
  comport::TCustomComPort& port = window.Port();
  port.PurgeInput();
  port.WriteByte(kStartConfiguration);
  WaitTransmitDone(window, 3);
  Sleep(window, kVersionPauseMs);
  for (int k = 0;;) {
    if (port.InputCount() > 0) {
      if (port.ReadByte() == formatVersion) return;
      AbortTransfer(window, texts::kConfigVersionWrong);
    }
    Sleep(window, kVersionPollMs);
    if (++k == kVersionChecks) AbortTransfer(window, texts::kConfigVersionTimeout);
  }
}

}  // namespace

void SendConfiguration(BoardWindow& window, const ConfigRecord& record) {
  using enum TransferErrorKind;
  ProbeDevice(window);
  if (record.loaded == 0) {
    window.MessageBeep();
    window.ShowInformation(texts::kNothingLoaded);
    window.EndRun(RunEnd::kNothingLoaded);
  }
  ExchangeStartCharacter(window, kStart1, 2, texts::kConfigStart1Wrong,
                         texts::kConfigStart1None);
  ExchangeVersion(window, record.formatVersion);
  window.SetProgress(0);
  ShowStatus(window, texts::kConfigSending);
  window.Port().PurgeInput();

  // The record holds room for kParameterCount values; a larger count must not read past them.
  const std::int32_t count = std::clamp(record.parameterCount, 0, kParameterCount);
  const double step = 100.0 / count;
  for (std::int32_t n = 0; n < count; ++n) {
    for (char c : std::to_string(record.parameters[n])) {
      SendEchoedByte(window, static_cast<std::uint8_t>(c), 4, 1,
                     Failure::Transfer(kWrongReply, 1), Failure::Transfer(kNoReply, 2));
    }
    SendEchoedByte(window, kValueEnd, 5, 1, Failure::Transfer(kWrongReply, 3),
                   Failure::Transfer(kNoReply, 4));
    if (n > 0) {
      window.ProcessMessages();
      window.SetProgress(static_cast<int>(n * step));
    }
    Sleep(window, 10);
  }
  SendEchoedByte(window, kDataEnd, 6, 10, Failure::Transfer(kWrongReply, 5),
                 Failure::Transfer(kNoReply, 6));
  window.SetProgress(0);
  ShowStatus(window, texts::kConfigProgramming);
  AwaitConfirmation(window, 500, true, Failure::Transfer(kWrongConfirmation, 7),
                    Failure::Transfer(kNoConfirmation, 8));
  window.SetProgress(100);
  ShowStatus(window, texts::kConfigDone);
  Sleep(window, 200);
}

}  // namespace protocol
