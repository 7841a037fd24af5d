// The environment that preloads the modem-line shim into a child process.
//
// ld.so splits LD_PRELOAD at spaces and colons and has no way to quote them: a shim built in a
// checkout below "/tmp/Prüfstand 2" would be read as two names that do not exist, and the child
// would run without modem lines. So the shim goes in by its file name, and its folder goes first
// on LD_LIBRARY_PATH, where only colons separate (a folder with a colon cannot be preloaded from
// at all; such a checkout is not supported).
//
//   env.push_back(entry) for every entry of ptymodem::PreloadEnvironment(shim, getenv(...)),
//   after leaving out the caller's own LD_PRELOAD and LD_LIBRARY_PATH (ptymodem::SetByPreload).
#pragma once

#include <string>
#include <vector>

namespace ptymodem {

// "LD_PRELOAD=NAME" and "LD_LIBRARY_PATH=FOLDER[:libraryPath]" for the library at path `library`
// (absolute, as the build names it); libraryPath is the caller's LD_LIBRARY_PATH or null.
inline std::vector<std::string> PreloadEnvironment(const std::string& library, const char* libraryPath) {
  const std::string::size_type slash = library.rfind('/');
  const std::string name = slash == std::string::npos ? library : library.substr(slash + 1);
  std::string folder = slash == std::string::npos ? "." : library.substr(0, slash);
  if (folder.empty()) folder = "/";
  if (libraryPath && *libraryPath) folder += std::string(":") + libraryPath;
  return {"LD_PRELOAD=" + name, "LD_LIBRARY_PATH=" + folder};
}

// Whether an environment entry ("NAME=value") is one PreloadEnvironment sets.
inline bool SetByPreload(const std::string& entry) {
  return entry.rfind("LD_PRELOAD=", 0) == 0 || entry.rfind("LD_LIBRARY_PATH=", 0) == 0;
}

}  // namespace ptymodem
