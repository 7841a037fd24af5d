// What lies beside the outputs of a run is never touched: a run creates, changes or removes
// nothing but its log and its report, whatever files or links share their folder.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "tests/app/wholerun.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using apptest::Outcome;
using apptest::Read;
using apptest::WholeRun;
namespace fs = std::filesystem;

// Every entry under dir: a file's content, a link's target, a folder's mode.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().lexically_relative(dir).generic_string();
    if (entry.is_symlink()) {
      entries[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      entries[name] = "folder";
    } else {
      entries[name] = Read(entry.path());
    }
  }
  return entries;
}

struct BesideRow {
  const char* name;
  // Puts files beside the outputs and names the outputs (paths relative to the run's folder).
  std::function<void(const fs::path& dir, app::Options& options)> setUp;
  int status;
  std::string err;  // what the run says (UTF-8), exactly
  bool needsRoot = false;  // links owned by another user
};

void PrintTo(const BesideRow& row, std::ostream* os) { *os << row.name; }

class OutputsBeside : public WholeRun, public ::testing::WithParamInterface<BesideRow> {};

// After the run everything that was there is as it was, except the named outputs: the log only
// grew, the report is the board's or as it was.
TEST_P(OutputsBeside, are_left_as_they_were) {
  const BesideRow& row = GetParam();
#ifndef _WIN32
  if (row.needsRoot && ::geteuid() != 0) GTEST_SKIP() << "needs root to own a link for another user";
#else
  if (row.needsRoot) GTEST_SKIP() << "links of other users are a POSIX matter";
#endif
  apptest::Write(dir_ / "Quorix.lcd", apptest::SampleConfig());
  app::Options options;
  row.setUp(dir_, options);
  if (options.scenario.empty()) {
    apptest::Write(dir_ / "healthy.scenario", "");
    options.scenario = "healthy.scenario";
  }
  std::map<std::string, std::string> before = Snapshot(dir_);
  const Outcome o = Run("", "", false, options);
  EXPECT_EQ(o.status, row.status);
  EXPECT_EQ(o.err, row.err);

  std::map<std::string, std::string> after = Snapshot(dir_);
  const std::string log = options.logFile;
  if (!log.empty() && after.count(log) != 0) {
    const std::string old = before.count(log) != 0 ? before[log] : "";
    EXPECT_EQ(after[log].substr(0, old.size()), old) << "the log lost what it held";
    before.erase(log);
    after.erase(log);
  }
  const std::string report = fs::path(options.simReport).lexically_relative(dir_).generic_string();
  before.erase(report);
  after.erase(report);
  EXPECT_EQ(after, before);
}

#ifndef _WIN32
// A shared folder (mode), holding a link called run.log to a file of dir's that the run must
// not touch, owned by owner.
void SharedFolderWithLink(const fs::path& dir, mode_t mode, uid_t owner) {
  fs::create_directory(dir / "shared");
  ::chmod((dir / "shared").c_str(), mode);
  apptest::Write(dir / "precious", "precious\n");
  fs::create_symlink(dir / "precious", dir / "shared" / "run.log");
  if (::lchown((dir / "shared" / "run.log").c_str(), owner, owner) != 0) FAIL() << "lchown";
}
constexpr uid_t kOtherUser = 65534;
const char* const kForeignLink =
    "lcdwrite: Die Protokolldatei shared/run.log kann nicht geschrieben werden: es ist ein "
    "Verweis eines anderen Benutzers in einem Ordner, in den auch andere schreiben d\u00fcrfen.\n";
#endif

const BesideRow kBesideRows[] = {
#ifndef _WIN32
    {"a_link_where_the_report_was_once_written_through",
     [](const fs::path& dir, app::Options& o) {
       fs::create_symlink(dir / "Quorix.lcd", dir / "rep.json.tmp");
       o.simReport = (dir / "rep.json").string();
     },
     0, ""},
#endif
    {"a_users_own_file_named_like_a_temporary_one",
     [](const fs::path& dir, app::Options& o) {
       apptest::Write(dir / "rep.json.tmp", "mine\n");
       o.simReport = (dir / "rep.json").string();
     },
     0, ""},
    {"the_scenario_named_like_the_reports_temporary_file_keeps_its_fault",
     [](const fs::path& dir, app::Options& o) {
       apptest::Write(dir / "s.tmp", "fault = configuration data:57 silent\n");
       o.scenario = "s.tmp";
       o.simReport = (dir / "s").string();
     },
     1, ""},
    {"the_log_named_like_the_reports_temporary_file_keeps_old_and_new_lines",
     [](const fs::path& dir, app::Options& o) {
       apptest::Write(dir / "r.tmp", "an earlier run\n");
       o.logFile = "r.tmp";
       o.simReport = (dir / "r").string();
     },
     0, ""},
#ifndef _WIN32
    {"another_users_link_in_a_sticky_shared_folder_is_not_followed",
     [](const fs::path& dir, app::Options& o) {
       SharedFolderWithLink(dir, 01777, kOtherUser);
       o.logFile = "shared/run.log";
     },
     64, kForeignLink, true},
    {"another_users_link_in_a_shared_folder_without_sticky_bit_is_not_followed",
     [](const fs::path& dir, app::Options& o) {
       SharedFolderWithLink(dir, 0777, kOtherUser);
       o.logFile = "shared/run.log";
     },
     64, kForeignLink, true},
#endif
};

INSTANTIATE_TEST_SUITE_P(Table, OutputsBeside, ::testing::ValuesIn(kBesideRows),
                         [](const ::testing::TestParamInfo<BesideRow>& info) {
                           return info.param.name;
                         });

#ifndef _WIN32
// A link is followed where no one else could have planted it: the user's own in a shared
// folder, anyone's in a folder only its owner can write. The log lands in the file it names.
TEST_F(WholeRun, a_link_no_one_else_could_plant_is_followed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to own a link for another user";
  const struct {
    mode_t folder;
    uid_t linkOwner;
  } cases[] = {{01777, ::geteuid()}, {0755, kOtherUser}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    fs::remove_all(dir_ / "shared");
    SharedFolderWithLink(dir_, c.folder, c.linkOwner);
    app::Options options;
    options.logFile = "shared/run.log";
    const Outcome o = Run("", apptest::SampleConfig(), false, options);
    EXPECT_EQ(o.status, 0);
    EXPECT_TRUE(fs::is_symlink(dir_ / "shared" / "run.log"));
    EXPECT_NE(Read(dir_ / "precious").find(" Close \\\\.\\COM3"), std::string::npos);
  }
}
#endif

}  // namespace
