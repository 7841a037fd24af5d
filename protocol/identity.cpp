// ProgramSerialNumber and ProgramDeviceType: the board's identity from the record.
#include <string>

#include "protocol/boardbytes.h"
#include "protocol/boardtexts.h"
#include "protocol/link.h"
#include "protocol/operations.h"

namespace protocol {

namespace {

// 100 / 7 as a double: the bar after each of the seven serial bytes.
constexpr double kSerialProgressFactor = 100.0 / (kSerialPart1Bytes + kSerialPart2Bytes);

// Sends serial bytes from a text field as stored, whatever the text's length.
void SendSerialBytes(BoardWindow& window, const char* field, int count, int transmitCode,
                     int& sent) {
  for (int i = 0; i < count; ++i) {
    SendEchoedByte(window, static_cast<std::uint8_t>(field[i]), transmitCode, 2,
                   Failure::Abort(texts::kSerialWrongReply),
                   Failure::Abort(texts::kSerialTimeout));
    ++sent;
    Sleep(window, 50);
    window.SetProgress(static_cast<int>(sent * kSerialProgressFactor));
  }
}

}  // namespace

void ProgramSerialNumber(BoardWindow& window, const ConfigRecord& record) {
  static_assert(sizeof(record.serialPart1) >= kSerialPart1Bytes &&
                sizeof(record.serialPart2) >= kSerialPart2Bytes);
  comport::TCustomComPort& port = window.Port();
  ProbeDevice(window);
  ExchangeStartCharacter(window, kStart1, 35, texts::kSerialStart1Wrong,
                         texts::kSerialStart1None);
  ExchangeStartCharacter(window, kStartSerialNumber, 36, texts::kSerialStart2Wrong,
                         texts::kSerialStart2None);
  port.PurgeInput();
  window.SetProgress(0);
  ShowStatus(window, texts::kSerialSending);
  int sent = 0;
  SendSerialBytes(window, record.serialPart1, kSerialPart1Bytes, 37, sent);
  port.PurgeInput();
  SendSerialBytes(window, record.serialPart2, kSerialPart2Bytes, 38, sent);
  port.PurgeInput();
  SendEchoedByte(window, kDataEnd, 39, 1, Failure::Abort(texts::kSerialWrongReply),
                 Failure::Abort(texts::kSerialTimeout));
  PauseWatchingPort(window, 1000);
  ShowStatus(window, texts::kSerialSent);
  PauseWatchingPort(window, 1000);
  window.SetProgress(0);
  ShowStatus(window, texts::kSerialProgramming);
  AwaitConfirmation(window, 40, false, Failure::Abort(texts::kSerialWrongConfirmation),
                    Failure::Abort(texts::kConfirmationTimeout));
  PauseWatchingPort(window, 1000);
  window.SetProgress(100);
  ShowStatus(window, texts::kSerialProgrammed);
  PauseWatchingPort(window, 200);
}

void ProgramDeviceType(BoardWindow& window, const ConfigRecord& record) {
  using enum TransferErrorKind;
  ProbeDevice(window);
  window.SetProgress(0);
  ExchangeStartCharacter(window, kStart1, 2, texts::kDeviceTypeStart1Wrong,
                         texts::kDeviceTypeStart1None);
  ExchangeStartCharacter(window, kStartDeviceType, 3, texts::kDeviceTypeStart2Wrong,
                         texts::kDeviceTypeStart2None);
  window.Port().PurgeInput();
  ShowStatus(window, texts::kDeviceTypeSending);
  for (char c : std::to_string(record.deviceType)) {
    SendEchoedByte(window, static_cast<std::uint8_t>(c), 4, 1,
                   Failure::Transfer(kWrongReply, 1), Failure::Transfer(kNoReply, 2));
  }
  window.SetProgress(80);
  SendEchoedByte(window, kValueEnd, 5, 1, Failure::Transfer(kWrongReply, 3),
                 Failure::Transfer(kNoReply, 4));
  Sleep(window, 10);
  window.SetProgress(100);
  SendEchoedByte(window, kDataEnd, 6, 10, Failure::Transfer(kWrongReply, 5),
                 Failure::Transfer(kNoReply, 6));
  PauseWatchingPort(window, 1000);
  ShowStatus(window, texts::kDeviceTypeSent);
  PauseWatchingPort(window, 1000);
  window.SetProgress(0);
  ShowStatus(window, texts::kDeviceTypeProgramming);
  AwaitConfirmation(window, 600, false, Failure::Transfer(kWrongConfirmation, 7),
                    Failure::Transfer(kNoConfirmation, 8));
  PauseWatchingPort(window, 1000);
  window.SetProgress(100);
  ShowStatus(window, texts::kDeviceTypeProgrammed);
  PauseWatchingPort(window, 200);
}

}  // namespace protocol
