// The line's window on the recording front-end: rows appear and follow their boards, failures
// wait for the end and name their boards, the summary ends it, closing the window stops the line,
// and rows added later are scaled as the form text is.
#include "app/line/windowview.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/app/samplefiles.h"
#include "ui/recording/recording_frontend.h"

namespace app::line {
namespace {

namespace fs = std::filesystem;

BoardRow Board(const std::string& converter, BoardRow::State state = BoardRow::State::Waiting) {
  BoardRow row;
  row.converter = converter;
  row.state = state;
  return row;
}

struct RowSeen {
  std::string converter, serial, status;
  int position;
  fw::TColor color;
};
RowSeen Seen(const TLineForm& form, size_t row) {
  const TLineForm::Row& r = form.RowAt(row);
  return {r.converter->Caption(), r.serial->Caption(), r.status->Caption(), r.progress->Position(),
          r.status->Color()};
}

TEST(LineWindow, each_board_state_shows_in_its_row) {
  ui::RecordingFrontEnd frontEnd(true);
  WindowLineView view(frontEnd, nullptr);
  BoardRow board = Board("A5XK3RJT");
  view.RowAdded(0, board);
  struct Step {
    BoardRow::State state;
    std::string port, status;
    int percent, exitStatus;
    std::string failure;
    RowSeen seen;  // converter, status and position
  };
  const Step steps[] = {
      {BoardRow::State::Waiting, "", "", -1, -1, "", {"A5XK3RJT", "", "wartet", 0, 0}},
      {BoardRow::State::Writing, "COM3", "", 0, -1, "", {"A5XK3RJT (COM3)", "", "wartet", 0, 0}},
      {BoardRow::State::Writing, "COM3", "Konfiguration wird geschrieben", 40, -1, "",
       {"A5XK3RJT (COM3)", "", "Konfiguration wird geschrieben", 40, 0}},
      {BoardRow::State::Written, "COM3", "Konfiguration wird geschrieben", 90, 0, "",
       {"A5XK3RJT (COM3)", "", "geschrieben", 100, 0}},
      {BoardRow::State::Failed, "COM3", "Reset", 10, 4, "COM3: Fehler\nDer Wandler fehlt.",
       {"A5XK3RJT (COM3)", "", "Status 4: COM3: Fehler", 10, 0}},
      {BoardRow::State::Failed, "", "", -1, 70, "Prozess nicht gestartet: x",
       {"A5XK3RJT", "", "Status 70: Prozess nicht gestartet: x", 0, 0}},
  };
  const fw::TColor plain = fw::clWhite;
  for (const Step& step : steps) {
    board.state = step.state;
    board.port = step.port;
    board.status = step.status;
    board.percent = step.percent;
    board.exitStatus = step.exitStatus;
    board.failure = step.failure;
    view.RowChanged(0, board);
    const RowSeen seen = Seen(view.Form(), 0);
    EXPECT_EQ(seen.converter, step.seen.converter);
    EXPECT_EQ(seen.status, step.seen.status);
    EXPECT_EQ(seen.position, step.seen.position) << step.seen.status;
    // Green once written, red once failed, white before.
    if (step.state == BoardRow::State::Written || step.state == BoardRow::State::Failed) {
      EXPECT_NE(seen.color, plain);
    } else {
      EXPECT_EQ(seen.color, plain);
    }
  }
  EXPECT_TRUE(frontEnd.dialogs.empty());
}

TEST(LineWindow, rows_appear_in_order_and_the_window_grows_by_one_row_each) {
  for (const int ppi : {96, 144}) {
    ui::RecordingFrontEnd frontEnd(true, ppi);
    WindowLineView view(frontEnd, nullptr);
    TLineForm& form = view.Form();
    const int empty = form.ClientHeight();
    const char* converters[] = {"A5XK3RJT", "B7QW2MZK", "C2LM8NPQ", "D9RT4VWX"};
    for (size_t i = 0; i < 4; ++i) view.RowAdded(i, Board(converters[i]));
    ASSERT_EQ(form.RowCount(), 4u);
    EXPECT_EQ(form.Caption(), "LCD Konfiguration - 4 Platinen");
    EXPECT_EQ(form.ClientHeight(), empty + 4 * fw::MulDiv(28, ppi, 96));
    for (size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(Seen(form, i).converter, converters[i]);
      const TLineForm::Row& row = form.RowAt(i);
      // Below the header, one row height apart, in the columns of the header.
      EXPECT_EQ(row.converter->Top(), fw::MulDiv(48 + 28 * static_cast<int>(i), ppi, 96));
      EXPECT_EQ(row.converter->Left(), form.ConverterHeader->Left());
      EXPECT_EQ(row.serial->Left(), form.SerialHeader->Left());
      EXPECT_EQ(row.status->Left(), form.StatusHeader->Left());
      EXPECT_EQ(row.progress->Left(), form.ProgressHeader->Left());
      EXPECT_EQ(row.progress->Width(), form.ProgressHeader->Width());
      EXPECT_LE(row.progress->Top() + row.progress->Height(), form.RowsBox->Height());
    }
    EXPECT_GE(form.SummaryLabel->Top(), form.RowsBox->Top() + form.RowsBox->Height());
    EXPECT_LE(form.SummaryLabel->Top() + form.SummaryLabel->Height(), form.ClientHeight());
  }
}

TEST(LineWindow, the_serial_number_comes_from_each_boards_own_file) {
  const fs::path dir = fs::temp_directory_path() / "lcdwrite-linewindow-serials";
  fs::remove_all(dir);
  fs::create_directories(dir / "A5XK3RJT");
  std::ofstream(dir / "A5XK3RJT" / "Quorix.lcd") << apptest::SampleConfig();
  std::string other = apptest::SampleConfig();
  other.replace(other.find("1234\n567"), 8, "9876\n543");
  std::ofstream(dir / "other.lcd") << other;
  std::ofstream(dir / "broken.lcd") << "4\n1\n";

  ui::RecordingFrontEnd frontEnd(true);
  WindowLineView view(frontEnd, nullptr);
  BoardRow board = Board("A5XK3RJT");
  const std::pair<std::string, std::string> rows[] = {
      {(dir / "A5XK3RJT").string(), "1234567"},
      {(dir / "other.lcd").string(), "9876543"},
      {(dir / "broken.lcd").string(), ""},   // its child says what is wrong
      {(dir / "missing").string(), ""},
  };
  for (size_t i = 0; i < std::size(rows); ++i) {
    board.configPlace = rows[i].first;
    view.RowAdded(i, board);
    EXPECT_EQ(Seen(view.Form(), i).serial, rows[i].second) << rows[i].first;
  }
  fs::remove_all(dir);
}

TEST(LineWindow, failures_wait_for_the_end_and_name_their_boards_then_the_summary) {
  struct Row {
    std::vector<int> failed;  // rows whose boards fail
    fw::TMsgDlgType summaryType;
    const char* summaryCaption;
  };
  for (const Row& row : {Row{{}, fw::mtInformation, "Information"},
                         Row{{1, 3}, fw::mtWarning, "Warnung"}}) {
    ui::RecordingFrontEnd frontEnd(true);
    WindowLineView view(frontEnd, nullptr);
    const char* converters[] = {"A5XK3RJT", "B7QW2MZK", "C2LM8NPQ", "D9RT4VWX"};
    std::vector<BoardRow> boards;
    for (size_t i = 0; i < 4; ++i) {
      boards.push_back(Board(converters[i], BoardRow::State::Writing));
      boards.back().port = "COM" + std::to_string(3 + i);
      view.RowAdded(i, boards.back());
    }
    LineSummary summary;
    summary.boards = 4;
    for (const int failed : row.failed) {
      const std::string name = std::string(converters[failed]) + " (COM" +
                               std::to_string(3 + failed) + ")";
      view.BoardFailure(failed, "Fehler", "Platine " + name + ": Reset nicht erfolgreich!",
                        "Die Platine antwortet nicht.");
      boards[failed].state = BoardRow::State::Failed;
      boards[failed].exitStatus = 1;
      boards[failed].failure = "Reset nicht erfolgreich!";
      view.RowChanged(failed, boards[failed]);
      summary.failedRows.push_back(failed);
    }
    // The other boards' rows go on after a failure, and no box has opened yet.
    boards[0].status = "Parameter werden geschrieben";
    boards[0].percent = 70;
    view.RowChanged(0, boards[0]);
    EXPECT_EQ(Seen(view.Form(), 0).status, "Parameter werden geschrieben");
    EXPECT_EQ(Seen(view.Form(), 0).position, 70);
    EXPECT_TRUE(frontEnd.dialogs.empty());

    for (BoardRow& board : boards) {
      if (board.state == BoardRow::State::Writing) board.state = BoardRow::State::Written;
    }
    summary.written = 4 - static_cast<int>(row.failed.size());
    summary.text = row.failed.empty() ? "4 von 4 Platinen geschrieben"
                                      : "2 von 4 Platinen geschrieben; nicht geschrieben: "
                                        "B7QW2MZK (Status 1), D9RT4VWX (Status 1)";
    view.Finished(boards, summary);

    ASSERT_EQ(frontEnd.dialogs.size(), row.failed.size() + 1);
    for (size_t i = 0; i < row.failed.size(); ++i) {
      const ui::RecordedDialog& dialog = frontEnd.dialogs[i];
      EXPECT_EQ(dialog.type, fw::mtError);
      EXPECT_EQ(dialog.caption, "Fehler");
      EXPECT_EQ(dialog.text.rfind("Platine " + std::string(converters[row.failed[i]]) + " (COM", 0),
                0u)
          << dialog.text;
      EXPECT_EQ(dialog.detail, "Die Platine antwortet nicht.");
    }
    const ui::RecordedDialog& last = frontEnd.dialogs.back();
    EXPECT_EQ(last.type, row.summaryType);
    EXPECT_EQ(last.caption, row.summaryCaption);
    EXPECT_EQ(last.text, summary.text);
    EXPECT_EQ(view.Form().SummaryLabel->Caption(), summary.text);
    EXPECT_EQ(Seen(view.Form(), 2).status, "geschrieben");
    EXPECT_FALSE(view.Form().Visible());
  }
}

TEST(LineWindow, closing_the_window_while_boards_are_written_stops_the_line_instead) {
  ui::RecordingFrontEnd frontEnd(true);
  int stops = 0;
  WindowLineView view(frontEnd, [&stops] { ++stops; });
  view.RowAdded(0, Board("A5XK3RJT", BoardRow::State::Writing));
  EXPECT_FALSE(view.Form().Close());
  EXPECT_TRUE(view.Form().Visible());
  EXPECT_EQ(stops, 1);
  LineSummary summary;
  summary.boards = 1;
  summary.text = "0 von 1 Platinen geschrieben";
  summary.failedRows = {0};
  view.Finished({Board("A5XK3RJT", BoardRow::State::Failed)}, summary);
  view.Form().Show();
  EXPECT_TRUE(view.Form().Close());
  EXPECT_EQ(stops, 1);
}

TEST(LineWindow, a_wake_from_another_thread_ends_the_wait) {
  ui::RecordingFrontEnd frontEnd(true);
  WindowLineView view(frontEnd, nullptr);
  const auto started = std::chrono::steady_clock::now();
  std::thread waker([&view] { view.Wake(); });
  view.WaitForEvents(60000);
  waker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  // Without a wake, the wait ends after its time.
  view.WaitForEvents(1);
}

}  // namespace
}  // namespace app::line
