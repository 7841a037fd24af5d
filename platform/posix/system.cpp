#include "platform/posix/system.h"

namespace plat::posix {

LONG System::RegOpenKeyExA(HKEY, const char*, HKEY*) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG System::RegCloseKey(HKEY) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG System::RegQueryValueExA(HKEY, const char*, DWORD*, BYTE*, DWORD*) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG System::RegEnumValueA(HKEY, DWORD, char*, DWORD*, DWORD*, BYTE*, DWORD*) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG System::RegEnumKeyExA(HKEY, DWORD, char*, DWORD*) {
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

DWORD System::QueryDosDeviceA(const char*, char*, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}

DWORD System::GetPriorityClass() {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}

BOOL System::SetPriorityClass(DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL System::SetThreadPriority(std::uintptr_t, int) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL System::MessageBeep(UINT) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL System::Beep(DWORD, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

DWORD System::GetFileVersionInfoSizeA(const char*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}

BOOL System::GetFileVersionInfoA(const char*, DWORD, void*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL System::VerQueryValueA(const void*, const char*, void**, UINT*) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

std::string System::ProgramPath() {
  return std::string();
}

bool System::CurrentDirectory(std::string&) {
  return false;
}

HANDLE System::RegisterDeviceNotificationA(MessageSink*, const void*, DWORD) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return nullptr;
}

BOOL System::UnregisterDeviceNotification(HANDLE) {
  kernel_.SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

}  // namespace plat::posix
