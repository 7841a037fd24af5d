// The native front-end under a real window system (Wine on the test machine): the windows,
// classes, styles, fonts and texts the controls get, what a user's click, choice and close box
// do, modal message boxes closed from another thread, and the event pump.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "framework/application.h"
#include "framework/controls.h"
#include "framework/sysutils.h"
#include "framework/timer.h"
#include "ui/win32/win32_peers.h"
#include "ui/win32/wintext.h"
#include "tests/support/window_layout.h"

// After <windows.h> (through the headers above).
#include <commctrl.h>

namespace ui {
namespace {

Win32FrontEnd* g_frontEnd = nullptr;

class Win32Environment : public ::testing::Environment {
 public:
  void SetUp() override { g_frontEnd = new Win32FrontEnd(plat::CurrentPlatform()); }
  void TearDown() override {
    delete g_frontEnd;
    g_frontEnd = nullptr;
  }
};
[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new Win32Environment);

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
  HWND WindowOf(const char* name) { return Win32Peer::WindowOf(Find<fw::TControl>(name)); }
  HWND Window() { return Win32Peer::WindowOf(this); }

  void FormCloseQuery(fw::TObject*, bool& canClose) {
    ++closeQueries;
    canClose = allowClose;
  }
  void ComboBoxChange(fw::TObject*) {
    ++changes;
    indexAtChange = Find<fw::TComboBox>("ComboBox")->ItemIndex();
  }
  void SuchenButtonClick(fw::TObject*) {
    ++clicks;
    if (clickThrows) throw fw::Exception("Knopf kaputt");
  }

  int changes = 0, clicks = 0, closeQueries = 0, indexAtChange = -2;
  bool allowClose = true;
  bool clickThrows = false;
};

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

LOGFONTW FontOf(HWND window) {
  LOGFONTW font{};
  auto handle = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
  if (handle != nullptr) ::GetObjectW(handle, sizeof font, &font);
  return font;
}

class Win32UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fw::AttachFrontEnd(g_frontEnd, &app);
    app.OnShowException = [this](const std::string& m) { shown.push_back(m); };
  }
  void TearDown() override { fw::AttachFrontEnd(nullptr, &app); }

  fw::TApplication app;
  std::vector<std::string> shown;
};

TEST_F(Win32UiTest, form_is_a_fixed_window_of_the_outer_size_with_its_caption) {
  TTestForm form;
  form.Show();
  HWND window = form.Window();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(::IsWindowVisible(window));
  EXPECT_EQ(TextOf(window), L"LCD Konfiguration schreiben v7.1 ab Fv7.26");
  const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  RECT outer;
  RECT client;
  ::GetWindowRect(window, &outer);
  ::GetClientRect(window, &client);
  EXPECT_EQ(outer.right - outer.left, form.Width());
  EXPECT_EQ(outer.bottom - outer.top, form.Height());
  // The form's client size is what the window really has inside its frame.
  EXPECT_EQ(client.right, form.ClientWidth());
  EXPECT_EQ(client.bottom, form.ClientHeight());
  // Centred on the work area.
  int screenWidth = 0, screenHeight = 0;
  g_frontEnd->ScreenSize(screenWidth, screenHeight);
  EXPECT_EQ(outer.left, (screenWidth - form.Width()) / 2);
}

struct ControlCase {
  const char* name;
  const wchar_t* windowClass;
  LONG_PTR styleMask;
  LONG_PTR style;
  const wchar_t* text;
  int left, top, width;
  const wchar_t* font;
  LONG fontHeight;
  bool bold;
};
void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.name; }

