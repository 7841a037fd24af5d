// The line's window on the Qt front-end (offscreen): four boards' rows appear and move, one fails,
// the window keeps every row inside it at the screen's resolution, and a screenshot is kept as an
// artifact (line_window_<ppi>dpi.png). When its dialogs come is the view's rule
// (tests/app/line/windowview_test.cpp). The suite also runs as a ctest entry on a 144 dpi screen (LCDWRITE_EXPECT_PPI).
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/line/windowview.h"
#include "tests/app/samplefiles.h"
#include "framework/application.h"
#include "framework/sysutils.h"
#include "ui/qt/qt_peers.h"

namespace {

using app::line::BoardRow;

// The Qt front-end, offscreen. The view shows no dialog before the line has ended, which this
// test does not reach.
class LineWindowQt : public ::testing::Test {
 protected:
  bool offscreen_ = setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0;
  int argc_ = 1;
  char name_[12] = "test_app_qt";
  char* argv_[2] = {name_, nullptr};
  ui::QtFrontEnd frontEnd_{argc_, argv_, plat::CurrentPlatform()};
};

TEST_F(LineWindowQt, rows_show_their_boards_scaled_to_the_screen) {
  const char* want = std::getenv("LCDWRITE_EXPECT_PPI");
  const int ppi = frontEnd_.ScreenPixelsPerInch();
  EXPECT_EQ(ppi, want != nullptr ? std::atoi(want) : 96);

  app::line::WindowLineView view(frontEnd_, nullptr);
  app::line::TLineForm& form = view.Form();
  const char* converters[] = {"A5XK3RJT", "B7QW2MZK", "C2LM8NPQ", "D9RT4VWX"};
  // Each board's own file, with its own serial number.
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "lcdwrite-qt-line";
  std::vector<BoardRow> boards;
  for (size_t i = 0; i < 4; ++i) {
    std::filesystem::create_directories(dir / converters[i]);
    std::string config = apptest::SampleConfig();
    config.replace(config.find("1234\n"), 5, std::to_string(4711 + i) + "\n");
    std::ofstream(dir / converters[i] / "Quorix.lcd") << config;
    BoardRow board;
    board.converter = converters[i];
    board.configPlace = (dir / converters[i]).string();
    boards.push_back(board);
    view.RowAdded(i, board);
  }
  const char* statuses[] = {"Parameter werden geschrieben", "Reset", "Seriennummer",
                            "Konfiguration wird geschrieben"};
  for (size_t i = 0; i < 4; ++i) {
    boards[i].state = BoardRow::State::Writing;
    boards[i].port = "COM" + std::to_string(3 + i);
    boards[i].status = statuses[i];
    boards[i].percent = 20 + 20 * static_cast<int>(i);
    view.RowChanged(i, boards[i]);
  }
  boards[1].state = BoardRow::State::Failed;
  boards[1].exitStatus = 4;
  boards[1].failure = "COM4: Fehler beim Schreiben";
  view.BoardFailure(1, "Fehler", "Platine B7QW2MZK (COM4): COM4: Fehler beim Schreiben", "");
  view.RowChanged(1, boards[1]);
  view.WaitForEvents(1);
  QCoreApplication::processEvents();

  QWidget* window = ui::QtFrontEnd::WidgetOf(form);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), QString("LCD Konfiguration - 4 Platinen"));
  auto* status0 = qobject_cast<QLabel*>(ui::QtFrontEnd::WidgetOf(*form.RowAt(0).status));
  auto* status1 = qobject_cast<QLabel*>(ui::QtFrontEnd::WidgetOf(*form.RowAt(1).status));
  auto* bar3 = qobject_cast<QProgressBar*>(ui::QtFrontEnd::WidgetOf(*form.RowAt(3).progress));
  ASSERT_NE(status0, nullptr);
  ASSERT_NE(status1, nullptr);
  ASSERT_NE(bar3, nullptr);
  EXPECT_EQ(status0->text(), QString("Parameter werden geschrieben"));
  EXPECT_EQ(status1->text(),
            QString("Status 4: COM4: Fehler beim Schreiben"));
  EXPECT_EQ(bar3->value(), 80);
  auto* serial2 = qobject_cast<QLabel*>(ui::QtFrontEnd::WidgetOf(*form.RowAt(2).serial));
  ASSERT_NE(serial2, nullptr);
  EXPECT_EQ(serial2->text(), QString("4713567"));
  std::filesystem::remove_all(dir);
  // Every row inside the window at this resolution, the font scaled with it.
  const QWidget* box = ui::QtFrontEnd::WidgetOf(*form.RowsBox);
  EXPECT_LE(box->geometry().bottom(), window->height());
  EXPECT_LE(ui::QtFrontEnd::WidgetOf(*form.RowAt(3).progress)->geometry().bottom(),
            box->height());
  EXPECT_EQ(status0->font().pixelSize(), fw::MulDiv(16, ppi, 96));

  const QString artifacts = QString::fromUtf8(LCDWRITE_BINARY_DIR) + "/artifacts";
  QDir().mkpath(artifacts);
  const QString file = artifacts + QStringLiteral("/line_window_%1dpi.png").arg(ppi);
  const QPixmap shot = window->grab();
  ASSERT_TRUE(shot.save(file));
  EXPECT_EQ(QImage(file).size(), window->size());

}

}  // namespace
