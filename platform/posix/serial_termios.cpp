#include "platform/posix/serial_termios.h"

#include <cstdint>
#include <cstdlib>

namespace plat::posix {

namespace {

struct SpeedEntry {
  DWORD rate;
  unsigned int code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},
    {150, B150},       {200, B200},       {300, B300},       {600, B600},
    {1200, B1200},     {1800, B1800},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},
    {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kLineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

}  // namespace

unsigned int SpeedCode(DWORD rate) {
  for (const SpeedEntry& entry : kSpeeds) {
    if (entry.rate == rate) return entry.code;
  }
  return 0;
}

DWORD TermiosRate(const KernelTermios& t) {
  const unsigned int code = t.c_cflag & CBAUD;
  if (code == BOTHER || t.c_ospeed != 0) return t.c_ospeed;
  for (const SpeedEntry& entry : kSpeeds) {
    if (entry.code == code) return entry.rate;
  }
  return 0;
}

void MakeRaw(KernelTermios& t) {
  t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                      IXANY | IUCLC | IMAXBEL | IGNPAR);
  t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ECHOE | ECHOK | ICANON | ISIG | IEXTEN);
  t.c_cflag |= CREAD | CLOCAL;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
}

DWORD DcbToTermios(const DCB& dcb, KernelTermios& t) {
  if (dcb.BaudRate == 0) return ERROR_INVALID_PARAMETER;
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8) return ERROR_INVALID_PARAMETER;
  if (dcb.Parity > SPACEPARITY || dcb.StopBits > TWOSTOPBITS) return ERROR_INVALID_PARAMETER;
  if (dcb.StopBits == ONE5STOPBITS && dcb.ByteSize != 5) return ERROR_INVALID_PARAMETER;
  if (dcb.StopBits == TWOSTOPBITS && dcb.ByteSize == 5) return ERROR_INVALID_PARAMETER;
  if (dcb.fRtsControl == RTS_CONTROL_TOGGLE) return ERROR_INVALID_PARAMETER;
  if ((dcb.fOutX || dcb.fInX) && dcb.XonChar == dcb.XoffChar) return ERROR_INVALID_PARAMETER;

  KernelTermios n = t;
  MakeRaw(n);
  n.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD | kLineBits);
  const unsigned int code = SpeedCode(dcb.BaudRate);
  n.c_cflag |= code != 0 ? code : BOTHER;  // CIBAUD 0: input at the output rate
  n.c_ospeed = dcb.BaudRate;
  n.c_ispeed = dcb.BaudRate;

  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  n.c_cflag |= kSizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case ODDPARITY: n.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: n.c_cflag |= PARENB; break;
    case MARKPARITY: n.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case SPACEPARITY: n.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // CSTOPB with 5 data bits is 1.5 stop bits on the UART.
  if (dcb.StopBits != ONESTOPBIT) n.c_cflag |= CSTOPB;
  // Linux has one switch for both directions of RTS/CTS handshake.
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) n.c_cflag |= CRTSCTS;

  n.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | INPCK);
  if (dcb.fOutX) n.c_iflag |= IXON;
  if (dcb.fInX) n.c_iflag |= IXOFF;
  if (dcb.fParity) n.c_iflag |= INPCK;
  n.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  n.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  t = n;
  return ERROR_SUCCESS;
}

void TermiosToDcb(const KernelTermios& t, DCB& dcb) {
  dcb.BaudRate = TermiosRate(t);
  switch (t.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if (!(t.c_cflag & PARENB)) {
    dcb.Parity = NOPARITY;
  } else if (t.c_cflag & CMSPAR) {
    dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  } else {
    dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  }
  if (!(t.c_cflag & CSTOPB)) {
    dcb.StopBits = ONESTOPBIT;
  } else {
    dcb.StopBits = (t.c_cflag & CSIZE) == CS5 ? ONE5STOPBITS : TWOSTOPBITS;
  }
  dcb.fParity = (t.c_iflag & INPCK) ? 1 : 0;
  dcb.fOutX = (t.c_iflag & IXON) ? 1 : 0;
  dcb.fInX = (t.c_iflag & IXOFF) ? 1 : 0;
  dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
  if (t.c_cflag & CRTSCTS) {
    // Keep a one-sided request as it was set; handshake switched on elsewhere reads as both.
    if (!dcb.fOutxCtsFlow && dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) {
      dcb.fOutxCtsFlow = 1;
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    }
  } else {
    dcb.fOutxCtsFlow = 0;
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) dcb.fRtsControl = RTS_CONTROL_ENABLE;
  }
  dcb.fBinary = 1;
}

bool SameLineSettings(const KernelTermios& wanted, const KernelTermios& got) {
  if ((wanted.c_cflag & kLineBits) != (got.c_cflag & kLineBits)) return false;
  const std::int64_t want = TermiosRate(wanted);
  const std::int64_t have = TermiosRate(got);
  return std::llabs(want - have) * 100 <= want * 3;
}

DCB DefaultDcb() {
  DCB dcb{};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = 9600;
  dcb.fBinary = 1;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fTXContinueOnXoff = 1;
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  return dcb;
}

}  // namespace plat::posix
