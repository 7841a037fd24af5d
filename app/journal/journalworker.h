// The journal's own thread. Every store call of a run happens here, never on the write's
// thread: a store that hangs (a locked file, a server that stopped answering) or fails holds
// only this thread, and the write goes on at its own pace.
//
// The worker keeps the record as it stands now rather than a list of changes: Begin and Put
// hand it the whole record, and the worker writes the latest one (its beginning first, then
// whatever came since), so a burst of progress while the store was slow costs one write. A
// call that throws drops the store; the worker opens it again with the opener it was given
// and writes the whole record again (the stores replace a record with the same run id), paced
// by a back-off that doubles from Pacing::first up to Pacing::longest. It keeps trying until
// it is destroyed.
//
// The destructor does not wait for a call that hangs: the thread is told to stop after its
// current call and is left to end on its own (it owns everything it still uses).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/journal/record.h"
#include "app/journal/store.h"

namespace app::journal {

class JournalWorker {
 public:
  using Clock = std::chrono::steady_clock;
  // Opens the store (on the worker's thread); throws JournalError.
  using Opener = std::function<std::unique_ptr<JournalStore>()>;
  struct Pacing {
    std::chrono::milliseconds first{50};
    std::chrono::milliseconds longest{2000};
  };

  // store may be null: the worker opens it first.
  JournalWorker(std::unique_ptr<JournalStore> store, Opener opener, Pacing pacing);
  ~JournalWorker();
  JournalWorker(const JournalWorker&) = delete;
  JournalWorker& operator=(const JournalWorker&) = delete;

  // The record's beginning: the worker asks the store for the serial number's last completed
  // write, then adds the record.
  void Begin(const JournalRecord& record);
  // The record as it stands now (progress, or its completion when record.Completed()).
  void Put(const JournalRecord& record);

  // Wait until the record's beginning is in the store, or until deadline (or, with
  // untilOpeningFails, until an opening of the store has failed: a store that cannot be opened
  // is not waited for, one that is busy or slow is); every slice (at most 50 ms) tick is called
  // on the waiting thread (it may throw to end the wait). True when begun.
  bool WaitBegun(Clock::time_point deadline, const std::function<void()>& tick,
                 bool untilOpeningFails);
  // The same until the last Put is in the store.
  bool WaitWritten(Clock::time_point deadline, const std::function<void()>& tick);

  // The store's answer to the last-write question, once it has given one (nullopt before;
  // an empty inner optional: never written).
  std::optional<std::optional<std::string>> LastWritten() const;
  // The cause of the last failed call ("" when none failed), Windows-1252.
  std::string LastError() const;

 private:
  struct State;
  static void Loop(const std::shared_ptr<State>& state);
  bool WaitFor(Clock::time_point deadline, const std::function<void()>& tick,
               const std::function<bool()>& done);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace app::journal
