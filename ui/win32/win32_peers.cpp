#include <algorithm>

#include "ui/win32/win32_peers.h"
#include "ui/win32/wintext.h"

// After <windows.h> (through the headers above).
#include <commctrl.h>

namespace ui {

namespace {

constexpr wchar_t kFormClass[] = L"LcdWriteForm";
constexpr wchar_t kPeerProperty[] = L"LcdWritePeer";
// The icon of the program's resources (app/lcdwrite.rc); the system's own without it.
constexpr wchar_t kIconName[] = L"MAINICON";
// A drop-down list's window includes its open list: room for this many items.
constexpr int kDropDownItems = 8;

COLORREF ToColorRef(fw::TColor color) {
  if (fw::IsSystemColor(color)) return ::GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0x00FFFFFFu);
}

HFONT CreateFontFor(const fw::TFont& font) {
  const fw::TFontStyles style = font.Style();
  // Negative heights are character heights and positive ones cell heights, in the form text
  // as in LOGFONT.
  return ::CreateFontW(font.Height(), 0, 0, 0, style.Contains(fw::fsBold) ? FW_BOLD : FW_NORMAL,
                       style.Contains(fw::fsItalic), style.Contains(fw::fsUnderline),
                       style.Contains(fw::fsStrikeOut), DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       Cp1252ToWide(font.Name()).c_str());
}

void SetStyleBits(HWND window, int index, LONG_PTR mask, LONG_PTR bits) {
  const LONG_PTR old = ::GetWindowLongPtrW(window, index);
  const LONG_PTR now = (old & ~mask) | (bits & mask);
  if (now == old) return;
  ::SetWindowLongPtrW(window, index, now);
  ::SetWindowPos(window, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

// ---- The form ----

class FormPeer : public Win32Peer {
 public:
  FormPeer(Win32FrontEnd& fe, fw::TForm& form) : Win32Peer(fe, form), form_(form) {}

  void FrameSize(int& width, int& height) override {
    RECT frame{0, 0, 0, 0};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE)),
                         FALSE, static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_EXSTYLE)));
    width = frame.right - frame.left;
    height = frame.bottom - frame.top;
  }

  static void Register() {
    static bool registered = false;
    if (registered) return;
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &FormPeer::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFormClass;
    windowClass.hIcon = ::LoadIconW(instance, kIconName);
    if (windowClass.hIcon == nullptr) {
      windowClass.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    }
    // The caption and the task bar show the small size: the icon's own image of that size,
    // not the large one scaled down (null: the system derives it from the large one).
    windowClass.hIconSm = static_cast<HICON>(::LoadImageW(
        instance, kIconName, IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
        ::GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    registered = ::RegisterClassExW(&windowClass) != 0;
  }

 protected:
  void ApplyBounds() override {
    // A window's position and size include its frame.
    ::SetWindowPos(window_, nullptr, form_.Left(), form_.Top(), form_.Width(), form_.Height(),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void ApplyVisible() override {
    ::ShowWindow(window_, form_.Visible() ? SW_SHOW : SW_HIDE);
  }
  void ApplyKind(fw::TPeerChange what) override {
    if (what != fw::TPeerChange::Style) return;
    const fw::TBorderIcons icons = form_.BorderIcons();
    const bool sizeable = form_.BorderStyle() == fw::bsSizeable ||
                          form_.BorderStyle() == fw::bsSizeToolWin;
    LONG_PTR style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    LONG_PTR exStyle = 0;
    if (icons.Contains(fw::biSystemMenu)) style |= WS_SYSMENU;
    if (icons.Contains(fw::biMinimize)) style |= WS_MINIMIZEBOX;
    if (icons.Contains(fw::biMaximize) && sizeable) style |= WS_MAXIMIZEBOX;
    if (sizeable) style |= WS_THICKFRAME;
    if (form_.BorderStyle() == fw::bsDialog) exStyle |= WS_EX_DLGMODALFRAME;
    if (form_.BorderStyle() == fw::bsNone) style = WS_POPUP | WS_CLIPCHILDREN;
    constexpr LONG_PTR kFrameBits = WS_OVERLAPPEDWINDOW | WS_POPUP;
    SetStyleBits(window_, GWL_STYLE, kFrameBits, style);
    SetStyleBits(window_, GWL_EXSTYLE, WS_EX_DLGMODALFRAME, exStyle);
    // Once the form knows its peer, a new frame changes its client or outer size.
    if (form_.Peer() == this) form_.FrameChanged();
  }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<FormPeer*>(Win32Peer::FromWindow(window));
    LRESULT result = 0;
    if (self != nullptr) {
      if (Win32FrontEnd::ContainerMessage(message, wParam, lParam, result)) return result;
      switch (message) {
        case WM_CLOSE:
          // The form decides, and hides its window itself when it may close.
          self->frontEnd_.Guard([self] { self->form_.Close(); });
          return 0;
        case WM_ERASEBKGND: {
          RECT client;
          ::GetClientRect(window, &client);
          ::FillRect(reinterpret_cast<HDC>(wParam), &client, self->Brush());
          return 1;
        }
        default:
          break;
      }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }

  fw::TForm& form_;
};

// ---- Containers and simple controls ----

class GroupBoxPeer : public Win32Peer {
 public:
  using Win32Peer::Win32Peer;
  void Build() {
    Create(L"BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN, 0);
    Subclass();
  }
};

class LabelPeer : public Win32Peer {
 public:
  LabelPeer(Win32FrontEnd& fe, fw::TLabel& label) : Win32Peer(fe, label), label_(label) {}
  void Build() { Create(L"STATIC", SS_LEFT | SS_NOPREFIX, 0); }
  HBRUSH ControlColor(HDC dc) override {
    if (!label_.Transparent()) return Win32Peer::ControlColor(dc);
    ::SetTextColor(dc, ToColorRef(label_.Font().Color()));
    ::SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(NULL_BRUSH));
  }

 protected:
  void ApplyKind(fw::TPeerChange what) override {
    if (what == fw::TPeerChange::Style) ::InvalidateRect(window_, nullptr, TRUE);
  }

 private:
  fw::TLabel& label_;
};

class ProgressBarPeer : public Win32Peer {
 public:
  ProgressBarPeer(Win32FrontEnd& fe, fw::TProgressBar& bar) : Win32Peer(fe, bar), bar_(bar) {}
  void Build() { Create(PROGRESS_CLASSW, bar_.Smooth() ? PBS_SMOOTH : 0, 0); }
  HBRUSH ControlColor(HDC) override { return nullptr; }

 protected:
  void ApplyColor() override {}  // the bar keeps the system's colours
  void ApplyKind(fw::TPeerChange what) override {
    if (what != fw::TPeerChange::Progress) return;
    SetStyleBits(window_, GWL_STYLE, PBS_SMOOTH, bar_.Smooth() ? PBS_SMOOTH : 0);
    const int high = std::max(bar_.Min(), bar_.Max());
    ::SendMessageW(window_, PBM_SETRANGE32, static_cast<WPARAM>(bar_.Min()), high);
    ::SendMessageW(window_, PBM_SETPOS,
                   static_cast<WPARAM>(bar_.Max() < bar_.Min() ? bar_.Min() : bar_.Position()), 0);
  }

 private:
  fw::TProgressBar& bar_;
};

class PanelPeer : public Win32Peer {
 public:
  PanelPeer(Win32FrontEnd& fe, fw::TPanel& panel) : Win32Peer(fe, panel), panel_(panel) {}
  void Build() {
    Create(L"STATIC", SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX | WS_CLIPCHILDREN, 0);
    Subclass();
  }

 protected:
  void ApplyKind(fw::TPeerChange what) override {
    if (what != fw::TPeerChange::Style) return;
    // A lowered outer bevel is the sunken edge, a raised one the raised frame.
    LONG_PTR exStyle = 0;
    LONG_PTR style = 0;
    if (panel_.BevelOuter() == fw::bvLowered) exStyle = WS_EX_STATICEDGE;
    if (panel_.BevelOuter() == fw::bvRaised) style = WS_DLGFRAME;
    SetStyleBits(window_, GWL_EXSTYLE, WS_EX_STATICEDGE, exStyle);
    SetStyleBits(window_, GWL_STYLE, WS_DLGFRAME, style);
  }

 private:
  fw::TPanel& panel_;
};

class ComboBoxPeer : public Win32Peer {
 public:
  ComboBoxPeer(Win32FrontEnd& fe, fw::TComboBox& combo) : Win32Peer(fe, combo), combo_(combo) {}
  void Build() {
    DWORD kind = CBS_DROPDOWNLIST;
    if (combo_.Style() == fw::csDropDown) kind = CBS_DROPDOWN | CBS_AUTOHSCROLL;
    if (combo_.Style() == fw::csSimple) kind = CBS_SIMPLE | CBS_AUTOHSCROLL;
    Create(L"COMBOBOX", kind | WS_VSCROLL, 0);
  }
  void Command(WORD code) override {
    if (code != CBN_SELCHANGE) return;
    // Only a choice the user makes: the program's own CB_SETCURSEL sends no notification.
    const int index = static_cast<int>(::SendMessageW(window_, CB_GETCURSEL, 0, 0));
    frontEnd_.Guard([this, index] { combo_.UserSelect(index); });
  }
  HBRUSH ControlColor(HDC) override { return nullptr; }

 protected:
  void ApplyBounds() override {
    ::MoveWindow(window_, combo_.Left(), combo_.Top(), combo_.Width(),
                 combo_.Height() + kDropDownItems * combo_.ItemHeight(), TRUE);
  }
  void ApplyText() override {
    if (combo_.Style() != fw::csDropDownList) {
      ::SetWindowTextW(window_, Cp1252ToWide(combo_.Text()).c_str());
    }
    ::SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(combo_.ItemIndex()), 0);
  }
  void ApplyKind(fw::TPeerChange what) override {
    switch (what) {
      case fw::TPeerChange::Items:
        ::SendMessageW(window_, CB_RESETCONTENT, 0, 0);
        for (const std::string& item : combo_.Items().Items()) {
          const std::wstring wide = Cp1252ToWide(item);
          ::SendMessageW(window_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        }
        ApplyText();
        break;
      case fw::TPeerChange::ItemIndex:
        ::SendMessageW(window_, CB_SETCURSEL, static_cast<WPARAM>(combo_.ItemIndex()), 0);
        break;
      case fw::TPeerChange::Style:
        // The selection field and the list items share the item height.
        ::SendMessageW(window_, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), combo_.ItemHeight());
        ::SendMessageW(window_, CB_SETITEMHEIGHT, 0, combo_.ItemHeight());
        SetStyleBits(window_, GWL_STYLE, WS_TABSTOP, combo_.TabStop() ? WS_TABSTOP : 0);
        ApplyBounds();
        break;
      default:
        break;
    }
  }

 private:
  fw::TComboBox& combo_;
};

class ButtonPeer : public Win32Peer {
 public:
  ButtonPeer(Win32FrontEnd& fe, fw::TButton& button) : Win32Peer(fe, button), button_(button) {}
  void Build() { Create(L"BUTTON", BS_PUSHBUTTON, 0); }
  void Command(WORD code) override {
    if (code == BN_CLICKED && button_.Enabled()) frontEnd_.Guard([this] { button_.Click(); });
  }
  HBRUSH ControlColor(HDC) override { return nullptr; }

 protected:
  void ApplyKind(fw::TPeerChange what) override {
    if (what == fw::TPeerChange::Style) {
      SetStyleBits(window_, GWL_STYLE, WS_TABSTOP, button_.TabStop() ? WS_TABSTOP : 0);
    }
  }

 private:
  fw::TButton& button_;
};

}  // namespace

// ---- Win32Peer ----

Win32Peer::Win32Peer(Win32FrontEnd& frontEnd, fw::TControl& control)
    : WidgetPeer(control), frontEnd_(frontEnd) {}

Win32Peer::~Win32Peer() {
  if (window_ != nullptr && ::IsWindow(window_)) {
    // No message of the destruction reaches this half-destroyed peer.
    ::RemovePropW(window_, kPeerProperty);
    if (originalProc_ != nullptr) {
      ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
    }
    ::DestroyWindow(window_);
  }
  if (font_ != nullptr) ::DeleteObject(font_);
  if (brush_ != nullptr) ::DeleteObject(brush_);
}

void Win32Peer::Create(const wchar_t* className, DWORD style, DWORD exStyle) {
  static int nextId = 100;
  const bool child = control_.Kind() != fw::TControlKind::Form;
  HWND parent = child ? WindowOf(control_.Parent()) : nullptr;
  if (child) style |= WS_CHILD | WS_CLIPSIBLINGS;
  window_ = ::CreateWindowExW(exStyle, className, L"", style, control_.Left(), control_.Top(),
                              control_.Width(), control_.Height(), parent,
                              child ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextId++))
                                    : nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
  if (window_ == nullptr) return;
  ::SetPropW(window_, kPeerProperty, this);
  ApplyAll();
}

