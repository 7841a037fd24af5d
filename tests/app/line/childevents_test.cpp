// What the line's parent reads from a child: the child's console JSON lines and its result line,
// written by the real writers (ui/console, app/resultline) and read back into the board's row.
#include <gtest/gtest.h>

#include <sstream>

#include "app/line/boards.h"
#include "app/line/jsonline.h"
#include "app/line/streamviews.h"
#include "app/resultline.h"
#include "framework/controls.h"
#include "framework/sysutils.h"
#include "platform/sim/machine.h"
#include "ui/console/console_frontend.h"

namespace {

using app::line::BoardRow;
using app::line::JsonObject;
using app::line::ParseJsonObject;

class ChildForm : public fw::TForm {
 public:
  ChildForm() : fw::TForm(nullptr) {
    SetCaption("LCD Konfiguration schreiben v7.1 ab Fv7.26");
    label = new fw::TLabel(this);
    label->SetParent(this);
    bar = new fw::TProgressBar(this);
    bar->SetParent(this);
  }
  fw::TLabel* label;
  fw::TProgressBar* bar;
};

// A board's row after the child's lines, and what the parent was asked to show besides.
struct Read {
  BoardRow row;
  std::vector<app::line::ChildLineOutcome> outcomes;
};

Read ReadBack(const std::string& lines) {
  Read read;
  read.row.converter = "A5XK3RJT";
  read.row.port = "COM3";
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    const std::optional<JsonObject> object = ParseJsonObject(line);
    EXPECT_TRUE(object) << line;
    if (object) read.outcomes.push_back(app::line::ApplyChildEvent(read.row, *object));
  }
  return read;
}

TEST(ChildLines, what_a_child_writes_the_parent_reads_back_exactly) {
  // Texts with what JSON must escape and Windows-1252 letters beyond Latin-1's.
  const std::string status = "Konfiguration zum Ger\xE4t senden \"4711\"\t\x80\\";
  const std::string failure = "ComPortError:  COM3 !\n\nDer Port \x84weg\x93";
  const std::string detail = "Ursache f\xFCr COM3.";
  const std::string note = "Seriennummer an die Platine: 1234567";

  sim::Machine machine;
  std::ostringstream out;
  ui::ConsoleFrontEnd frontEnd(out, /*terminal=*/false, machine);
  frontEnd.SetJsonLines();
  fw::AttachFrontEnd(&frontEnd, nullptr);
  {
    ChildForm form;
    form.Show();
    frontEnd.ProcessEvents();
    form.label->SetCaption(status);
    form.label->Repaint();
    form.bar->SetPosition(40);
    form.bar->Repaint();
    fw::Note(note);
    frontEnd.DetailedMessageDialog(fw::mtError, "Fehler", failure, detail);
    frontEnd.MessageDialog(fw::mtInformation, "Information", "nur zur Information");
  }
  fw::AttachFrontEnd(nullptr, nullptr);
  out << app::ResultLine(4, "COM3", "A5XK3RJT", failure + "\n" + detail);

  const Read read = ReadBack(out.str());
  EXPECT_EQ(read.row.status, status);
  EXPECT_EQ(read.row.percent, 40);
  EXPECT_EQ(read.row.exitStatus, 4);
  EXPECT_EQ(read.row.port, "COM3");
  EXPECT_EQ(read.row.failure, failure + "\n" + detail);
  std::vector<std::string> notes;
  std::vector<std::string> failures;
  for (const auto& outcome : read.outcomes) {
    if (outcome.note) notes.push_back(*outcome.note);
    if (outcome.failure) {
      failures.push_back(outcome.failure->caption + "|" + outcome.failure->text + "|" +
                         outcome.failure->detail);
    }
  }
  EXPECT_EQ(notes, std::vector<std::string>{"Platine A5XK3RJT (COM3): " + note});
  // The error names its board; an information is no failure.
  EXPECT_EQ(failures,
            std::vector<std::string>{"Fehler|Platine A5XK3RJT (COM3): " + failure + "|" + detail});
}

