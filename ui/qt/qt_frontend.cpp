#include "ui/qt/qt_frontend.h"

#include <QAbstractButton>
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPalette>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cmath>

#include "framework/sysutils.h"
#include "ui/qt/qt_peers.h"

namespace ui {

std::unique_ptr<fw::FrontEnd> CreateQtFrontEnd(int& argc, char** argv,
                                               plat::Platform& platform) {
  return std::make_unique<QtFrontEnd>(argc, argv, platform);
}

QtFrontEnd::QtFrontEnd(int& argc, char** argv, plat::Platform& platform)
    : kernel_(platform.kernel()) {
  if (QApplication::instance() == nullptr) {
    // The forms scale themselves by the screen's pixels per inch; Qt must not do it again.
    if (!qEnvironmentVariableIsSet("QT_ENABLE_HIGHDPI_SCALING")) {
      qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    }
    ownApplication_ = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The installed desktop entry and icon (lcdwrite.desktop, the theme's "lcdwrite"): the
    // desktop matches the window to the entry, and the window carries the icon where it is
    // installed.
    QGuiApplication::setDesktopFileName(QStringLiteral("lcdwrite"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("lcdwrite")));
  }
  wakeEvent_ = kernel_.CreateEventA(FALSE, FALSE);
}

QtFrontEnd::~QtFrontEnd() {
  if (fw::CurrentFrontEnd() == this) fw::AttachFrontEnd(nullptr);
  if (wakeEvent_ != nullptr) kernel_.CloseEvent(wakeEvent_);
  ownApplication_.reset();
}

void QtFrontEnd::CloseDialog() {
  if (dialogDepth_ == 0) return;
  if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
    box->done(QMessageBox::Ok);
  }
}

void QtFrontEnd::MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                               const std::string& text) {
  DetailedMessageDialog(type, caption, text, "");
}

void QtFrontEnd::DetailedMessageDialog(fw::TMsgDlgType type, const std::string& caption,
                                       const std::string& text, const std::string& detail) {
  QMessageBox::Icon icon = QMessageBox::Information;
  if (type == fw::mtError) icon = QMessageBox::Critical;
  if (type == fw::mtWarning) icon = QMessageBox::Warning;
  if (type == fw::mtConfirmation) icon = QMessageBox::Question;
  // The main form's window is the parent: the box stays above it and has no taskbar entry of
  // its own. Centred on the screen all the same, as the system's message boxes are.
  const fw::TForm* mainForm = fw::TForm::MainForm();
  QWidget* owner = mainForm != nullptr ? WidgetOf(*mainForm) : nullptr;
  QMessageBox box(icon, QString::fromUtf8(fw::Cp1252ToUtf8(caption)),
                  QString::fromUtf8(fw::Cp1252ToUtf8(text)), QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  if (!detail.empty()) box.setInformativeText(QString::fromUtf8(fw::Cp1252ToUtf8(detail)));
  box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
  box.setWindowModality(Qt::ApplicationModal);

  // Like a system dialog's own message loop: timers and queued calls go on meanwhile.
  QTimer work;
  work.setInterval(kDialogWorkIntervalMs);
  QObject::connect(&work, &QTimer::timeout, &box, [this] { DialogWorkRound(); });
  work.start();
  ++dialogDepth_;
  box.exec();
  --dialogDepth_;
  work.stop();
  RaisePendingEnd();
}

int QtFrontEnd::ScreenPixelsPerInch() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? static_cast<int>(std::lround(screen->logicalDotsPerInch())) : 96;
}

void QtFrontEnd::ScreenSize(int& width, int& height) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  width = area.width();
  height = area.height();
}

void QtFrontEnd::ProcessEvents() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  RaisePendingEnd();
}

void QtFrontEnd::WaitForEvents(DWORD timeoutMs) {
  if (kernel_.IsVirtual() && timeoutMs != INFINITE) {
    // A simulated machine: its clock jumps to the next timer; the window is served after.
    kernel_.WaitForSingleObject(wakeEvent_, timeoutMs);
    ProcessEvents();
    return;
  }
  if (timeoutMs == 0) {
    ProcessEvents();
    return;
  }
  QTimer limit;
  limit.setSingleShot(true);
  if (timeoutMs != INFINITE) limit.start(static_cast<int>(std::min<DWORD>(timeoutMs, 0x7FFFFFFF)));
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  RaisePendingEnd();
}

void QtFrontEnd::Wake() {
  kernel_.SetEvent(wakeEvent_);
  if (QCoreApplication* app = QCoreApplication::instance()) {
    if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(app->thread())) {
      d->wakeUp();
    }
  }
}

QColor QtFrontEnd::ToQColor(fw::TColor color) {
  if (color == 0x1FFFFFFFu) return QColor(Qt::transparent);  // clNone
  if (!fw::IsSystemColor(color)) {
    return QColor(fw::GetRValue(color), fw::GetGValue(color), fw::GetBValue(color));
  }
  const QPalette palette = QApplication::palette();
  switch (color & 0xFF) {
    case 5:  // clWindow
      return palette.color(QPalette::Base);
    case 7:   // clMenuText
    case 8:   // clWindowText
      return palette.color(QPalette::WindowText);
    case 13:  // clHighlight
      return palette.color(QPalette::Highlight);
    case 14:  // clHighlightText
      return palette.color(QPalette::HighlightedText);
    case 17:  // clGrayText
      return palette.color(QPalette::Disabled, QPalette::Text);
    case 18:  // clBtnText
      return palette.color(QPalette::ButtonText);
    case 23:  // clInfoText
      return palette.color(QPalette::ToolTipText);
    case 24:  // clInfoBk
      return palette.color(QPalette::ToolTipBase);
    default:  // clBtnFace and the other surfaces
      return palette.color(QPalette::Window);
  }
}

}  // namespace ui
