// What the toolkit front-ends share about calls that come from the toolkit's own frames (a
// click, a choice, a close box, a timer): no exception unwinds through them. An exception from
// a handler is shown by the application's exception display; the end of the process under the
// test hook (fw::ProcessEnded) is held until control is back in the framework's code (the pump
// or the dialog call), which then raises it.
#pragma once

#include <functional>
#include <optional>

#include "framework/application.h"
#include "framework/frontend.h"

namespace ui {

class GuardedFrontEnd : public fw::FrontEnd {
 public:
  // Runs a call that comes from the toolkit.
  void Guard(const std::function<void()>& call) {
    try {
      call();
    } catch (const fw::ProcessEnded& end) {
      if (!pendingEnd_) pendingEnd_ = end;
      // An open message box would keep the end waiting.
      CloseDialog();
    } catch (...) {
      if (fw::Application != nullptr) {
        try {
          fw::Application->HandleException();
        } catch (const fw::ProcessEnded& end) {
          if (!pendingEnd_) pendingEnd_ = end;
        }
      }
    }
  }

 protected:
  // How often an open message box lets the application's queued work and timers run.
  static constexpr int kDialogWorkIntervalMs = 10;

  // Closes the open message box, if there is one.
  virtual void CloseDialog() = 0;

  // One round of the application's queued work and timers while a message box is open, as
  // under a system dialog; none while a round runs already or an end is held.
  void DialogWorkRound() {
    if (runningApplicationWork_ || pendingEnd_ || fw::Application == nullptr) return;
    runningApplicationWork_ = true;
    Guard([] { fw::Application->ProcessMessages(); });
    runningApplicationWork_ = false;
  }

  // Raises the end held by Guard, if any.
  void RaisePendingEnd() {
    if (!pendingEnd_) return;
    const fw::ProcessEnded end = *pendingEnd_;
    pendingEnd_.reset();
    throw end;
  }

  int dialogDepth_ = 0;

 private:
  std::optional<fw::ProcessEnded> pendingEnd_;
  bool runningApplicationWork_ = false;
};

}  // namespace ui
