#include "app/journal/runjournal.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/journal/host.h"
#include "app/journal/texts.h"
#include "framework/sysutils.h"
#include "platform/hosttext.h"

namespace app::journal {

namespace {

// "2026-12-07 22:58:01 UTC" from a record's ISO time.
std::string ShownTime(const std::string& iso) {
  if (iso.size() < 19) return iso;
  return iso.substr(0, 10) + " " + iso.substr(11, 8) + " UTC";
}

// A text from outside (a store's message, a name) as a warning shows it. Such texts reach here
// converted already (Utf8ToCp1252, ShownJournal), so a name's letters outside Windows-1252 that
// they carry are kept.
std::string Visible(const std::string& cp1252) { return fw::VisibleMessage(cp1252); }

std::mutex waitsMutex;
const RunJournal::Waits* overriddenWaits = nullptr;

RunJournal::Waits CurrentWaits() {
  std::lock_guard<std::mutex> lock(waitsMutex);
  return overriddenWaits != nullptr ? *overriddenWaits : RunJournal::Waits{};
}

int Seconds(std::chrono::milliseconds wait) {
  return static_cast<int>((wait.count() + 999) / 1000);
}

}  // namespace

// The warnings of openings on the worker's thread (a damaged default file moved aside), kept
// until the main thread says them.
struct RunJournal::Warnings {
  std::mutex mutex;
  std::vector<std::string> lines;
};

std::string ConfigurationSent(const protocol::ConfigRecord& config) {
  std::string text = "serial ";
  const std::string sent = std::string(config.serialPart1, protocol::kSerialPart1Bytes) +
                           std::string(config.serialPart2, protocol::kSerialPart2Bytes);
  for (unsigned char c : sent) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    text += hex;
  }
  text += "\ndevice_type " + std::to_string(config.deviceType) + "\nparameters";
  const int count = std::clamp(config.parameterCount, 0, protocol::kParameterCount);
  for (int n = 0; n < count; ++n) text += " " + std::to_string(config.parameters[n]);
  return text + "\n";
}

void DescribeWrite(const WriteStart& start, JournalRecord& r) {
  const protocol::ConfigRecord& config = start.config;
  r.port = fw::Cp1252ToUtf8(config.portName);
  if (!start.converterInstance.empty()) {
    // The device instance is the converter's serial with its interface's letter ("A") after it.
    r.converterVid = "0403";
    r.converterPid = "6001";
    r.converterSerial = start.converterInstance;
    if (r.converterSerial.size() > 1 && r.converterSerial.back() == 'A')
      r.converterSerial.pop_back();
  }
  r.configPath = start.configPath;
  r.configSha256 = start.configSha256;
  r.configText = fw::Cp1252BytesToUtf8(start.configKept);
  r.configTextCut = start.configCut;
  r.configSent = ConfigurationSent(config);
  const std::string sent = std::string(config.serialPart1, protocol::kSerialPart1Bytes) +
                           std::string(config.serialPart2, protocol::kSerialPart2Bytes);
  r.serial = fw::Cp1252BytesToUtf8(sent.substr(0, sent.find('\0')));
  r.serialBytes.clear();
  for (unsigned char c : sent) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    r.serialBytes += hex;
  }
  r.deviceType = config.deviceType;
  const plat::LatencyStep& latency = start.latency;
  if (latency.outcome != plat::LatencyStep::Outcome::kAbsent) {
    r.latencyFound = static_cast<int>(latency.found);
  }
  if (latency.outcome == plat::LatencyStep::Outcome::kLowered) r.latencySet = 1;
}

void RunJournal::OverrideWaits(const Waits* waits) {
  std::lock_guard<std::mutex> lock(waitsMutex);
  overriddenWaits = waits;
}

RunJournal::Opening RunJournal::Open(const Options& options, const std::string& environment,
                                     Warn warn) {
  const JournalChoice choice = ChooseJournal(options, environment);
  if (choice.kind == JournalChoice::Kind::None) return {};
  const std::string shown =
      choice.target.empty() ? std::string(texts::kDefaultFileName) : ShownJournal(choice.target);
  auto journal = [&](std::unique_ptr<JournalStore> store, bool deferred) {
    return std::unique_ptr<RunJournal>(
        new RunJournal(std::move(store), choice, deferred, shown, options, warn));
  };
  if (choice.kind == JournalChoice::Kind::Default) return {journal(nullptr, true), {}};
  try {
    return {journal(OpenJournal(choice, warn), false), {}};
  } catch (const JournalError& e) {
    return {nullptr, fw::Format(texts::kNamedUnavailable, Visible(shown), Visible(e.what()))};
  }
}

RunJournal::RunJournal(std::unique_ptr<JournalStore> store, JournalChoice choice, bool deferred,
                       std::string shown, const Options& options, Warn warn)
    : choice_(std::move(choice)),
      store_(std::move(store)),
      deferred_(deferred),
      shown_(Visible(shown)),
      warn_(std::move(warn)),
      waits_(CurrentWaits()),
      warnings_(std::make_shared<Warnings>()) {
  record_.simulated = options.simulate;
  if (options.simulate && !options.scenario.empty()) {
    std::error_code error;
    record_.scenario =
        plat::PathText(std::filesystem::absolute(plat::FilePath(options.scenario), error));
  }
}

