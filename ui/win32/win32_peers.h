// The native front-end's classes: the front-end and the system-control peers of the controls.
//
// Each control gets one window: the form a top-level window of our own class, a group box a
// BUTTON with BS_GROUPBOX, a label a STATIC, a progress bar a msctls_progress32, a panel a
// STATIC with a sunken edge for a lowered bevel, a combo box a COMBOBOX, a button a BUTTON.
// Windows sit at the control's position inside the parent control's window. System controls
// tell their parent of clicks and choices (WM_COMMAND) and ask it for colours (WM_CTLCOLOR*);
// the containers (form, group box, panel) hand both to the child's peer, so group boxes and
// panels are subclassed for it.
//
// What the user does reaches the controls through Guard: no exception unwinds through the
// system's frames. An exception from a handler is shown by the application's exception
// display; the end of the process under the test hook (fw::ProcessEnded) is held until control
// is back in the framework's code (the pump or the dialog call), which then raises it.
#pragma once

#include <memory>
#include <string>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/frontend.h"
#include "platform/platform.h"
#include "ui/guardedfrontend.h"
#include "ui/widgetpeer.h"

namespace ui {

class Win32FrontEnd;

class Win32Peer : public WidgetPeer {
 public:
  Win32Peer(Win32FrontEnd& frontEnd, fw::TControl& control);
  // Destroys the window, its font and its brush.
  ~Win32Peer() override;
  void Repaint() override;

  HWND Window() const { return window_; }
  // Creates the window (class, styles) and shows the control's whole state.
  void Create(const wchar_t* className, DWORD style, DWORD exStyle);
  // A notification code from WM_COMMAND (BN_CLICKED, CBN_SELCHANGE, ...).
  virtual void Command(WORD /*code*/) {}
  // WM_CTLCOLOR* for this control: the brush to paint its background with, or null for the
  // system's default.
  virtual HBRUSH ControlColor(HDC dc);

  // The peer of a window this front-end made, or null.
  static Win32Peer* FromWindow(HWND window);
  // The window of a control that has a peer of this front-end, or null.
  static HWND WindowOf(const fw::TControl* control);

 protected:
  bool HasWidget() const override { return window_ != nullptr; }
  void ApplyBounds() override;
  void ApplyText() override;
  void ApplyColor() override;
  void ApplyFont() override;
  void ApplyEnabled() override { ::EnableWindow(window_, control_.Enabled()); }
  void ApplyVisible() override;
  // Hands WM_COMMAND and WM_CTLCOLOR* on to the children (containers).
  void Subclass();
  HBRUSH Brush() const { return brush_; }

  Win32FrontEnd& frontEnd_;
  HWND window_ = nullptr;

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HFONT font_ = nullptr;
  HBRUSH brush_ = nullptr;
  WNDPROC originalProc_ = nullptr;
};

class Win32FrontEnd : public GuardedFrontEnd {
 public:
  explicit Win32FrontEnd(plat::Platform& platform);
  ~Win32FrontEnd() override;

  std::unique_ptr<fw::ControlPeer> CreatePeer(fw::TControl& control) override;
  // MessageBoxW owned by the main form's window (task-modal while there is none), centred on
  // the screen, with the error or information icon and one OK button. While it is open a thread timer lets the application's queued work and
  // timers run, as they would under any system dialog.
  void MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                     const std::string& text) override;
  int ScreenPixelsPerInch() override;
  void ScreenSize(int& width, int& height) override;

  void ProcessEvents() override;
  void WaitForEvents(DWORD timeoutMs) override;
  void Wake() override;

  // Handles WM_COMMAND and WM_CTLCOLOR* for a container window; false for other messages.
  static bool ContainerMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // The open message box's window while one is shown, else null.
  HWND DialogWindow() const;

 private:
  static void CALLBACK DialogWork(HWND window, UINT message, UINT_PTR id, DWORD time);
  void CloseDialog() override;

  plat::KernelApi& kernel_;
  HANDLE kernelWake_ = nullptr;
  HANDLE nativeWake_ = nullptr;
};

}  // namespace ui
