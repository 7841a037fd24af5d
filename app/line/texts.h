// Every fixed text of the line (several boards at once, one child process each), in one place.
// Windows-1252 bytes, as the tool's other texts (app/texts.h); a %s or %d is filled in.
#pragma once

namespace app::line::texts {

// The last line: how many boards were written, and which were not with their statuses.
inline constexpr const char* kSummary = "%d von %d Platinen geschrieben";
inline constexpr const char* kSummaryFailed = "; nicht geschrieben: ";
inline constexpr const char* kSummaryBoard = "%s (Status %d)";
inline constexpr const char* kSummarySeparator = ", ";

// A failure dialog of one board, before the child's own text: converter and port.
inline constexpr const char* kBoardPrefix = "Platine %s (%s): ";
inline constexpr const char* kBoardPrefixNoPort = "Platine %s: ";

// What the parent knows of a child that ended without saying why.
inline constexpr const char* kChildKilled = "Prozess durch Signal %d beendet";
inline constexpr const char* kChildNotStarted = "Prozess nicht gestartet: %s";
inline constexpr const char* kChildEndedSilently = "Prozess mit Status %d beendet";

// The console rows: a board's state when it has no status text of its own.
inline constexpr const char* kRowWaiting = "wartet";
inline constexpr const char* kRowWritten = "geschrieben";
inline constexpr const char* kRowFailed = "nicht geschrieben (Status %d): %s";
inline constexpr const char* kRowProgress = "%d %%";

// A board whose child was not started because the line was stopped first.
inline constexpr const char* kNotBegun = "nicht begonnen: abgebrochen";

// A stop request passed on to every board.
inline constexpr const char* kStopPassedOn = "Abbruch an alle Platinen weitergegeben";

}  // namespace app::line::texts
