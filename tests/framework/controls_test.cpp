#include "framework/controls.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "framework/application.h"

namespace fw {
namespace {

// A front-end that records what the controls tell their peers.
class RecordingFrontEnd : public FrontEnd {
 public:
  struct Record {
    std::vector<std::string> created;  // control names, in creation order
    std::map<std::string, std::vector<TPeerChange>> changes;
    std::map<std::string, int> repaints;
    std::vector<std::string> destroyed;
    std::vector<std::string> dialogs;
  };

  class Peer : public ControlPeer {
   public:
    Peer(Record& r, TControl& c, int frameW, int frameH)
        : r_(r), name_(c.Name()), frameW_(frameW), frameH_(frameH) {}
    ~Peer() override { r_.destroyed.push_back(name_); }
    void Changed(TPeerChange what) override { r_.changes[name_].push_back(what); }
    void Repaint() override { ++r_.repaints[name_]; }
    void FrameSize(int& w, int& h) override {
      w = frameW_;
      h = frameH_;
    }

   private:
    Record& r_;
    std::string name_;
    int frameW_, frameH_;
  };

  ~RecordingFrontEnd() override {
    if (CurrentFrontEnd() == this) AttachFrontEnd(nullptr);
  }
  std::unique_ptr<ControlPeer> CreatePeer(TControl& control) override {
    if (control.Kind() != TControlKind::Form && control.Parent()->Peer() == nullptr) {
      ADD_FAILURE() << control.Name() << " got a peer before its parent";
    }
    record.created.push_back(control.Name());
    return std::make_unique<Peer>(record, control, frameW, frameH);
  }
  void MessageDialog(TMsgDlgType type, const std::string& caption,
                     const std::string& text) override {
    record.dialogs.push_back(std::to_string(type) + "|" + caption + "|" + text);
  }
  int ScreenPixelsPerInch() override { return ppi; }
  void ScreenSize(int& w, int& h) override {
    w = 1024;
    h = 768;
  }
  void ProcessEvents() override {}
  void WaitForEvents(DWORD) override {}
  void Wake() override {}

  Record record;
  int ppi = 96;
  int frameW = 0, frameH = 0;
};

// The shape of the tool's window, with its handlers.
const char* const kLayout =
    "object MainForm: TTestForm\n"
    "  Left = 192\n"
    "  Top = 114\n"
    "  BorderIcons = [biSystemMenu, biMinimize]\n"
    "  BorderStyle = bsSingle\n"
    "  Caption = 'LCD Konfiguration'\n"
    "  ClientHeight = 131\n"
    "  ClientWidth = 577\n"
    "  Color = clBtnFace\n"
    "  Font.Charset = DEFAULT_CHARSET\n"
    "  Font.Color = clWindowText\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'MS Sans Serif'\n"
    "  Font.Style = []\n"
    "  Position = poDesktopCenter\n"
    "  OnCloseQuery = FormCloseQuery\n"
    "  PixelsPerInch = 96\n"
    "  TextHeight = 13\n"
    "  object GroupBox3: TGroupBox\n"
    "    Left = 16\n"
    "    Top = 24\n"
    "    Width = 353\n"
    "    Height = 89\n"
    "    Caption = 'Status'\n"
    "    Font.Charset = DEFAULT_CHARSET\n"
    "    Font.Color = clWindowText\n"
    "    Font.Height = -16\n"
    "    Font.Name = 'Arial'\n"
    "    Font.Style = []\n"
    "    ParentFont = False\n"
    "    object statusLabel: TLabel\n"
    "      Left = 16\n"
    "      Top = 64\n"
    "      Width = 329\n"
    "      Height = 18\n"
    "      AutoSize = False\n"
    "      Color = clWhite\n"
    "    end\n"
    "    object ProgressBar: TProgressBar\n"
    "      Left = 16\n"
    "      Top = 32\n"
    "      Width = 233\n"
    "      Height = 25\n"
    "      Smooth = True\n"
    "      Step = 1\n"
    "    end\n"
    "    object ResetPanel: TPanel\n"
    "      Left = 264\n"
    "      Top = 32\n"
    "      Width = 73\n"
    "      Height = 25\n"
    "      Caption = 'Reset'\n"
    "      Color = clGreen\n"
    "      Font.Style = [fsBold]\n"
    "      TabOrder = 1\n"
    "      BevelOuter = bvLowered\n"
    "    end\n"
    "  end\n"
    "  object GroupBox4: TGroupBox\n"
    "    Left = 384\n"
    "    Top = 24\n"
    "    Width = 177\n"
    "    Height = 89\n"
    "    Caption = 'Port'\n"
    "    Font.Height = -16\n"
    "    Font.Name = 'Arial'\n"
    "    TabOrder = 1\n"
    "    object ComboBox: TComboBox\n"
    "      Left = 16\n"
    "      Top = 24\n"
    "      Width = 137\n"
    "      Height = 26\n"
    "      TabStop = False\n"
    "      Style = csDropDownList\n"
    "      ItemHeight = 18\n"
    "      OnChange = ComboBoxChange\n"
    "    end\n"
    "    object SuchenButton: TButton\n"
    "      Left = 16\n"
    "      Top = 56\n"
    "      Width = 137\n"
    "      Height = 25\n"
    "      Caption = 'suchen'\n"
    "      TabStop = False\n"
    "      OnClick = SuchenButtonClick\n"
    "    end\n"
    "  end\n"
    "end\n";

class TTestForm : public TForm {
 public:
  explicit TTestForm(const char* text = kLayout) : TForm(nullptr) {
    MethodTable().Add("FormCloseQuery", Method<&TTestForm::FormCloseQuery>(this));
    MethodTable().Add("ComboBoxChange", Method<&TTestForm::ComboBoxChange>(this));
    MethodTable().Add("SuchenButtonClick", Method<&TTestForm::SuchenButtonClick>(this));
    ReadFormText(text);
  }
  ~TTestForm() override {
    while (ComponentCount() > 0) TComponent::Free(Components(ComponentCount() - 1));
  }
  const char* ClassName() const override { return "TTestForm"; }
  template <class T>
  T* Find(const std::string& name) {
    return dynamic_cast<T*>(FindComponent(name));
  }
  void FormCloseQuery(TObject*, bool& canClose) {
    ++closeQueries;
    canClose = allowClose;
  }
  void ComboBoxChange(TObject*) { ++changes; }
  void SuchenButtonClick(TObject*) { ++clicks; }

