#include "ui/win32/win32_frontend.h"

#include "ui/win32/win32_peers.h"
#include "ui/win32/wintext.h"

// After <windows.h> (through the headers above).
#include <commctrl.h>

namespace ui {

namespace {

// At most this many window messages per ProcessEvents, so a message that keeps re-posting
// itself cannot hold the caller.
constexpr int kMaxMessagesPerRound = 1000;

// The front-end whose message box is open (the timer callback has no context argument).
Win32FrontEnd* g_dialogOwner = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (std::wstring(className) == L"#32770" && ::IsWindowVisible(window)) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::unique_ptr<fw::FrontEnd> CreateWin32FrontEnd(plat::Platform& platform) {
  return std::make_unique<Win32FrontEnd>(platform);
}

Win32FrontEnd::Win32FrontEnd(plat::Platform& platform) : kernel_(platform.kernel()) {
  // The forms scale themselves by the screen's pixels per inch; the system must not scale the
  // window's bitmap again. The program's manifest says so already (per monitor where the system
  // can); this call covers a program started without it. When the manifest's setting is in
  // force the call changes nothing.
  ::SetProcessDPIAware();
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&controls);
  kernelWake_ = kernel_.CreateEventA(FALSE, FALSE);
  nativeWake_ = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

Win32FrontEnd::~Win32FrontEnd() {
  if (fw::CurrentFrontEnd() == this) fw::AttachFrontEnd(nullptr);
  if (kernelWake_ != nullptr) kernel_.CloseEvent(kernelWake_);
  if (nativeWake_ != nullptr) ::CloseHandle(nativeWake_);
}

void Win32FrontEnd::CloseDialog() {
  if (HWND dialog = DialogWindow()) ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

HWND Win32FrontEnd::DialogWindow() const {
  if (dialogDepth_ == 0) return nullptr;
  HWND found = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

void CALLBACK Win32FrontEnd::DialogWork(HWND, UINT, UINT_PTR, DWORD) {
  if (g_dialogOwner != nullptr) g_dialogOwner->DialogWorkRound();
}

void Win32FrontEnd::MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                                  const std::string& text) {
  UINT icon = MB_ICONINFORMATION;
  if (type == fw::mtError) icon = MB_ICONERROR;
  if (type == fw::mtWarning) icon = MB_ICONWARNING;
  if (type == fw::mtConfirmation) icon = MB_ICONQUESTION;
  const std::wstring wideCaption = Cp1252ToWide(caption);
  const std::wstring wideText = Cp1252ToWide(text);

  Win32FrontEnd* outerOwner = g_dialogOwner;
  g_dialogOwner = this;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, kDialogWorkIntervalMs, &DialogWork);
  ++dialogDepth_;
  // Owned by the main window: it stays above it, gets no taskbar button of its own, and the
  // main window takes no input until it is closed. Before there is a main window: task-modal,
  // every window of the thread disabled. Either way it is centred on the screen.
  HWND owner = Win32Peer::WindowOf(fw::TForm::MainForm());
  if (owner != nullptr && !::IsWindow(owner)) owner = nullptr;
  ::MessageBoxW(owner, wideText.c_str(), wideCaption.c_str(),
                MB_OK | icon | (owner != nullptr ? MB_APPLMODAL : MB_TASKMODAL) | MB_SETFOREGROUND);
  --dialogDepth_;
  if (timer != 0) ::KillTimer(nullptr, timer);
  g_dialogOwner = outerOwner;
  RaisePendingEnd();
}

int Win32FrontEnd::ScreenPixelsPerInch() {
  HDC screen = ::GetDC(nullptr);
  const int ppi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  return ppi > 0 ? ppi : 96;
}

void Win32FrontEnd::ScreenSize(int& width, int& height) {
  RECT area{0, 0, 1024, 768};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  width = area.right - area.left;
  height = area.bottom - area.top;
}

void Win32FrontEnd::ProcessEvents() {
  // Inside a message box its own loop pumps (and turns Return into OK); taking its messages
  // here would bypass that.
  if (dialogDepth_ == 0) {
    MSG message;
    for (int i = 0; i < kMaxMessagesPerRound && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);
         ++i) {
      if (message.message == WM_QUIT) {
        // Not ours to end the loop with: leave it for whoever posted it.
        ::PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
  RaisePendingEnd();
}

void Win32FrontEnd::WaitForEvents(DWORD timeoutMs) {
  if (kernel_.IsVirtual() && timeoutMs != INFINITE) {
    // A simulated machine: its clock jumps to the next timer; the windows are served after.
    kernel_.WaitForSingleObject(kernelWake_, timeoutMs);
    ProcessEvents();
    return;
  }
  if (timeoutMs != 0) {
    ::MsgWaitForMultipleObjectsEx(1, &nativeWake_, timeoutMs, QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
  }
  ProcessEvents();
}

void Win32FrontEnd::Wake() {
  kernel_.SetEvent(kernelWake_);
  ::SetEvent(nativeWake_);
}

bool Win32FrontEnd::ContainerMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                     LRESULT& result) {
  switch (message) {
    case WM_COMMAND: {
      Win32Peer* child = Win32Peer::FromWindow(reinterpret_cast<HWND>(lParam));
      if (lParam == 0 || child == nullptr) return false;
      child->Command(HIWORD(wParam));
      result = 0;
      return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: {
      Win32Peer* child = Win32Peer::FromWindow(reinterpret_cast<HWND>(lParam));
      HBRUSH brush = child != nullptr ? child->ControlColor(reinterpret_cast<HDC>(wParam)) : nullptr;
      if (brush == nullptr) return false;
      result = reinterpret_cast<LRESULT>(brush);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace ui
