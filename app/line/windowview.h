// The line's window: the LineView that shows one row per board in TLineForm on a window
// front-end (Qt, Win32), for a line of several boards started without --console.
//
// A board's failure shows in its row at once (its status text turns into the failure and its
// field red); its dialog, which names the board, is kept for the end. The line's thread waits for
// its children in this view's WaitForEvents, so a box opened when the failure comes would hold
// that thread in the box's own loop and stop every other row from moving until somebody closed
// it; and a second failure's box would open over the first. At the end (Finished) each failure's
// dialog is shown in the order they came, then the summary's, and the window goes.
//
// The window appears with the first row: a line refused before any board shows only its error.
// The parent's notes (a stop passed on) show in the summary's place until the end.
// Closing the window while boards are written does not close it: it asks the line to stop (the
// stop given to the view), and the rows show the boards ending.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/line/lineform.h"
#include "app/line/lineview.h"
#include "framework/application.h"
#include "framework/frontend.h"
#include "framework/timer.h"

namespace app::line {

class WindowLineView : public LineView {
 public:
  // Shows the window on frontEnd, in the process's application (one is made for the view when
  // there is none). stopLine: what closing the window asks for (may be empty).
  WindowLineView(fw::FrontEnd& frontEnd, std::function<void()> stopLine);
  ~WindowLineView() override;
  WindowLineView(const WindowLineView&) = delete;
  WindowLineView& operator=(const WindowLineView&) = delete;

  void RowAdded(size_t row, const BoardRow& board) override;
  void RowChanged(size_t row, const BoardRow& board) override;
  void BoardFailure(size_t row, const std::string& caption, const std::string& text,
                    const std::string& detail) override;
  void Note(const std::string& text) override;
  void Finished(const std::vector<BoardRow>& boards, const LineSummary& summary) override;
  void WaitForEvents(unsigned timeoutMs) override;
  void Wake() override;

  TLineForm& Form() { return *form_; }
  // An error dialog for what ended the line before its first board (text in UTF-8, as said on
  // standard error; one line or several).
  void ShowError(const std::string& utf8);

 private:
  struct Failure {
    std::string caption, text, detail;
  };
  void ShowRow(size_t row, const BoardRow& board);
  void WaitTimerTimer(fw::TObject* sender);

  std::optional<fw::TApplication> ownApplication_;
  fw::TApplication* application_ = nullptr;
  TLineForm* form_ = nullptr;
  fw::TTimer* waitTimer_ = nullptr;
  std::vector<std::string> serials_;  // per row: the serial number its file gives the board
  std::vector<Failure> failures_;
};

// The serial number a board gets from the configuration of configPlace (as its child reads it,
// "" for the current folder's Quorix.lcd), shown as the window shows it; "" when the file cannot
// be loaded (the board's child says why).
std::string BoardSerialNumber(const std::string& configPlace);

}  // namespace app::line
