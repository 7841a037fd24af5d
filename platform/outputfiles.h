// The files the tool writes besides the board (the run's log, a report), made so that nothing
// but the named file is ever created, changed or removed.
//
// A file that is replaced whole is written to a temporary file with a unique name, created
// exclusively in the target's own folder (so the rename stays on one file system), and renamed
// over the target only when it is complete: an existing file is never emptied, a reader finds
// the old file or the whole new one, and no fixed name beside the target is ever touched.
//
// A file that is appended to never follows a symbolic link that someone else has planted in a
// folder others can write: where the folder is writable by its group or by everyone, a link is
// followed only when it belongs to the user or to the folder's owner (the kernel's
// protected_symlinks rule, applied whatever the system's setting). Windows has no such folders
// for a user's links; there the rule is empty.
//
// Failures are C library errno values; ELOOP stands for a link that is not followed. Paths are
// opened as they are held (on Windows through the wide API, so any name the system allows
// works; see platform/hosttext.h).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace plat {

// Whether text files are written in UTF-8 without a mark for this system's editors (Linux).
// Otherwise (Windows) an editor takes a file without a mark for Windows-1252: UTF-8 needs the
// byte-order mark at the file's start.
bool TextFilesInUtf8();

// Opens path for appending text (created when missing, mode 0666 less the umask). Null with
// error set when it cannot be opened.
std::FILE* OpenForAppend(const std::filesystem::path& path, int& error);
// Creates path for writing, exclusively: never an existing file, never through a link. Null
// with error set otherwise.
std::FILE* CreateExclusive(const std::filesystem::path& path, int& error);
// Renames from over to, replacing to when it exists. false with errno set otherwise.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to);

// A temporary file beside target, made exclusively, not yet renamed: for a file that replaces
// target whole. The destructor removes it unless Commit put it in target's place.
class ReplacementFile {
 public:
  explicit ReplacementFile(std::filesystem::path target);
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // 0 when the temporary file exists; otherwise why it could not be made.
  int Error() const { return error_; }
  // Writes content to the temporary file, closes it and renames it over target. 0, or the
  // errno; on failure the temporary file is gone and target is as it was.
  int Commit(const std::string& content);

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  int error_ = 0;
};

}  // namespace plat
