// The converter's latency timer, as the FTDI driver for Windows keeps it: the DWORD LatencyTimer
// in the converter's Device Parameters key, the key the port search reads PortName from
// (16 ms unless someone changed it). Every byte the board echoes waits up to that long in the
// converter before the host sees it, so the search lowers it to 1 ms where it may.
//
// When the driver takes a new value into use: FTDI's notes (AN232B-04, the knowledge base on
// the latency timer) say only that the driver keeps the value in this key and sets the chip from
// it; programs that lower it write the value just before they open the port, and the driver
// programs the chip when the port is opened. The search writes it before its trial open and
// before ComPort opens the port, so the run that writes it already profits. Writing below
// HKEY_LOCAL_MACHINE needs administrator rights; without them the technician changes the
// value in the port's advanced settings in the Device Manager (or starts the tool once as an
// administrator).
//
// On Linux there is no such value (the POSIX registry does not offer one): the serial backend
// asks the driver for low latency itself when it opens the port.
#pragma once

#include <string>

#include "platform/platform.h"

namespace app {

struct ConverterLatency {
  enum class Outcome {
    kAbsent,       // no DWORD LatencyTimer in the key (or no key): nothing to do
    kLow,          // 1 ms or less already
    kLowered,      // it was above 1 ms and is 1 ms now
    kNotWritable,  // above 1 ms, and the key cannot be written (error says why)
  };
  Outcome outcome = Outcome::kAbsent;
  DWORD found = 0;  // the value read, unless kAbsent
  LONG error = 0;   // the failed registry call's result (kNotWritable)
};

// Reads LatencyTimer from the key below HKEY_LOCAL_MACHINE and sets it to 1 when it is above 1
// and the key is writable. Touches nothing else.
ConverterLatency LowerConverterLatency(plat::SystemApi& system, const std::string& keyPath);

}  // namespace app
