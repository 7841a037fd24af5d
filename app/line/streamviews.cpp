#include "app/line/streamviews.h"

#include <chrono>

#include "app/exitstatus.h"
#include "app/line/jsonline.h"
#include "app/line/texts.h"
#include "framework/sysutils.h"

namespace app::line {

void WakeSignal::Wait(unsigned timeoutMs) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return woken_; });
  woken_ = false;
}

void WakeSignal::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  changed_.notify_all();
}

namespace {

// A text cut to a terminal's width (bytes of UTF-8 lead bytes counted as one column each).
std::string Fitted(const std::string& utf8, int columns) {
  if (columns <= 1) return utf8;
  const size_t limit = static_cast<size_t>(columns - 1);
  size_t seen = 0;
  for (size_t i = 0; i < utf8.size(); ++i) {
    if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) continue;
    if (seen == limit) return utf8.substr(0, i);
    ++seen;
  }
  return utf8;
}

std::string Padded(const std::string& text, size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size() + 1, ' ');
}

// The first line of a text.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

ConsoleLineView::ConsoleLineView(std::ostream& out, bool terminal, std::function<int()> columns)
    : out_(out), terminal_(terminal), columns_(std::move(columns)) {}

std::string ConsoleLineView::RowText(const BoardRow& board) {
  std::string state;
  switch (board.state) {
    case BoardRow::State::Waiting:
      state = texts::kRowWaiting;
      break;
    case BoardRow::State::Writing:
      state = board.status.empty() && board.percent < 0 ? texts::kRowWaiting : board.status;
      if (board.percent >= 0) {
        state += (state.empty() ? "" : " ") + fw::Format(texts::kRowProgress, board.percent);
      }
      break;
    case BoardRow::State::Written:
      state = texts::kRowWritten;
      break;
    case BoardRow::State::Failed:
      state = fw::Format(texts::kRowFailed, board.exitStatus,
                         fw::VisibleCp1252(FirstLine(board.failure)));
      break;
  }
  return Padded(fw::VisibleCp1252(board.converter), 16) +
         Padded(board.port.empty() ? "-" : fw::VisibleCp1252(board.port), 8) + state;
}

void ConsoleLineView::RowAdded(size_t row, const BoardRow& board) {
  if (rows_.size() <= row) {
    rows_.resize(row + 1);
    shown_.resize(row + 1);
  }
  rows_[row] = board;
  RowChanged(row, board);
}

void ConsoleLineView::RowChanged(size_t row, const BoardRow& board) {
  rows_[row] = board;
  const std::string text = RowText(board);
  if (text == shown_[row]) return;
  shown_[row] = text;
  if (terminal_) {
    Redraw();
  } else {
    out_ << fw::Cp1252ToUtf8(text) << '\n';
    out_.flush();
  }
}

void ConsoleLineView::Redraw() {
  const int columns = columns_ ? columns_() : 0;
  if (drawn_ > 0) out_ << "\x1b[" << drawn_ << 'A';
  for (const std::string& text : shown_) {
    out_ << '\r' << Fitted(fw::Cp1252ToUtf8(text), columns) << "\x1b[K\n";
  }
  drawn_ = shown_.size();
  out_.flush();
}

void ConsoleLineView::PrintAbove(const std::string& cp1252) {
  if (terminal_ && drawn_ > 0) {
    // Over the first row, then the rows again below what was printed.
    out_ << "\x1b[" << drawn_ << 'A' << '\r' << "\x1b[J" << fw::Cp1252ToUtf8(cp1252) << '\n';
    drawn_ = 0;
    Redraw();
    return;
  }
  out_ << fw::Cp1252ToUtf8(cp1252) << '\n';
  out_.flush();
}

void ConsoleLineView::BoardFailure(size_t, const std::string& caption, const std::string& text,
                                   const std::string& detail) {
  PrintAbove("[" + caption + "] " + text + (detail.empty() ? "" : "\n" + detail));
}

void ConsoleLineView::Note(const std::string& text) { PrintAbove(text); }

void ConsoleLineView::BoardNote(size_t, const std::string& text) { PrintAbove(text); }

