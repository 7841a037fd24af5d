#include "app/outputfiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "app/texts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"
#include "platform/outputfiles.h"
#include "platform/process.h"

namespace app {

namespace fs = std::filesystem;

namespace {

// Why path cannot be written, or empty. The log is appended to; the report replaces its file
// by renaming a temporary one beside it, so what counts for it is its folder. Either is tried
// as the run will do it, and nothing is left changed: an existing log is opened and closed, a
// missing one's folder is tried with a temporary file, the report's temporary file goes with
// its probe.
std::string WhyNotWritable(const fs::path& path, bool append) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  const bool exists = !error && fs::exists(status);
  if (exists && fs::is_directory(status)) return texts::kCauseFolder;
  if (exists && !fs::is_regular_file(status)) return texts::kCauseNotAFile;
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, error)) return fw::Format(texts::kCauseNoFolder, ShownName(folder));

  if (!append) {
    const plat::ReplacementFile probe(path);
    return probe.Error() == 0 ? std::string() : FileErrorCause(probe.Error());
  }
  // Whether anything is there under the name, a dangling link included.
  if (fs::exists(fs::symlink_status(path, error))) {
    int failure = 0;
    std::FILE* file = plat::OpenForAppend(path, failure);
    if (file == nullptr) return FileErrorCause(failure);
    std::fclose(file);
    return {};
  }
  // A missing log is not made here: another run on the same log may create it at any moment,
  // and its lines must not go into a file this check removes. The folder is tried with a file
  // of a unique name instead; only a name too long for that probe is tried as itself.
  const plat::ReplacementFile probe(path);
  if (probe.Error() != ENAMETOOLONG) {
    return probe.Error() == 0 ? std::string() : FileErrorCause(probe.Error());
  }
  int failure = 0;
  std::FILE* file = plat::CreateExclusive(path, failure);
  if (file == nullptr) return failure == EEXIST ? std::string() : FileErrorCause(failure);
  std::fclose(file);
  fs::remove(path, error);
  return {};
}

}  // namespace

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error);
  const fs::path x = fs::weakly_canonical(fs::absolute(a, error), error);
  const fs::path y = fs::weakly_canonical(fs::absolute(b, error), error);
  return x == y;
}

std::string ShownName(const fs::path& path) { return ShownName(plat::PathText(path)); }

std::string ShownName(const std::string& text) { return fw::VisibleUtf8ToCp1252(text); }

std::string FileErrorCause(int error) {
  switch (error) {
    case ENOSPC:
      return texts::kCauseDiskFull;
    case EACCES:
    case EPERM:
      return texts::kCauseNoAccess;
    case ENOENT:
    case ENOTDIR:
      return texts::kCauseMissing;
    case EISDIR:
      return texts::kCauseFolder;
    case EROFS:
      return texts::kCauseReadOnly;
    case EFBIG:
      return texts::kCauseTooLarge;
    case EIO:
      return texts::kCauseInOut;
    case ELOOP:
      return texts::kCauseForeignLink;
    case ETXTBSY:
      return texts::kCauseRunningProgram;
    default:
      return fw::Format(texts::kCauseOther, error, fw::Utf8ToCp1252(std::strerror(error)));
  }
}

std::string CheckOutputFiles(const std::string& logFile, const std::string& reportFile,
                             const fs::path& configFile, const std::string& scenarioFile) {
  struct Output {
    const char* role;
    const std::string& name;
    bool append;
    fs::path path;
  };
  Output outputs[] = {{texts::kLogRole, logFile, true, plat::FilePath(logFile)},
                      {texts::kReportRole, reportFile, false, plat::FilePath(reportFile)}};
  const fs::path scenario = plat::FilePath(scenarioFile);
  // First what the user cannot have meant: an output that would replace an input, or both
  // outputs in one file (the report would replace the log).
  for (const Output& output : outputs) {
    if (output.name.empty()) continue;
    if (SameFile(output.path, configFile)) {
      return fw::Format(texts::kOutputIsConfig, output.role, ShownName(output.name));
    }
    if (!scenarioFile.empty() && SameFile(output.path, scenario)) {
      return fw::Format(texts::kOutputIsScenario, output.role, ShownName(output.name));
    }
  }
  if (!logFile.empty() && !reportFile.empty() && SameFile(outputs[0].path, outputs[1].path)) {
    return fw::Format(texts::kOutputsSame, ShownName(logFile));
  }
  for (const Output& output : outputs) {
    if (output.name.empty()) continue;
    const std::string why = WhyNotWritable(output.path, output.append);
    if (!why.empty()) {
      return fw::Format(texts::kOutputCannotWrite, output.role, ShownName(output.name), why);
    }
  }
  return {};
}

namespace {
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

// The first bytes of a file, empty when it is empty or cannot be read.
std::string HeadOf(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  char head[3] = {};
  file.read(head, sizeof head);
  return std::string(head, static_cast<size_t>(file.gcount()));
}
}  // namespace

LogCoding LogCodingFor(bool utf8Files, const std::string& head) {
  if (utf8Files || head == kByteOrderMark) return LogCoding::Utf8;
  return head.empty() ? LogCoding::Utf8AfterMark : LogCoding::Cp1252;
}

std::string LogBytes(const std::string& line, LogCoding coding) {
  switch (coding) {
    case LogCoding::Utf8AfterMark:
      return kByteOrderMark + fw::Cp1252ToUtf8(line) + "\n";
    case LogCoding::Cp1252:
      return fw::PlainCp1252(line) + "\n";
    case LogCoding::Utf8:
      break;
  }
  return fw::Cp1252ToUtf8(line) + "\n";
}

RunLog::RunLog(std::string path, std::function<void(const std::string& text)> onFailure)
    : path_(std::move(path)), onFailure_(std::move(onFailure)) {}

RunLog::~RunLog() {
  if (file_ != nullptr) std::fclose(file_);
}

void RunLog::Fail(int error) {
  failed_ = true;
  cause_ = FileErrorCause(error);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void RunLog::Write(const std::string& line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_) return;
    int error = 0;
    if (file_ == nullptr) {
      const fs::path path = plat::FilePath(path_);
      file_ = plat::OpenForAppend(path, error);
      // Where the system's text files are UTF-8 without a mark, the file is not read.
      const bool utf8Files = plat::TextFilesInUtf8();
      if (file_ != nullptr) coding_ = LogCodingFor(utf8Files, utf8Files ? "" : HeadOf(path));
    }
    if (file_ == nullptr) {
      Fail(error);
    } else {
      const std::string whole = LogBytes(line, coding_);
      if (coding_ == LogCoding::Utf8AfterMark) coding_ = LogCoding::Utf8;
      if (std::fwrite(whole.data(), 1, whole.size(), file_) == whole.size() &&
          std::fflush(file_) == 0) {
        return;
      }
      Fail(errno);
    }
  }
  if (onFailure_) onFailure_(fw::Format(texts::kLogFailed, ShownName(path_), cause_));
}

void RunLog::Begin() {
  Write(fw::DateTimeText() + " " + fw::Format(texts::kLogRunBegins, plat::ProcessId()));
}

void RunLog::Close(int status) {
  bool open = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    open = file_ != nullptr;
  }
  if (open) {
    Write(fw::DateTimeText() + " " + fw::Format(texts::kLogRunEnds, plat::ProcessId(), status));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ == nullptr) return;
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0 && !failed_) {
    failed_ = true;
    cause_ = FileErrorCause(errno);
  }
}

bool RunLog::Failed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failed_;
}

std::string RunLog::IncompleteText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fw::Format(texts::kLogIncomplete, ShownName(path_), cause_);
}

}  // namespace app
