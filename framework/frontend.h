// The interface a toolkit front-end implements for the controls (ui/qt, ui/win32, ui/console).
//
// Controls hold their own properties; a front-end gives each one a peer when its form is shown
// (or when the front-end is attached while a form is visible). A control tells its peer what
// changed and the peer reads the new state from the control, so a peer never holds a second
// copy of a property. A peer calls back into its control for what the user does: a button
// click (TButton::Click), a choice in a list (TComboBox::UserSelect), the window's close box
// (TForm::Close).
//
// Texts in controls and dialogs are 8-bit Windows-1252; a front-end converts them at its
// boundary (fw::Cp1252ToUtf8). Sounds are not front-end calls: they go through the platform's
// SystemApi (MessageBeep, Beep).
//
// All calls are made on the main thread, except EventPump::Wake.
#pragma once

#include <memory>
#include <string>

#include "framework/application.h"

namespace fw {

class TControl;
class TForm;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

// What changed on a control; the peer reads the current values from its control.
enum class TPeerChange {
  Bounds,    // Left, Top, Width, Height (a form: its outer size)
  Text,      // Caption / Text
  Color,
  Font,
  Enabled,
  Visible,
  Progress,  // a progress bar's Min, Max, Position, Smooth
  Items,     // a combo box's list (and with it the selection)
  ItemIndex,
  Style,     // kind-specific look: border and icons of a form, bevel of a panel, ...
};

class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Changed(TPeerChange what) = 0;
  // Paints the control now, not at the next processing of events.
  virtual void Repaint() = 0;
  // A top-level window: the size its frame and title bar add to the client area, in pixels
  // (0 when the window system draws no frame the program can measure).
  virtual void FrameSize(int& width, int& height) {
    width = 0;
    height = 0;
  }
};

class FrontEnd : public EventPump {
 public:
  // Creates the peer of one control. The parent's peer exists already (forms first).
  virtual std::unique_ptr<ControlPeer> CreatePeer(TControl& control) = 0;
  // A modal message dialog with one "OK" button, centred on the screen; returns when it is
  // closed. caption and text are Windows-1252.
  virtual void MessageDialog(TMsgDlgType type, const std::string& caption,
                             const std::string& text) = 0;
  // The same dialog with a detail below its text (the cause of an error and what to do about
  // it; Windows-1252, several lines). A front-end with a place of its own for it (a message
  // box's informative text) shows it there; the default shows the text, a blank line and the
  // detail. An empty detail is the plain dialog.
  virtual void DetailedMessageDialog(TMsgDlgType type, const std::string& caption,
                                     const std::string& text, const std::string& detail) {
    MessageDialog(type, caption, detail.empty() ? text : text + "\n\n" + detail);
  }
  virtual int ScreenPixelsPerInch() = 0;
  // The screen's work area, for centring a window.
  virtual void ScreenSize(int& width, int& height) = 0;
  // False when nobody can answer a window that stays open waiting for a person (the console).
  virtual bool CanWaitForUser() const { return true; }
  // A line that informs and needs no answer (what the tool found out about the machine), in
  // Windows-1252. The console prints it; a window shows nothing.
  virtual void Note(const std::string& /*text*/) {}
};

// Makes frontEnd the process's front-end: it becomes the application's event pump, and every
// visible form gets its peers. Null detaches the current one (every peer is destroyed first,
// so a front-end may be destroyed after it is detached). Main thread only.
void AttachFrontEnd(FrontEnd* frontEnd, TApplication* application = Application);
// The attached front-end, or null.
FrontEnd* CurrentFrontEnd();
// Routes the application's exception display to an error dialog of the current front-end
// (caption as given, the exception's message as text; standard error without a front-end).
void ShowExceptionsInDialogs(TApplication& application, const std::string& caption);
// A modal message dialog through the current front-end; without one the text goes to standard
// error as "[caption] text".
void MessageDialog(TMsgDlgType type, const std::string& caption, const std::string& text);
// The same with a detail below the text (FrontEnd::DetailedMessageDialog); without a front-end
// the detail follows the text on standard error.
void MessageDialog(TMsgDlgType type, const std::string& caption, const std::string& text,
                   const std::string& detail);
// A note through the current front-end (FrontEnd::Note); nothing without one.
void Note(const std::string& text);

}  // namespace fw
