// A helper of scripts/test-installer-wine.sh that looks at the installer's wizard as a person
// would read it: for the wizard window whose caption starts with the given text, every visible
// text control with its text, its size, and the height its text needs at its width ("cut" when
// the control is lower than that), and on request it presses the wizard's next button.
//
//   wizard_pages.exe CAPTION texts   one line a control: id<TAB>width x height<TAB>needs N<TAB>
//                                    ok|cut<TAB>text (UTF-8); status 1 when a text is cut
//   wizard_pages.exe CAPTION next    presses the button with id 1 (Weiter, Installieren,
//                                    Fertig stellen)
// Waits up to 30 s for the window. Status 2 when there is none.
//
// A control's font belongs to the installer's process and cannot be used here; the text is
// measured in the font the installer system gives the control: the dialog font ("MS Shell Dlg",
// 8 points), bold for a page's header title (id 1037), 12 points bold for the title of the
// welcome and finish pages (id 1201), at the screen's pixels per inch.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  return bytes;
}

std::wstring TextOf(HWND window) {
  std::vector<wchar_t> text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1);
  ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

struct Control {
  HWND window;
  int id;
};

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  if (::IsWindowVisible(window)) {
    reinterpret_cast<std::vector<Control>*>(list)->push_back({window, ::GetDlgCtrlID(window)});
  }
  return TRUE;
}

constexpr int kHeaderTitle = 1037;
constexpr int kWelcomeFinishTitle = 1201;

// The height text needs at width in the control's font, as a static control draws it (word
// breaks).
int NeededHeight(int id, const std::wstring& text, int width) {
  HDC dc = ::GetDC(nullptr);
  const int points = id == kWelcomeFinishTitle ? 12 : 8;
  const int weight = id == kWelcomeFinishTitle || id == kHeaderTitle ? FW_BOLD : FW_NORMAL;
  HFONT font = ::CreateFontW(-::MulDiv(points, ::GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0,
                             weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Shell Dlg");
  HGDIOBJ old = ::SelectObject(dc, font);
  RECT rect{0, 0, width, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::DeleteObject(font);
  ::ReleaseDC(nullptr, dc);
  return rect.bottom - rect.top;
}

struct Search {
  std::wstring prefix;
  HWND found = nullptr;
};

BOOL CALLBACK FindByCaption(HWND window, LPARAM search) {
  auto& s = *reinterpret_cast<Search*>(search);
  if (::IsWindowVisible(window) && TextOf(window).rfind(s.prefix, 0) == 0) {
    s.found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main() {
  // The caption from the wide command line: any text.
  int argc = 0;
  LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr || argc != 3) {
    std::fputs("usage: wizard_pages.exe CAPTION texts|next\n", stderr);
    return 64;
  }
  const std::wstring caption = argv[1];
  HWND wizard = nullptr;
  for (int i = 0; i < 300 && wizard == nullptr; ++i) {
    Search search{caption};
    ::EnumWindows(FindByCaption, reinterpret_cast<LPARAM>(&search));
    wizard = search.found;
    if (wizard == nullptr) ::Sleep(100);
  }
  if (wizard == nullptr) {
    std::fprintf(stderr, "wizard_pages: no window \"%s\"\n", Utf8(caption).c_str());
    return 2;
  }
  if (std::wstring(argv[2]) == L"next") {
    HWND next = ::GetDlgItem(wizard, 1);
    if (next == nullptr) return 2;
    ::PostMessageW(next, BM_CLICK, 0, 0);
    return 0;
  }
  std::vector<Control> controls;
  ::EnumChildWindows(wizard, Collect, reinterpret_cast<LPARAM>(&controls));
  int cut = 0;
  for (const Control& control : controls) {
    const std::wstring kind = ClassOf(control.window);
    const std::wstring text = TextOf(control.window);
    const LONG style = ::GetWindowLongW(control.window, GWL_STYLE);
    const LONG type = style & SS_TYPEMASK;
    if (kind != L"Static" || text.empty() || type == SS_ICON || type == SS_BITMAP) continue;
    RECT client{};
    ::GetClientRect(control.window, &client);
    const int needed = NeededHeight(control.id, text, client.right);
    const bool fits = needed <= client.bottom;
    if (!fits) ++cut;
    std::string shown = Utf8(text);
    for (char& c : shown) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    std::printf("%d\t%ldx%ld\tneeds %d\t%s\t%s\n", control.id, client.right, client.bottom, needed,
                fits ? "ok" : "cut", shown.c_str());
  }
  return cut == 0 ? 0 : 1;
}
