// The converter's latency timer as the FTDI driver for Windows keeps it: the DWORD LatencyTimer
// in the converter's Device Parameters key (16 ms unless someone changed it), which the Windows
// backend and the simulated machine lower ahead of an open (SerialApi::RequestLowLatency).
//
// FTDI's notes (AN232B-04, the knowledge base on the latency timer) say only that the driver
// keeps the value in this key and programs the chip from it when the port is opened; programs
// that lower it write it just before the open, which so already profits. Writing below
// HKEY_LOCAL_MACHINE needs administrator rights; without them the technician changes the value
// in the port's advanced settings in the Device Manager (or starts the tool once as an
// administrator).
#pragma once

#include <string>

#include "platform/platform.h"

namespace plat::win32rules {

// Reads LatencyTimer from the key below HKEY_LOCAL_MACHINE and sets it to 1 when it is above 1
// and the key is writable. Touches nothing else.
LatencyStep LowerLatencyTimer(SystemApi& registry, const std::string& parametersKey);

}  // namespace plat::win32rules