TEST(ChildLines, a_new_step_starts_without_progress_and_the_end_decides_the_status) {
  const struct {
    const char* name;
    std::string lines;
    plat::ChildExit exit;
    std::string lastError;
    int status;
    BoardRow::State state;
    std::string failure;
  } rows[] = {
      {"written",
       "{\"event\":\"status\",\"text\":\"a\"}\n{\"event\":\"progress\",\"percent\":100}\n"
       "{\"event\":\"result\",\"status\":0,\"written\":true,\"port\":\"COM3\",\"converter\":"
       "\"A5XK3RJT\",\"failure\":\"\"}\n",
       {true, 0, 0}, "", 0, BoardRow::State::Written, ""},
      {"the exit status counts, not what the result line said",
       "{\"event\":\"result\",\"status\":0,\"written\":true,\"port\":\"COM3\",\"converter\":"
       "\"A5XK3RJT\",\"failure\":\"\"}\n",
       {true, 74, 0}, "", 74, BoardRow::State::Failed, "Prozess mit Status 74 beendet"},
      {"killed after its own failure: both said",
       "{\"event\":\"dialog\",\"type\":\"error\",\"caption\":\"Fehler\",\"text\":\"x\","
       "\"detail\":\"\"}\n",
       {false, 0, 9}, "", 137, BoardRow::State::Failed, "Prozess durch Signal 9 beendet\nx"},
      {"stopped: its last word is its failure", "{\"event\":\"status\",\"text\":\"warten\"}\n",
       {true, 130, 0}, "Abgebrochen", 130, BoardRow::State::Failed, "Abgebrochen"},
  };
  for (const auto& row : rows) {
    Read read = ReadBack(row.lines);
    app::line::ApplyChildExit(read.row, row.exit, row.lastError);
    EXPECT_EQ(read.row.exitStatus, row.status) << row.name;
    EXPECT_EQ(read.row.state, row.state) << row.name;
    EXPECT_EQ(read.row.failure, row.failure) << row.name;
  }
  // A progress of one step is not the next step's.
  const Read steps = ReadBack(
      "{\"event\":\"status\",\"text\":\"a\"}\n{\"event\":\"progress\",\"percent\":100}\n"
      "{\"event\":\"status\",\"text\":\"b\"}\n");
  EXPECT_EQ(steps.row.percent, -1);
}

TEST(JsonLine, only_one_well_formed_object_is_read) {
  const struct {
    std::string line;
    bool read;
  } rows[] = {
      {"{\"event\":\"status\",\"text\":\"x\"}", true},
      {"  { \"a\" : [1, {\"b\": [true, null]}] , \"c\": -1.5e3 }  ", true},
      {"{}", true},
      {"", false},
      {"{\"event\":\"status\"", false},
      {"{\"a\":1}{\"b\":2}", false},
      {"[1,2]", false},
      {"\"text\"", false},
      {"{\"a\":\"tab\tinside\"}", false},
      {"{\"a\":\"\\x41\"}", false},
      {"{\"a\":01}", false},
      {"{\"a\":1,}", false},
      {"{a:1}", false},
      {"{\"a\":tru}", false},
      {"{\"a\":" + std::string(40, '[') + std::string(40, ']') + "}", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ParseJsonObject(row.line).has_value(), row.read) << row.line;
  }
}

TEST(JsonLine, strings_are_decoded_and_values_kept_as_written) {
  const auto object = ParseJsonObject(
      "{\"t\":\"a\\u00e4\\ud83d\\ude00\\u0000\\/\\\"\",\"lone\":\"\\udc00\",\"n\":42,"
      "\"f\":4.5,\"big\":123456789012345678901,\"nested\":{\"x\":[1]}}");
  ASSERT_TRUE(object);
  EXPECT_EQ(object->Text("t"), std::string("a\xC3\xA4\xF0\x9F\x98\x80", 7) + std::string(1, '\0') +
                                   "/\"");
  EXPECT_EQ(object->Text("lone"), "\xEF\xBF\xBD");
  EXPECT_EQ(object->Integer("n"), 42);
  EXPECT_EQ(object->Integer("f"), std::nullopt);
  EXPECT_EQ(object->Integer("big"), std::nullopt);
  EXPECT_EQ(object->Find("nested")->raw, "{\"x\":[1]}");
  EXPECT_EQ(object->Text("n"), "");
}

