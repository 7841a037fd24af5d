// The journal of one run: a journal the user named is opened before any port is touched; the
// default one when there is something to record (a run that never reaches a board leaves no
// file behind). Its record is begun before the first reset, brought up to date after each operation the board stored, and completed when
// the run has its exit status. Nothing of it changes the run: a failure after the opening is
// one warning, and the journal is silent for the rest of the run.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "app/commandline.h"
#include "app/journal/choice.h"
#include "app/journal/record.h"
#include "app/journal/store.h"

namespace app {
class TMainForm;
}

namespace app::journal {

class RunJournal {
 public:
  // A line for the user (Windows-1252): the warnings.
  using Warn = std::function<void(const std::string& line)>;

  // The outcome of opening: a journal (the default one not opened yet), none (switched off), or
  // a refusal of the run (a named one that could not be opened).
  struct Opening {
    std::unique_ptr<RunJournal> journal;
    std::string refusal;  // Windows-1252; the run ends with the usage status
  };
  static Opening Open(const Options& options, const std::string& environment, Warn warn);

  // Opens the default journal if that is still to be done; false when there is no store (a
  // default journal that cannot be opened: warn was told, once). WriteStarting calls it.
  bool Ready();
  // Before the first reset: begins the record from what the window found and loaded. Returns
  // the line that says when the same serial number was last written ("" when never).
  std::string WriteStarting(const TMainForm& form);
  // After each operation the board stored ("operating_time", ..., "configuration").
  void OperationStored(const char* operation);
  // The run's end: its exit status and the failure's dialog text ("" for none). Nothing when
  // no record was begun.
  void Complete(int status, const std::string& failure);

  const JournalRecord& Record() const { return record_; }

 private:
  RunJournal(std::unique_ptr<JournalStore> store, JournalChoice deferred, std::string shown,
             const Options& options, Warn warn);
  // Runs a store call; a failure is said once and ends the journal for this run.
  template <typename Call>
  void Guarded(Call call);

  std::unique_ptr<JournalStore> store_;
  JournalChoice deferred_;  // the default journal until Ready opened it
  std::string shown_;
  Warn warn_;
  JournalRecord record_;
  bool begun_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace app::journal
