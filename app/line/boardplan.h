// Which boards the line writes and what each one gets, decided before any port is touched.
//
// Each board gets a BoardConfig from a ConfigChooser: the one seam that decides what a board
// is written with. Today that is the file or folder of its Quorix.lcd, which carries the serial
// number the board gets; a chooser that hands out serial numbers of its own (from the journal)
// says so in BoardConfig::ownSerialNumber, and then several boards may share one file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/commandline.h"
#include "app/converters.h"

namespace app::line {

struct BoardConfig {
  // The file or folder of the board's Quorix.lcd as its child gets it; "" for the current
  // folder's.
  std::string configPlace;
  // Whether the board's serial number comes from somewhere else than its file. False: two
  // boards from one file would get the same number, and the plan refuses that.
  bool ownSerialNumber = false;
};

struct BoardPlan {
  AttachedConverter converter;
  BoardConfig config;
};

// The host's answers the plan needs, passed in so tests describe a host of their own.
struct PlanHost {
  // Whether the text of a path names a folder.
  std::function<bool(const std::string& place)> isFolder;
  // The configuration file a place stands for, as one text per file (two places that name one
  // file give the same text): "" is the current folder.
  std::function<std::string(const std::string& place)> fileIdentity;
};
// The real file system's (relative paths from the current folder).
PlanHost FileSystemPlanHost();

// What a board gets. given: the folder or file of "--converter SERIAL=FOLDER" ("" when none);
// common: the configuration place of the command line ("" for the current folder).
using ConfigChooser = std::function<BoardConfig(const AttachedConverter& converter,
                                                const std::string& given,
                                                const std::string& common)>;
// The files' chooser: the board's own file or folder when one is given; else, when common is a
// folder (or is empty: the current folder) that holds a folder named by the converter's serial
// (or location), that folder; else common itself.
ConfigChooser FileConfigChooser(const PlanHost& host);

struct LinePlan {
  std::vector<BoardPlan> boards;  // in the order of the attached converters
  int status = 0;                 // 0, or the status of the refusal
  std::string error;              // the refusal's text (UTF-8) when status is not 0
};

// The boards of a line: with --all every attached converter, and every converter a
// --converter names (each must be attached: else status 3, naming the ones that are, as a
// single run does). Refused with 64 when two names pick one converter, or when boards that do
// not get serial numbers of their own would be written from one file.
LinePlan PlanLine(const Options& options, const std::vector<AttachedConverter>& attached,
                  const ConfigChooser& choose, const PlanHost& host, Language language);

// The arguments of a board's child: the ordinary single run pinned to its converter, speaking
// JSON lines, with the user's options that apply to one board. A --log or --sim-report file
// gets the converter's name before its extension (PerBoardFileName).
std::vector<std::string> ChildArguments(const Options& options, const BoardPlan& board);

// "write.log" -> "write-A5XK3RJT.log", "logs/write" -> "logs/write-A5XK3RJT", ".log" ->
// ".log-A5XK3RJT": the name before the last dot of the file's name, if the dot is not its first
// character.
std::string PerBoardFileName(const std::string& path, const std::string& converterName);

}  // namespace app::line
