// The hidden window that receives device-change messages for the application.
//
// Windows delivers WM_DEVICECHANGE only to windows: port arrivals and removals are broadcast to
// every top-level window, interface changes go to windows registered through
// RegisterDeviceNotification. So the platform keeps one hidden top-level window (never shown,
// not a message-only window, which broadcasts would miss) on a thread of its own with its own
// message loop, independent of whichever front-end runs. Each WM_DEVICECHANGE is copied (the
// record is valid only during the call) and posted to every sink that holds a registration.
#pragma once

#include <map>
#include <mutex>

#include "platform/platform.h"

namespace plat::win32 {

class DeviceWindow {
 public:
  DeviceWindow() = default;
  // Closes the window and ends its thread (waits at most two seconds for it).
  ~DeviceWindow();
  DeviceWindow(const DeviceWindow&) = delete;
  DeviceWindow& operator=(const DeviceWindow&) = delete;

  // The window, created with its thread on first use; null when that failed (last error set).
  HWND Handle();

  // RegisterDeviceNotificationA for this window; sink receives the window's WM_DEVICECHANGE
  // messages while registered. Null on failure (last error set; ERROR_INVALID_PARAMETER for a
  // null sink or filter).
  HANDLE Register(MessageSink* sink, const void* filter, DWORD flags);
  // UnregisterDeviceNotification; FALSE with ERROR_INVALID_HANDLE for an unknown registration.
  BOOL Unregister(HANDLE registration);

 private:
  static DWORD WINAPI ThreadMain(void* self);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Deliver(WPARAM wParam, LPARAM lParam);

  std::mutex mutex_;
  HANDLE thread_ = nullptr;
  HWND window_ = nullptr;
  DWORD startError_ = ERROR_SUCCESS;
  std::map<HANDLE, MessageSink*> registrations_;
};

}  // namespace plat::win32
