// BoardWindow: everything the board protocol needs from the tool's window, and nothing more.
//
// The operations run on the window's thread and reach the port and the status controls only
// through this interface, so they run under tests with a recording fake instead of a front-end.
// The application implements it on its main window.
#pragma once

#include <exception>
#include <string>

#include "comport/comport.h"
#include "framework/graphics.h"
#include "protocol/runend.h"

namespace protocol {

class BoardWindow {
 public:
  virtual ~BoardWindow() = default;

  // The open port the board is attached to.
  virtual comport::TCustomComPort& Port() = 0;

  // The status line: set its text; repaint it at once.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void RepaintStatus() = 0;
  // The progress bar's position, 0 to 100; a larger value shows as a full bar.
  virtual void SetProgress(int position) = 0;
  // The reset panel's colour, its immediate repaint, and the two colours of the DSR indicator.
  virtual void SetResetPanelColor(fw::TColor color) = 0;
  virtual void RepaintResetPanel() = 0;
  virtual fw::TColor ResetColorOn() = 0;
  virtual fw::TColor ResetColorOff() = 0;
  // Lets the window handle its pending messages (and the port's synchronized events).
  virtual void ProcessMessages() = 0;

  // The default message beep, then the modal error dialog ("Fehler", one OK button); returns
  // when the user has closed it. Texts are in the tool's 8-bit code page.
  virtual void ReportError(const std::string& text) = 0;
  // The modal information dialog ("Information", one OK button), without a sound.
  virtual void ShowInformation(const std::string& text) = 0;
  // The default message beep alone.
  virtual void MessageBeep() = 0;
  // Closes the port, then ends the run for the given reason. Never returns: the tool's window
  // unwinds with fw::ProcessEnded to the run's caller (app/run.cpp), a test window the same way.
  [[noreturn]] void EndRun(RunEnd why) {
    CloseAndEnd(why);
    std::terminate();  // an implementation that returns has broken its contract
  }

 protected:
  // EndRun's work: close the port, end the run (by unwinding, or by ending the process);
  // must not return.
  virtual void CloseAndEnd(RunEnd why) = 0;
};

// Shows a status text: set, repaint at once, let the window process its messages.
void ShowStatus(BoardWindow& window, const std::string& text);

}  // namespace protocol
