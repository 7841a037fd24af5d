// The simulated board's report: what it stored, as JSON.
//
//   {"completed": ["operating_time", "error_memory", "serial", "device_type", "configuration"],
//    "serial": "31323334353637", "device_type": -1, "parameters": [15, 1, ...]}
//
// completed lists the operations in the order the board stored them (an operation appears once
// per time it was stored); serial is the seven stored bytes in hexadecimal; a field the board
// never stored is null.
#pragma once

#include <string>

#include "board/firmware.h"

namespace board {

std::string ReportJson(const Memory& memory);
// Writes the report to path, whole or not at all (through a temporary file of a unique name
// beside it, renamed over path); false when it cannot be written, and path is then as it was.
// path is the text of a path (platform/hosttext.h).
bool WriteReport(const std::string& path, const Memory& memory);

}  // namespace board
