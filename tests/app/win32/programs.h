// Where the built programs are: the build's app folder, found from this test program's own
// place in the build (LCDWRITE_APP_FROM_TESTS is that folder relative to the tests' folder).
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace test {

inline std::filesystem::path ProgramPath(const std::wstring& name) {
  std::vector<wchar_t> self(MAX_PATH * 4);
  const DWORD length = ::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
  const std::filesystem::path tests = std::filesystem::path(std::wstring(self.data(), length)).parent_path();
  return (tests / LCDWRITE_APP_FROM_TESTS / name).lexically_normal();
}

}  // namespace test
