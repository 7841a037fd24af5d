// What the line's parent makes of its children: each JSON line a child writes changes that
// board's row (app/line/lineview.h), its end decides the board's status, and the rows' statuses
// make the line's summary. Pure, so every rule is tested without a process.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/line/jsonline.h"
#include "app/line/lineview.h"
#include "platform/childprocess.h"

namespace app::line {

// What a child's line asks of the view besides its row.
struct ChildLineOutcome {
  bool rowChanged = false;
  // A failure dialog of the board, its text naming the board (BoardText), Windows-1252.
  struct Dialog {
    std::string caption;
    std::string text;
    std::string detail;
  };
  std::optional<Dialog> failure;
  // A note of the board, naming it, Windows-1252.
  std::optional<std::string> note;
};

// A child's event (one of ui/console's JSON lines, or its result line) applied to its row.
ChildLineOutcome ApplyChildEvent(BoardRow& row, const JsonObject& event);

// The child's end applied to its row: its exit status, or KilledStatus for a signal; the row is
// Written for status 0, else Failed with a failure text: the child's own dialog's, else the last
// line of its error output (lastError, Windows-1252; a stopped child says there how far its board
// got), else what the parent knows.
void ApplyChildExit(BoardRow& row, const plat::ChildExit& exit, const std::string& lastError = {});

// A child that could not be started: the row failed with status 70.
void ApplyNotStarted(BoardRow& row, const std::string& why);

// A text of the board's, before which its converter and port are named
// ("Platine A5XK3RJT (ttyUSB0): ...").
std::string BoardText(const BoardRow& row, const std::string& text);

// The line's end from its rows: the count, the failed rows, the status (worst by StatusRank),
// and the last line's text.
LineSummary SummarizeLine(const std::vector<BoardRow>& rows);

}  // namespace app::line
