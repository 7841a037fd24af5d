// Runs on Qt's offscreen platform (set here unless the environment chooses a configuration).
// The QtScreen suite also runs as separate ctest entries with 120 and 144 dpi screens
// (LCDWRITE_EXPECT_PPI names the screen's resolution there).
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/sysutils.h"
#include "framework/timer.h"
#include "ui/qt/qt_peers.h"
#include "tests/support/window_layout.h"

namespace ui {
namespace {

QtFrontEnd* g_frontEnd = nullptr;

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "test_ui_qt";
    static char* argv[] = {name, nullptr};
    g_frontEnd = new QtFrontEnd(argc, argv, plat::CurrentPlatform());
  }
  void TearDown() override {
    delete g_frontEnd;
    g_frontEnd = nullptr;
  }
};
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

const char* const kLayout = testsupport::kWindowLayout;

// The window as the tool builds it: read the layout, then set the outer size from the screen.
class TTestForm : public fw::TForm {
 public:
  TTestForm() : fw::TForm(nullptr) {
    MethodTable().Add("FormCloseQuery", fw::Method<&TTestForm::FormCloseQuery>(this));
    MethodTable().Add("ComboBoxChange", fw::Method<&TTestForm::ComboBoxChange>(this));
    MethodTable().Add("SuchenButtonClick", fw::Method<&TTestForm::SuchenButtonClick>(this));
    ReadFormText(kLayout);
    const float scale = static_cast<float>(g_frontEnd->ScreenPixelsPerInch() * (1.0L / 96));
    SetWidth(static_cast<int>(scale * 593));
    SetHeight(static_cast<int>(scale * 175));
    SetCaption("LCD Konfiguration schreiben v7.1 ab Fv7.26");
  }
  ~TTestForm() override {
    while (ComponentCount() > 0) TComponent::Free(Components(ComponentCount() - 1));
  }
  const char* ClassName() const override { return "TTestForm"; }
  template <class T>
  T* Find(const char* name) {
    return dynamic_cast<T*>(FindComponent(name));
  }
  template <class W>
  W* WidgetOf(const char* name) {
    return qobject_cast<W*>(QtFrontEnd::WidgetOf(*Find<fw::TControl>(name)));
  }
  QWidget* Window() { return QtFrontEnd::WidgetOf(*this); }

  void FormCloseQuery(fw::TObject*, bool& canClose) { canClose = allowClose; }
  void ComboBoxChange(fw::TObject*) { ++changes; }
  void SuchenButtonClick(fw::TObject*) {
    ++clicks;
    if (clickThrows) throw fw::Exception("Knopf kaputt");
  }

  int changes = 0, clicks = 0;
  bool allowClose = true;
  bool clickThrows = false;
};

class QtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fw::AttachFrontEnd(g_frontEnd, &app);
    app.OnShowException = [this](const std::string& m) { shown.push_back(m); };
  }
  void TearDown() override { fw::AttachFrontEnd(nullptr, &app); }

  fw::TApplication app;
  std::vector<std::string> shown;
};

QColor Background(QWidget* w) { return w->palette().color(QPalette::Window); }

TEST_F(QtTest, widgets_show_the_controls_captions_colours_and_state) {
  TTestForm form;
  form.Show();
  QCoreApplication::processEvents();
  QWidget* window = form.Window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("LCD Konfiguration schreiben v7.1 ab Fv7.26"));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());  // not resizable
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_EQ(form.WidgetOf<QGroupBox>("GroupBox3")->title(), QStringLiteral("Status"));

  auto* label = form.WidgetOf<QLabel>("statusLabel");
  form.Find<fw::TLabel>("statusLabel")->SetCaption("Daten l\xE4" "dt");
  form.Find<fw::TLabel>("statusLabel")->Repaint();
  EXPECT_EQ(label->text(), QString::fromUtf8("Daten l\xC3\xA4" "dt"));
  EXPECT_TRUE(label->autoFillBackground());
  EXPECT_EQ(Background(label), QColor(255, 255, 255));
  EXPECT_EQ(label->font().family(), QStringLiteral("Arial"));

  auto* panel = form.WidgetOf<QLabel>("ResetPanel");
  EXPECT_EQ(panel->text(), QStringLiteral("Reset"));
  EXPECT_TRUE(panel->font().bold());
  EXPECT_EQ(panel->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(Background(panel), QColor(0, 128, 0));
  form.Find<fw::TPanel>("ResetPanel")->SetColor(fw::clLime);
  EXPECT_EQ(Background(panel), QColor(0, 255, 0));

  auto* bar = form.WidgetOf<QProgressBar>("ProgressBar");
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  form.Find<fw::TProgressBar>("ProgressBar")->SetPosition(150);
  EXPECT_EQ(bar->value(), 100);

  auto* combo = form.WidgetOf<QComboBox>("ComboBox");
  EXPECT_FALSE(combo->isEditable());
  auto* comboBox = form.Find<fw::TComboBox>("ComboBox");
  for (const char* name : {"COM1", "COM3"}) comboBox->AddItem(name);
  comboBox->SetText("COM3");
  EXPECT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentText(), QStringLiteral("COM3"));
  comboBox->SetEnabled(false);
  EXPECT_FALSE(combo->isEnabled());
  EXPECT_EQ(form.WidgetOf<QPushButton>("SuchenButton")->text(), QStringLiteral("suchen"));
}

