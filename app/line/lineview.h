// What the line's parent shows while it writes several boards at once: one row per board, each
// row fed from that board's child process (its JSON lines), and the summary at the end. The
// console view (app/line/consoleview.*) and the window views implement it.
//
// Every call comes on the thread that runs the line (app/line/linerun.h), in this order: every
// RowAdded first (rows are numbered 0, 1, ... in the order of the boards), then RowChanged and
// BoardFailure as the children speak, then Finished once. Texts are Windows-1252, as the rest of
// the tool's texts.
#pragma once

#include <string>
#include <vector>

namespace app::line {

// One board of the line as its row shows it.
struct BoardRow {
  enum class State {
    Waiting,  // its child has not said anything yet
    Writing,  // its child runs
    Written,  // its child ended with status 0: the board was written
    Failed,   // its child ended with another status, was killed, or could not be started
  };
  // The converter the board is behind, as the user names it (its serial, or its USB location).
  std::string converter;
  // The port the child took ("COM3", "ttyUSB0"); "" until the child says it.
  std::string port;
  // Where its configuration comes from: the file or folder given for it, "" for the current
  // folder's Quorix.lcd.
  std::string configPlace;
  State state = State::Waiting;
  // The child's last status text (what the window's status label would show), "" before one.
  std::string status;
  // The progress of its current step in percent, as the child's console reports it (at each
  // tenth); -1 before the step's first report.
  int percent = -1;
  // When ended: the child's exit status (app/exitstatus.h), or the status the parent gives a
  // child that was killed (kExitKilled) or could not be started (kExitInternalError).
  int exitStatus = -1;
  // When failed: the first failure's dialog text and detail, or what the parent knows of a
  // child that ended without one ("" while none).
  std::string failure;
  // The child's wall time from its start to its end, in milliseconds (0 while it runs); its
  // processor time and peak memory once it has ended (-1 where the system does not tell).
  long long wallMs = 0;
  long long cpuMs = -1;
  long long peakMemoryKb = -1;
};

// The end of the line.
struct LineSummary {
  int boards = 0;
  int written = 0;
  // The rows of the boards that were not written, in the order of the rows.
  std::vector<size_t> failedRows;
  // 0 when every board was written, else the worst status of the boards by the order of
  // app/exitstatus.h (LineExitStatus).
  int exitStatus = 0;
  // The last line: "3 von 4 Platinen geschrieben" and, when some were not, the failed boards with
  // their statuses ("; nicht geschrieben: B7QW2MZK (Status 4)").
  std::string text;
};

class LineView {
 public:
  virtual ~LineView() = default;

  // A row for a board, before its child starts.
  virtual void RowAdded(size_t row, const BoardRow& board) = 0;
  // Something of the row changed: its port, state, status text, progress, result or failure.
  virtual void RowChanged(size_t row, const BoardRow& board) = 0;
  // A board's child showed a failure dialog: caption as the child gave it, text already naming
  // the board (LineTexts: "Platine A5XK3RJT (ttyUSB0): " before the child's text), detail "" for
  // a plain one. A view never waits for a person here: the other boards go on.
  virtual void BoardFailure(size_t row, const std::string& caption, const std::string& text,
                            const std::string& detail) = 0;
  // The parent's own notes (a stop request passed on).
  virtual void Note(const std::string& text) = 0;
  // A note of a board's child (what it sends the board, which converter it took), the text
  // naming the board as BoardFailure's does. Nothing by default.
  virtual void BoardNote(size_t /*row*/, const std::string& /*text*/) {}
  // Every line a board's child wrote, as it wrote it (UTF-8; its JSON line on its output, or a
  // line of its error output), before the row changes it brings: for views that pass the
  // children's lines on. Nothing by default.
  virtual void ChildOutput(size_t /*row*/, const std::string& /*line*/, bool /*errorOutput*/) {}
  // Every child has ended; the summary's text is the run's last line.
  virtual void Finished(const std::vector<BoardRow>& boards, const LineSummary& summary) = 0;

  // The parent waits for its children through the view, so a window keeps its messages
  // flowing: returns when Wake was called (from any thread) since the last return, or after
  // timeoutMs. A view may call the line's stop (RunStop) from here, e.g. when its window closes.
  virtual void WaitForEvents(unsigned timeoutMs) = 0;
  // Any thread: ends a WaitForEvents that is under way, or the next one.
  virtual void Wake() = 0;
};

}  // namespace app::line
