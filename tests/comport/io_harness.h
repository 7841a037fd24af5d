// Test harness for the serial port component on the simulated machine.
//
// SpyPlatform sits between a port and a sim::Machine: it passes every call on, records the
// serial calls the port makes (as short text lines), counts the event objects that are alive,
// and can make chosen calls fail with a chosen error code. PortFixture builds a machine with a
// device COM3, an application object and a TComPort on the spy, and pumps the main thread's
// messages while machine time passes.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "framework/sysutils.h"
#include "platform/sim/machine.h"

namespace comport::porttest {

class SpyPlatform : public plat::Platform {
 public:
  explicit SpyPlatform(sim::Machine& machine)
      : machine_(machine), kernel_(*this), serial_(*this) {}

  plat::KernelApi& kernel() override { return kernel_; }
  plat::SerialApi& serial() override { return serial_; }
  plat::SystemApi& system() override { return machine_.system(); }

  // The next call of that name fails with code (calls of other names are unaffected).
  void FailNext(const std::string& call, DWORD code) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_[call] = code;
  }
  // Recorded calls, in order; Calls(prefix) only those that start with prefix.
  std::vector<std::string> Calls(const std::string& prefix = "") const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> out;
    for (const std::string& c : calls_) {
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    }
    return out;
  }
  void ClearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
  }
  // WaitCommEvent leaves its event signalled after completing at once (see Serial).
  std::atomic<bool> signalImmediateWaits{false};

  int LiveEvents() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return liveEvents_;
  }

 private:
  // Records the call; true (with the last error set) when it is to fail.
  bool Enter(const std::string& name, const std::string& args = "") {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(args.empty() ? name : name + " " + args);
    auto it = failures_.find(name);
    if (it == failures_.end()) return false;
    machine_.kernel().SetLastError(it->second);
    failures_.erase(it);
    return true;
  }
  bool Inject(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = failures_.find(name);
    if (it == failures_.end()) return false;
    machine_.kernel().SetLastError(it->second);
    failures_.erase(it);
    return true;
  }

  class Kernel : public plat::KernelApi {
   public:
    explicit Kernel(SpyPlatform& spy) : spy_(spy), k_(spy.machine_.kernel()) {}
    std::int64_t NowMicroseconds() override { return k_.NowMicroseconds(); }
    void Sleep(DWORD ms) override { k_.Sleep(ms); }
    bool IsVirtual() const override { return k_.IsVirtual(); }
    HANDLE CreateEventA(BOOL manualReset, BOOL initialState) override {
      if (spy_.Inject("CreateEventA")) return nullptr;
      HANDLE h = k_.CreateEventA(manualReset, initialState);
      std::lock_guard<std::mutex> lock(spy_.mutex_);
      ++spy_.liveEvents_;
      return h;
    }
    BOOL SetEvent(HANDLE e) override { return k_.SetEvent(e); }
    BOOL ResetEvent(HANDLE e) override {
      if (spy_.Inject("ResetEvent")) return FALSE;
      if (spy_.staleEvent_ == e) spy_.staleEvent_ = nullptr;
      return k_.ResetEvent(e);
    }
    DWORD WaitForSingleObject(HANDLE e, DWORD ms) override { return k_.WaitForSingleObject(e, ms); }
    BOOL CloseEvent(HANDLE e) override {
      const BOOL ok = k_.CloseEvent(e);
      std::lock_guard<std::mutex> lock(spy_.mutex_);
      if (ok) --spy_.liveEvents_;
      return ok;
    }
    DWORD GetLastError() override { return k_.GetLastError(); }
    void SetLastError(DWORD code) override { k_.SetLastError(code); }
    std::string SysErrorMessage(DWORD code) override { return k_.SysErrorMessage(code); }
    void ThreadStarting() override { k_.ThreadStarting(); }
    void ThreadEntered() override { k_.ThreadEntered(); }
    void ThreadFinished() override { k_.ThreadFinished(); }
    void ThreadJoining(std::thread::id thread) override { k_.ThreadJoining(thread); }
    DWORD GetCurrentThreadId() override { return k_.GetCurrentThreadId(); }

   private:
    SpyPlatform& spy_;
    plat::KernelApi& k_;
  };

  class Serial : public plat::SerialApi {
   public:
    explicit Serial(SpyPlatform& spy) : spy_(spy), s_(spy.machine_.serial()) {}
    HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD creation,
                       DWORD flags) override {
      if (spy_.Enter("CreateFileA", std::string(name) + " " + fw::IntToHex(access, 8) + " " +
                                        fw::IntToStr(share) + " " + fw::IntToStr(creation) +
                                        " " + fw::IntToHex(flags, 8))) {
        return INVALID_HANDLE_VALUE;
      }
      return s_.CreateFileA(name, access, share, creation, flags);
    }
    BOOL CloseHandle(HANDLE d) override {
      spy_.Enter("CloseHandle");
      return s_.CloseHandle(d);
    }
    BOOL GetCommState(HANDLE d, DCB* dcb) override {
      return spy_.Enter("GetCommState") ? FALSE : s_.GetCommState(d, dcb);
    }
    BOOL SetCommState(HANDLE d, const DCB* dcb) override {
      return spy_.Enter("SetCommState") ? FALSE : s_.SetCommState(d, dcb);
    }
    BOOL SetupComm(HANDLE d, DWORD in, DWORD out) override {
      return spy_.Enter("SetupComm", fw::IntToStr(in) + " " + fw::IntToStr(out))
                 ? FALSE
                 : s_.SetupComm(d, in, out);
    }
    BOOL GetCommTimeouts(HANDLE d, COMMTIMEOUTS* t) override {
      return spy_.Enter("GetCommTimeouts") ? FALSE : s_.GetCommTimeouts(d, t);
    }
    BOOL SetCommTimeouts(HANDLE d, const COMMTIMEOUTS* t) override {
      return spy_.Enter("SetCommTimeouts") ? FALSE : s_.SetCommTimeouts(d, t);
    }
    BOOL SetCommMask(HANDLE d, DWORD mask) override {
      return spy_.Enter("SetCommMask", fw::IntToHex(mask, 4)) ? FALSE : s_.SetCommMask(d, mask);
    }
    // Not recorded (it runs on the event thread, once per cycle), but it can be made to fail.
    BOOL WaitCommEvent(HANDLE d, DWORD* mask, OVERLAPPED* o) override {
      if (spy_.Inject("WaitCommEvent")) return FALSE;
      const BOOL done = s_.WaitCommEvent(d, mask, o);
      // Some systems signal the event of a wait that completed at once and do not reset it
      // when the next wait starts: the next pending wait then finds it signalled.
      if (spy_.signalImmediateWaits && o != nullptr) {
        if (done) {
          spy_.machine_.kernel().SetEvent(o->hEvent);
          spy_.staleEvent_ = o->hEvent;
        } else if (spy_.staleEvent_ == o->hEvent) {
          spy_.machine_.kernel().SetEvent(o->hEvent);  // nobody reset it since
        }
      }
      return done;
    }
    BOOL ReadFile(HANDLE d, void* b, DWORD n, DWORD* t, OVERLAPPED* o) override {
      return spy_.Enter("ReadFile", fw::IntToStr(n)) ? FALSE : s_.ReadFile(d, b, n, t, o);
    }
    BOOL WriteFile(HANDLE d, const void* b, DWORD n, DWORD* t, OVERLAPPED* o) override {
      return spy_.Enter("WriteFile", fw::IntToStr(n)) ? FALSE : s_.WriteFile(d, b, n, t, o);
    }
    BOOL GetOverlappedResult(HANDLE d, OVERLAPPED* o, DWORD* t, BOOL wait) override {
      return spy_.Enter("GetOverlappedResult") ? FALSE : s_.GetOverlappedResult(d, o, t, wait);
    }
    BOOL ClearCommError(HANDLE d, DWORD* e, COMSTAT* s) override {
      return spy_.Inject("ClearCommError") ? FALSE : s_.ClearCommError(d, e, s);
    }
    BOOL PurgeComm(HANDLE d, DWORD flags) override {
      return spy_.Enter("PurgeComm", fw::IntToHex(flags, 2)) ? FALSE : s_.PurgeComm(d, flags);
    }
    BOOL FlushFileBuffers(HANDLE d) override {
      return spy_.Enter("FlushFileBuffers") ? FALSE : s_.FlushFileBuffers(d);
    }
    BOOL EscapeCommFunction(HANDLE d, DWORD f) override { return s_.EscapeCommFunction(d, f); }
    BOOL SetCommBreak(HANDLE d) override { return s_.SetCommBreak(d); }
    BOOL ClearCommBreak(HANDLE d) override { return s_.ClearCommBreak(d); }
    BOOL TransmitCommChar(HANDLE d, char c) override { return s_.TransmitCommChar(d, c); }
    BOOL GetCommModemStatus(HANDLE d, DWORD* s) override { return s_.GetCommModemStatus(d, s); }
    BOOL GetCommProperties(HANDLE d, COMMPROP* p) override { return s_.GetCommProperties(d, p); }
    BOOL GetDefaultCommConfigA(const char* n, COMMCONFIG* c, DWORD* s) override {
      return s_.GetDefaultCommConfigA(n, c, s);
    }
    BOOL CommConfigDialogA(const char* n, HWND p, COMMCONFIG* c) override {
      return s_.CommConfigDialogA(n, p, c);
    }
    BOOL SetDefaultCommConfigA(const char* n, COMMCONFIG* c, DWORD s) override {
      return s_.SetDefaultCommConfigA(n, c, s);
    }

   private:
    SpyPlatform& spy_;
    plat::SerialApi& s_;
  };

  sim::Machine& machine_;
  Kernel kernel_;
  Serial serial_;
  mutable std::mutex mutex_;
  std::vector<std::string> calls_;
  std::map<std::string, DWORD> failures_;
  int liveEvents_ = 0;
  std::atomic<HANDLE> staleEvent_{nullptr};
};

