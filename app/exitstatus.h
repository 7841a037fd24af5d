// The tool's exit statuses, all in one place. Scripts, the manual and the installer's notes
// rely on these numbers: 0 means the board was written, and nothing else does.
#pragma once

#include "protocol/runend.h"

namespace app {

constexpr int kExitWritten = 0;         // the board was written (or --check, --help did theirs)
constexpr int kExitBoardFailure = 1;    // a board operation or the reset handshake failed
constexpr int kExitNotLoaded = 2;       // Quorix.lcd missing or refused: nothing was loaded
constexpr int kExitNoPort = 3;          // no port found or opened, or the window closed first
constexpr int kExitPortError = 4;       // the serial port reported an error; the run stopped
constexpr int kExitUsage = 64;          // a bad command line
constexpr int kExitInternalError = 70;  // an unexpected exception ended the run, or the system
                                        // gave no thread or memory
// Standard output or standard error could not be written (sysexits' EX_IOERR): what the tool
// did otherwise went well, but part of what it said was lost. A worse status is kept.
constexpr int kExitIoError = 74;
// Stopped from outside: 128 and the signal's number, after the port was closed.
constexpr int kExitHungUp = 129;        // the terminal went away (SIGHUP)
constexpr int kExitInterrupted = 130;   // interrupted (SIGINT, Ctrl+C)
constexpr int kExitQuit = 131;          // asked to quit (SIGQUIT, Ctrl+\)
constexpr int kExitTerminated = 143;    // asked to terminate (SIGTERM)

// The status of a run the board protocol ended.
constexpr int ExitStatusOf(protocol::RunEnd why) {
  return why == protocol::RunEnd::kNothingLoaded ? kExitNotLoaded : kExitBoardFailure;
}

}  // namespace app