class Win32ControlTest : public Win32UiTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(Win32ControlTest, control_gets_its_system_window) {
  const ControlCase& c = GetParam();
  TTestForm form;
  form.Show();
  HWND window = form.WindowOf(c.name);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(ClassOf(window), c.windowClass);
  EXPECT_EQ(::GetWindowLongPtrW(window, GWL_STYLE) & c.styleMask, c.style);
  EXPECT_EQ(TextOf(window), c.text);
  RECT bounds;
  ::GetWindowRect(window, &bounds);
  ::MapWindowPoints(nullptr, ::GetParent(window), reinterpret_cast<POINT*>(&bounds), 2);
  EXPECT_EQ(bounds.left, c.left);
  EXPECT_EQ(bounds.top, c.top);
  EXPECT_EQ(bounds.right - bounds.left, c.width);
  const LOGFONTW font = FontOf(window);
  EXPECT_EQ(std::wstring(font.lfFaceName), c.font);
  EXPECT_EQ(font.lfHeight, c.fontHeight);
  EXPECT_EQ(font.lfWeight >= FW_BOLD, c.bold);
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, Win32ControlTest,
    ::testing::Values(
        ControlCase{"GroupBox3", L"Button", BS_TYPEMASK, BS_GROUPBOX, L"Status", 16, 24, 353,
                    L"Arial", -16, false},
        ControlCase{"statusLabel", L"Static", SS_TYPEMASK, SS_LEFT, L"", 16, 64, 329, L"Arial",
                    -16, false},
        ControlCase{"ProgressBar", L"msctls_progress32", PBS_SMOOTH, PBS_SMOOTH, L"", 16, 32, 233,
                    L"Arial", -16, false},
        ControlCase{"ResetPanel", L"Static", SS_TYPEMASK, SS_CENTER, L"Reset", 264, 32, 73,
                    L"Arial", -16, true},
        ControlCase{"ComboBox", L"ComboBox", CBS_DROPDOWNLIST | WS_TABSTOP, CBS_DROPDOWNLIST, L"",
                    16, 24, 137, L"Arial", -16, false},
        ControlCase{"SuchenButton", L"Button", BS_TYPEMASK | WS_TABSTOP, BS_PUSHBUTTON,
                    L"suchen", 16, 56, 137, L"Arial", -16, false}),
    [](const ::testing::TestParamInfo<ControlCase>& info) { return std::string(info.param.name); });

TEST_F(Win32UiTest, texts_reach_the_windows_as_unicode) {
  TTestForm form;
  form.Show();
  form.Find<fw::TLabel>("statusLabel")->SetCaption("Daten l\xE4" "dt \x80 \xDF");
  form.Find<fw::TLabel>("statusLabel")->Repaint();
  EXPECT_EQ(TextOf(form.WindowOf("statusLabel")), L"Daten l\u00E4dt \u20AC \u00DF");
  EXPECT_EQ(WideToCp1252(L"Daten l\u00E4dt \u20AC \u00DF \u4E00"), "Daten l\xE4" "dt \x80 \xDF ?");
  // A carried character (a name's) reaches the window whole; a lone undefined byte stays itself.
  form.Find<fw::TLabel>("statusLabel")
      ->SetCaption("C:\\\x81\xC5\x81\xF3" "d\x81\xF0\x9F\x94\x8C \x81");
  form.Find<fw::TLabel>("statusLabel")->Repaint();
  EXPECT_EQ(TextOf(form.WindowOf("statusLabel")), L"C:\\\u0141\u00F3d\U0001F50C \u0081");
}

TEST_F(Win32UiTest, panel_paints_its_colour_sunken) {
  TTestForm form;
  form.Show();
  HWND panel = form.WindowOf("ResetPanel");
  EXPECT_TRUE(::GetWindowLongPtrW(panel, GWL_EXSTYLE) & WS_EX_STATICEDGE);
  // The colour the panel's parent hands out when it paints.
  HDC dc = ::GetDC(panel);
  ::SendMessageW(::GetParent(panel), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(panel));
  EXPECT_EQ(::GetBkColor(dc), static_cast<COLORREF>(fw::RGB(0, 128, 0)));
  form.Find<fw::TPanel>("ResetPanel")->SetColor(fw::clRed);
  ::SendMessageW(::GetParent(panel), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(panel));
  EXPECT_EQ(::GetBkColor(dc), static_cast<COLORREF>(fw::RGB(255, 0, 0)));
  ::ReleaseDC(panel, dc);
}

TEST_F(Win32UiTest, progress_bar_shows_position_within_its_range) {
  TTestForm form;
  form.Show();
  auto* bar = form.Find<fw::TProgressBar>("ProgressBar");
  HWND window = form.WindowOf("ProgressBar");
  for (const auto& [set, shown] : {std::pair{0, 0}, {37, 37}, {100, 100}, {250, 100}}) {
    bar->SetPosition(set);
    EXPECT_EQ(::SendMessageW(window, PBM_GETPOS, 0, 0), shown) << set;
  }
}

