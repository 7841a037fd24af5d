#include "app/line/boards.h"

#include <algorithm>

#include "app/exitstatus.h"
#include "app/line/texts.h"
#include "framework/sysutils.h"

namespace app::line {

namespace {

std::string FromUtf8(const std::string& utf8) { return fw::Utf8ToCp1252(utf8); }

}  // namespace

std::string BoardText(const BoardRow& row, const std::string& text) {
  const std::string converter = fw::VisibleCp1252(row.converter);
  return (row.port.empty() ? fw::Format(texts::kBoardPrefixNoPort, converter)
                           : fw::Format(texts::kBoardPrefix, converter,
                                        fw::VisibleCp1252(row.port))) +
         text;
}

ChildLineOutcome ApplyChildEvent(BoardRow& row, const JsonObject& event) {
  ChildLineOutcome outcome;
  const std::string kind = event.Text("event");
  if (row.state == BoardRow::State::Waiting) {
    row.state = BoardRow::State::Writing;
    outcome.rowChanged = true;
  }
  if (kind == "status") {
    // Each operation runs its own bar from its start: a new step has no progress yet.
    const std::string status = FromUtf8(event.Text("text"));
    if (status != row.status) row.percent = -1;
    row.status = status;
    outcome.rowChanged = true;
  } else if (kind == "progress") {
    if (const std::optional<long long> percent = event.Integer("percent")) {
      row.percent = static_cast<int>(std::clamp<long long>(*percent, 0, 100));
      outcome.rowChanged = true;
    }
  } else if (kind == "dialog") {
    const std::string type = event.Text("type");
    if (type == "error" || type == "warning") {
      const std::string text = FromUtf8(event.Text("text"));
      const std::string detail = FromUtf8(event.Text("detail"));
      if (row.failure.empty()) row.failure = detail.empty() ? text : text + "\n" + detail;
      outcome.failure = ChildLineOutcome::Dialog{FromUtf8(event.Text("caption")),
                                                 BoardText(row, text), detail};
      outcome.rowChanged = true;
    }
  } else if (kind == "note") {
    outcome.note = BoardText(row, FromUtf8(event.Text("text")));
  } else if (kind == "result") {
    if (const std::optional<long long> status = event.Integer("status")) {
      row.exitStatus = static_cast<int>(*status);
    }
    const std::string port = FromUtf8(event.Text("port"));
    if (!port.empty()) row.port = port;
    const std::string failure = FromUtf8(event.Text("failure"));
    if (!failure.empty()) row.failure = failure;
    outcome.rowChanged = true;
  }
  return outcome;
}

void ApplyChildExit(BoardRow& row, const plat::ChildExit& exit, const std::string& lastError) {
  row.cpuMs = exit.cpuMs;
  row.peakMemoryKb = exit.peakMemoryKb;
  if (exit.exited) {
    row.exitStatus = exit.status;
    if (exit.status != kExitWritten && row.failure.empty()) {
      row.failure = !lastError.empty() ? lastError
                                       : fw::Format(texts::kChildEndedSilently, exit.status);
    }
  } else {
    // Killed: whatever it said before, its board was not written to the end.
    row.exitStatus = KilledStatus(exit.signal);
    const std::string killed = fw::Format(texts::kChildKilled, exit.signal);
    row.failure = row.failure.empty() ? killed : killed + "\n" + row.failure;
  }
  row.state = row.exitStatus == kExitWritten ? BoardRow::State::Written : BoardRow::State::Failed;
}

void ApplyNotStarted(BoardRow& row, const std::string& why) {
  row.exitStatus = kExitInternalError;
  row.failure = fw::Format(texts::kChildNotStarted, why);
  row.state = BoardRow::State::Failed;
}

LineSummary SummarizeLine(const std::vector<BoardRow>& rows) {
  LineSummary summary;
  summary.boards = static_cast<int>(rows.size());
  std::string failed;
  for (size_t i = 0; i < rows.size(); ++i) {
    const BoardRow& row = rows[i];
    if (row.state == BoardRow::State::Written && row.exitStatus == kExitWritten) {
      ++summary.written;
      continue;
    }
    // A row that never ended (the parent itself was cut short) counts as an internal error.
    const int status = row.exitStatus < 0 ? kExitInternalError : row.exitStatus;
    summary.failedRows.push_back(i);
    summary.exitStatus = WorseStatus(summary.exitStatus, status);
    failed += (failed.empty() ? "" : texts::kSummarySeparator) +
              fw::Format(texts::kSummaryBoard, fw::VisibleCp1252(row.converter), status);
  }
  summary.text = fw::Format(texts::kSummary, summary.written, summary.boards);
  if (!failed.empty()) summary.text += texts::kSummaryFailed + failed;
  return summary;
}

}  // namespace app::line