void Win32Peer::Subclass() {
  if (window_ == nullptr) return;
  originalProc_ = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
      window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Peer::SubclassProc)));
}

LRESULT CALLBACK Win32Peer::SubclassProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) {
  Win32Peer* self = FromWindow(window);
  LRESULT result = 0;
  if (Win32FrontEnd::ContainerMessage(message, wParam, lParam, result)) return result;
  // A group box paints only its frame and caption; the rest of it is ours to fill (the form
  // clips its children, so nothing else would).
  if (message == WM_ERASEBKGND && self != nullptr &&
      self->control_.Kind() == fw::TControlKind::GroupBox) {
    RECT client;
    ::GetClientRect(window, &client);
    ::FillRect(reinterpret_cast<HDC>(wParam), &client, self->brush_);
    return 1;
  }
  WNDPROC original = self != nullptr ? self->originalProc_ : nullptr;
  if (original == nullptr) return ::DefWindowProcW(window, message, wParam, lParam);
  return ::CallWindowProcW(original, window, message, wParam, lParam);
}

Win32Peer* Win32Peer::FromWindow(HWND window) {
  if (window == nullptr) return nullptr;
  return static_cast<Win32Peer*>(::GetPropW(window, kPeerProperty));
}

HWND Win32Peer::WindowOf(const fw::TControl* control) {
  if (control == nullptr) return nullptr;
  auto* peer = dynamic_cast<Win32Peer*>(control->Peer());
  return peer != nullptr ? peer->Window() : nullptr;
}

