// The files of a whole run: reading one back whole, its log, and the sample Quorix.lcd the runs write.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "framework/sysutils.h"
#include "platform/outputfiles.h"

namespace apptest {

// A folder for the running test alone, below the temporary folder: prefix, then the suite's and
// the test's names ('/' of parameterised names as '-'). Nothing is created.
inline std::filesystem::path TestFolder(const std::string& prefix) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "-" + test->name();
  for (char& c : name) {
    if (c == '/') c = '-';
  }
  return std::filesystem::temp_directory_path() / (prefix + name);
}

inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void Write(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A run's log in the tool's own Windows-1252 (the file is UTF-8 where text files are), without
// the run's first and last line, which name the process and the exit status.
inline std::string ReadLog(const std::filesystem::path& path) {
  std::string text = Read(path);
  // UTF-8 on Linux, and on Windows where the file begins with the byte-order mark.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
    text.erase(0, 3);
    text = fw::Utf8ToCp1252(text);
  } else if (plat::TextFilesInUtf8()) {
    text = fw::Utf8ToCp1252(text);
  }
  const std::size_t first = text.find('\n');
  if (first == std::string::npos) return {};
  text.erase(0, first + 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const std::size_t last = text.rfind('\n');
  return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

// A sample Quorix.lcd: parameters 1000..1119, serial 1234 / 567, device type 3.
inline std::string SampleConfig() {
  std::string text = "4\n";
  for (int i = 0; i < 120; ++i) text += std::to_string(1000 + i) + "\n";
  return text + "1234\n567\n3\n";
}

}  // namespace apptest
