#include "app/journal/choice.h"

#include <cstdio>
#include <filesystem>
#include <ostream>

#include "app/journal/host.h"
#include "app/journal/schema.h"
#include "app/exitstatus.h"
#include "app/journal/texts.h"
#include "app/texts.h"
#include "app/outputfiles.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"

namespace app::journal {

bool IsPostgresUri(const std::string& name) {
  return name.rfind(texts::kPostgresPrefix, 0) == 0 ||
         name.rfind(texts::kPostgresPrefixShort, 0) == 0;
}

JournalChoice ChooseJournal(const Options& options, const std::string& environment) {
  using Kind = JournalChoice::Kind;
  if (options.noJournal) return {Kind::None, {}};
  if (!options.journal.empty()) return {Kind::Named, options.journal};
  if (options.simulate) return {Kind::None, {}};
  if (!environment.empty()) return {Kind::Named, environment};
  return {Kind::Default, DefaultJournalPath()};
}

std::string ShownJournal(const std::string& target) {
  if (!IsPostgresUri(target)) return ShownName(target);
  return ShownPostgresTarget(target);
}

std::unique_ptr<JournalStore> OpenJournal(const JournalChoice& choice,
                                          const std::function<void(const std::string&)>& warn,
                                          JournalAccess access) {
  const bool reading = access == JournalAccess::Read;
  if (choice.target.empty()) throw JournalError(texts::kNoHome);
  if (IsPostgresUri(choice.target)) return OpenPostgresJournal(choice.target, reading);
  namespace fs = std::filesystem;
  const fs::path path = plat::FilePath(choice.target);
  const bool isDefault = choice.kind == JournalChoice::Kind::Default;
  if (isDefault && !reading && path.has_parent_path()) {
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    if (error && !fs::is_directory(path.parent_path())) {
      throw JournalError(fw::Format(texts::kCannotCreateFolder, ShownName(path.parent_path())) +
                         ": " + FileErrorCause(error.value()));
    }
  }
  SqliteOpening how;
  how.readOnly = reading;
  how.mayMoveAside = isDefault && !reading;
  std::string aside;
  std::unique_ptr<JournalStore> store = OpenSqliteJournal(Utf8FileName(choice.target), how, &aside);
  if (!aside.empty()) {
    warn(fw::Format(texts::kMovedAside, ShownJournal(choice.target), ShownName(aside)));
  }
  return store;
}

std::string CheckJournalFile(const JournalChoice& choice, const std::string& logFile,
                             const std::string& reportFile,
                             const std::filesystem::path& configFile,
                             const std::string& scenarioFile) {
  if (choice.kind == JournalChoice::Kind::None || choice.target.empty() ||
      IsPostgresUri(choice.target)) {
    return {};
  }
  const std::string& journal = choice.target;
  const std::filesystem::path journalPath = plat::FilePath(journal);
  if (SameFile(journalPath, configFile)) {
    return fw::Format(app::texts::kOutputIsConfig, texts::kJournalRole, ShownName(journal));
  }
  if (!scenarioFile.empty() && SameFile(journalPath, plat::FilePath(scenarioFile))) {
    return fw::Format(app::texts::kOutputIsScenario, texts::kJournalRole, ShownName(journal));
  }
  if (!logFile.empty() && SameFile(journalPath, plat::FilePath(logFile))) {
    return fw::Format(texts::kJournalIsOutput, texts::kLogOption, ShownName(journal));
  }
  if (!reportFile.empty() && SameFile(journalPath, plat::FilePath(reportFile))) {
    return fw::Format(texts::kJournalIsOutput, texts::kReportOption, ShownName(journal));
  }
  return {};
}

int SetUpJournal(const std::string& uri, std::ostream& out, std::ostream& err) {
  auto say = [&err](const std::string& cp1252) {
    err << "lcdwrite: " << fw::Cp1252ToUtf8(cp1252) << "\n";
  };
  if (!IsPostgresUri(uri)) {
    say(texts::kSetupFileOnly);
    return kExitUsage;
  }
  try {
    SetUpPostgresJournal(uri);
  } catch (const JournalError& e) {
    say(fw::Format(texts::kNamedUnavailable, ShownJournal(uri), e.what()));
    return kExitUsage;
  }
  out << fw::Cp1252ToUtf8(fw::Format(texts::kSetupDone, ShownJournal(uri), kSchemaVersion)) << "\n"
      << GrantExample("lcdwrite_bench");
  return kExitWritten;
}

}  // namespace app::journal
