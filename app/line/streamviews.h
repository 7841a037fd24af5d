// The line's views on a stream (the program's standard output): rows for people, or JSON lines
// for scripts and factory systems. Both write UTF-8.
//
// ConsoleLineView: one line per board ("A5XK3RJT  ttyUSB0  Konfiguration zum Gerät senden 40 %").
// On a terminal the rows stay where they are and are redrawn in place (the cursor goes up to the
// first row with ANSI escapes), each cut to the terminal's width; a board's failure dialog or a
// note is printed above the rows. Otherwise each row is printed as a line whenever what it shows
// changes. Then the summary, the run's last line.
//
// JsonLineView: every line one JSON object with "event" first:
//   {"event":"board","board":"A5XK3RJT","port":"ttyUSB0","config":"..."}   a row, before its
//                                                                       child starts
//   {"event":...,"board":"A5XK3RJT",...}      each line of the board's child (ui/console's JSON
//                                            lines) with the board named second, except its
//                                            result line
//   {"event":"stderr","board":"A5XK3RJT","text":"..."}   a line of its error output
//   {"event":"output","board":"A5XK3RJT","text":"..."}   an output line that is no JSON object
//   {"event":"result","board":"A5XK3RJT","status":N,"written":true|false,"port":"...",
//    "converter":"...","failure":"...","wallMs":N,"cpuMs":N,"peakMemoryKb":N}
//                                            the board's end, once its child has ended
//                                            (status: a killed child's 128 + N included;
//                                            wallMs: from its start to its output's end;
//                                            cpuMs, peakMemoryKb: what its process used, -1
//                                            where the system does not tell)
//   {"event":"note","text":"..."}            the line's own note (a stop passed on)
//   {"event":"result","status":N,"written":true|false,"boards":N,"boardsWritten":N,
//    "failed":[{"board":"...","status":N},...],"text":"3 von 4 Platinen geschrieben..."}
//                                            the line's end: the last line, the only result
//                                            without "board"
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "app/line/lineview.h"

namespace app::line {

// WaitForEvents and Wake for views that have no message loop of their own.
class WakeSignal {
 public:
  void Wait(unsigned timeoutMs);
  void Wake();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool woken_ = false;
};

class ConsoleLineView : public LineView {
 public:
  // terminal: redraw the rows in place; columns: the terminal's width now (0: unknown).
  ConsoleLineView(std::ostream& out, bool terminal, std::function<int()> columns = {});

  void RowAdded(size_t row, const BoardRow& board) override;
  void RowChanged(size_t row, const BoardRow& board) override;
  void BoardFailure(size_t row, const std::string& caption, const std::string& text,
                    const std::string& detail) override;
  void Note(const std::string& text) override;
  void BoardNote(size_t row, const std::string& text) override;
  void ChildOutput(size_t row, const std::string& line, bool errorOutput) override;
  void Finished(const std::vector<BoardRow>& boards, const LineSummary& summary) override;
  void WaitForEvents(unsigned timeoutMs) override { wake_.Wait(timeoutMs); }
  void Wake() override { wake_.Wake(); }

  // What a row shows (Windows-1252), uncut.
  static std::string RowText(const BoardRow& board);

 private:
  // Prints lines above the rows (terminal) or as they come.
  void PrintAbove(const std::string& cp1252);
  void Redraw();

  std::ostream& out_;
  bool terminal_;
  std::function<int()> columns_;
  std::vector<BoardRow> rows_;
  std::vector<std::string> shown_;  // what each row last showed
  size_t drawn_ = 0;                // rows on the terminal below which the cursor stands
  WakeSignal wake_;
};

class JsonLineView : public LineView {
 public:
  explicit JsonLineView(std::ostream& out) : out_(out) {}

  void RowAdded(size_t row, const BoardRow& board) override;
  void RowChanged(size_t row, const BoardRow& board) override;
  void BoardFailure(size_t, const std::string&, const std::string&, const std::string&) override {}
  void Note(const std::string& text) override;
  void ChildOutput(size_t row, const std::string& line, bool errorOutput) override;
  void Finished(const std::vector<BoardRow>& boards, const LineSummary& summary) override;
  void WaitForEvents(unsigned timeoutMs) override { wake_.Wait(timeoutMs); }
  void Wake() override { wake_.Wake(); }

 private:
  void Print(const std::string& line);

  std::ostream& out_;
  std::vector<std::string> boards_;  // each row's converter
  std::vector<bool> ended_;          // its result line is out
  WakeSignal wake_;
};

}  // namespace app::line
