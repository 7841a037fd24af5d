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

// A board's child process that was killed by a signal (not a stop request it ended in order):
// 128 and the signal's number, as a shell says it (137 for SIGKILL).
constexpr int KilledStatus(int signal) { return 128 + signal; }

// Several boards at once (--all, several --converter): the line's status is 0 when every board
// was written, else the worst of the boards' statuses. Worst first:
//   70          an unexpected exception or a missing thread or memory in a child
//   any other   a status this list does not name, a child killed by a signal (128 + N)
//               included: the higher number first
//   64          a child refused its command line
//   130 143 129 131   the line was stopped from outside (interrupted, terminated, hung up, quit)
//   4           the serial port failed during the write (converter pulled, line error)
//   1           the board failed (a board operation or the reset handshake)
//   3           the board's converter or port was not found or not opened
//   2           the board's Quorix.lcd was missing or refused
//   74          the board's child could not write all of its own output
//   0           written
// A half-written board (4, 1) ranks before one that was not touched (3, 2): it needs a person
// first. The rank of a status: higher is worse.
constexpr int StatusRank(int status) {
  switch (status) {
    case kExitWritten: return 0;
    case kExitIoError: return 1;
    case kExitNotLoaded: return 2;
    case kExitNoPort: return 3;
    case kExitBoardFailure: return 4;
    case kExitPortError: return 5;
    case kExitQuit: return 6;
    case kExitHungUp: return 7;
    case kExitTerminated: return 8;
    case kExitInterrupted: return 9;
    case kExitUsage: return 10;
    case kExitInternalError: return 1000000;
    default: break;
  }
  // Unnamed statuses (a killed child's included) between 64 and 70, the higher the worse.
  return 100 + (status < 0 ? 0 : status % 100000);
}

// The worse of two boards' statuses by StatusRank.
constexpr int WorseStatus(int a, int b) { return StatusRank(b) > StatusRank(a) ? b : a; }

// The status of a run the board protocol ended.
constexpr int ExitStatusOf(protocol::RunEnd why) {
  return why == protocol::RunEnd::kNothingLoaded ? kExitNotLoaded : kExitBoardFailure;
}

}  // namespace app
