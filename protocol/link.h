// The link primitives and the shared steps every board operation is built from.
//
// The dialogue is strictly alternating: the host writes one byte, waits until it has left the
// port, then polls the input queue with a fixed sleep until the board's single answer arrives
// or the poll budget runs out. A wait accepts its expected byte only within its acceptance
// limit; the same byte read on a later poll of the budget counts as a time-out. A different
// byte fails at once. Time is counted in polls of the platform's sleep, never measured.
//
// Every step returns only on success: a failure reports through the window (error dialog) and
// ends the process through BoardWindow::EndRun inside the step; nothing is retried. A port
// error raised by the component (EComError, or the silent fw::EAbort after the window's error
// handler) passes through unchanged.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/boardwindow.h"

namespace protocol {

// The transfer errors of ShowTransferError.
enum class TransferErrorKind {
  kWrongReply = 1,          // the board answered a byte with a different byte
  kNoReply = 2,             // the answer did not come within the acceptance limit
  kWrongConfirmation = 3,   // a byte other than 0xAF came while the board was storing
  kNoConfirmation = 4,      // 0xAF did not come within the acceptance limit
};

// What a failing step does: a ShowTransferError of a kind and code, or an AbortTransfer with
// a fixed text.
struct Failure {
  static Failure Transfer(TransferErrorKind kind, int code) { return {kind, code, nullptr}; }
  static Failure Abort(const char* text) { return {TransferErrorKind::kWrongReply, 0, text}; }

  TransferErrorKind kind;
  int code;
  const char* text;  // set for an AbortTransfer
};

// Sleeps on the port's platform clock.
void Sleep(BoardWindow& window, unsigned milliseconds);

// A pause that keeps an eye on the converter: sleeps milliseconds on the port's platform clock
// in slices of at most kPauseSliceMs, against a deadline (the slices add no time of their own;
// on the virtual clock the pause ends at the same instant as one Sleep), and reads the modem
// lines after each slice. A converter pulled during the pause, or a port closed meanwhile, thus
// ends the run within one slice through the port's own error (EComError, or fw::EAbort after
// the window's error handler), the error the port call after the pause would have raised.
// Nothing else differs from Sleep: no bytes, no window calls, no messages processed.
// For pauses after which the sequence uses the port again; the pause before a run is reported
// as written stays a plain Sleep.
inline constexpr unsigned kPauseSliceMs = 50;
void PauseWatchingPort(BoardWindow& window, unsigned milliseconds);

// Waits until the byte written last has left the port: WritePending is asked up to 97 times,
// with a 10 ms sleep between the looks. If the write is still pending at the 97th look, shows
// the send failure with transmitCode and ends the process.
void WaitTransmitDone(BoardWindow& window, int transmitCode);

// Purges the input, sends 0xBA and expects it back within 96 polls of 1 ms (after a 10 ms
// pause; budget 100). When the board did not answer in time or answered something else,
// reports that no device answers and ends the run (RunEnd::kBoardFailed). Leaves the port open.
void ProbeDevice(BoardWindow& window);

// Raise (ResetOn) or lower (ResetOff) DTR, wait 50 ms and require DSR to have followed, read
// once; the reset panel then shows the line's state. On failure report, set progress 0, empty
// the status text and end the run (RunEnd::kBoardFailed).
void ResetOn(BoardWindow& window);
void ResetOff(BoardWindow& window);

// Reports the transfer error "heading + code + tail" of the kind and ends the process.
[[noreturn]] void ShowTransferError(BoardWindow& window, TransferErrorKind kind, int code);
// Reports text and ends the process.
[[noreturn]] void AbortTransfer(BoardWindow& window, const std::string& text);
// Carries out a failure action.
[[noreturn]] void Fail(BoardWindow& window, const Failure& failure);

// Purges the input, sends a start character and expects its echo within 99 polls of 2 ms
// (budget 100); otherwise AbortTransfer with wrongReplyText or noReplyText.
void ExchangeStartCharacter(BoardWindow& window, std::uint8_t character, int transmitCode,
                            const char* wrongReplyText, const char* noReplyText);

// Sends one byte without purging the input first and expects the same byte back within 96
// polls of pollDelayMs (budget 100); otherwise the failure given.
void SendEchoedByte(BoardWindow& window, std::uint8_t byte, int transmitCode,
                    unsigned pollDelayMs, const Failure& onWrongReply, const Failure& onTimeout);

// Waits for the board's confirmation 0xAF: pollCount polls of 20 ms; 0xAF counts within the
// first pollCount - 1 polls. On every poll k > 0 that finds nothing, processes the window's
// messages (when pumpMessages) and sets the progress to k x 100 / (pollCount - 2), truncated.
// Precondition: pollCount > 2.
void AwaitConfirmation(BoardWindow& window, int pollCount, bool pumpMessages,
                       const Failure& onWrongByte, const Failure& onTimeout);

}  // namespace protocol
