#include "app/line/windowview.h"

#include <filesystem>
#include <system_error>

#include "app/configfile.h"
#include "app/line/texts.h"
#include "app/texts.h"
#include "framework/sysutils.h"
#include "protocol/configrecord.h"

namespace app::line {

std::string BoardSerialNumber(const std::string& configPlace) {
  std::error_code error;
  protocol::ConfigRecord record;
  const ConfigLoadOutcome outcome =
      ReadConfigFile(ConfigFilePath(configPlace, std::filesystem::current_path(error)), record);
  return outcome.result == ConfigLoadResult::Loaded ? SerialNumberShown(record) : std::string();
}

WindowLineView::WindowLineView(fw::FrontEnd& frontEnd, std::function<void()> stopLine) {
  if (fw::Application == nullptr) ownApplication_.emplace(plat::CurrentPlatform());
  application_ = fw::Application;
  fw::AttachFrontEnd(&frontEnd, application_);
  form_ = new TLineForm(nullptr);
  form_->OnCloseRefused = std::move(stopLine);
  waitTimer_ = new fw::TTimer(form_);
  waitTimer_->SetEnabled(false);
  waitTimer_->SetOnTimer(fw::Method<&WindowLineView::WaitTimerTimer>(this));
}

WindowLineView::~WindowLineView() {
  delete form_;
  fw::AttachFrontEnd(nullptr, application_);
}

void WindowLineView::RowAdded(size_t row, const BoardRow& board) {
  while (form_->RowCount() <= row) form_->AddRow();
  if (serials_.size() <= row) serials_.resize(row + 1);
  serials_[row] = BoardSerialNumber(board.configPlace);
  form_->SetCaption(fw::Format(texts::kWindowCaption, static_cast<int>(form_->RowCount())));
  ShowRow(row, board);
  if (!form_->Visible()) form_->Show();
}

void WindowLineView::RowChanged(size_t row, const BoardRow& board) {
  if (row < form_->RowCount()) ShowRow(row, board);
}

void WindowLineView::ShowRow(size_t row, const BoardRow& board) {
  const std::string converter =
      board.port.empty() ? board.converter
                         : fw::Format(texts::kRowConverter, board.converter, board.port);
  std::string status;
  int percent = board.percent;
  TLineForm::RowLook look = TLineForm::RowLook::Plain;
  switch (board.state) {
    case BoardRow::State::Waiting:
      status = texts::kRowWaiting;
      break;
    case BoardRow::State::Writing:
      status = board.status.empty() ? texts::kRowWaiting : board.status;
      break;
    case BoardRow::State::Written:
      status = texts::kRowWritten;
      percent = 100;
      look = TLineForm::RowLook::Written;
      break;
    case BoardRow::State::Failed:
      status = fw::Format(texts::kWindowRowFailed, board.exitStatus,
                          board.failure.substr(0, board.failure.find('\n')));
      look = TLineForm::RowLook::Failed;
      break;
  }
  form_->SetRow(row, converter, serials_.at(row), status, percent, look);
}

void WindowLineView::BoardFailure(size_t, const std::string& caption, const std::string& text,
                                  const std::string& detail) {
  failures_.push_back({caption, text, detail});
}

void WindowLineView::Note(const std::string& text) {
  form_->SummaryLabel->SetCaption(text);
  fw::Note(text);
}

void WindowLineView::ShowError(const std::string& utf8) {
  std::string text = fw::Utf8ToCp1252(utf8);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  fw::MessageDialog(fw::mtError, texts::kErrorCaption, text);
}

void WindowLineView::Finished(const std::vector<BoardRow>& boards, const LineSummary& summary) {
  for (size_t row = 0; row < boards.size() && row < form_->RowCount(); ++row) {
    ShowRow(row, boards[row]);
  }
  form_->SummaryLabel->SetCaption(summary.text);
  form_->closeAllowed = true;
  application_->ProcessMessages();
  for (const Failure& failure : failures_) {
    fw::MessageDialog(fw::mtError, failure.caption, failure.text, failure.detail);
  }
  if (summary.failedRows.empty()) {
    fw::MessageDialog(fw::mtInformation, texts::kSummaryCaption, summary.text);
  } else {
    fw::MessageDialog(fw::mtWarning, app::texts::kWarningCaption, summary.text);
  }
  form_->Hide();
}

void WindowLineView::WaitForEvents(unsigned timeoutMs) {
  // The wait ends with the first thing the window has to do: a posted call (Wake), a toolkit
  // event, or this timer.
  waitTimer_->SetInterval(timeoutMs == 0 ? 1 : timeoutMs);
  waitTimer_->SetEnabled(true);
  application_->HandleMessage();
  waitTimer_->SetEnabled(false);
}

void WindowLineView::Wake() {
  application_->Post([] {});
}

void WindowLineView::WaitTimerTimer(fw::TObject*) { waitTimer_->SetEnabled(false); }

}  // namespace app::line
