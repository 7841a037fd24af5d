#include "framework/textfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "framework/exceptions.h"

namespace fw {

void AppendLine(const std::string& path, const std::string& text) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (file == nullptr) {
    const int error = errno;
    throw EInOutError("Cannot open " + path + ": " + std::strerror(error), error);
  }
  const bool written = std::fputs(text.c_str(), file) >= 0 && std::fputs("\n", file) >= 0;
  const int writeError = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    const int error = written ? errno : writeError;
    throw EInOutError("Cannot write " + path + ": " + std::strerror(error), error);
  }
}

}  // namespace fw
