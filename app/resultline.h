// The last line of a run with --json: what it ended with, for a script or a factory system that
// reads the console's JSON lines (ui/console/console_frontend.h lists the others).
//   {"event":"result","status":N,"written":true|false,"port":"COM3","converter":"A5XK3RJT",
//    "failure":"..."}
// port and converter are "" where the run took none (the converter also when the port was
// named); failure is the first failure's dialog text and detail, "" for none.
#pragma once

#include <string>

namespace app {

// One line with its line break (UTF-8); texts are Windows-1252.
std::string ResultLine(int status, const std::string& port, const std::string& converter,
                       const std::string& failure);

}  // namespace app
