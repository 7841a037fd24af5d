#include "platform/win32/system.h"

#include <pthread.h>

#include <filesystem>
#include <vector>

#include "platform/hosttext.h"
#include "platform/win32/hosttext.h"

namespace plat::win32 {

LONG System::RegOpenKeyExA(HKEY root, const char* path, HKEY* key) {
  if (path != nullptr && path[0] == '\\') ++path;
  return ::RegOpenKeyExA(root, path, 0, KEY_READ, key);
}

LONG System::RegCloseKey(HKEY key) { return ::RegCloseKey(key); }

LONG System::RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  return ::RegQueryValueExA(key, name, nullptr, type, data, size);
}

LONG System::RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                           BYTE* data, DWORD* dataLength) {
  return ::RegEnumValueA(key, index, name, nameLength, nullptr, type, data, dataLength);
}

LONG System::RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) {
  return ::RegEnumKeyExA(key, index, name, nameLength, nullptr, nullptr, nullptr, nullptr);
}

LONG System::RegOpenKeyForWriteA(HKEY root, const char* path, HKEY* key) {
  if (path != nullptr && path[0] == '\\') ++path;
  return ::RegOpenKeyExA(root, path, 0, KEY_READ | KEY_SET_VALUE, key);
}

LONG System::RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data,
                            DWORD size) {
  return ::RegSetValueExA(key, name, 0, type, data, size);
}

DWORD System::QueryDosDeviceA(const char* name, char* buffer, DWORD size) {
  return ::QueryDosDeviceA(name, buffer, size);
}

DWORD System::GetPriorityClass() { return ::GetPriorityClass(::GetCurrentProcess()); }

BOOL System::SetPriorityClass(DWORD priorityClass) {
  return ::SetPriorityClass(::GetCurrentProcess(), priorityClass);
}

BOOL System::SetThreadPriority(std::uintptr_t thread, int priority) {
  HANDLE handle = thread != 0 ? pthread_gethandle(static_cast<pthread_t>(thread)) : nullptr;
  if (handle == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return ::SetThreadPriority(handle, priority);
}

BOOL System::MessageBeep(UINT type) { return ::MessageBeep(type); }

BOOL System::Beep(DWORD frequency, DWORD duration) { return ::Beep(frequency, duration); }

// The program's path travels as the text of its path (UTF-8), so that a folder of any name
// the system allows finds its file: through the wide calls.
DWORD System::GetFileVersionInfoSizeA(const char* path) {
  DWORD ignored = 0;
  return ::GetFileVersionInfoSizeW(WideText(path).c_str(), &ignored);
}

BOOL System::GetFileVersionInfoA(const char* path, DWORD size, void* block) {
  return ::GetFileVersionInfoW(WideText(path).c_str(), 0, size, block);
}

// The block comes from the wide call; its root ("\\": the fixed file information) is the same.
BOOL System::VerQueryValueA(const void* block, const char* subBlock, void** value, UINT* length) {
  return ::VerQueryValueW(block, WideText(subBlock).c_str(), value, length);
}

std::string System::ProgramPath() {
  // The path may exceed MAX_PATH; the system truncates silently when the buffer is full. The
  // wide call: a program in a folder whose name the ANSI code page cannot hold is found again
  // (the line starts it once per board).
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::string();
    if (length < buffer.size()) return Utf8Text(std::wstring(buffer.data(), length));
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool System::CurrentDirectory(std::string& directory) {
  // The wide call: any folder name the system allows, as UTF-8 (platform/hosttext.h).
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD needed = ::GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return false;
    std::vector<wchar_t> buffer(needed);
    const DWORD length = ::GetCurrentDirectoryW(needed, buffer.data());
    if (length == 0) return false;
    // Larger than asked for: another thread changed the directory in between; ask again.
    if (length < needed) {
      directory = PathText(std::filesystem::path(std::wstring(buffer.data(), length)));
      return true;
    }
  }
  return false;
}

HANDLE System::RegisterDeviceNotificationA(MessageSink* sink, const void* filter, DWORD flags) {
  return deviceWindow_.Register(sink, filter, flags);
}

BOOL System::UnregisterDeviceNotification(HANDLE registration) {
  return deviceWindow_.Unregister(registration);
}

}  // namespace plat::win32
