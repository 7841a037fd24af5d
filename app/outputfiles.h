// The files a run writes besides the board: the port's log (--log) and the simulated board's
// report (--sim-report).
//
// Both are checked before anything else happens, so no port is opened for a run whose output
// cannot be kept: each must be a regular file or not exist yet in a folder that does, must be
// writable, must be neither Quorix.lcd nor the scenario file, and the two must differ.
//
// The run owns its log (RunLog): the file is opened at the run's start and kept open to its
// end; each line is written whole and flushed at once, and the run's lines open with one that
// names the process and close with one that names the exit status, so a run's lines can be told
// apart when another run appends to the same file. The log is UTF-8 on Linux; on Windows a new
// log is UTF-8 with a byte-order mark, so an editor reads every name whole, and a log an earlier
// version began in Windows-1252 goes on in it (LogCodingFor). The log can still fail in the
// middle of a write (the disk fills up). RunLog then reports the failure once, drops the rest of
// the log instead of interrupting a transfer, and remembers it for the end of the run, which
// says the log is incomplete.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

namespace app {

// Empty when the output files can be written; otherwise why not (German, Windows-1252).
// configFile is Quorix.lcd as the run will read it; the other names are texts of paths
// (platform/hosttext.h), empty for "none".
std::string CheckOutputFiles(const std::string& logFile, const std::string& reportFile,
                             const std::filesystem::path& configFile,
                             const std::string& scenarioFile);

// Whether two names lead to the same file (by identity where both exist), whether or not it
// exists yet. The journal's file follows the same rule (app/journal/choice.h).
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Why a file operation failed, for a C library errno value (German, Windows-1252).
std::string FileErrorCause(int error);

// A file name as a message shows it (Windows-1252: a character it cannot hold is shown as '?'),
// control characters made visible.
std::string ShownName(const std::filesystem::path& path);
// The same for the text of a path (UTF-8, platform/hosttext.h).
std::string ShownName(const std::string& text);

// How the log's lines are written into its file.
enum class LogCoding {
  Utf8,          // UTF-8 (a file begun with the mark, or any log on Linux)
  Utf8AfterMark, // UTF-8, the byte-order mark first (a new or empty file on Windows)
  Cp1252,        // Windows-1252, a character it lacks as '?' (an older log on Windows)
};
// The coding for a log whose file begins with head (its first bytes, at most 3; empty: new or
// empty), on a system whose text files are UTF-8 without a mark (utf8Files) or not.
LogCoding LogCodingFor(bool utf8Files, const std::string& head);
// A log line (the tool's text) and its line break as the file takes them.
std::string LogBytes(const std::string& line, LogCoding coding);

class RunLog {
 public:
  // The log appends to path (the text of a path, platform/hosttext.h). onFailure shows the
  // first failure at once (its text is German, Windows-1252); may be empty, then the failure
  // is only remembered for the end.
  explicit RunLog(std::string path, std::function<void(const std::string& text)> onFailure = {});
  ~RunLog();
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // The run's first line, naming the process (opens the file).
  void Begin();
  // The port's log writer: appends line (Windows-1252) and a line break, and flushes. After the
  // first failure every line is dropped; nothing is raised. Safe from any thread.
  void Write(const std::string& line);
  // The end of the run: its last line, naming status, then the file is closed (a failure to do
  // so counts as a failure of the log).
  void Close(int status);

  bool Failed() const;
  // For the end of the run: the log is incomplete, and why.
  std::string IncompleteText() const;

 private:
  void Fail(int error);  // with mutex_ held

  const std::string path_;
  std::function<void(const std::string& text)> onFailure_;
  mutable std::mutex mutex_;
  std::FILE* file_ = nullptr;
  LogCoding coding_ = LogCoding::Utf8;
  bool failed_ = false;
  std::string cause_;
};

}  // namespace app
