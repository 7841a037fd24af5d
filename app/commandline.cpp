#include "app/commandline.h"

#include <cctype>
#include <cstdlib>
#include <set>

#include "app/usagetexts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"
#include "platform/portname.h"
#include "platform/process.h"

namespace app {

namespace {

const char* In(Language language, const usage::Text& text) {
  return language == Language::German ? text.german : text.english;
}

std::string Say(Language language, const usage::Text& text, const std::string& argument = {}) {
  return fw::Format(In(language, text), argument);
}

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// "--name=value" or "--name value": takes the value or reports it missing. A following
// argument that is an option is not a value: the value was left out.
bool TakeValue(const std::vector<std::string>& args, size_t& i, const std::string& name,
               std::string& value, std::string& error, Language language) {
  const std::string& arg = args[i];
  if (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0) {
    value = arg.substr(name.size() + 1);
  } else if (i + 1 < args.size() && !IsOption(args[i + 1])) {
    value = args[++i];
  } else {
    value.clear();
  }
  if (value.empty()) {
    error = Say(language, usage::kNeedsValue, name);
    return false;
  }
  return true;
}

bool Is(const std::string& arg, const std::string& name) {
  return arg == name ||
         (arg.size() > name.size() && arg.compare(0, name.size() + 1, name + "=") == 0);
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The option an argument gives, whatever form it takes ("--log=x" and "--log" are --log, "-h"
// is --help).
std::string OptionName(const std::string& arg) {
  if (arg == "-h") return "--help";
  return arg.substr(0, arg.find('='));
}

// --history, --history N, --history=N.
bool TakeHistoryCount(const std::vector<std::string>& args, size_t& i, Options& o,
                      std::string& error, Language language) {
  o.history = true;
  std::string count;
  const std::string& arg = args[i];
  if (arg.size() > 9 && arg[9] == '=') {
    count = arg.substr(10);
  } else if (i + 1 < args.size() && !args[i + 1].empty() &&
             args[i + 1].find_first_not_of("0123456789") == std::string::npos) {
    count = args[++i];
  } else {
    return true;
  }
  if (count.empty() || count.size() > 6 ||
      count.find_first_not_of("0123456789") != std::string::npos || std::stoi(count) < 1) {
    error = Say(language, usage::kBadHistoryCount, count);
    return false;
  }
  o.historyCount = std::stoi(count);
  return true;
}

// The journal's options against each other and the rest.
bool JournalOptionsAgree(const Options& o, std::string& error, Language language) {
  if (!o.journal.empty() && o.noJournal) {
    error = Say(language, usage::kJournalTwice);
    return false;
  }
  const std::pair<bool, const char*> historyOnly[] = {{!o.historySerial.empty(), "--serial"},
                                                      {o.historyCsv, "--csv"}};
  for (const auto& [given, name] : historyOnly) {
    if (given && !o.history) {
      error = Say(language, usage::kOnlyWithHistory, name);
      return false;
    }
  }
  if (!o.journalSetup.empty()) {
    // --journal-setup makes the tables of a journal and touches nothing else.
    const std::pair<bool, const char*> others[] = {
        {o.history, "--history"},
        {!o.journal.empty(), "--journal"},
        {o.noJournal, "--no-journal"},
        {o.check, "--check"},
        {o.simulate, "--simulate"},
        {o.console, "--console"},
        {!o.logFile.empty(), "--log"},
        {!o.port.empty(), "--port"},
        {!o.configPlace.empty(), o.configPlace.c_str()}};
    for (const auto& [given, name] : others) {
      if (given) {
        error = Say(language, usage::kNotWithJournalSetup, name);
        return false;
      }
    }
  }
  if (!o.history) return true;
  // --history reads the journal and touches nothing else.
  const std::pair<bool, const char*> runOnly[] = {{o.noJournal, "--no-journal"},
                                                  {o.check, "--check"},
                                                  {o.simulate, "--simulate"},
                                                  {o.fast, "--fast"},
                                                  {!o.simReport.empty(), "--sim-report"},
                                                  {!o.logFile.empty(), "--log"},
                                                  {!o.port.empty(), "--port"},
                                                  {!o.configPlace.empty(), o.configPlace.c_str()}};
  for (const auto& [given, name] : runOnly) {
    if (given) {
      error = Say(language, usage::kNotWithHistory, name);
      return false;
    }
  }
  return true;
}

// --converter and --list against the rest: --list only looks (at the simulated machine with
// --simulate); --converter replaces the search's choice, which --port skips.
bool LineOptionsAgree(const Options& o, std::string& error, Language language) {
  const bool pinned = !o.converters.empty() || o.all;
  if (pinned && !o.port.empty()) {
    error = Say(language, o.all && o.converters.empty() ? usage::kAllAndPort
                                                        : usage::kConverterAndPort);
    return false;
  }
  if (pinned && (o.check || o.history)) {
    error = Say(language, o.converters.empty() ? usage::kAllOnlyForWrite
                                               : usage::kConverterOnlyForWrite);
    return false;
  }
  if (!o.list) return true;
  const std::pair<bool, const char*> notWithList[] = {{o.check, "--check"},
                                                      {o.history, "--history"},
                                                      {o.fast, "--fast"},
                                                      {!o.simReport.empty(), "--sim-report"},
                                                      {!o.logFile.empty(), "--log"},
                                                      {!o.port.empty(), "--port"},
                                                      {!o.converters.empty(), "--converter"},
                                                      {o.all, "--all"},
                                                      {!o.journal.empty(), "--journal"},
                                                      {o.noJournal, "--no-journal"},
                                                      {o.console, o.json ? "--json" : "--console"},
                                                      {!o.configPlace.empty(), o.configPlace.c_str()}};
  for (const auto& [given, name] : notWithList) {
    if (given) {
      error = Say(language, usage::kNotWithList, name);
      return false;
    }
  }
  return true;
}

bool SameLetters(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// "SERIAL" or "SERIAL=FOLDER": one more board, named once.
bool TakeConverter(const std::string& value, Options& o, std::string& error, Language language) {
  const size_t equals = value.find('=');
  Options::ConverterChoice choice{value.substr(0, equals), ""};
  if (equals != std::string::npos) choice.configPlace = value.substr(equals + 1);
  if (choice.name.empty() || (equals != std::string::npos && choice.configPlace.empty())) {
    error = Say(language, usage::kBadConverter, value);
    return false;
  }
  for (const Options::ConverterChoice& earlier : o.converters) {
    if (SameLetters(earlier.name, choice.name)) {
      error = Say(language, usage::kConverterTwice, choice.name);
      return false;
    }
  }
  o.converters.push_back(std::move(choice));
  return true;
}

}  // namespace

Language LanguageOfWindowsLanguage(unsigned languageId) {
  constexpr unsigned kPrimaryLanguageMask = 0x3FF;  // PRIMARYLANGID
  constexpr unsigned kGerman = 0x07;                // LANG_GERMAN, every country's German
  return (languageId & kPrimaryLanguageMask) == kGerman ? Language::German : Language::English;
}

Language LanguageOfLocaleVariables(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value == nullptr || value[0] == '\0') continue;
    return StartsWith(value, "de") ? Language::German : Language::English;
  }
  return Language::English;
}

Language UserLanguage() {
  if (const std::optional<unsigned> id = plat::UserInterfaceLanguage()) {
    return LanguageOfWindowsLanguage(*id);
  }
  return LanguageOfLocaleVariables(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                   std::getenv("LANG"));
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args, Language language) {
  Options o;
  std::string error;
  std::set<std::string> given;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;  // what follows is no option, whatever it looks like
      continue;
    }
    if (optionsEnded) {
      // After "--" only the configuration's file or folder may follow (a name that begins
      // with "-").
      if (!o.configPlace.empty()) return {std::nullopt, Say(language, usage::kUnknownArgument, arg)};
      o.configPlace = arg;
      continue;
    }
    // The same option twice is a mistake, not a choice of the last value.
    // (--converter names one board each time.)
    if (IsOption(arg) && OptionName(arg) != "--converter" && !given.insert(OptionName(arg)).second) {
      return {std::nullopt, Say(language, usage::kRepeated, OptionName(arg))};
    }
    if (arg == "--console") {
      o.console = true;
    } else if (arg == "--simulate") {
      o.simulate = true;
    } else if (arg.rfind("--simulate=", 0) == 0) {
      o.simulate = true;
      o.scenario = arg.substr(11);
      if (o.scenario.empty()) return {std::nullopt, Say(language, usage::kSimulateNeedsFile)};
    } else if (arg == "--fast") {
      o.fast = true;
    } else if (Is(arg, "--sim-report")) {
      if (!TakeValue(args, i, "--sim-report", o.simReport, error, language)) {
        return {std::nullopt, error};
      }
    } else if (Is(arg, "--log")) {
      if (!TakeValue(args, i, "--log", o.logFile, error, language)) return {std::nullopt, error};
    } else if (Is(arg, "--port")) {
      std::string given;
      if (!TakeValue(args, i, "--port", given, error, language)) return {std::nullopt, error};
      o.port = plat::PortNameOfArgument(given, plat::DeviceFolder());
      if (o.port.empty()) return {std::nullopt, Say(language, usage::kBadPort, given)};
    } else if (Is(arg, "--converter")) {
      std::string value;
      if (!TakeValue(args, i, "--converter", value, error, language)) return {std::nullopt, error};
      if (!TakeConverter(value, o, error, language)) return {std::nullopt, error};
    } else if (arg == "--all") {
      o.all = true;
    } else if (arg == "--list") {
      o.list = true;
    } else if (arg == "--json") {
      o.json = true;
      o.console = true;
    } else if (arg == "--check") {
      o.check = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (Is(arg, "--journal-setup")) {
      if (!TakeValue(args, i, "--journal-setup", o.journalSetup, error, language)) {
        return {std::nullopt, error};
      }
    } else if (Is(arg, "--journal")) {
      if (!TakeValue(args, i, "--journal", o.journal, error, language)) {
        return {std::nullopt, error};
      }
    } else if (arg == "--no-journal") {
      o.noJournal = true;
    } else if (Is(arg, "--history")) {
      if (!TakeHistoryCount(args, i, o, error, language)) return {std::nullopt, error};
    } else if (Is(arg, "--serial")) {
      if (!TakeValue(args, i, "--serial", o.historySerial, error, language)) {
        return {std::nullopt, error};
      }
    } else if (arg == "--csv") {
      o.historyCsv = true;
    } else if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (!IsOption(arg) && o.configPlace.empty()) {
      o.configPlace = arg;
    } else {
      return {std::nullopt, Say(language, usage::kUnknownArgument, arg)};
    }
  }
  if (o.check) {
    // --check touches no port and writes nothing: an option about the run contradicts it.
    const std::pair<bool, const char*> runOnly[] = {{o.simulate, "--simulate"},
                                                    {o.fast, "--fast"},
                                                    {!o.simReport.empty(), "--sim-report"},
                                                    {!o.logFile.empty(), "--log"},
                                                    {!o.port.empty(), "--port"}};
    for (const auto& [given, name] : runOnly) {
      if (given) return {std::nullopt, Say(language, usage::kNotWithCheck, name)};
    }
  }
  if (!o.Line() && !o.converters.empty()) {
    // One board: the ordinary run pinned to its converter, its folder the configuration's.
    o.converter = o.converters.front().name;
    if (!o.converters.front().configPlace.empty()) {
      if (!o.configPlace.empty()) {
        return {std::nullopt, Say(language, usage::kConverterPlaceTwice, o.configPlace)};
      }
      o.configPlace = o.converters.front().configPlace;
    }
  }
  if (!JournalOptionsAgree(o, error, language)) return {std::nullopt, error};
  if (!LineOptionsAgree(o, error, language)) return {std::nullopt, error};
  if (o.fast && !o.simulate) {
    return {std::nullopt, Say(language, usage::kOnlyWithSimulate, "--fast")};
  }
  if (!o.simReport.empty() && !o.simulate) {
    return {std::nullopt, Say(language, usage::kOnlyWithSimulate, "--sim-report")};
  }
  return {o, {}};
}

std::string UsageText(Language language) {
  return std::string(In(language, usage::kUsage)) + In(language, usage::kUsageLine) +
         In(language, usage::kUsageJournal);
}

}  // namespace app