  int closeQueries = 0, changes = 0, clicks = 0;
  bool allowClose = true;
};

TEST(Controls, form_text_builds_the_window_with_nesting_fonts_and_handlers) {
  TTestForm form;
  auto* label = form.Find<TLabel>("statusLabel");
  auto* panel = form.Find<TPanel>("ResetPanel");
  auto* combo = form.Find<TComboBox>("ComboBox");
  auto* button = form.Find<TButton>("SuchenButton");
  ASSERT_TRUE(label && panel && combo && button);
  EXPECT_EQ(label->Parent(), form.Find<TGroupBox>("GroupBox3"));
  EXPECT_EQ(button->Parent(), form.Find<TGroupBox>("GroupBox4"));
  // The label and the button follow their group box's font; the panel adds bold to it.
  EXPECT_EQ(label->Font().Name(), "Arial");
  EXPECT_EQ(label->Font().Height(), -16);
  EXPECT_TRUE(label->ParentFont());
  EXPECT_EQ(button->Font().Name(), "Arial");
  EXPECT_EQ(panel->Font().Name(), "Arial");
  EXPECT_TRUE(panel->Font().Style().Contains(fsBold));
  EXPECT_FALSE(panel->ParentFont());
  EXPECT_EQ(label->Color(), clWhite);
  EXPECT_EQ(panel->BevelOuter(), bvLowered);
  EXPECT_EQ(form.ClientWidth(), 577);
  EXPECT_EQ(form.ClientHeight(), 131);
  EXPECT_EQ(form.Width(), 593);  // the nominal frame until a peer measures one
  EXPECT_EQ(form.Height(), 175);
  EXPECT_FALSE(form.Visible());
  button->Click();
  combo->AddItem("COM1");
  combo->UserSelect(0);
  EXPECT_EQ(form.clicks, 1);
  EXPECT_EQ(form.changes, 1);
}

TEST(Controls, form_text_round_trips) {
  TTestForm form;
  const std::string text = WriteComponentText(form);
  TTestForm copy(text.c_str());
  EXPECT_EQ(WriteComponentText(copy), text);
  // The group box's font change is written once, not repeated for its followers.
  EXPECT_EQ(text.find("statusLabel: TLabel\n      Left = 16\n      Top = 64\n      Width = "
                      "329\n      Height = 18\n      Color = clWhite\n      AutoSize = False\n"),
            text.find("statusLabel: TLabel"));
}

struct ScaleCase {
  int ppi;
  int clientWidth, clientHeight;
  int groupLeft, groupWidth;
  int groupFontHeight;
  int comboItemHeight;
};

class ControlsScaleTest : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ControlsScaleTest, a_form_read_on_another_screen_is_scaled) {
  const ScaleCase& c = GetParam();
  RecordingFrontEnd fe;
  fe.ppi = c.ppi;
  AttachFrontEnd(&fe, nullptr);
  TTestForm form;
  EXPECT_EQ(form.ClientWidth(), c.clientWidth);
  EXPECT_EQ(form.ClientHeight(), c.clientHeight);
  auto* group = form.Find<TGroupBox>("GroupBox3");
  EXPECT_EQ(group->Left(), c.groupLeft);
  EXPECT_EQ(group->Width(), c.groupWidth);
  EXPECT_EQ(group->Font().Height(), c.groupFontHeight);
  EXPECT_EQ(form.Find<TLabel>("statusLabel")->Font().Height(), c.groupFontHeight);
  EXPECT_EQ(form.Find<TComboBox>("ComboBox")->ItemHeight(), c.comboItemHeight);
  EXPECT_EQ(form.PixelsPerInch(), c.ppi);
  AttachFrontEnd(nullptr, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Screens, ControlsScaleTest,
                         ::testing::Values(ScaleCase{96, 577, 131, 16, 353, -16, 18},
                                           ScaleCase{120, 721, 164, 20, 441, -20, 23},
                                           ScaleCase{144, 866, 197, 24, 530, -24, 27},
                                           ScaleCase{72, 433, 98, 12, 265, -12, 14}));

TEST(Controls, unscaled_form_keeps_its_design_sizes) {
  RecordingFrontEnd fe;
  fe.ppi = 144;
  AttachFrontEnd(&fe, nullptr);
  std::string text = kLayout;
  text.replace(text.find("  PixelsPerInch"), 0, "  Scaled = False\n");
  TTestForm form(text.c_str());
  EXPECT_EQ(form.ClientWidth(), 577);
  EXPECT_EQ(form.Find<TGroupBox>("GroupBox3")->Font().Height(), -16);
  AttachFrontEnd(nullptr, nullptr);
}

TEST(Controls, outer_size_set_by_code_survives_the_measured_frame) {
  RecordingFrontEnd fe;  // offscreen-like: no frame
  AttachFrontEnd(&fe, nullptr);
  TTestForm form;
  form.SetWidth(741);
  form.SetHeight(218);
  form.Show();
  EXPECT_EQ(form.Width(), 741);
  EXPECT_EQ(form.Height(), 218);
  EXPECT_EQ(form.ClientWidth(), 741);
  // Centred on the 1024 x 768 screen at the first show.
  EXPECT_EQ(form.Left(), (1024 - 741) / 2);
  EXPECT_EQ(form.Top(), (768 - 218) / 2);
  AttachFrontEnd(nullptr, nullptr);
}

TEST(Controls, client_size_from_the_text_survives_the_measured_frame) {
  RecordingFrontEnd fe;
  fe.frameW = 10;
  fe.frameH = 30;
  AttachFrontEnd(&fe, nullptr);
  TTestForm form;
  form.Show();
  EXPECT_EQ(form.ClientWidth(), 577);
  EXPECT_EQ(form.Width(), 587);
  EXPECT_EQ(form.Height(), 161);
  AttachFrontEnd(nullptr, nullptr);
}

TEST(Controls, peers_come_with_show_parents_first_and_hear_only_real_changes) {
  RecordingFrontEnd fe;
  AttachFrontEnd(&fe, nullptr);
  {
    TTestForm form;
    EXPECT_TRUE(fe.record.created.empty());  // nothing before the form is shown
    form.Show();
    EXPECT_EQ(fe.record.created,
              (std::vector<std::string>{"MainForm", "GroupBox3", "statusLabel", "ProgressBar",
                                        "ResetPanel", "GroupBox4", "ComboBox", "SuchenButton"}));
    auto* panel = form.Find<TPanel>("ResetPanel");
    fe.record.changes.clear();
    panel->SetColor(clGreen);  // unchanged
    panel->SetColor(clLime);
    panel->SetEnabled(false);
    panel->SetEnabled(false);
    panel->Repaint();
    EXPECT_EQ(fe.record.changes["ResetPanel"],
              (std::vector<TPeerChange>{TPeerChange::Color, TPeerChange::Enabled}));
    EXPECT_EQ(fe.record.repaints["ResetPanel"], 1);

    // A control placed on the shown form gets its peer at once.
    auto* extra = new TLabel(&form);
    extra->SetName("Extra");
    extra->SetParent(form.Find<TGroupBox>("GroupBox4"));
    EXPECT_EQ(fe.record.created.back(), "Extra");
  }
  // Children's peers go before their parent's.
  ASSERT_FALSE(fe.record.destroyed.empty());
  EXPECT_EQ(fe.record.destroyed.back(), "MainForm");
  AttachFrontEnd(nullptr, nullptr);
}

TEST(Controls, detaching_the_front_end_drops_every_peer_and_attaching_brings_them_back) {
  RecordingFrontEnd fe;
  TTestForm form;
  form.Show();  // no front-end yet: visible without peers
  EXPECT_EQ(form.Peer(), nullptr);
  AttachFrontEnd(&fe, nullptr);
  EXPECT_NE(form.Find<TButton>("SuchenButton")->Peer(), nullptr);
  AttachFrontEnd(nullptr, nullptr);
  EXPECT_EQ(form.Peer(), nullptr);
  EXPECT_EQ(form.Find<TButton>("SuchenButton")->Peer(), nullptr);
  EXPECT_EQ(fe.record.destroyed.size(), fe.record.created.size());
}

TEST(Controls, close_asks_first_and_the_main_form_ends_the_loop) {
  TApplication app;
  TTestForm form;
  TForm::SetMainForm(&form);
  form.Show();
  form.allowClose = false;
  EXPECT_FALSE(form.Close());
  EXPECT_TRUE(form.Visible());
  EXPECT_FALSE(app.Terminated());
  form.allowClose = true;
  EXPECT_TRUE(form.Close());
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(form.closeQueries, 2);
}

struct ProgressCase {
  int min, max, set;
  int position, percent;
};

class ControlsProgressTest : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ControlsProgressTest, position_stays_in_range_and_shows_its_share) {
  const ProgressCase& c = GetParam();
  TProgressBar bar(nullptr);
  bar.SetMin(c.min);
  bar.SetMax(c.max);
  bar.SetPosition(c.set);
  EXPECT_EQ(bar.Position(), c.position);
  EXPECT_EQ(bar.Percent(), c.percent);
}

INSTANTIATE_TEST_SUITE_P(Values, ControlsProgressTest,
                         ::testing::Values(ProgressCase{0, 100, 37, 37, 37},
                                           ProgressCase{0, 100, 150, 100, 100},
                                           ProgressCase{0, 100, -5, 0, 0},
                                           ProgressCase{0, 120, 60, 60, 50},
                                           ProgressCase{10, 20, 15, 15, 50},
                                           ProgressCase{5, 5, 5, 5, 100}));

TEST(Controls, lowering_max_pulls_the_position_down) {
  TProgressBar bar(nullptr);
  bar.SetPosition(80);
  bar.SetMax(50);
  EXPECT_EQ(bar.Position(), 50);
}

TEST(Controls, combo_box_selects_by_text_and_reports_only_user_choices) {
  TTestForm form;
  auto* combo = form.Find<TComboBox>("ComboBox");
  for (const char* name : {"COM1", "COM3", "COM10"}) combo->AddItem(name);
  const struct {
    const char* text;
    int index;
    const char* shown;
  } cases[] = {{"COM3", 1, "COM3"}, {"com10", 2, "COM10"}, {"COM7", -1, ""}, {"", -1, ""}};
  for (const auto& c : cases) {
    combo->SetText(c.text);
    EXPECT_EQ(combo->ItemIndex(), c.index) << c.text;
    EXPECT_EQ(combo->Text(), c.shown) << c.text;
  }
  combo->SetItemIndex(7);
  EXPECT_EQ(combo->ItemIndex(), -1);
  combo->SetItemIndex(0);
  EXPECT_EQ(form.changes, 0);  // the program's own selections are not changes
  combo->UserSelect(2);
  EXPECT_EQ(form.changes, 1);
  EXPECT_EQ(combo->Text(), "COM10");
  combo->SetEnabled(false);
  combo->UserSelect(1);
  EXPECT_EQ(form.changes, 1);
  EXPECT_EQ(combo->ItemIndex(), 2);
  combo->ClearItems();
  EXPECT_EQ(combo->ItemIndex(), -1);
  EXPECT_EQ(combo->Text(), "");
}

TEST(Controls, dialogs_and_exceptions_go_to_the_front_end) {
  RecordingFrontEnd fe;
  TApplication app;
  AttachFrontEnd(&fe, &app);
  EXPECT_EQ(app.Pump(), &fe);
  ShowExceptionsInDialogs(app, "Fehler");
  MessageDialog(mtInformation, "Information", "Schreiben erfolgreich beendet!");
  try {
    throw Exception("boom");
  } catch (...) {
    app.HandleException();
  }
  EXPECT_EQ(fe.record.dialogs,
            (std::vector<std::string>{
                std::to_string(mtInformation) + "|Information|Schreiben erfolgreich beendet!",
                std::to_string(mtError) + "|Fehler|boom"}));
  AttachFrontEnd(nullptr, &app);
  EXPECT_EQ(app.Pump(), nullptr);
}

TEST(Controls, mul_div_rounds_halves_away_from_zero) {
  const int cases[][4] = {{593, 120, 96, 741}, {131, 120, 96, 164}, {-11, 120, 96, -14},
                          {5, 1, 2, 3},        {-5, 1, 2, -3},      {7, 3, 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(MulDiv(c[0], c[1], c[2]), c[3]) << c[0];
}

}  // namespace
}  // namespace fw
