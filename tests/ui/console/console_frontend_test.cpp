#include "ui/console/console_frontend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "framework/controls.h"
#include "platform/sim/machine.h"

namespace ui {
namespace {

class StatusForm : public fw::TForm {
 public:
  StatusForm() : fw::TForm(nullptr) {
    SetCaption("LCD Konfiguration schreiben v7.1 ab Fv7.26");
    label = new fw::TLabel(this);
    label->SetName("statusLabel");
    label->SetParent(this);
    bar = new fw::TProgressBar(this);
    bar->SetName("ProgressBar");
    bar->SetParent(this);
  }
  fw::TLabel* label;
  fw::TProgressBar* bar;
};

class ConsoleTest : public ::testing::Test {
 protected:
  void Attach(bool terminal) {
    fe = std::make_unique<ConsoleFrontEnd>(out, terminal, machine);
    fw::AttachFrontEnd(fe.get(), nullptr);
  }
  void TearDown() override { fw::AttachFrontEnd(nullptr, nullptr); }

  sim::Machine machine;
  std::ostringstream out;
  std::unique_ptr<ConsoleFrontEnd> fe;
};

TEST_F(ConsoleTest, status_texts_print_at_repaint_and_processing_points_only_when_changed) {
  Attach(false);
  StatusForm form;
  form.Show();
  fe->ProcessEvents();
  form.label->SetCaption("Daten laden");
  form.label->Repaint();
  form.label->SetCaption("suchen");       // replaced before anything shows it: never printed
  form.label->SetCaption("Schreiben l\xE4uft");
  fe->ProcessEvents();
  fe->ProcessEvents();
  form.label->SetCaption("warten");
  form.label->Repaint();
  form.label->SetCaption("warten");
  form.label->Repaint();
  form.label->SetCaption("");  // an empty status prints nothing
  fe->ProcessEvents();
  form.label->SetCaption("warten");  // back after another text: shown again
  fe->ProcessEvents();
  EXPECT_EQ(out.str(),
            "LCD Konfiguration schreiben v7.1 ab Fv7.26\n"
            "Daten laden\n"
            "Schreiben l\xC3\xA4uft\n"
            "warten\n"
            "warten\n");
}

TEST_F(ConsoleTest, progress_in_a_log_prints_a_line_per_tenth) {
  Attach(false);
  StatusForm form;
  form.Show();
  fe->ProcessEvents();
  out.str("");
  form.bar->SetMax(120);
  for (int position : {3, 6, 12, 13, 30, 119, 120, 150, 0, 5}) {
    form.bar->SetPosition(position);
    fe->ProcessEvents();
  }
  EXPECT_EQ(out.str(),
            "Fortschritt: 10 %\n"   // 12 of 120
            "Fortschritt: 25 %\n"   // 30
            "Fortschritt: 99 %\n"   // 119
            "Fortschritt: 100 %\n"  // 120; 150 is a full bar too
            "Fortschritt: 0 %\n");  // the next operation starts over; 5 stays in that tenth
}

TEST_F(ConsoleTest, progress_on_a_terminal_is_one_line_redrawn) {
  Attach(true);
  StatusForm form;
  form.Show();
  fe->ProcessEvents();
  out.str("");
  for (int position : {5, 50, 100}) {
    form.bar->SetPosition(position);
    form.bar->Repaint();
  }
  form.label->SetCaption("warten");
  form.label->Repaint();
  form.bar->SetPosition(7);
  fe->ProcessEvents();
  fe.reset();  // ends the open line
  EXPECT_EQ(out.str(),
            "\rFortschritt: 5 %"
            "\rFortschritt: 50 %"
            "\rFortschritt: 100 %"
            "\nwarten\n"
            "\rFortschritt: 7 %\n");
}

// On a narrow terminal the line never reaches the last column (where it would wrap and stack
// up): it shortens to the number, then is cut.
TEST_F(ConsoleTest, progress_on_a_narrow_terminal_never_wraps) {
  const struct {
    int columns;
    const char* shown;
  } rows[] = {
      {80, "\rFortschritt: 5 %\rFortschritt: 50 %\rFortschritt: 100 %\n"},
      {19, "\rFortschritt: 5 %\rFortschritt: 50 %\rFortschritt: 100 %\n"},
      {18, "\rFortschritt: 5 %\rFortschritt: 50 %\r100 %            \n"},
      {12, "\r5 %\r50 %\r100 %\n"},
      {4, "\r5 %\r50 \r100\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.columns);
    out.str("");
    fe = std::make_unique<ConsoleFrontEnd>(out, true, machine, row.columns);
    fw::AttachFrontEnd(fe.get(), nullptr);
    {
      StatusForm form;
      form.Show();
      fe->ProcessEvents();
      out.str("");
      for (int position : {5, 50, 100}) {
        form.bar->SetPosition(position);
        form.bar->Repaint();
      }
    }
    EXPECT_EQ(out.str(), row.shown);
    fw::AttachFrontEnd(nullptr, nullptr);
  }
}

TEST_F(ConsoleTest, the_window_going_ends_an_open_progress_line) {
  Attach(true);
  {
    StatusForm form;
    form.Show();
    fe->ProcessEvents();
    out.str("");
    form.bar->SetPosition(40);
    form.bar->Repaint();
  }
  // A line printed after the run (on any stream) starts on a line of its own.
  EXPECT_EQ(out.str(), "\rFortschritt: 40 %\n");
}

TEST_F(ConsoleTest, notes_print_as_lines_of_their_own_after_pending_status) {
  Attach(true);
  StatusForm form;
  form.Show();
  fe->ProcessEvents();
  form.label->SetCaption("suchen");
  form.bar->SetPosition(50);
  form.bar->Repaint();
  fw::Note("Latenzzeit auf 1 ms gesetzt; der Treiber \xFC" "bernimmt sie beim \xD6" "ffnen.");
  EXPECT_EQ(out.str(),
            "LCD Konfiguration schreiben v7.1 ab Fv7.26\n"
            "\rFortschritt: 50 %\nsuchen\n"
            "Latenzzeit auf 1 ms gesetzt; der Treiber \xC3\xBC" "bernimmt sie beim \xC3\x96" "ffnen.\n");
}

TEST_F(ConsoleTest, dialogs_print_caption_and_exact_text_after_pending_status) {
  Attach(false);
  StatusForm form;
  form.Show();
  form.label->SetCaption("Konfiguration senden");
  const struct {
    fw::TMsgDlgType type;
    const char* caption;
    const char* text;
    const char* printed;
    const char* detail = "";
  } cases[] = {
      {fw::mtError, "Fehler", "ComPortError:  COM3 !", "[Fehler] ComPortError:  COM3 !\n"},
      {fw::mtError, "Fehler", "ComPortError:  COM3 !\n\nDer Port kann nicht ge\xF6" "ffnet werden.",
       "[Fehler] ComPortError:  COM3 !\n\nDer Port kann nicht ge\xC3\xB6" "ffnet werden.\n"},
      {fw::mtInformation, "Information", "Schreiben erfolgreich beendet!",
       "[Information] Schreiben erfolgreich beendet!\n"},
      {fw::mtError, "Fehler", "ComPortError:  ttyUSB0 !",
       "[Fehler] ComPortError:  ttyUSB0 !\nUrsache f\xC3\xBCr ttyUSB0.\nAbhilfe: anstecken.\n",
       "Ursache f\xFCr ttyUSB0.\nAbhilfe: anstecken."},
  };
  std::string expected =
      "LCD Konfiguration schreiben v7.1 ab Fv7.26\nKonfiguration senden\n";
  for (const auto& c : cases) {
    fe->DetailedMessageDialog(c.type, c.caption, c.text, c.detail);  // returns at once
    expected += c.printed;
  }
  EXPECT_EQ(out.str(), expected);
  ASSERT_EQ(fe->Dialogs().size(), 4u);
  EXPECT_EQ(fe->Dialogs()[2].detail, "");
  EXPECT_EQ(fe->Dialogs()[3].detail, cases[3].detail);
  EXPECT_EQ(fe->Dialogs()[1].type, fw::mtError);
  EXPECT_EQ(fe->Dialogs()[1].text, cases[1].text);
  EXPECT_EQ(fe->Dialogs()[2].caption, "Information");
  EXPECT_FALSE(fe->CanWaitForUser());
}

TEST_F(ConsoleTest, waiting_moves_the_platform_clock_and_a_wake_ends_it) {
  Attach(false);
  const std::int64_t before = machine.NowNs();
  fe->WaitForEvents(1000);
  EXPECT_EQ(machine.NowNs() - before, 1000 * sim::kNsPerMs);
  fe->Wake();
  const std::int64_t woken = machine.NowNs();
  fe->WaitForEvents(5000);  // the wake is pending: no time passes
  EXPECT_EQ(machine.NowNs(), woken);
}


// With JSON lines every moment is one object a line, on a terminal too (never redrawn).
TEST_F(ConsoleTest, json_lines_carry_each_moment_as_one_object) {
  Attach(true);
  fe->SetJsonLines();
  StatusForm form;
  form.Show();
  fe->ProcessEvents();
  form.label->SetCaption("Betriebszeit l\xF6schen");
  form.bar->SetPosition(5);
  form.bar->Repaint();
  form.bar->SetPosition(12);
  form.bar->Repaint();
  form.label->Repaint();
  fw::Note("Seriennummer \"1234567\"\tzuletzt");
  fe->DetailedMessageDialog(fw::mtError, "Fehler", "ComPortError:  COM3 !\n\nweg",
                            "Ursache f\xFCr COM3.");
  fe->MessageDialog(fw::mtInformation, "Information", "Schreiben erfolgreich beendet!");
  EXPECT_EQ(out.str(),
            "{\"event\":\"window\",\"caption\":\"LCD Konfiguration schreiben v7.1 ab Fv7.26\"}\n"
            "{\"event\":\"progress\",\"percent\":12}\n"
            "{\"event\":\"status\",\"text\":\"Betriebszeit l\xC3\xB6schen\"}\n"
            "{\"event\":\"note\",\"text\":\"Seriennummer \\\"1234567\\\"\\u0009zuletzt\"}\n"
            "{\"event\":\"dialog\",\"type\":\"error\",\"caption\":\"Fehler\","
            "\"text\":\"ComPortError:  COM3 !\\u000a\\u000aweg\",\"detail\":\"Ursache f\xC3\xBCr COM3.\"}\n"
            "{\"event\":\"dialog\",\"type\":\"information\",\"caption\":\"Information\","
            "\"text\":\"Schreiben erfolgreich beendet!\",\"detail\":\"\"}\n");
}

}  // namespace
}  // namespace ui
