// What a user can do about a port that did not open: the cause and the remedy, as the lines
// shown below the open's own message and written to the port's log.
//
// The platform tells what it found out (plat::OpenFailure: on Linux the device node's group
// against the user's, the programs that hold the port, a vanished device). Where it knows no
// more than the error code (Windows, the simulated machine), the code decides: access denied
// is a port another program holds, not found a converter that is not plugged in.
#pragma once

#include <string>

#include "platform/openreport.h"

namespace app {

// The detail for an open that failed with code; failure is the platform's report of the same
// open (ignored when it is about another code). Lines are separated by '\n'; empty when there
// is nothing to add.
std::string ExplainOpenFailure(DWORD code, const plat::OpenFailure& failure);

}  // namespace app
