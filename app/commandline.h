// The command line. With no arguments the tool does what it always did, in a window; the
// options only add what a user of a real tool expects.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace app {

// The paths among the options (configPlace, simReport, logFile, scenario, a journal file) are
// the texts of paths as platform/hosttext.h has them: UTF-8 on Windows, where the arguments come
// from the wide command line; the bytes as given on POSIX. plat::FilePath opens them.
struct Options {
  bool console = false;
  bool simulate = false;
  std::string scenario;  // empty: the healthy default machine
  bool fast = false;
  std::string simReport;
  std::string logFile;
  std::string port;  // the port's name as the system lists it ("COM3", "ttyUSB0")
  // The converter the search takes, by its serial (or its USB location): a station pinned to it.
  // Set for a single board (one --converter, no --all); its file or folder, when given with
  // it, is configPlace.
  std::string converter;
  // Every --converter as given (the option may be repeated): the converter's name and, from
  // "--converter SERIAL=FOLDER", the file or folder of that board's own Quorix.lcd ("" for none).
  struct ConverterChoice {
    std::string name;
    std::string configPlace;
  };
  std::vector<ConverterChoice> converters;
  bool all = false;  // --all: every attached converter, one board each
  // Several boards at once, one child process each (app/line/): --all, or more than one
  // --converter. One --converter alone is the ordinary single run.
  bool Line() const { return all || converters.size() > 1; }
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
  // --journal-setup URI: the administrator makes a PostgreSQL journal's tables, nothing else.
  std::string journalSetup;
};

// The language of --help and of the complaints about a command line: German when the user's
// language is German, English otherwise. On Windows that is the user's interface language
// (a Windows language id); elsewhere the locale variables (LC_ALL, LC_MESSAGES or LANG, the
// first one set, starts with "de"), which Windows does not have. Everything the tool shows
// while it runs is German regardless.
enum class Language { English, German };
Language UserLanguage();
// The rules UserLanguage applies. languageId: a Windows LANGID (the primary language in its low
// 10 bits). The variables may be null (not set).
Language LanguageOfWindowsLanguage(unsigned languageId);
Language LanguageOfLocaleVariables(const char* lcAll, const char* lcMessages, const char* lang);

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
