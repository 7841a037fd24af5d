// The Qt front-end's classes: the front-end itself and the widget peers of the controls.
//
// Each control gets one widget: the form a fixed-size top-level QWidget, a group box a
// QGroupBox, a label a QLabel painting its own background, a progress bar a QProgressBar, a
// panel a framed QLabel (lowered bevel = sunken panel), a combo box a QComboBox, a button a
// QPushButton. Widgets sit at the control's position inside the parent control's widget.
//
// What the user does reaches the controls through Guard: an exception from a handler is shown
// by the application's exception display instead of unwinding through Qt, and the end of the
// process under the test hook (fw::ProcessEnded) is held until control is back in the
// framework's code (the pump or the dialog call), which then raises it.
#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/frontend.h"
#include "platform/platform.h"
#include "ui/guardedfrontend.h"
#include "ui/widgetpeer.h"

class QApplication;
class QTimer;

namespace ui {

class QtFrontEnd;

class QtPeer : public WidgetPeer {
 public:
  QtPeer(QtFrontEnd& frontEnd, fw::TControl& control, QWidget* widget);
  // Deletes the widget (the control layer removes children's peers first).
  ~QtPeer() override;
  void Repaint() override;

  QWidget* Widget() const { return widget_; }

 protected:
  bool HasWidget() const override { return !widget_.isNull(); }
  void ApplyBounds() override;
  void ApplyColor() override;
  void ApplyFont() override;
  void ApplyEnabled() override { widget_->setEnabled(control_.Enabled()); }
  void ApplyVisible() override;

  QtFrontEnd& frontEnd_;
  QPointer<QWidget> widget_;
};

class QtFrontEnd : public GuardedFrontEnd {
 public:
  QtFrontEnd(int& argc, char** argv, plat::Platform& platform);
  ~QtFrontEnd() override;

  std::unique_ptr<fw::ControlPeer> CreatePeer(fw::TControl& control) override;
  // A QMessageBox (Critical or Information icon, one "OK" button) run modally; while it is
  // open the application's queued work and timers keep running, as under a system dialog.
  // A detail is the box's informative text, below the text.
  void MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                     const std::string& text) override;
  void DetailedMessageDialog(fw::TMsgDlgType type, const std::string& caption,
                             const std::string& text, const std::string& detail) override;
  int ScreenPixelsPerInch() override;
  void ScreenSize(int& width, int& height) override;

  void ProcessEvents() override;
  void WaitForEvents(DWORD timeoutMs) override;
  void Wake() override;

  // The widget of a control that has a Qt peer, or null.
  static QWidget* WidgetOf(const fw::TControl& control);
  // A control colour as Qt shows it (system colours through the application's palette).
  static QColor ToQColor(fw::TColor color);

 private:
  void CloseDialog() override;

  std::unique_ptr<QApplication> ownApplication_;
  plat::KernelApi& kernel_;
  HANDLE wakeEvent_ = nullptr;
};

}  // namespace ui
