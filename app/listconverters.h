// --list: the FT232R converters the search can see, one line each (port, the converter's serial
// or USB location, its latency timer and who holds its port, where the system tells), on the
// host or on the simulated machine. It opens no port: an open raises a tty's modem lines, which
// resets a board.
#pragma once

#include <iosfwd>
#include <vector>

#include "app/commandline.h"
#include "app/converters.h"
#include "app/simulatedtarget.h"

namespace app {

// Prints the list (UTF-8) to out, or "none attached"; exit status 0, or 64 for a scenario that
// cannot be read.
// The converters the search can see on a platform, as the list shows them (and the line writes
// them): the device names as the port component enumerates them, read once.
std::vector<AttachedConverter> ConvertersOf(plat::Platform& platform);

int ListConverters(const Options& options, std::ostream& out, std::ostream& err,
                   const SimulatedTargetMaker& simulate);

}  // namespace app
