// TLineForm: the window of a line that writes several boards at once, one row per board.
//
// Built from its form text like the tool's one-board window, so every front-end that shows that
// window shows this one: a group of rows under a header (converter and port, the serial number
// the board gets, status text, progress bar) and a summary line below them. Rows are added in
// code as the boards become known, each placed and sized at 96 pixels per inch and scaled by the
// screen's resolution as the form text's controls are; the window grows by one row each time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/controls.h"

namespace app::line {

class TLineForm : public fw::TForm {
 public:
  explicit TLineForm(fw::TComponent* owner);
  ~TLineForm() override;
  const char* ClassName() const override { return "TLineForm"; }

  // From the form text.
  fw::TGroupBox* RowsBox = nullptr;
  fw::TLabel* ConverterHeader = nullptr;
  fw::TLabel* SerialHeader = nullptr;
  fw::TLabel* StatusHeader = nullptr;
  fw::TLabel* ProgressHeader = nullptr;
  fw::TLabel* SummaryLabel = nullptr;

  // One board's row.
  struct Row {
    fw::TLabel* converter = nullptr;
    fw::TLabel* serial = nullptr;
    fw::TLabel* status = nullptr;
    fw::TProgressBar* progress = nullptr;
  };
  enum class RowLook { Plain, Written, Failed };

  // Appends a row (the window grows by its height) and returns its index.
  size_t AddRow();
  size_t RowCount() const { return rows_.size(); }
  const Row& RowAt(size_t index) const { return rows_.at(index); }
  // A row's texts (Windows-1252), progress (0-100) and look.
  void SetRow(size_t index, const std::string& converter, const std::string& serial,
              const std::string& status, int percent, RowLook look);

  // Closing the window: called instead of closing while closeAllowed is false (the line's stop).
  std::function<void()> OnCloseRefused;
  bool closeAllowed = false;
  void FormCloseQuery(fw::TObject* sender, bool& canClose);

 private:
  // A length at 96 pixels per inch on this form's screen.
  int Scaled(int length) const;
  // Places the group and the summary below the rows and sets the client height.
  void Arrange();

  int basePpi_ = 96;  // the resolution the form text was scaled to
  std::vector<Row> rows_;
};

// The form text.
extern const char* const kLineFormText;

}  // namespace app::line
