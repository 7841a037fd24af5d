// The real main window on the Qt front-end (offscreen), through a whole simulated run on the
// virtual clock: its size and caption, the reset panel following DSR, the success dialog closed
// by the test (owned by the main window), a screenshot kept as an artifact; and the error
// dialog of a folder without Quorix.lcd named on the command line.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/mainform.h"
#include "app/run.h"
#include "framework/application.h"
#include "platform/sim/machine.h"
#include "simfront/simulation.h"
#include "ui/qt/qt_peers.h"

namespace {

namespace fs = std::filesystem;

QColor Background(const fw::TControl& control) {
  QWidget* widget = ui::QtFrontEnd::WidgetOf(control);
  return widget != nullptr ? widget->palette().color(widget->backgroundRole()) : QColor();
}

// What a user saw of the last dialog, closed as a user would close it.
struct SeenDialog {
  QString title, text, informative;
  QWidget* parent = nullptr;
  QWidget* mainWindow = nullptr;  // the main form's window while the dialog was open
};

// The Qt front-end, offscreen, with a timer that reads and closes every modal dialog.
class MainWindowQt : public ::testing::Test {
 protected:
  MainWindowQt() {
    QObject::connect(&closer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen_ = {box->windowTitle(), box->text(), box->informativeText(), box->parentWidget(),
                 ui::QtFrontEnd::WidgetOf(*app::MainForm)};
        box->done(QMessageBox::Ok);
      }
    });
    closer_.start(10);
  }
  // Offscreen unless the environment chose a platform, set before the front-end starts Qt.
  bool offscreen_ = setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0;
  int argc_ = 1;
  char name_[12] = "test_app_qt";
  char* argv_[2] = {name_, nullptr};
  ui::QtFrontEnd frontEnd_{argc_, argv_, plat::CurrentPlatform()};
  QTimer closer_;
  SeenDialog seen_;
};

TEST_F(MainWindowQt, a_whole_run_in_the_window) {
  const fs::path previous = fs::current_path();
  const fs::path dir = fs::temp_directory_path() / "lcdwrite-qt-run";
  fs::create_directories(dir);
  fs::copy_file(fs::path(LCDWRITE_SOURCE_DIR) / "app/examples/Quorix.lcd", dir / "Quorix.lcd",
                fs::copy_options::overwrite_existing);
  fs::current_path(dir);

  QColor beforeReset, duringReset, afterReset;
  QString caption;
  QSize size;
  app::RunHooks hooks;
  hooks.onStart = [&](app::SimulatedTarget* target, app::TMainForm& form) {
    sim::Machine* machine = simfront::MachineOf(target);
    // The write starts just after 3.15 s (the search's tone lasts 150 ms): RTS drops, 200 ms
    // later DTR goes on and DSR follows; DTR goes off 250 ms after that.
    machine->Schedule(3100000000LL, [&] {
      QWidget* window = ui::QtFrontEnd::WidgetOf(form);
      caption = window->windowTitle();
      size = window->frameGeometry().size();
      beforeReset = Background(*form.ResetPanel);
    });
    machine->Schedule(3500000000LL, [&] { duringReset = Background(*form.ResetPanel); });
    machine->Schedule(4000000000LL, [&] { afterReset = Background(*form.ResetPanel); });
    // A screenshot while the configuration goes out.
    machine->Schedule(40000000000LL, [&] {
      const QString artifacts = QString::fromUtf8(LCDWRITE_BINARY_DIR) + "/artifacts";
      QDir().mkpath(artifacts);
      ui::QtFrontEnd::WidgetOf(form)->grab().save(artifacts + "/main_window.png");
    });
  };
  app::Options options;
  options.simulate = true;
  options.fast = true;
  std::ostringstream out, err;
  const int status = app::RunTool(options, frontEnd_, out, err, simfront::MakeSimulatedRun, hooks);
  fs::current_path(previous);
  fs::remove_all(dir);

  EXPECT_EQ(status, 0);
  EXPECT_EQ(caption, QString("LCD Konfiguration schreiben v7.1 ab Fv7.26"));
  EXPECT_EQ(size, QSize(593, 175));
  EXPECT_EQ(beforeReset, QColor(0, 128, 0));
  EXPECT_EQ(duringReset, QColor(0, 255, 0));
  EXPECT_EQ(afterReset, QColor(0, 128, 0));
  EXPECT_EQ(seen_.title, QString("Information"));
  EXPECT_EQ(seen_.text, QString("Schreiben erfolgreich beendet!"));
  EXPECT_NE(seen_.mainWindow, nullptr);
  EXPECT_EQ(seen_.parent, seen_.mainWindow);
}

TEST_F(MainWindowQt, a_named_folder_without_the_file_is_named_below_the_error) {
  const fs::path dir = fs::temp_directory_path() / "lcdwrite-qt-empty-folder";
  fs::create_directories(dir);
  app::Options options;
  options.simulate = true;
  options.fast = true;
  options.configPlace = dir.string();
  std::ostringstream out, err;
  const int status = app::RunTool(options, frontEnd_, out, err, simfront::MakeSimulatedRun);
  fs::remove_all(dir);

  EXPECT_EQ(status, 2);
  EXPECT_EQ(seen_.title, QString("Fehler"));
  EXPECT_EQ(seen_.text, QString::fromUtf8("Quorix.lcd kann nicht ge\u00f6ffnet werden!"));
  EXPECT_EQ(seen_.informative, QString::fromStdString("Gesucht im Ordner: " + dir.string()));
  EXPECT_NE(seen_.mainWindow, nullptr);
  EXPECT_EQ(seen_.parent, seen_.mainWindow);
}

}  // namespace
