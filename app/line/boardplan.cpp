#include "app/line/boardplan.h"

#include <filesystem>
#include <system_error>

#include "app/configfile.h"
#include "app/exitstatus.h"
#include "app/texts.h"
#include "app/usagetexts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"

namespace app::line {

namespace {

std::string Say(Language language, const usage::Text& text, const std::string& argument) {
  return fw::Format(language == Language::German ? text.german : text.english, argument);
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

PlanHost FileSystemPlanHost() {
  PlanHost host;
  host.isFolder = [](const std::string& place) {
    std::error_code error;
    return std::filesystem::is_directory(plat::FilePath(place.empty() ? "." : place), error);
  };
  host.fileIdentity = [](const std::string& place) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    const std::filesystem::path file = ConfigFilePath(place, folder);
    // Links and "." or ".." resolved where they exist, so two names of one file compare equal.
    std::filesystem::path resolved = std::filesystem::weakly_canonical(file, error);
    if (error) resolved = file.lexically_normal();
    return plat::PathText(resolved);
  };
  return host;
}

ConfigChooser FileConfigChooser(const PlanHost& host) {
  return [host](const AttachedConverter& converter, const std::string& given,
                const std::string& common) {
    if (!given.empty()) return BoardConfig{given, false};
    if (host.isFolder(common)) {
      const bool separated = common.empty() || common.back() == '/' || common.back() == '\\';
      const std::string own = common + (separated ? "" : "/") + converter.Name();
      if (host.isFolder(own)) return BoardConfig{own, false};
    }
    return BoardConfig{common, false};
  };
}

LinePlan PlanLine(const Options& options, const std::vector<AttachedConverter>& attached,
                  const ConfigChooser& choose, const PlanHost& host, Language language) {
  LinePlan plan;
  // Each converter's own file or folder, by its place among the attached ones.
  std::vector<const Options::ConverterChoice*> named(attached.size(), nullptr);
  for (const Options::ConverterChoice& choice : options.converters) {
    size_t found = attached.size();
    for (size_t i = 0; i < attached.size(); ++i) {
      if (ConverterNamed(attached[i], choice.name)) {
        found = i;
        break;
      }
    }
    if (found == attached.size()) {
      plan.status = kExitNoPort;
      plan.error = fw::Cp1252ToUtf8(fw::Format(texts::kConverterNotAttached,
                                               fw::VisibleCp1252(choice.name)) +
                                    "\n" +
                                    fw::Format(texts::kConvertersAttached,
                                               fw::VisibleCp1252(ConverterNames(attached))));
      return plan;
    }
    if (named[found] != nullptr) {
      plan.status = kExitUsage;
      plan.error = Say(language, usage::kSameConverterTwice, choice.name);
      return plan;
    }
    named[found] = &choice;
  }
  for (size_t i = 0; i < attached.size(); ++i) {
    if (!options.all && named[i] == nullptr) continue;
    const std::string given = named[i] != nullptr ? named[i]->configPlace : std::string();
    plan.boards.push_back({attached[i], choose(attached[i], given, options.configPlace)});
  }
  if (plan.boards.empty()) {
    plan.status = kExitNoPort;
    plan.error = fw::Cp1252ToUtf8(texts::kListNone);
    return plan;
  }
  // One file for several boards that take their serial numbers from it: refused, naming them.
  std::vector<std::string> identities;
  for (const BoardPlan& board : plan.boards) {
    identities.push_back(board.config.ownSerialNumber ? std::string()
                                                      : host.fileIdentity(board.config.configPlace));
  }
  for (size_t i = 0; i < plan.boards.size(); ++i) {
    if (plan.boards[i].config.ownSerialNumber) continue;
    std::vector<std::string> sharing{plan.boards[i].converter.Name()};
    for (size_t j = i + 1; j < plan.boards.size(); ++j) {
      if (!plan.boards[j].config.ownSerialNumber && identities[j] == identities[i]) {
        sharing.push_back(plan.boards[j].converter.Name());
      }
    }
    if (sharing.size() > 1) {
      plan.status = kExitUsage;
      plan.error = Say(language, usage::kOneFileForSeveral, Joined(sharing));
      plan.boards.clear();
      return plan;
    }
  }
  return plan;
}

std::string PerBoardFileName(const std::string& path, const std::string& converterName) {
  const size_t slash = path.find_last_of("/\\");
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameStart) return path + "-" + converterName;
  return path.substr(0, dot) + "-" + converterName + path.substr(dot);
}

std::vector<std::string> ChildArguments(const Options& options, const BoardPlan& board) {
  const std::string& name = board.converter.Name();
  std::vector<std::string> args{"--console", "--json", "--converter", name};
  if (options.simulate) {
    args.push_back(options.scenario.empty() ? "--simulate" : "--simulate=" + options.scenario);
  }
  if (options.fast) args.push_back("--fast");
  if (!options.simReport.empty()) {
    args.push_back("--sim-report=" + PerBoardFileName(options.simReport, name));
  }
  if (!options.logFile.empty()) {
    args.push_back("--log=" + PerBoardFileName(options.logFile, name));
  }
  if (!options.journal.empty()) args.push_back("--journal=" + options.journal);
  if (options.noJournal) args.push_back("--no-journal");
  if (!board.config.configPlace.empty()) args.insert(args.end(), {"--", board.config.configPlace});
  return args;
}

}  // namespace app::line