HBRUSH Win32Peer::ControlColor(HDC dc) {
  ::SetTextColor(dc, ToColorRef(control_.Font().Color()));
  ::SetBkColor(dc, ToColorRef(control_.Color()));
  return brush_;
}

void Win32Peer::Repaint() {
  if (window_ == nullptr) return;
  ::RedrawWindow(window_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void Win32Peer::ApplyBounds() {
  ::MoveWindow(window_, control_.Left(), control_.Top(), control_.Width(), control_.Height(),
               TRUE);
}

void Win32Peer::ApplyText() {
  ::SetWindowTextW(window_, Cp1252ToWide(control_.Caption()).c_str());
}

void Win32Peer::ApplyColor() {
  HBRUSH old = brush_;
  brush_ = ::CreateSolidBrush(ToColorRef(control_.Color()));
  ::InvalidateRect(window_, nullptr, TRUE);
  if (old != nullptr) ::DeleteObject(old);
}

void Win32Peer::ApplyFont() {
  HFONT old = font_;
  font_ = CreateFontFor(control_.Font());
  ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  if (old != nullptr) ::DeleteObject(old);
}

void Win32Peer::ApplyVisible() { ::ShowWindow(window_, control_.Visible() ? SW_SHOW : SW_HIDE); }

// ---- Peer factory ----

std::unique_ptr<fw::ControlPeer> Win32FrontEnd::CreatePeer(fw::TControl& control) {
  switch (control.Kind()) {
    case fw::TControlKind::Form: {
      FormPeer::Register();
      auto peer = std::make_unique<FormPeer>(*this, static_cast<fw::TForm&>(control));
      peer->Create(kFormClass, WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN, 0);
      return peer;
    }
    case fw::TControlKind::GroupBox: {
      auto peer = std::make_unique<GroupBoxPeer>(*this, control);
      peer->Build();
      return peer;
    }
    case fw::TControlKind::Label: {
      auto peer = std::make_unique<LabelPeer>(*this, static_cast<fw::TLabel&>(control));
      peer->Build();
      return peer;
    }
    case fw::TControlKind::ProgressBar: {
      auto peer =
          std::make_unique<ProgressBarPeer>(*this, static_cast<fw::TProgressBar&>(control));
      peer->Build();
      return peer;
    }
    case fw::TControlKind::Panel: {
      auto peer = std::make_unique<PanelPeer>(*this, static_cast<fw::TPanel&>(control));
      peer->Build();
      return peer;
    }
    case fw::TControlKind::ComboBox: {
      auto peer = std::make_unique<ComboBoxPeer>(*this, static_cast<fw::TComboBox&>(control));
      peer->Build();
      return peer;
    }
    case fw::TControlKind::Button: {
      auto peer = std::make_unique<ButtonPeer>(*this, static_cast<fw::TButton&>(control));
      peer->Build();
      return peer;
    }
  }
  return nullptr;
}

}  // namespace ui
