// The parts of output files that are the same on every system: the temporary file's name,
// writing it and putting it in place (creating and renaming are the backend's).
#include "platform/outputfiles.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace plat {

namespace {

// A name beside target that no one can guess ahead: ".NAME." and six letters or digits.
std::filesystem::path TemporaryName(const std::filesystem::path& target, std::uint64_t& state) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  // Letters and dots only: the same characters in every encoding.
  std::filesystem::path name(".");
  name += target.filename();
  name += ".";
  for (int i = 0; i < 6; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    name += std::string(1, kLetters[(state >> 33) % (sizeof kLetters - 1)]);
  }
  return target.parent_path() / name;
}

}  // namespace

ReplacementFile::ReplacementFile(std::filesystem::path target) : target_(std::move(target)) {
  std::uint64_t state =
      static_cast<std::uint64_t>(
          std::chrono::steady_clock::now().time_since_epoch().count()) ^
      reinterpret_cast<std::uintptr_t>(this);
  // A name taken already is tried again with another; anything else ends the attempt.
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_ = TemporaryName(target_, state);
    file_ = CreateExclusive(temporary_, error_);
    if (file_ != nullptr || error_ != EEXIST) break;
  }
  if (file_ == nullptr) temporary_.clear();
}

ReplacementFile::~ReplacementFile() {
  if (file_ == nullptr) return;
  std::fclose(file_);
  std::error_code error;
  std::filesystem::remove(temporary_, error);
}

int ReplacementFile::Commit(const std::string& content) {
  if (file_ == nullptr) return error_ != 0 ? error_ : EBADF;
  std::FILE* file = file_;
  file_ = nullptr;
  int error = 0;
  if (std::fwrite(content.data(), 1, content.size(), file) != content.size()) error = errno;
  if (std::fclose(file) != 0 && error == 0) error = errno;
  if (error == 0 && !RenameOver(temporary_, target_)) error = errno;
  if (error != 0) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
  return error;
}

}  // namespace plat