// Records what the port's handlers saw, in order, as text.
struct Recorder : fw::TObject {
  std::vector<std::string> seen;
  TComAction answer = caFail;
  std::function<void(const std::string&)> also;  // extra work inside a handler
  bool onMainThread = true;                        // every handler ran on the main thread

  void Note(const std::string& what) {
    if (fw::Application != nullptr && !fw::Application->IsMainThread()) onMainThread = false;
    seen.push_back(what);
    if (also) also(what);
  }
  void BeforeOpen(TCustomComPort*) { Note("BeforeOpen"); }
  void AfterOpen(TCustomComPort*) { Note("AfterOpen"); }
  void BeforeClose(TCustomComPort*) { Note("BeforeClose"); }
  void AfterClose(TCustomComPort*) { Note("AfterClose"); }
  void OnError(TCustomComPort*, EComError& e, TComAction& action) {
    Note("OnError " + std::to_string(e.ErrorCode()));
    action = answer;
  }
  void OnCTS(fw::TObject*) { Note("CTS"); }
  void OnDSR(fw::TObject*) { Note("DSR"); }
  void OnRxChar(fw::TObject*) { Note("RxChar"); }
  void OnRing(fw::TObject*) { Note("Ring"); }
  void OnBreak(fw::TObject*) { Note("Break"); }
  void OnTxEmpty(fw::TObject*) { Note("TxEmpty"); }
  void OnLineError(fw::TObject*, TLineErrors errors) {
    Note("LineError " + std::to_string(errors.ToBits()));
  }
  void BeforeRead(fw::TObject*, const void*, std::int32_t n, bool wait) {
    Note("BeforeRead " + std::to_string(n) + (wait ? " wait" : ""));
  }
  void AfterRead(fw::TObject*, const void*, std::int32_t n, bool wait) {
    Note("AfterRead " + std::to_string(n) + (wait ? " wait" : ""));
  }
  void BeforeWrite(fw::TObject*, const void*, std::int32_t n, bool wait) {
    Note("BeforeWrite " + std::to_string(n) + (wait ? " wait" : ""));
  }
  void AfterWrite(fw::TObject*, const void*, std::int32_t n, bool wait) {
    Note("AfterWrite " + std::to_string(n) + (wait ? " wait" : ""));
  }
};

