#include "app/line/linerun.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <ostream>

#include "app/exitstatus.h"
#include "app/line/boards.h"
#include "app/line/streamviews.h"
#include "app/line/texts.h"
#include "app/listconverters.h"
#include "board/scenario.h"
#include "framework/sysutils.h"
#include "platform/platform.h"

namespace app::line {

namespace {

using Clock = std::chrono::steady_clock;

// How long the line's thread waits for its children's lines before it looks at stop requests
// again (a request wakes it at once; this is only the fallback).
constexpr unsigned kWaitSliceMs = 250;

// What the reader threads hand to the line's thread.
struct ChildEvent {
  size_t row;
  bool closed;  // the child's output ended
  bool errorOutput;
  std::string line;
};

class EventQueue {
 public:
  explicit EventQueue(LineView& view) : view_(view) {}
  void Push(ChildEvent event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    view_.Wake();
  }
  std::deque<ChildEvent> TakeAll() {
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
  }

 private:
  LineView& view_;
  std::mutex mutex_;
  std::deque<ChildEvent> events_;
};

}  // namespace

int RunLine(const Options& options, LineView& view, std::ostream& err,
            const SimulatedTargetMaker& simulate, Language language, const LineHooks& hooks) {
  // The converters, as --list sees them (the simulated machine only for that look).
  std::vector<AttachedConverter> attached;
  if (options.simulate) {
    std::unique_ptr<SimulatedTarget> simulation;
    try {
      simulation = simulate(options.scenario, /*fast=*/true);
    } catch (const board::ScenarioError& e) {
      err << "lcdwrite: " << e.what() << "\n";
      return kExitUsage;
    }
    attached = ConvertersOf(simulation->Platform());
  } else {
    attached = ConvertersOf(plat::NativePlatform());
  }

  const PlanHost host = FileSystemPlanHost();
  const LinePlan plan = PlanLine(options, attached,
                                 hooks.chooser ? hooks.chooser : FileConfigChooser(host), host,
                                 language);
  if (plan.status != 0) {
    err << "lcdwrite: " << plan.error << "\n";
    return plan.status;
  }
  const std::string program =
      hooks.program.empty() ? plat::NativePlatform().system().ProgramPath() : hooks.program;

  std::vector<BoardRow> rows;
  for (const BoardPlan& board : plan.boards) {
    BoardRow row;
    row.converter = board.converter.Name();
    row.port = board.converter.port;
    row.configPlace = board.config.configPlace;
    rows.push_back(std::move(row));
    view.RowAdded(rows.size() - 1, rows.back());
  }

  LineStop& stop = LineStop::Instance();
  stop.Begin(view);
  // However the line ends (an exception too), a later request no longer reaches this view.
  struct EndWatch {
    LineStop& stop;
    ~EndWatch() { stop.End(); }
  } endWatch{stop};
  EventQueue queue(view);
  std::vector<std::unique_ptr<plat::ChildProcess>> children;
  std::vector<Clock::time_point> started(rows.size());
  std::vector<bool> running(rows.size(), false);
  std::vector<std::string> lastError(rows.size());  // each child's last line of error output
  size_t open = 0;
  int forwarded = 0;

  for (size_t i = 0; i < plan.boards.size(); ++i) {
    children.push_back(std::make_unique<plat::ChildProcess>());
    if (stop.Count() > 0) {
      // Stopped before this board's turn: it is not begun.
      rows[i].exitStatus = stop.LastStatus();
      rows[i].failure = texts::kNotBegun;
      rows[i].state = BoardRow::State::Failed;
      view.RowChanged(i, rows[i]);
      continue;
    }
    std::string why;
    started[i] = Clock::now();
    const bool ok = children[i]->Start(
        program, ChildArguments(options, plan.boards[i]),
        [&queue, i](plat::ChildStream stream, const std::string& line) {
          queue.Push({i, false, stream == plat::ChildStream::Error, line});
        },
        [&queue, i] { queue.Push({i, true, false, {}}); }, &why);
    if (!ok) {
      ApplyNotStarted(rows[i], why);
      view.RowChanged(i, rows[i]);
      continue;
    }
    running[i] = true;
    ++open;
    if (hooks.onStarted) hooks.onStarted(i, *children[i]);
  }

  while (open > 0) {
    for (ChildEvent& event : queue.TakeAll()) {
      const size_t i = event.row;
      if (event.closed) {
        // Its output has ended: the child is ending, and its row shows how at once.
        --open;
        rows[i].wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                               started[i])
                             .count();
        ApplyChildExit(rows[i], children[i]->Wait(), lastError[i]);
        running[i] = false;
        view.RowChanged(i, rows[i]);
        continue;
      }
      view.ChildOutput(i, event.line, event.errorOutput);
      if (event.errorOutput) {
        if (!event.line.empty()) lastError[i] = fw::Utf8ToCp1252(event.line);
        continue;
      }
      const std::optional<JsonObject> object = ParseJsonObject(event.line);
      if (!object) continue;
      const ChildLineOutcome outcome = ApplyChildEvent(rows[i], *object);
      if (outcome.note) view.BoardNote(i, *outcome.note);
      if (outcome.rowChanged) view.RowChanged(i, rows[i]);
      if (outcome.failure) {
        view.BoardFailure(i, outcome.failure->caption, outcome.failure->text,
                          outcome.failure->detail);
      }
      if (outcome.rowChanged && hooks.onRowChanged) hooks.onRowChanged(i, rows[i], *children[i]);
    }
    // Every stop request goes to every child still running; each one ends in order by itself
    // (its port closed, its converter's latency put back, its journal record completed).
    if (const int requests = stop.Count(); requests > forwarded) {
      forwarded = requests;
      const bool interrupt = stop.LastStatus() == kExitInterrupted;
      for (size_t i = 0; i < children.size(); ++i) {
        if (!running[i]) continue;
        if (interrupt) {
          children[i]->Interrupt();
        } else {
          children[i]->Terminate();
        }
      }
      view.Note(texts::kStopPassedOn);
    }
    if (open > 0) view.WaitForEvents(kWaitSliceMs);
  }

  stop.End();
  const LineSummary summary = SummarizeLine(rows);
  view.Finished(rows, summary);
  return summary.exitStatus;
}

int LineMain(const Options& options, std::ostream& out, std::ostream& err,
             const SimulatedTargetMaker& simulate, Language language, bool terminal,
             std::function<int()> columns) {
  if (options.json) {
    JsonLineView view(out);
    return RunLine(options, view, err, simulate, language);
  }
  ConsoleLineView view(out, terminal, std::move(columns));
  return RunLine(options, view, err, simulate, language);
}

}  // namespace app::line