void ConsoleLineView::ChildOutput(size_t row, const std::string& line, bool errorOutput) {
  // A child's error output (how far its board got when it was stopped, a journal's warning)
  // is the board's, so it is named.
  if (errorOutput && row < rows_.size()) {
    PrintAbove(fw::VisibleCp1252(rows_[row].converter) + ": " + fw::Utf8ToCp1252(line));
  }
}

void ConsoleLineView::Finished(const std::vector<BoardRow>&, const LineSummary& summary) {
  drawn_ = 0;  // the rows stay as they are; the summary goes below them
  out_ << fw::Cp1252ToUtf8(summary.text) << '\n';
  out_.flush();
}

namespace {

std::string Text(const std::string& cp1252) { return fw::JsonText(fw::Cp1252ToUtf8(cp1252)); }

}  // namespace

void JsonLineView::Print(const std::string& line) {
  out_ << line << '\n';
  out_.flush();
}

void JsonLineView::RowAdded(size_t row, const BoardRow& board) {
  if (boards_.size() <= row) {
    boards_.resize(row + 1);
    ended_.resize(row + 1, false);
  }
  boards_[row] = board.converter;
  Print(JsonObjectText({{"event", "\"board\""},
                        {"board", Text(board.converter)},
                        {"port", Text(board.port)},
                        {"config", Text(board.configPlace)}}));
}

void JsonLineView::RowChanged(size_t row, const BoardRow& board) {
  const bool ended = board.state == BoardRow::State::Written ||
                     board.state == BoardRow::State::Failed;
  if (!ended || ended_[row]) return;
  ended_[row] = true;
  Print(JsonObjectText({{"event", "\"result\""},
                        {"board", Text(board.converter)},
                        {"status", std::to_string(board.exitStatus)},
                        {"written", board.exitStatus == kExitWritten ? "true" : "false"},
                        {"port", Text(board.port)},
                        {"converter", Text(board.converter)},
                        {"failure", Text(board.failure)},
                        {"wallMs", std::to_string(board.wallMs)},
                        {"cpuMs", std::to_string(board.cpuMs)},
                        {"peakMemoryKb", std::to_string(board.peakMemoryKb)}}));
}

void JsonLineView::Note(const std::string& text) {
  Print(JsonObjectText({{"event", "\"note\""}, {"text", Text(text)}}));
}

void JsonLineView::ChildOutput(size_t row, const std::string& line, bool errorOutput) {
  const std::string board = fw::JsonText(fw::Cp1252ToUtf8(boards_[row]));
  const std::optional<JsonObject> object = errorOutput ? std::nullopt : ParseJsonObject(line);
  if (!object) {
    Print(JsonObjectText({{"event", errorOutput ? "\"stderr\"" : "\"output\""},
                          {"board", board},
                          {"text", fw::JsonText(line)}}));
    return;
  }
  // Its result comes from the board's row once the child has ended (killed ones included).
  if (object->Text("event") == "result") return;
  std::vector<std::pair<std::string, std::string>> members;
  bool named = false;
  for (const JsonMember& member : object->members) {
    if (member.name == "board") continue;  // the parent names the board
    members.emplace_back(member.name, member.raw);
    if (member.name == "event" && !named) {
      members.emplace_back("board", board);
      named = true;
    }
  }
  if (!named) members.insert(members.begin(), {"board", board});
  Print(JsonObjectText(members));
}

void JsonLineView::Finished(const std::vector<BoardRow>& boards, const LineSummary& summary) {
  std::string failed = "[";
  for (size_t row : summary.failedRows) {
    if (failed.size() > 1) failed += ',';
    failed += JsonObjectText({{"board", Text(boards[row].converter)},
                              {"status", std::to_string(boards[row].exitStatus)}});
  }
  failed += "]";
  Print(JsonObjectText({{"event", "\"result\""},
                        {"status", std::to_string(summary.exitStatus)},
                        {"written", summary.exitStatus == kExitWritten ? "true" : "false"},
                        {"boards", std::to_string(summary.boards)},
                        {"boardsWritten", std::to_string(summary.written)},
                        {"failed", failed},
                        {"text", Text(summary.text)}}));
}

}  // namespace app::line
