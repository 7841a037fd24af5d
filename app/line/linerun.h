// The line's parent: several boards at once, one child process each.
//
// It finds the attached converters as --list does, plans the boards (app/line/boardplan.h:
// refused before any port is touched), starts for each board this program again as the
// ordinary single run pinned to its converter and speaking JSON lines, keeps one row per board
// from what the children say (app/line/lineview.h), passes a stop request on to every child and
// waits for all of them, then sums up. Each child keeps its own port, timing, failure, log and
// journal record; a child that dies takes no other board with it.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/line/boardplan.h"
#include "app/line/lineview.h"
#include "app/simulatedtarget.h"
#include "platform/childprocess.h"

namespace app::line {

struct LineHooks {
  // The program the children run; "" this very program (its path as the system tells it).
  std::string program;
  // The boards' configurations; empty: the files' (FileConfigChooser on the real file system).
  ConfigChooser chooser;
  // For tests: called on the line's thread after a board's child started, and after each
  // child's line has been applied to its row (a test stops or kills a child here).
  std::function<void(size_t row, plat::ChildProcess& child)> onStarted;
  std::function<void(size_t row, const BoardRow& board, plat::ChildProcess& child)> onRowChanged;
};

// Stop requests for the line: the program entry's watcher hands them here while a line runs
// (instead of RunStop, whose first request before a run ends the process at once).
class LineStop {
 public:
  static LineStop& Instance();
  // Any thread. Whether a line is running and took the request (false: nobody is listening).
  bool Request(int status);
  // For the line's thread.
  void Begin(LineView& view);
  void End();
  // The requests so far (each one is passed on to every child once) and the last one's status.
  int Count() const;
  int LastStatus() const;

 private:
  LineStop();
  struct State;
  std::shared_ptr<State> state_;
};

// Runs the line for parsed options (options.Line()) and returns its exit status: 0 when every
// board was written, else the worst board's (app/exitstatus.h StatusRank); 64 or 3 when the
// plan refused, said on err (UTF-8) before any child starts. With options.simulate the
// converters are those of the scenario's machine (each child then builds the same machine and
// writes only the board behind its converter).
int RunLine(const Options& options, LineView& view, std::ostream& err,
            const SimulatedTargetMaker& simulate, Language language, const LineHooks& hooks = {});

// The program entry's line: the JSON lines view with --json, else the console's rows (on a
// terminal redrawn in place; columns: its width now), on out. Without --console too, until a
// window view of the rows takes that place. A build without child processes
// says so on err and returns 64.
int LineMain(const Options& options, std::ostream& out, std::ostream& err,
             const SimulatedTargetMaker& simulate, Language language, bool terminal,
             std::function<int()> columns);

}  // namespace app::line