TEST_F(QtTest, user_actions_reach_the_handlers_and_their_errors_the_exception_display) {
  TTestForm form;
  form.Show();
  auto* comboBox = form.Find<fw::TComboBox>("ComboBox");
  for (const char* name : {"COM1", "COM3"}) comboBox->AddItem(name);
  comboBox->SetItemIndex(0);  // the program's own choice: no change event
  auto* combo = form.WidgetOf<QComboBox>("ComboBox");
  QTest::keyClick(combo, Qt::Key_Down);
  EXPECT_EQ(form.changes, 1);
  EXPECT_EQ(comboBox->Text(), "COM3");

  auto* button = form.WidgetOf<QPushButton>("SuchenButton");
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(form.clicks, 1);
  form.clickThrows = true;
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(form.clicks, 2);
  EXPECT_EQ(shown, (std::vector<std::string>{"Knopf kaputt"}));
  form.Find<fw::TButton>("SuchenButton")->SetEnabled(false);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(form.clicks, 2);
}

TEST_F(QtTest, the_close_box_asks_the_form_and_closing_the_main_form_ends_the_loop) {
  TTestForm form;
  fw::TForm::SetMainForm(&form);
  form.Show();
  form.allowClose = false;
  form.Window()->close();
  EXPECT_TRUE(form.Window()->isVisible());
  EXPECT_FALSE(app.Terminated());
  form.allowClose = true;
  form.Window()->close();
  EXPECT_FALSE(form.Window()->isVisible());
  EXPECT_TRUE(app.Terminated());
}

struct DialogCase {
  fw::TMsgDlgType type;
  const char* caption;
  const char* text;
  QMessageBox::Icon icon;
  const char* detail = "";  // shown as the box's informative text
};

class QtDialogTest : public QtTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(QtDialogTest, modal_dialog_shows_caption_text_and_one_ok_and_keeps_timers_running) {
  const DialogCase& c = GetParam();
  // A timer of the application keeps ticking while the dialog is open.
  fw::TComponent owner(nullptr);
  struct Ticker {
    void Tick(fw::TObject*) { ++ticks; }
    int ticks = 0;
  } ticker;
  auto* timer = new fw::TTimer(&owner);
  timer->SetInterval(5);
  timer->SetOnTimer(fw::Method<&Ticker::Tick>(&ticker));

