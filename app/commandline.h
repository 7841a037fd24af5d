// The command line. With no arguments the tool does what it always did, in a window; the
// options only add what a user of a real tool expects.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

struct Options {
  bool console = false;
  bool simulate = false;
  std::string scenario;  // empty: the healthy default machine
  bool fast = false;
  std::string simReport;
  std::string logFile;
  std::string port;  // the port's name as the system lists it ("COM3", "ttyUSB0")
  // The converter the search takes, by its serial (or its USB location): a station pinned to it.
  std::string converter;
  bool list = false;  // print the attached converters and end
  bool json = false;  // the console as JSON lines, for scripts (implies --console)
  bool check = false;
  bool version = false;
  bool help = false;
  // A file or folder named on the command line (no option): where Quorix.lcd is. Empty: the
  // current directory's.
  std::string configPlace;
  // The write journal (app/journal/): another one than the default, none, or its history.
  std::string journal;  // a file or a postgresql:// URI
  bool noJournal = false;
  bool history = false;
  int historyCount = 0;  // 0: the default (the last 20 records; every record with --csv)
  std::string historySerial;
  bool historyCsv = false;
};

// The language of --help and of the complaints about a command line: German when the user's
// locale is German (LC_ALL, LC_MESSAGES or LANG, the first one set, starts with "de"),
// English otherwise. Everything the tool shows while it runs is German regardless.
enum class Language { English, German };
Language UserLanguage();

struct ParsedCommandLine {
  std::optional<Options> options;
  std::string error;  // when options is empty: what was wrong, for the user (UTF-8)
};

// An option that needs a value takes the next argument unless that is an option itself
// (--log=--odd still names a file "--odd"). Options that contradict each other are refused, and
// so is an option given twice. "--" ends the options.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args,
                                   Language language = Language::English);
// The --help text (UTF-8).
std::string UsageText(Language language = Language::English);

}  // namespace app
