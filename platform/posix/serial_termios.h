// Translation between the Win32 device-control block (DCB) and the kernel's termios2 record.
//
// Pure functions, tested from tables on any Linux host. termios2 (TCGETS2/TCSETS2) is used
// instead of the C library's termios because it carries any bit rate (BOTHER with c_ospeed),
// which the component needs for custom rates such as 250000. This header includes the kernel's
// <asm/termbits.h>; a file that includes it must not also include <termios.h>.
//
// What termios cannot hold (DTR/RTS control modes, DSR flow, the error/EOF/event characters,
// XonLim/XoffLim, the discard-null and abort-on-error flags) is kept by the caller in a copy of
// the last DCB set; TermiosToDcb overwrites only the fields termios does hold.
#pragma once

#include <asm/termbits.h>

#include "platform/wintypes.h"

namespace plat::posix {

using KernelTermios = struct termios2;

// The Bxxx code of a rate, or 0 when the rate has none (it then needs BOTHER).
unsigned int SpeedCode(DWORD rate);

// The output rate a termios2 record holds (c_ospeed, or the rate of its Bxxx code).
DWORD TermiosRate(const KernelTermios& t);

// Raw byte transfer: no line editing, echo, signals or output processing; reads return as soon
// as one byte is there (VMIN 1, VTIME 0; the backend emulates the Win32 time-outs itself);
// receiver on, modem-status lines ignored for hang-up (CLOCAL). Flow control bits untouched.
void MakeRaw(KernelTermios& t);

// Applies a DCB to t (which holds the device's current settings) and makes it raw.
// Returns ERROR_SUCCESS, or ERROR_INVALID_PARAMETER for a DCB Win32 would refuse: rate 0,
// ByteSize outside 5..8, Parity or StopBits out of range, 1.5 stop bits with other than
// 5 data bits, 2 stop bits with 5, RTS_CONTROL_TOGGLE (no such mode on Linux), or equal
// XON and XOFF characters while XON/XOFF flow control is on. t is unchanged on failure.
DWORD DcbToTermios(const DCB& dcb, KernelTermios& t);

// Reads the fields termios holds into dcb: BaudRate, ByteSize, Parity, StopBits, fParity,
// fOutX, fInX, XonChar, XoffChar, hardware handshake (fOutxCtsFlow, fRtsControl), fBinary.
void TermiosToDcb(const KernelTermios& t, DCB& dcb);

// True when the device took the line settings asked for: the same character size, parity,
// stop bits and hardware handshake, and a rate within 3 percent. A driver that cannot do a
// setting reverts it silently; this catches that.
bool SameLineSettings(const KernelTermios& wanted, const KernelTermios& got);

// The DCB of a device nobody has configured: 9600 baud, 8N1, DTR and RTS on, no flow control,
// XON 17, XOFF 19.
DCB DefaultDcb();

}  // namespace plat::posix