  QString title, text, informative;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  int ticksSeen = 0;
  QTimer closer;
  closer.setInterval(5);
  const auto started = std::chrono::steady_clock::now();
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    const bool late = std::chrono::steady_clock::now() - started > std::chrono::seconds(5);
    if (ticker.ticks < 2 && !late) return;
    ticksSeen = ticker.ticks;
    title = box->windowTitle();
    text = box->text();
    informative = box->informativeText();
    icon = box->icon();
    for (QAbstractButton* b : box->buttons()) buttons << b->text();
    box->done(QMessageBox::Ok);
  });
  closer.start();
  g_frontEnd->DetailedMessageDialog(c.type, c.caption, c.text, c.detail);
  closer.stop();
  EXPECT_EQ(title, QString::fromUtf8(c.caption));
  EXPECT_EQ(text.toStdString(), fw::Cp1252ToUtf8(c.text));
  EXPECT_EQ(informative.toStdString(), fw::Cp1252ToUtf8(c.detail));
  EXPECT_EQ(icon, c.icon);
  EXPECT_EQ(buttons, QStringList{QStringLiteral("OK")});
  EXPECT_GE(ticksSeen, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, QtDialogTest,
    ::testing::Values(
        DialogCase{fw::mtError, "Fehler", "RegSchl\xFCssel nicht gefunden !",
                   QMessageBox::Critical},
        DialogCase{fw::mtError, "Fehler", "ComPortError:  COM3 !\n\nDer Port kann nicht ge\xF6"
                                          "ffnet werden.",
                   QMessageBox::Critical},
        DialogCase{fw::mtInformation, "Information", "Schreiben erfolgreich beendet!",
                   QMessageBox::Information},
        DialogCase{fw::mtError, "Fehler", "ComPortError:  ttyUSB0 !\n\nDer Port kann nicht ge\xF6"
                                          "ffnet werden.",
                   QMessageBox::Critical,
                   "/dev/ttyUSB0 ist nicht vorhanden.\nAbhilfe: den Wandler anstecken."}));

TEST_F(QtTest, the_process_ending_inside_a_dialog_closes_it_and_unwinds_after) {
  fw::TApplication::SetExitHook([](int status) { throw fw::ProcessEnded{status}; });
  constexpr int kStatus = 3;
  app.Post([] { fw::TApplication::EndProcess(kStatus); });
  int status = -1;
  try {
    g_frontEnd->MessageDialog(fw::mtError, "Fehler", "x");
  } catch (const fw::ProcessEnded& end) {
    status = end.status;
  }
  fw::TApplication::SetExitHook(nullptr);
  EXPECT_EQ(status, kStatus);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(QtTest, a_wake_from_another_thread_ends_the_wait) {
  const auto started = std::chrono::steady_clock::now();
  std::thread waker([] { g_frontEnd->Wake(); });
  g_frontEnd->WaitForEvents(20000);
  waker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// The outer window size set by the form code, and the window Qt ends up with.
TEST(QtScreen, outer_size_follows_the_screen_resolution) {
  const std::map<int, QSize> expected = {
      {96, QSize(593, 175)}, {120, QSize(741, 218)}, {144, QSize(889, 262)}};
  const char* want = std::getenv("LCDWRITE_EXPECT_PPI");
  const int ppi = g_frontEnd->ScreenPixelsPerInch();
  EXPECT_EQ(ppi, want != nullptr ? std::atoi(want) : 96);
  ASSERT_EQ(expected.count(ppi), 1u) << ppi;

  fw::TApplication app;
  fw::AttachFrontEnd(g_frontEnd, &app);
  {
    TTestForm form;
    form.Show();
    QCoreApplication::processEvents();
    QWidget* window = form.Window();
    EXPECT_EQ(QSize(form.Width(), form.Height()), expected.at(ppi));
    EXPECT_EQ(window->frameGeometry().size(), expected.at(ppi));
    // The controls were scaled with the form and sit where their controls say.
    auto* group = form.Find<fw::TGroupBox>("GroupBox3");
    EXPECT_EQ(group->Left(), fw::MulDiv(16, ppi, 96));
    EXPECT_EQ(form.WidgetOf<QGroupBox>("GroupBox3")->geometry(),
              QRect(group->Left(), group->Top(), group->Width(), group->Height()));
    EXPECT_EQ(form.WidgetOf<QLabel>("statusLabel")->font().pixelSize(), fw::MulDiv(16, ppi, 96));

    form.Find<fw::TLabel>("statusLabel")->SetCaption("warten");
    form.Find<fw::TProgressBar>("ProgressBar")->SetPosition(40);
    form.Find<fw::TComboBox>("ComboBox")->AddItem("COM3");
    form.Find<fw::TComboBox>("ComboBox")->SetText("COM3");
    const char* dir = std::getenv("LCDWRITE_BINARY_DIR");
    const QString artifacts = QString::fromUtf8(dir != nullptr ? dir : ".") + "/artifacts";
    QDir().mkpath(artifacts);
    const QString file = artifacts + QStringLiteral("/qt_window_%1dpi.png").arg(ppi);
    const QPixmap shot = window->grab();
    ASSERT_TRUE(shot.save(file));
    EXPECT_EQ(QImage(file).size(), window->size());
  }
  fw::AttachFrontEnd(nullptr, &app);
}

}  // namespace
}  // namespace ui