RunJournal::~RunJournal() = default;

bool RunJournal::Ready() {
  if (!deferred_) return store_ != nullptr;
  deferred_ = false;
  try {
    store_ = OpenJournal(choice_, warn_);
  } catch (const JournalError& e) {
    warn_(fw::Format(texts::kDefaultUnavailable, shown_, Visible(e.what())));
    dropped_ = true;
  }
  return store_ != nullptr;
}

void RunJournal::SayWarnings() {
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(warnings_->mutex);
    lines.swap(warnings_->lines);
  }
  for (const std::string& line : lines) warn_(line);
}

void RunJournal::Drop() {
  std::lock_guard<std::mutex> lock(mutex_);
  dropped_ = true;
  worker_.reset();
}

RunJournal::Announcement RunJournal::WriteStarting(const WriteStart& start,
                                                   const std::function<void()>& tick) {
  start_ = std::chrono::steady_clock::now();
  if (dropped_) return {};
  JournalRecord r;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    r = record_;
  }
  r.host = HostName();
  r.runId = NewRunId(r.host);
  r.started = UtcNow();
  r.user = UserName();
  r.toolVersion = LCDWRITE_VERSION_TEXT;
  r.platform = PlatformName();
  DescribeWrite(start, r);

  // Every opening after the first (and the default journal's first) happens on the worker's
  // thread; what it would say waits for the main thread.
  std::shared_ptr<Warnings> warnings = warnings_;
  JournalWorker::Opener opener = [choice = choice_, warnings] {
    return OpenJournal(choice, [warnings](const std::string& line) {
      std::lock_guard<std::mutex> lock(warnings->mutex);
      warnings->lines.push_back(line);
    });
  };
  {
    std::lock_guard<std::mutex> lock(mutex_);
    record_ = r;
    started_ = true;
    worker_ = std::make_shared<JournalWorker>(std::move(store_), std::move(opener), waits_.pacing);
    worker_->Begin(r);
  }
  const bool named = choice_.kind == JournalChoice::Kind::Named;
  const bool begun = worker_->WaitBegun(start_ + waits_.begin, tick, !named);
  SayWarnings();
  Announcement announcement;
  if (const auto before = worker_->LastWritten(); before && *before) {
    announcement.line = fw::Format(texts::kWrittenBefore, Visible(fw::Utf8ToCp1252(r.serial)),
                                   Visible(fw::Utf8ToCp1252(ShownTime(**before))));
  }
  if (begun) {
    std::lock_guard<std::mutex> lock(mutex_);
    begun_ = true;
    return announcement;
  }
  const std::string error = worker_->LastError();
  const std::string cause = error.empty() ? fw::Format(texts::kNoAnswer, Seconds(waits_.begin))
                                          : Visible(error);
  if (named) {
    // The worker goes on: a beginning that arrives late is completed with the refusal's status.
    announcement.refusal = fw::Format(texts::kNamedNotBegun, shown_, cause);
    return announcement;
  }
  warn_(fw::Format(texts::kDefaultUnavailable, shown_, cause));
  Drop();
  return {};
}

void RunJournal::OperationStored(const char* operation) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_ || dropped_) return;
  record_.operations += (record_.operations.empty() ? "" : ",") + std::string(operation);
  worker_->Put(record_);
}

void RunJournal::WriteEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!started_ || ended_) return;
  ended_ = true;
  record_.ended = UtcNow();
  record_.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - start_)
                           .count();
}

void RunJournal::Complete(int status, const std::string& failure, bool stopped) {
  WriteEnded();
  bool begun = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_ || dropped_) return;
    record_.exitStatus = status;
    record_.exitName = ExitStatusName(status);
    record_.failure = fw::Cp1252ToUtf8(failure);
    worker_->Put(record_);
    begun = begun_;
  }
  // A record whose beginning never arrived is not waited for again.
  const std::chrono::milliseconds wait = stopped ? std::min(waits_.completion, waits_.lateStop)
                                                 : waits_.completion;
  const bool written =
      begun && worker_->WaitWritten(std::chrono::steady_clock::now() + wait, {});
  SayWarnings();
  if (written || !begun) return;
  const std::string error = worker_->LastError();
  warn_(fw::Format(texts::kRecordFailed, shown_,
                   error.empty() ? fw::Format(texts::kNoAnswer, Seconds(wait)) : Visible(error)));
  Drop();
}

void RunJournal::Restate(int status) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!started_ || dropped_ || record_.exitStatus == status) return;
  if (!ended_) {
    ended_ = true;
    record_.ended = UtcNow();
    record_.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - start_)
                             .count();
  }
  record_.exitStatus = status;
  record_.exitName = ExitStatusName(status);
  worker_->Put(record_);
  const std::shared_ptr<JournalWorker> worker = worker_;
  const auto deadline = std::chrono::steady_clock::now() + waits_.lateStop;
  lock.unlock();
  worker->WaitWritten(deadline, {});
}

JournalRecord RunJournal::Record() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return record_;
}

}  // namespace app::journal