class PortFixture : public ::testing::Test {
 protected:
  PortFixture() {
    plat::SetCurrentPlatform(&machine);
    app.OnShowException = [this](const std::string& m) { shown.push_back(m); };
    port = std::make_unique<TComPort>(nullptr, spy);
    port->SetDeviceName("\\\\.\\COM3");
  }
  ~PortFixture() override {
    port.reset();
    // A stopped event thread may still wait for one synchronised call to come back.
    for (int i = 0; i < 5; ++i) Pump(1);
    plat::SetCurrentPlatform(nullptr);
  }

  // Lets ms of machine time pass, processing the main thread's messages after each step.
  void Pump(int ms) {
    for (int i = 0; i < ms; ++i) {
      app.ProcessMessages();
      machine.RunFor(sim::kNsPerMs);
    }
    app.ProcessMessages();
  }
  // Pumps until done() holds, for at most ms of machine time.
  bool PumpUntil(const std::function<bool()>& done, int ms = 1000) {
    for (int i = 0; i < ms && !done(); ++i) Pump(1);
    return done();
  }
  std::vector<std::uint8_t> SentBytes() { return device.WireBytes(sim::Direction::HostToFar); }
  // Every test that cares about handlers installs them from here.
  void Watch(Recorder& r) {
    port->SetBeforeOpen(fw::Method<&Recorder::BeforeOpen>(&r));
    port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&r));
    port->SetBeforeClose(fw::Method<&Recorder::BeforeClose>(&r));
    port->SetAfterClose(fw::Method<&Recorder::AfterClose>(&r));
    port->SetOnError(fw::Method<&Recorder::OnError>(&r));
  }

  sim::Machine machine;
  SpyPlatform spy{machine};
  fw::TApplication app{machine};
  sim::SerialDevice& device = machine.AddPort("COM3");
  std::vector<std::string> shown;
  std::unique_ptr<TComPort> port;
};

}  // namespace comport::porttest