BoardRow Row(const char* converter, const char* port, BoardRow::State state,
             const char* status = "", int percent = -1, int exitStatus = -1,
             const char* failure = "") {
  BoardRow row;
  row.converter = converter;
  row.port = port;
  row.state = state;
  row.status = status;
  row.percent = percent;
  row.exitStatus = exitStatus;
  row.failure = failure;
  return row;
}

TEST(ConsoleLineView, plain_lines_when_a_row_shows_something_new) {
  std::ostringstream out;
  app::line::ConsoleLineView view(out, /*terminal=*/false);
  view.RowAdded(0, Row("A5XK3RJT", "COM3", BoardRow::State::Waiting));
  view.RowAdded(1, Row("B7QW2MZK", "", BoardRow::State::Waiting));
  view.RowChanged(0, Row("A5XK3RJT", "COM3", BoardRow::State::Writing, "Betriebszeit l\xF6schen", 40));
  view.RowChanged(0, Row("A5XK3RJT", "COM3", BoardRow::State::Writing, "Betriebszeit l\xF6schen", 40));
  view.BoardFailure(1, "Fehler", "Platine B7QW2MZK: ComPortError:  COM4 !", "");
  view.RowChanged(1, Row("B7QW2MZK", "COM4", BoardRow::State::Failed, "", -1, 4,
                         "ComPortError:  COM4 !\nmehr"));
  view.RowChanged(0, Row("A5XK3RJT", "COM3", BoardRow::State::Written, "", 100, 0));
  app::line::LineSummary summary;
  summary.text = "1 von 2 Platinen geschrieben; nicht geschrieben: B7QW2MZK (Status 4)";
  view.Finished({}, summary);
  EXPECT_EQ(out.str(),
            "A5XK3RJT         COM3     wartet\n"
            "B7QW2MZK         -        wartet\n"
            "A5XK3RJT         COM3     Betriebszeit l\xC3\xB6schen 40 %\n"
            "[Fehler] Platine B7QW2MZK: ComPortError:  COM4 !\n"
            "B7QW2MZK         COM4     nicht geschrieben (Status 4): ComPortError:  COM4 !\n"
            "A5XK3RJT         COM3     geschrieben\n"
            "1 von 2 Platinen geschrieben; nicht geschrieben: B7QW2MZK (Status 4)\n");
}

TEST(ConsoleLineView, on_a_terminal_the_rows_are_redrawn_in_place_and_notes_go_above_them) {
  std::ostringstream out;
  app::line::ConsoleLineView view(out, /*terminal=*/true, [] { return 30; });
  view.RowAdded(0, Row("A5XK3RJT", "COM3", BoardRow::State::Waiting));
  view.RowAdded(1, Row("B7QW2MZK", "COM4", BoardRow::State::Waiting));
  out.str("");
  view.RowChanged(1, Row("B7QW2MZK", "COM4", BoardRow::State::Writing, "warten"));
  EXPECT_EQ(out.str(),
            "\x1b[2A"
            "\rA5XK3RJT         COM3     war\x1b[K\n"
            "\rB7QW2MZK         COM4     war\x1b[K\n");
  out.str("");
  view.Note("Abbruch");
  EXPECT_EQ(out.str(),
            "\x1b[2A\r\x1b[JAbbruch\n"
            "\rA5XK3RJT         COM3     war\x1b[K\n"
            "\rB7QW2MZK         COM4     war\x1b[K\n");
}

}  // namespace
