// The files of a whole run: reading one back whole, and the sample Quorix.lcd the runs write.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace apptest {

inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void Write(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A sample Quorix.lcd: parameters 1000..1119, serial 1234 / 567, device type 3.
inline std::string SampleConfig() {
  std::string text = "4\n";
  for (int i = 0; i < 120; ++i) text += std::to_string(1000 + i) + "\n";
  return text + "1234\n567\n3\n";
}

}  // namespace apptest
