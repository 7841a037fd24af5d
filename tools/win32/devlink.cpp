// devlink: gives a device a second name in the system's MS-DOS device name space, the way a
// converter's driver lists its device ("FTDIBUS#VID_0403+PID_6001+...#{...}") beside the port's
// own name. A test tool for the end-to-end run under Wine (scripts/e2e-wine.sh): Wine 8's
// DefineDosDevice crashes on names of 45 characters or more, so the link is made directly in
// the object namespace, permanent, and stays after this program ends (until the wineserver
// does).
//
//   devlink NAME EXISTING      e.g. devlink "FTDIBUS#VID_0403+PID_6001+A9XK2M7QA#0000#{...}" COM7
//
// NAME then points where EXISTING points. Exit status 0 when NAME is in the list of all device
// names afterwards, 1 otherwise (the reason on standard error), 64 for bad arguments.
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <string>
#include <vector>

extern "C" NTSTATUS NTAPI NtCreateSymbolicLinkObject(PHANDLE link, ACCESS_MASK access,
                                                     POBJECT_ATTRIBUTES attributes,
                                                     PUNICODE_STRING target);

namespace {

constexpr ACCESS_MASK kSymbolicLinkAllAccess = 0x000F0001;
constexpr ULONG kObjPermanent = 0x00000010;
constexpr ULONG kObjCaseInsensitive = 0x00000040;

std::wstring Widen(const char* text) {
  const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
  if (length > 1) ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  return wide;
}

UNICODE_STRING Counted(std::wstring& text) {
  UNICODE_STRING counted;
  counted.Buffer = text.data();
  counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  counted.MaximumLength = counted.Length;
  return counted;
}

bool Listed(const char* name) {
  std::vector<char> names(65535);
  const DWORD count = ::QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
  for (DWORD start = 0, i = 0; i < count; ++i) {
    if (names[i] != '\0') continue;
    if (std::string(&names[start], i - start) == name) return true;
    start = i + 1;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: devlink NAME EXISTING\n");
    return 64;
  }
  wchar_t target[1024] = {};
  const std::wstring existing = Widen(argv[2]);
  if (::QueryDosDeviceW(existing.c_str(), target, 1024) == 0) {
    std::fprintf(stderr, "devlink: %s is no device name (error %lu)\n", argv[2],
                 ::GetLastError());
    return 1;
  }
  std::wstring linkName = L"\\??\\" + Widen(argv[1]);
  std::wstring targetName = target;  // the first of the targets
  UNICODE_STRING linkString = Counted(linkName);
  UNICODE_STRING targetString = Counted(targetName);
  OBJECT_ATTRIBUTES attributes{};
  attributes.Length = sizeof attributes;
  attributes.ObjectName = &linkString;
  attributes.Attributes = kObjPermanent | kObjCaseInsensitive;
  HANDLE link = nullptr;
  const NTSTATUS status =
      NtCreateSymbolicLinkObject(&link, kSymbolicLinkAllAccess, &attributes, &targetString);
  if (status < 0) {
    std::fprintf(stderr, "devlink: cannot create %s (status 0x%08lx)\n", argv[1],
                 static_cast<unsigned long>(status));
    return 1;
  }
  ::CloseHandle(link);
  if (!Listed(argv[1])) {
    std::fprintf(stderr, "devlink: %s was created but is not listed\n", argv[1]);
    return 1;
  }
  return 0;
}
