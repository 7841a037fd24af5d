// The console front-end: for automation and machines without a display.
//
// Nothing waits for a person. Output goes to one stream (standard output by default), as UTF-8:
//   - the window's caption, once, when the window is first shown;
//   - a label's text whenever it has changed by the time the label is repainted or pending
//     events are processed (the points where a window would show it); empty texts are skipped;
//   - a progress bar as "Fortschritt: N %": on a terminal one line redrawn in place at every
//     change, shortened to the terminal's width so that it never wraps ("N %", then cut); otherwise a plain line each time the bar enters another tenth (0-9, 10-19, ...,
//     90-99, 100), so a log gets at most eleven lines per run of the bar;
//   - every dialog as "[caption] text" with the text exactly as given (line breaks kept), at
//     once and without waiting for a key, and a dialog's detail on the lines after it. Dialogs
//     are also recorded for whoever drives the run.
//   - every note as a line of its own, at once.
// With JSON lines (SetJsonLines) the same moments are one JSON object a line instead, for
// scripts and factory systems; every object has "event":
//   {"event":"window","caption":"..."}            the caption, once
//   {"event":"status","text":"..."}               a label's new text
//   {"event":"progress","percent":N}              the bar entered another tenth
//   {"event":"dialog","type":"error"|"warning"|"information"|"confirmation",
//    "caption":"...","text":"...","detail":"..."} a dialog, detail "" for a plain one
//   {"event":"note","text":"..."}                 a note
// The program adds the last line, {"event":"result",...} (app/entry.cpp). Texts are UTF-8.
// Waiting for events sleeps on the platform's clock, so a simulated machine's virtual clock
// moves on while the tool waits for its timers.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "framework/frontend.h"
#include "platform/platform.h"

namespace ui {

class ConsolePeer;

class ConsoleFrontEnd : public fw::FrontEnd {
 public:
  struct DialogRecord {
    fw::TMsgDlgType type;
    std::string caption;  // Windows-1252, as given
    std::string text;
    std::string detail;   // "" for a plain dialog
  };

  // Standard output; redraws in place when it is a terminal.
  explicit ConsoleFrontEnd(plat::Platform& platform = plat::CurrentPlatform());
  // Any stream; terminal says whether to redraw the progress line in place, columns how wide
  // that terminal is (0: unknown, no limit).
  ConsoleFrontEnd(std::ostream& out, bool terminal,
                  plat::Platform& platform = plat::CurrentPlatform(), int columns = 0);
  // Detaches itself first when it is the current front-end.
  ~ConsoleFrontEnd() override;
  ConsoleFrontEnd(const ConsoleFrontEnd&) = delete;
  ConsoleFrontEnd& operator=(const ConsoleFrontEnd&) = delete;

  std::unique_ptr<fw::ControlPeer> CreatePeer(fw::TControl& control) override;
  void MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                     const std::string& text) override;
  void DetailedMessageDialog(fw::TMsgDlgType type, const std::string& caption,
                             const std::string& text, const std::string& detail) override;
  int ScreenPixelsPerInch() override { return 96; }
  void ScreenSize(int& width, int& height) override;
  bool CanWaitForUser() const override { return false; }
  void Note(const std::string& text) override;

  // Prints what changed since the last processing point.
  void ProcessEvents() override;
  void WaitForEvents(DWORD timeoutMs) override;
  void Wake() override;

  const std::vector<DialogRecord>& Dialogs() const { return dialogs_; }
  // Whether standard output is a terminal.
  static bool StdoutIsTerminal();
  // Standard output's terminal's width now; 0 when it is no terminal or does not say.
  static int StdoutColumns();
  // From now on standard output counts as a terminal although it is not one: a pipe that a
  // console program passes on to its console (lcdwrite.com on Windows).
  static void TreatStdoutAsTerminal();
  // From now on every output is a JSON object a line (see the file comment); never redrawn.
  void SetJsonLines() { json_ = true; }

 private:
  friend class ConsolePeer;
  // Writes one finished line (ending an open progress line first).
  void PrintLine(const std::string& cp1252);
  // Writes one JSON object a line: "event" and then the given members, each already a JSON
  // value.
  void PrintEvent(const char* event,
                  const std::vector<std::pair<const char*, std::string>>& members);
  // A text member's value: the Windows-1252 text as a JSON string.
  static std::string Text(const std::string& cp1252);
  // Redraws the progress line in place (terminal only).
  void DrawProgressLine(int percent);
  void EndProgressLine();
  void Forget(ConsolePeer* peer);

  std::ostream& out_;
  bool terminal_;
  std::function<int()> columns_;  // the terminal's width now; 0: unknown
  plat::KernelApi& kernel_;
  HANDLE wakeEvent_ = nullptr;
  std::vector<ConsolePeer*> peers_;
  std::vector<DialogRecord> dialogs_;
  size_t progressLineLength_ = 0;  // > 0 while a redrawn progress line is open
  bool json_ = false;
};

}  // namespace ui
