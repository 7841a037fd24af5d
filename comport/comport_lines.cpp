// TCustomComPort: the direct line operations (DTR, RTS, XON/XOFF state, device reset, break,
// out-of-band character) and the modem status inputs.
//
// Each operation needs an open port and makes exactly one call on the device; a failure comes
// back through Check, so OnError sees it first.
#include <array>
#include <utility>

#include "comport/comport.h"

namespace comport {

namespace {

// The modem status word's bits and the set elements they stand for; other bits are ignored.
constexpr std::array<std::pair<DWORD, TModemStatusValue>, 4> kModemStatusBits{{
    {MS_CTS_ON, msCTS},
    {MS_DSR_ON, msDSR},
    {MS_RING_ON, msRing},
    {MS_RLSD_ON, msRLSD},
}};

}  // namespace

void TCustomComPort::SetDTR() {
  CheckActive();
  Check(Serial().EscapeCommFunction(handle_, SETDTR) != FALSE);
}

void TCustomComPort::ClearDTR() {
  CheckActive();
  Check(Serial().EscapeCommFunction(handle_, CLRDTR) != FALSE);
}

void TCustomComPort::SetRTS() {
  CheckActive();
  Check(Serial().EscapeCommFunction(handle_, SETRTS) != FALSE);
}

void TCustomComPort::ClearRTS() {
  CheckActive();
  Check(Serial().EscapeCommFunction(handle_, CLRRTS) != FALSE);
}

void TCustomComPort::SetXOn() {
  CheckActive();
  Check(Serial().EscapeCommFunction(handle_, SETXON) != FALSE);
}

void TCustomComPort::SetXOff() {
  CheckActive();
  Check(Serial().EscapeCommFunction(handle_, SETXOFF) != FALSE);
}

void TCustomComPort::ResetDevice() {
  CheckActive();
  Check(Serial().EscapeCommFunction(handle_, RESETDEV) != FALSE);
}

void TCustomComPort::SetBreak() {
  CheckActive();
  Check(Serial().SetCommBreak(handle_) != FALSE);
}

void TCustomComPort::ClearBreak() {
  CheckActive();
  Check(Serial().ClearCommBreak(handle_) != FALSE);
}

void TCustomComPort::TransmitChar(char c) {
  CheckActive();
  Check(Serial().TransmitCommChar(handle_, c) != FALSE);
}

TModemStatus ModemStatusFromBits(DWORD status) {
  TModemStatus result;
  for (const auto& [bit, member] : kModemStatusBits) {
    if ((status & bit) != 0) result.Include(member);
  }
  return result;
}

TModemStatus TCustomComPort::GetModemStatus() {
  // At design time there is no device to ask.
  if (Designing()) return TModemStatus();
  CheckActive();
  DWORD status = 0;
  Check(Serial().GetCommModemStatus(handle_, &status) != FALSE);
  return ModemStatusFromBits(status);
}

}  // namespace comport
