#include "app/journal/journalworker.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace app::journal {

namespace {
// How long a waiting thread waits at most before it calls its tick again.
constexpr std::chrono::milliseconds kSlice{50};
}  // namespace

struct JournalWorker::State {
  std::mutex mutex;
  std::condition_variable changed;
  // Only the worker's thread touches the store and the opener once the thread runs.
  std::unique_ptr<JournalStore> store;
  Opener opener;
  Pacing pacing;
  JournalRecord record;        // the latest record handed over
  std::uint64_t version = 0;   // of record; 0: nothing to write yet
  std::uint64_t written = 0;   // the version last in the store
  std::uint64_t putVersion = 0;  // the version of the last Put
  bool begun = false;            // the record's beginning is in the store
  bool rewrite = false;          // the store was opened again: the whole record goes again
  bool lastWrittenKnown = false;
  std::optional<std::string> lastWritten;
  std::string lastError;
  std::uint64_t openingsFailed = 0;
  bool closing = false;
};

JournalWorker::JournalWorker(std::unique_ptr<JournalStore> store, Opener opener, Pacing pacing)
    : state_(std::make_shared<State>()) {
  state_->store = std::move(store);
  state_->opener = std::move(opener);
  state_->pacing = pacing;
  thread_ = std::thread([state = state_] { Loop(state); });
}

JournalWorker::~JournalWorker() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->closing = true;
  }
  state_->changed.notify_all();
  // A call that hangs keeps its thread; the state it uses is shared, so it may end later.
  thread_.detach();
}

void JournalWorker::Begin(const JournalRecord& record) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->record = record;
    ++state_->version;
  }
  state_->changed.notify_all();
}

void JournalWorker::Put(const JournalRecord& record) {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->record = record;
    state_->putVersion = ++state_->version;
  }
  state_->changed.notify_all();
}

bool JournalWorker::WaitFor(Clock::time_point deadline, const std::function<void()>& tick,
                            const std::function<bool()>& done) {
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(state_->mutex);
      const Clock::time_point until = std::min(deadline, Clock::now() + kSlice);
      if (state_->changed.wait_until(lock, until, done)) return true;
    }
    if (Clock::now() >= deadline) return false;
    if (tick) tick();
  }
}

bool JournalWorker::WaitBegun(Clock::time_point deadline, const std::function<void()>& tick,
                              bool untilOpeningFails) {
  WaitFor(deadline, tick, [this, untilOpeningFails] {
    return state_->begun || (untilOpeningFails && state_->openingsFailed > 0);
  });
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->begun;
}

bool JournalWorker::WaitWritten(Clock::time_point deadline, const std::function<void()>& tick) {
  return WaitFor(deadline, tick,
                 [this] { return state_->begun && state_->written >= state_->putVersion; });
}

std::optional<std::optional<std::string>> JournalWorker::LastWritten() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->lastWrittenKnown) return std::nullopt;
  return state_->lastWritten;
}

std::string JournalWorker::LastError() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->lastError;
}

void JournalWorker::Loop(const std::shared_ptr<State>& state) {
  State& s = *state;
  enum class Step { Open, Ask, Begin, Rewrite, Complete, Progress };
  std::unique_lock<std::mutex> lock(s.mutex);
  int failures = 0;
  for (;;) {
    s.changed.wait(lock, [&s] { return s.closing || s.version > s.written; });
    if (s.closing) break;
    // One store call per turn, outside the lock: open, ask, begin, or write the latest record.
    const JournalRecord record = s.record;
    const std::uint64_t version = s.version;
    const Step step = !s.store               ? Step::Open
                      : !s.lastWrittenKnown  ? Step::Ask
                      : !s.begun             ? Step::Begin
                      : s.rewrite            ? Step::Rewrite
                      : record.Completed()   ? Step::Complete
                                             : Step::Progress;
    lock.unlock();
    std::string error;
    std::optional<std::string> before;
    std::unique_ptr<JournalStore> opened;
    try {
      switch (step) {
        case Step::Open:
          opened = s.opener();
          break;
        case Step::Ask:
          before = s.store->LastWritten(record.serial);
          break;
        case Step::Begin:
          s.store->Begin(record);
          break;
        case Step::Rewrite:  // the whole record, durably, added again if it was lost
        case Step::Complete:
          s.store->Update(record);
          break;
        case Step::Progress:
          s.store->Progress(record);
          break;
      }
    } catch (const std::exception& e) {
      error = e.what();
      if (error.empty()) error = "?";
    }
    if (!error.empty()) {
      // Whatever failed, the connection (or the file's handle) may be gone: the store is opened
      // again and the whole record written once more.
      s.store.reset();
      lock.lock();
      s.lastError = error;
      if (step == Step::Open) ++s.openingsFailed;
      if (s.begun) s.rewrite = true;
      s.changed.notify_all();
      ++failures;
      const auto pause = std::min<std::chrono::milliseconds>(
          s.pacing.longest, s.pacing.first * (std::int64_t{1} << std::min(failures - 1, 16)));
      s.changed.wait_for(lock, pause, [&s] { return s.closing; });
      continue;
    }
    if (step == Step::Open) s.store = std::move(opened);
    lock.lock();
    failures = 0;
    switch (step) {
      case Step::Open:
        break;
      case Step::Ask:
        s.lastWrittenKnown = true;
        s.lastWritten = before;
        break;
      case Step::Begin:
        s.begun = true;
        s.written = version;
        break;
      case Step::Rewrite:
        s.rewrite = false;
        s.written = version;
        break;
      case Step::Complete:
      case Step::Progress:
        s.written = version;
        break;
    }
    s.changed.notify_all();
  }
  lock.unlock();
  // The store goes with the thread, outside the lock.
  s.store.reset();
}

}  // namespace app::journal
