// The Linux system view on a sysfs tree built from the input, read the way the tool reads it:
// the port map, the MS-DOS device names, the ports-class instances with their values.
//
// The input is lines, each one entry of the tree (in order; later entries may replace earlier
// ones):
//   d PATH            a directory (and its parents)
//   f PATH CONTENT    a file (and its parents); \n in CONTENT is a line break
//   l PATH TARGET     a symbolic link to TARGET (relative, may climb with ..)
// PATH is relative to the tree's root; its parts keep only the characters sysfs names use, and
// "." and ".." parts are dropped. A link that would lead out of the fuzzer's own folder (the
// root sits a few empty folders deep in it, so a tree can point above its root) is left out.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/kernel.h"
#include "platform/posix/system.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/platform/posix/system_testing.h"

namespace {

namespace fs = std::filesystem;

// The fuzzer's folder, and the tree's root eight levels below it.
const fs::path& Top() {
  static const fs::path top = [] {
    const char* shm = "/dev/shm";
    const fs::path base = fs::exists(shm) ? fs::path(shm) : fs::temp_directory_path();
    return base / ("lcdwrite-sysfs-fuzz-" + std::to_string(::getpid()));
  }();
  return top;
}
fs::path Root() { return Top() / "1/2/3/4/5/6/7/sys"; }

std::string CleanPath(const std::string& path) {
  std::string clean;
  std::string part;
  std::istringstream parts(path);
  while (std::getline(parts, part, '/')) {
    std::string kept;
    for (char c : part) {
      if (std::isalnum(static_cast<unsigned char>(c)) || std::string("._:+-").find(c) != std::string::npos) {
        kept += c;
      }
    }
    if (kept.empty() || kept == "." || kept == "..") continue;
    clean += (clean.empty() ? "" : "/") + kept;
  }
  return clean;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void Build(const std::string& description) {
  std::error_code ec;
  fs::remove_all(Top(), ec);
  fs::create_directories(Root(), ec);
  std::vector<fs::path> links;
  std::istringstream lines(description);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() < 3 || line[1] != ' ') continue;
    const std::string rest = line.substr(2);
    const auto space = rest.find(' ');
    const std::string path = CleanPath(rest.substr(0, space));
    const std::string argument = space == std::string::npos ? "" : rest.substr(space + 1);
    if (path.empty()) continue;
    const fs::path at = Root() / path;
    fs::remove_all(at, ec);
    fs::create_directories(at.parent_path(), ec);
    switch (line[0]) {
      case 'd':
        fs::create_directories(at, ec);
        break;
      case 'f':
        std::ofstream(at, std::ios::binary) << Unescape(argument);
        break;
      case 'l':
        if (!argument.empty() && argument[0] != '/') {
          fs::create_symlink(argument, at, ec);
          links.push_back(at);
        }
        break;
      default:
        break;
    }
  }
  // Links that lead out of the fuzzer's folder go (one may lead through another).
  const std::string top = fs::weakly_canonical(Top(), ec).native() + "/";
  for (const fs::path& link : links) {
    const fs::path resolved = fs::weakly_canonical(link, ec);
    if (ec || (resolved.native() + "/").rfind(top, 0) != 0) fs::remove(link, ec);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Build(std::string(reinterpret_cast<const char*>(data), size));
  plat::posix::testing::RecordingKernel kernel;
  plat::posix::System system(kernel, Root().native(), "/nonexistent-dev");
  const auto ports = plat::posix::testing::PortMap(system);
  const auto devices = plat::posix::testing::DosDevices(system);
  const auto instances = plat::posix::testing::PortInstances(system);
  // Every port in the map is also a device name.
  for (const auto& port : ports) {
    bool listed = false;
    for (const auto& device : devices) listed = listed || device == port;
    FUZZ_CHECK(listed);
  }
  return 0;
}
