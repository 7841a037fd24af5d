#include "protocol/link.h"

#include <algorithm>
#include <cstdint>

#include "protocol/boardbytes.h"
#include "protocol/boardtexts.h"

namespace protocol {

namespace {

// Budgets and acceptance limits of the waits, in polls.
constexpr int kTransmitSleeps = 96;      // WritePending is asked once more than this
constexpr int kEchoBudget = 100;
constexpr int kEchoLimit = 96;           // probe, data bytes, 0x5F, 0xFA
constexpr int kStartLimit = 99;          // start characters
constexpr unsigned kTransmitPollMs = 10;
constexpr unsigned kProbePauseMs = 10;
constexpr unsigned kProbePollMs = 1;
constexpr unsigned kStartPollMs = 2;
constexpr unsigned kConfirmPollMs = 20;
constexpr unsigned kResetSettleMs = 50;  // DSR must have followed DTR by then

// The converter's latency timer the budgets and limits above were made for: the 1 ms the
// port's open asks the converter's driver for.
constexpr DWORD kRequestedLatencyMs = 1;

enum class Answer { kExpected, kWrong, kLate };

// The polls an echo wait grows by behind a converter whose latency timer is longer than the
// one asked for (the driver ignored the request, or nobody could make it): the converter may
// hold the echo that much longer before the host sees it. None at 1 ms, and none where the
// platform cannot tell the latency.
int LatencyPolls(BoardWindow& window, unsigned pollMs) {
  comport::TCustomComPort& port = window.Port();
  const DWORD latency = port.PlatformRef().serial().ConverterLatency(port.Handle());
  if (latency <= kRequestedLatencyMs) return 0;
  return static_cast<int>((latency - kRequestedLatencyMs + pollMs - 1) / pollMs);
}

// Polls for one expected byte: sleep, then look once at the input queue. The first byte read
// decides; the expected byte read after the acceptance limit (grown by the converter's
// latency) counts as late.
Answer PollFor(BoardWindow& window, std::uint8_t expected, unsigned pollMs, int budget,
               int limit) {
  comport::TCustomComPort& port = window.Port();
  const int latencyPolls = LatencyPolls(window, pollMs);
  budget += latencyPolls;
  limit += latencyPolls;
  for (int poll = 1; poll <= budget; ++poll) {
    Sleep(window, pollMs);
    if (port.InputCount() > 0) {
      if (port.ReadByte() != expected) return Answer::kWrong;
      return poll <= limit ? Answer::kExpected : Answer::kLate;
    }
  }
  return Answer::kLate;
}

// The reset panel shows the line's last known state.
void ShowResetLine(BoardWindow& window, bool on) {
  window.SetResetPanelColor(on ? window.ResetColorOn() : window.ResetColorOff());
}

[[noreturn]] void ResetFailed(BoardWindow& window, const char* text) {
  window.ReportError(text);
  window.SetProgress(0);
  window.SetStatusText("");
  window.EndRun(RunEnd::kBoardFailed);
}

}  // namespace

void ShowStatus(BoardWindow& window, const std::string& text) {
  window.SetStatusText(text);
  window.RepaintStatus();
  window.ProcessMessages();
}

void Sleep(BoardWindow& window, unsigned milliseconds) {
  window.Port().PlatformRef().kernel().Sleep(milliseconds);
}

void PauseWatchingPort(BoardWindow& window, unsigned milliseconds) {
  comport::TCustomComPort& port = window.Port();
  plat::KernelApi& kernel = port.PlatformRef().kernel();
  const std::int64_t deadline =
      kernel.NowMicroseconds() + static_cast<std::int64_t>(milliseconds) * 1000;
  for (std::int64_t left = deadline - kernel.NowMicroseconds(); left > 0;
       left = deadline - kernel.NowMicroseconds()) {
    kernel.Sleep(static_cast<DWORD>(std::min<std::int64_t>((left + 999) / 1000, kPauseSliceMs)));
    // Only the call's failure matters: a pulled converter or a closed port raises here.
    port.GetModemStatus();
  }
}

void WaitTransmitDone(BoardWindow& window, int transmitCode) {
  for (int sleeps = 0;; ++sleeps) {
    if (!window.Port().WritePending()) return;
    if (sleeps == kTransmitSleeps) {
      AbortTransfer(window, texts::kSendFailedHead + std::to_string(transmitCode) +
                                texts::kSendFailedTail);
    }
    Sleep(window, kTransmitPollMs);
  }
}

void ProbeDevice(BoardWindow& window) {
  comport::TCustomComPort& port = window.Port();
  port.PurgeInput();
  port.WriteByte(kProbe);
  WaitTransmitDone(window, 1);
  Sleep(window, kProbePauseMs);
  if (PollFor(window, kProbe, kProbePollMs, kEchoBudget, kEchoLimit) == Answer::kExpected) return;
  window.ReportError(texts::kNoDevice);
  window.EndRun(RunEnd::kBoardFailed);
}

void ResetOn(BoardWindow& window) {
  comport::TCustomComPort& port = window.Port();
  port.SetDTR();
  window.RepaintResetPanel();
  Sleep(window, kResetSettleMs);
  if (port.GetModemStatus().Contains(comport::msDSR)) {
    ShowResetLine(window, true);
    window.RepaintResetPanel();
    return;
  }
  ShowResetLine(window, false);
  ResetFailed(window, texts::kResetOnFailed);
}

void ResetOff(BoardWindow& window) {
  comport::TCustomComPort& port = window.Port();
  port.ClearDTR();
  window.RepaintResetPanel();
  Sleep(window, kResetSettleMs);
  if (!port.GetModemStatus().Contains(comport::msDSR)) {
    ShowResetLine(window, false);
    window.RepaintResetPanel();
    return;
  }
  ShowResetLine(window, true);
  ResetFailed(window, texts::kResetOffFailed);
}

void ShowTransferError(BoardWindow& window, TransferErrorKind kind, int code) {
  const bool programming = kind == TransferErrorKind::kWrongConfirmation ||
                           kind == TransferErrorKind::kNoConfirmation;
  const char* tail = texts::kTimeoutTail;
  if (kind == TransferErrorKind::kWrongReply) tail = texts::kWrongReplyTail;
  if (kind == TransferErrorKind::kWrongConfirmation) tail = texts::kWrongConfirmationTail;
  window.ReportError((programming ? texts::kProgrammingHeading : texts::kTransferHeading) +
                     std::to_string(code) + tail);
  window.EndRun(RunEnd::kBoardFailed);
}

void AbortTransfer(BoardWindow& window, const std::string& text) {
  window.ReportError(text);
  window.EndRun(RunEnd::kBoardFailed);
}

void Fail(BoardWindow& window, const Failure& failure) {
  if (failure.text != nullptr) AbortTransfer(window, failure.text);
  ShowTransferError(window, failure.kind, failure.code);
}

void ExchangeStartCharacter(BoardWindow& window, std::uint8_t character, int transmitCode,
                            const char* wrongReplyText, const char* noReplyText) {
  comport::TCustomComPort& port = window.Port();
  port.PurgeInput();
  port.WriteByte(character);
  WaitTransmitDone(window, transmitCode);
  switch (PollFor(window, character, kStartPollMs, kEchoBudget, kStartLimit)) {
    case Answer::kExpected: return;
    case Answer::kWrong: AbortTransfer(window, wrongReplyText);
    case Answer::kLate: AbortTransfer(window, noReplyText);
  }
}

void SendEchoedByte(BoardWindow& window, std::uint8_t byte, int transmitCode,
                    unsigned pollDelayMs, const Failure& onWrongReply, const Failure& onTimeout) {
  window.Port().WriteByte(byte);
  WaitTransmitDone(window, transmitCode);
  switch (PollFor(window, byte, pollDelayMs, kEchoBudget, kEchoLimit)) {
    case Answer::kExpected: return;
    case Answer::kWrong: Fail(window, onWrongReply);
    case Answer::kLate: Fail(window, onTimeout);
  }
}

void AwaitConfirmation(BoardWindow& window, int pollCount, bool pumpMessages,
                       const Failure& onWrongByte, const Failure& onTimeout) {
  comport::TCustomComPort& port = window.Port();
  // A double-precision factor, then a truncated product: 100/38 gives 2, 5, 7, 10, ...
  const double factor = 100.0 / (pollCount - 2);
  for (int k = 0; k < pollCount; ++k) {
    Sleep(window, kConfirmPollMs);
    if (port.InputCount() > 0) {
      if (port.ReadByte() != kConfirm) Fail(window, onWrongByte);
      if (k <= pollCount - 2) return;
      Fail(window, onTimeout);
    }
    if (k > 0) {
      if (pumpMessages) window.ProcessMessages();
      window.SetProgress(static_cast<int>(k * factor));
    }
  }
  Fail(window, onTimeout);
}

}  // namespace protocol
