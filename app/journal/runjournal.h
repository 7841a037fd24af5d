// The journal of one run: a journal the user named is opened before any port is touched; the
// default one when there is something to record (a run that never reaches a board leaves no
// file behind). Its record is begun before the first reset, brought up to date after each
// operation the board stored, and completed with the run's exit status.
//
// The run hands it a plain record of what it loaded and found (WriteStart); the journal reads
// no window and no file of its own. Every store call runs on the journal's own thread
// (JournalWorker): the write waits for the journal only before the first reset, for the
// record's beginning (Waits::begin), and the run at its very end for the completion
// (Waits::completion). A journal that does not begin in time refuses the write when the user
// named it and is dropped with one warning when it is the default one (at once when the
// default one cannot even be opened; a busy or slow one is waited for). A store that fails
// during the run is opened again and the whole record written again, until the run ends;
// only a completion that does not arrive in time costs a warning.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/commandline.h"
#include "app/journal/choice.h"
#include "app/journal/journalworker.h"
#include "app/journal/record.h"
#include "app/journal/store.h"
#include "platform/platform.h"
#include "protocol/configrecord.h"

namespace app::journal {

// What the run loaded and found, as the journal records it.
struct WriteStart {
  std::string configPath;    // the configuration file as opened, absolute, UTF-8
  std::string configSha256;  // of all its bytes
  std::string configKept;    // its first bytes as read (Windows-1252, zero bytes kept)
  bool configCut = false;    // the file is longer than configKept
  protocol::ConfigRecord config;  // as sent (its port name included)
  std::string converterInstance;  // "A5XK3RJTA"; empty when the port was named
  plat::LatencyStep latency;
};

// The record's fields that come from what was loaded and found (everything but the run's
// identity, times and outcome).
void DescribeWrite(const WriteStart& start, JournalRecord& record);
// The configuration as sent, one line per part: "serial" and the seven bytes in hexadecimal,
// "device_type" and its value, "parameters" and every value in order.
std::string ConfigurationSent(const protocol::ConfigRecord& config);

class RunJournal {
 public:
  // A line for the user (Windows-1252): the warnings.
  using Warn = std::function<void(const std::string& line)>;

  // How long the run waits for the journal: the record's beginning before the first reset,
  // its completion at the run's end, and a stop request's status when the process ends at once.
  static constexpr std::chrono::milliseconds kBeginWait{5000};
  static constexpr std::chrono::milliseconds kCompletionWait{3000};
  static constexpr std::chrono::milliseconds kLateStopWait{1000};
  struct Waits {
    std::chrono::milliseconds begin = kBeginWait;
    std::chrono::milliseconds completion = kCompletionWait;
    std::chrono::milliseconds lateStop = kLateStopWait;
    JournalWorker::Pacing pacing;  // how a failing store is retried
  };
  // For tests: shorter waits for every journal opened afterwards (nullptr: the defaults).
  static void OverrideWaits(const Waits* waits);

  // The outcome of opening: a journal (the default one not opened yet), none (switched off), or
  // a refusal of the run (a named one that could not be opened).
  struct Opening {
    std::unique_ptr<RunJournal> journal;
    std::string refusal;  // Windows-1252; the run ends with the usage status
  };
  static Opening Open(const Options& options, const std::string& environment, Warn warn);
  ~RunJournal();

  // Opens the default journal now, on the calling thread, if that is still to be done; false
  // when there is no store (a default journal that cannot be opened: warn was told, once).
  bool Ready();

  // Before the first reset: begins the record and waits for it (calling tick every slice; tick
  // may throw to end the run). line: when the same serial number was last written ("" when
  // never or when the journal did not say in time); refusal: why the write must not begin.
  struct Announcement {
    std::string line;     // Windows-1252
    std::string refusal;  // Windows-1252; "" to go on
  };
  Announcement WriteStarting(const WriteStart& start, const std::function<void()>& tick);
  // After each operation the board stored ("operating_time", ..., "configuration").
  void OperationStored(const char* operation);
  // The write is over (its last step, or its failure): the record's end and duration. Only the
  // first call counts.
  void WriteEnded();
  // The run's end: its exit status and the failure's dialog text ("" for none); waits for the
  // record within Waits::completion (Waits::lateStop when a stop request ended the run: whoever
  // asked wants the end now). Nothing when no record was begun.
  void Complete(int status, const std::string& failure, bool stopped = false);
  // A stop request that ends the process at once (after the run, or a second one): the
  // process ends with status, so the record says so too (waits within Waits::lateStop). Any
  // thread.
  void Restate(int status);

  JournalRecord Record() const;

 private:
  RunJournal(std::unique_ptr<JournalStore> store, JournalChoice choice, bool deferred,
             std::string shown, const Options& options, Warn warn);
  struct Warnings;
  // Says the warnings the worker's openings left (main thread).
  void SayWarnings();
  void Drop();

  JournalChoice choice_;
  std::unique_ptr<JournalStore> store_;  // until the worker takes it
  bool deferred_;                        // the default journal, not opened yet
  std::string shown_;                    // Windows-1252, control characters made visible
  Warn warn_;
  Waits waits_;
  std::shared_ptr<Warnings> warnings_;
  std::shared_ptr<JournalWorker> worker_;  // shared with a late Restate
  mutable std::mutex mutex_;  // record_ and the flags below: Restate comes from another thread
  JournalRecord record_;
  bool started_ = false;  // WriteStarting handed the record over
  bool begun_ = false;    // its beginning is in the store
  bool ended_ = false;
  bool dropped_ = false;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace app::journal
