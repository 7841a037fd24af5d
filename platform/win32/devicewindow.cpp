#include "platform/win32/devicewindow.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

namespace plat::win32 {

namespace {

constexpr char kClassName[] = "LcdWriteDeviceWindow";
// Broadcast records are small; a size field beyond this is not believed.
constexpr DWORD kMaxBroadcastSize = 64 * 1024;

struct StartUp {
  DeviceWindow* self;
  HANDLE ready;
  HWND window = nullptr;
  DWORD error = ERROR_SUCCESS;
};

}  // namespace

DeviceWindow::~DeviceWindow() {
  if (thread_ == nullptr) return;
  if (window_ != nullptr) ::PostMessageA(window_, WM_CLOSE, 0, 0);
  ::WaitForSingleObject(thread_, 2000);
  ::CloseHandle(thread_);
}

HWND DeviceWindow::Handle() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (window_ != nullptr) return window_;
  if (thread_ != nullptr) {
    // The thread started once and could not create the window: report the same again.
    ::SetLastError(startError_);
    return nullptr;
  }
  StartUp startUp{this, ::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  if (startUp.ready == nullptr) return nullptr;
  thread_ = ::CreateThread(nullptr, 0, &DeviceWindow::ThreadMain, &startUp, 0, nullptr);
  if (thread_ == nullptr) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(startUp.ready);
    ::SetLastError(error);
    return nullptr;
  }
  ::WaitForSingleObject(startUp.ready, INFINITE);
  ::CloseHandle(startUp.ready);
  window_ = startUp.window;
  startError_ = startUp.error;
  if (window_ == nullptr) ::SetLastError(startError_);
  return window_;
}

DWORD WINAPI DeviceWindow::ThreadMain(void* parameter) {
  auto* startUp = static_cast<StartUp*>(parameter);
  HINSTANCE instance = ::GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &DeviceWindow::WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kClassName;
  // A second DeviceWindow in the process finds the class already there.
  if (::RegisterClassA(&windowClass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    startUp->error = ::GetLastError();
    ::SetEvent(startUp->ready);
    return 1;
  }
  HWND window = ::CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    startUp->error = ::GetLastError();
    ::SetEvent(startUp->ready);
    return 1;
  }
  ::SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(startUp->self));
  startUp->window = window;
  // startUp lives on the creating thread's stack: not touched after this.
  ::SetEvent(startUp->ready);

  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return 0;
}

LRESULT CALLBACK DeviceWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
  auto* self = reinterpret_cast<DeviceWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
  switch (message) {
    case WM_DEVICECHANGE:
      if (self != nullptr) self->Deliver(wParam, lParam);
      // TRUE also grants every query (DBT_QUERYREMOVE): the application never vetoes.
      return TRUE;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcA(window, message, wParam, lParam);
  }
}

void DeviceWindow::Deliver(WPARAM wParam, LPARAM lParam) {
  std::vector<std::uint8_t> record;
  if (lParam != 0) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    const DWORD size =
        std::clamp<DWORD>(header->dbch_size, sizeof(DEV_BROADCAST_HDR), kMaxBroadcastSize);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(lParam);
    record.assign(bytes, bytes + size);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  // A sink registered for several filters still gets each message once.
  std::set<MessageSink*> sinks;
  for (const auto& entry : registrations_) sinks.insert(entry.second);
  for (MessageSink* sink : sinks) sink->PostDeviceChange(wParam, record);
}

HANDLE DeviceWindow::Register(MessageSink* sink, const void* filter, DWORD flags) {
  if (sink == nullptr || filter == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HWND window = Handle();
  if (window == nullptr) return nullptr;
  // The window is the only recipient this class offers. The system is called without the lock
  // held, so a message it might send meanwhile cannot deadlock against Deliver.
  HDEVNOTIFY registration = ::RegisterDeviceNotificationA(
      window, const_cast<void*>(filter), flags & ~DEVICE_NOTIFY_SERVICE_HANDLE);
  if (registration == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(mutex_);
  registrations_[registration] = sink;
  return registration;
}

BOOL DeviceWindow::Unregister(HANDLE registration) {
  {
    // Once this block is left, Deliver no longer reaches the sink: it may go away.
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = registrations_.find(registration);
    if (it == registrations_.end()) {
      ::SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    registrations_.erase(it);
  }
  return ::UnregisterDeviceNotification(registration);
}

}  // namespace plat::win32