TEST_F(Win32UiTest, only_a_users_choice_in_the_list_runs_on_change) {
  TTestForm form;
  form.Show();
  auto* combo = form.Find<fw::TComboBox>("ComboBox");
  HWND window = form.WindowOf("ComboBox");
  for (const char* item : {"COM1", "COM3", "COM7"}) combo->AddItem(item);
  EXPECT_EQ(::SendMessageW(window, CB_GETCOUNT, 0, 0), 3);
  combo->SetItemIndex(1);
  EXPECT_EQ(::SendMessageW(window, CB_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(form.changes, 0);

  // The user picks COM7: the list tells its parent (the group box, which hands it on).
  ::SendMessageW(window, CB_SETCURSEL, 2, 0);
  ::SendMessageW(::GetParent(window), WM_COMMAND,
                 MAKEWPARAM(::GetDlgCtrlID(window), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(window));
  EXPECT_EQ(form.changes, 1);
  EXPECT_EQ(form.indexAtChange, 2);
  EXPECT_EQ(combo->Text(), "COM7");
}

TEST_F(Win32UiTest, button_click_runs_on_click_only_while_enabled) {
  TTestForm form;
  form.Show();
  HWND button = form.WindowOf("SuchenButton");
  ::SendMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(form.clicks, 1);
  form.Find<fw::TButton>("SuchenButton")->SetEnabled(false);
  EXPECT_FALSE(::IsWindowEnabled(button));
  ::SendMessageW(button, BM_CLICK, 0, 0);
  EXPECT_EQ(form.clicks, 1);
}

TEST_F(Win32UiTest, exception_in_a_handler_is_shown_not_thrown_through_the_system) {
  TTestForm form;
  form.Show();
  form.clickThrows = true;
  ::SendMessageW(form.WindowOf("SuchenButton"), BM_CLICK, 0, 0);
  EXPECT_EQ(form.clicks, 1);
  EXPECT_EQ(shown, std::vector<std::string>{"Knopf kaputt"});
}

TEST_F(Win32UiTest, close_box_asks_the_form) {
  TTestForm form;
  form.Show();
  form.allowClose = false;
  ::SendMessageW(form.Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(form.closeQueries, 1);
  EXPECT_TRUE(::IsWindowVisible(form.Window()));
  form.allowClose = true;
  ::SendMessageW(form.Window(), WM_CLOSE, 0, 0);
  EXPECT_EQ(form.closeQueries, 2);
  EXPECT_FALSE(form.Visible());
}

BOOL CALLBACK FindIcon(HWND child, LPARAM found) {
  if (ClassOf(child) == L"Static" &&
      (::GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    *reinterpret_cast<bool*>(found) = true;
  }
  return TRUE;
}

struct BoxSearch {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK MatchOwnMessageBox(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<BoxSearch*>(param);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  wchar_t text[128] = {};
  ::GetWindowTextW(window, text, 128);
  if (process == ::GetCurrentProcessId() && ClassOf(window) == L"#32770" &&
      ::IsWindowVisible(window) && std::wstring(text) == search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The visible message box with this caption that belongs to this process, or null. Test
// programs run side by side on one desktop, so a box of another program must not count.
HWND FindOwnMessageBox(const wchar_t* caption) {
  BoxSearch search{caption, nullptr};
  ::EnumWindows(&MatchOwnMessageBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Waits (at most five seconds) for a message box with this caption, reads its text and icon,
// and presses OK.
struct DialogCloser {
  explicit DialogCloser(const wchar_t* caption)
      : thread([this, caption] {
          const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
          while (std::chrono::steady_clock::now() < end) {
            HWND box = FindOwnMessageBox(caption);
            if (box != nullptr) {
              wchar_t message[256] = {};
              ::GetDlgItemTextW(box, 0xFFFF, message, 256);
              text = message;
              owner = ::GetWindow(box, GW_OWNER);
              // The icon is a static control of the SS_ICON kind.
              ::EnumChildWindows(box, &FindIcon, reinterpret_cast<LPARAM>(&hasIcon));
              ::PostMessageW(box, WM_COMMAND, IDOK, 0);
              found = true;
              return;
            }
            ::Sleep(10);
          }
        }) {}
  ~DialogCloser() { Join(); }
  void Join() {
    if (thread.joinable()) thread.join();
  }
  std::wstring text;
  HWND owner = nullptr;
  bool hasIcon = false;
  std::atomic<bool> found{false};
  std::thread thread;
};

TEST_F(Win32UiTest, message_box_shows_caption_text_and_icon_and_returns_when_closed) {
  for (const auto& [type, caption] : {std::pair{fw::mtError, L"Fehler"},
                                      std::pair{fw::mtInformation, L"Information"}}) {
    DialogCloser closer(caption);
    g_frontEnd->MessageDialog(type, WideToCp1252(caption),
                              "Schreiben erfolgreich beendet!\n\nDaten\xFC" "bertragung");
    closer.Join();
    EXPECT_TRUE(closer.found);
    EXPECT_EQ(closer.text, L"Schreiben erfolgreich beendet!\n\nDaten\u00FCbertragung");
    EXPECT_TRUE(closer.hasIcon);
  }
}

TEST_F(Win32UiTest, a_detail_follows_the_text_after_a_blank_line) {
  DialogCloser closer(L"Fehler");
  g_frontEnd->DetailedMessageDialog(fw::mtError, "Fehler", "ComPortError:  COM3 !",
                                    "Zugriff verweigert.\nAbhilfe: das andere Programm schlie\xDF" "en.");
  closer.Join();
  EXPECT_TRUE(closer.found);
  EXPECT_EQ(closer.text,
            L"ComPortError:  COM3 !\n\nZugriff verweigert.\nAbhilfe: das andere Programm schlie\u00DFen.");
}

// A box belongs to the main window once there is one: it stays above it and has no taskbar
// button of its own. Before, it has no owner and is task-modal.
TEST_F(Win32UiTest, message_box_is_owned_by_the_main_window) {
  {
    DialogCloser closer(L"Fehler");
    g_frontEnd->MessageDialog(fw::mtError, "Fehler", "PortSuche nicht erfolgreich !");
    closer.Join();
    EXPECT_TRUE(closer.found);
    EXPECT_EQ(closer.owner, nullptr);
  }
  TTestForm form;
  form.Show();
  ASSERT_EQ(fw::TForm::MainForm(), &form);
  ASSERT_NE(form.Window(), nullptr);
  for (const auto& [type, caption] : {std::pair{fw::mtError, L"Fehler"},
                                      std::pair{fw::mtInformation, L"Information"}}) {
    DialogCloser closer(caption);
    g_frontEnd->DetailedMessageDialog(type, WideToCp1252(caption),
                                      "Quorix.lcd kann nicht ge\xF6" "ffnet werden!",
                                      "Gesucht im Ordner: C:\\Platinen\\4711");
    closer.Join();
    EXPECT_TRUE(closer.found);
    EXPECT_EQ(closer.owner, form.Window());
    EXPECT_EQ(closer.text,
              L"Quorix.lcd kann nicht ge\u00F6ffnet werden!\n\nGesucht im Ordner: C:\\Platinen\\4711");
  }
}

// A folder's name outside Windows-1252 reaches the box whole: the text handed to MessageBoxW
// holds "Łódź 12", not "?ód? 12".
TEST_F(Win32UiTest, a_name_outside_windows_1252_is_shown_whole_in_a_box) {
  const std::string folder = fw::VisibleUtf8ToCp1252("C:\\Leer\\\xC5\x81\xC3\xB3" "d\xC5\xBA 12");
  DialogCloser closer(L"Fehler");
  g_frontEnd->DetailedMessageDialog(fw::mtError, "Fehler",
                                    "Quorix.lcd kann nicht ge\xF6" "ffnet werden!",
                                    "Gesucht im Ordner: " + folder);
  closer.Join();
  EXPECT_TRUE(closer.found);
  EXPECT_EQ(closer.text, L"Quorix.lcd kann nicht ge\u00F6ffnet werden!\n\nGesucht im Ordner: "
                         L"C:\\Leer\\\u0141\u00F3d\u017A 12");
}

TEST_F(Win32UiTest, timers_and_posted_work_run_while_a_message_box_is_open) {
  std::atomic<int> posted{0};
  app.Post([&] { ++posted; });
  fw::TTimer timer(nullptr);
  std::atomic<int> fired{0};
  struct Sink : fw::TObject {
    std::atomic<int>* count;
    void Tick(fw::TObject*) { ++*count; }
  } sink;
  sink.count = &fired;
  timer.SetInterval(20);
  timer.SetOnTimer(fw::Method<&Sink::Tick>(&sink));
  timer.SetEnabled(true);
  {
    // Closed only once the work has run (or after five seconds).
    std::thread closer([&] {
      for (int i = 0; i < 500; ++i) {
        HWND box = FindOwnMessageBox(L"Information");
        if (box != nullptr && posted > 0 && fired > 0) {
          ::PostMessageW(box, WM_COMMAND, IDOK, 0);
          return;
        }
        ::Sleep(10);
      }
      if (HWND box = FindOwnMessageBox(L"Information")) {
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      }
    });
    g_frontEnd->MessageDialog(fw::mtInformation, "Information", "warten");
    closer.join();
  }
  timer.SetEnabled(false);
  EXPECT_EQ(posted, 1);
  EXPECT_GT(fired, 0);
}

TEST_F(Win32UiTest, wake_from_another_thread_ends_a_wait) {
  const auto start = std::chrono::steady_clock::now();
  std::thread waker([] {
    ::Sleep(50);
    g_frontEnd->Wake();
  });
  g_frontEnd->WaitForEvents(10000);
  waker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace
}  // namespace ui
