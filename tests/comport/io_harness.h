// Test harness for the serial port component on the simulated machine. SpyPlatform passes every
// call on to a sim::Machine, records the port's serial calls as short text lines, counts live
// event objects and can make the next call of a name fail. PortFixture: a machine with COM3, an
// application object and a TComPort on the spy; Pump lets machine time pass while the main
// thread processes its messages.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "comport/comport.h"
#include "framework/application.h"
#include "framework/sysutils.h"
#include "platform/sim/machine.h"
#include "tests/support/forwarding_api.h"

namespace comport::porttest {

using Lines = std::vector<std::string>;

class SpyPlatform : public plat::Platform {
 public:
  explicit SpyPlatform(sim::Machine& m) : m_(m), kernel_(*this), serial_(*this) {}
  plat::KernelApi& kernel() override { return kernel_; }
  plat::SerialApi& serial() override { return serial_; }
  plat::SystemApi& system() override { return m_.system(); }

  void FailNext(const std::string& call, DWORD code) { Locked([&] { failures_[call] = code; }); }
  Lines Calls(const std::string& prefix = "") {
    Lines out;
    Locked([&] {
      for (const std::string& c : calls_) if (c.rfind(prefix, 0) == 0) out.push_back(c);
    });
    return out;
  }
  void ClearCalls() { Locked([&] { calls_.clear(); }); }
  // What LastDeviceNotes reports after each open and after each close from now on.
  void SetDeviceNotes(Lines afterOpen, Lines afterClose) {
    Locked([&] {
      notesAfterOpen_ = std::move(afterOpen);
      notesAfterClose_ = std::move(afterClose);
    });
  }
  int LiveEvents() { int n = 0; Locked([&] { n = liveEvents_; }); return n; }

 private:
  void Locked(const std::function<void()>& f) { std::lock_guard<std::mutex> l(mutex_); f(); }
  // Records the call (unless args is null); true, with the last error set, when it is to fail.
  bool Enter(const std::string& name, const std::string* args = nullptr) {
    bool fail = false;
    Locked([&] {
      if (args) calls_.push_back(args->empty() ? name : name + " " + *args);
      auto it = failures_.find(name);
      if (it == failures_.end()) return;
      m_.kernel().SetLastError(it->second);
      failures_.erase(it);
      fail = true;
    });
    return fail;
  }
  bool Rec(const std::string& name, const std::string& args = "") { return Enter(name, &args); }

  // Counts the event objects made and closed.
  struct Kernel : testsupport::ForwardingKernel {
    explicit Kernel(SpyPlatform& s) : ForwardingKernel(s.m_.kernel()), s(s) {}
    HANDLE CreateEventA(BOOL manual, BOOL initial) override {
      s.Locked([&] { ++s.liveEvents_; });
      return Inner().CreateEventA(manual, initial);
    }
    BOOL CloseEvent(HANDLE e) override {
      const BOOL ok = Inner().CloseEvent(e);
      if (ok) s.Locked([&] { --s.liveEvents_; });
      return ok;
    }
    SpyPlatform& s;
  };

  // Records the set-up and transfer calls, and fails them on request.
  struct Serial : testsupport::ForwardingSerial {
    explicit Serial(SpyPlatform& sp) : ForwardingSerial(sp.m_.serial()), s(sp) {}
    static std::string Num(DWORD v) { return fw::IntToStr(v); }
    HANDLE CreateFileA(const char* n, DWORD a, DWORD sh, DWORD c, DWORD f) override {
      const std::string args = std::string(n) + " " + fw::IntToHex(a, 8) + " " + Num(sh) + " " +
                               Num(c) + " " + fw::IntToHex(f, 8);
      s.Locked([&] { s.notes_ = s.notesAfterOpen_; });
      return s.Rec("CreateFileA", args) ? INVALID_HANDLE_VALUE : Inner().CreateFileA(n, a, sh, c, f);
    }
    BOOL CloseHandle(HANDLE h) override {
      s.Locked([&] { s.notes_ = s.notesAfterClose_; });
      return Inner().CloseHandle(h);
    }
    std::vector<std::string> LastDeviceNotes() override {
      Lines notes;
      s.Locked([&] { notes = s.notes_; });
      return notes;
    }
    BOOL GetCommState(HANDLE h, DCB* x) override { return s.Rec("GetCommState") ? 0 : Inner().GetCommState(h, x); }
    BOOL SetCommState(HANDLE h, const DCB* x) override { return s.Rec("SetCommState") ? 0 : Inner().SetCommState(h, x); }
    BOOL SetupComm(HANDLE h, DWORD i, DWORD o) override {
      return s.Rec("SetupComm", Num(i) + " " + Num(o)) ? 0 : Inner().SetupComm(h, i, o);
    }
    BOOL GetCommTimeouts(HANDLE h, COMMTIMEOUTS* t) override { return s.Rec("GetCommTimeouts") ? 0 : Inner().GetCommTimeouts(h, t); }
    BOOL SetCommTimeouts(HANDLE h, const COMMTIMEOUTS* t) override { return s.Rec("SetCommTimeouts") ? 0 : Inner().SetCommTimeouts(h, t); }
    BOOL SetCommMask(HANDLE h, DWORD m) override { return s.Rec("SetCommMask", fw::IntToHex(m, 4)) ? 0 : Inner().SetCommMask(h, m); }
    // Not recorded (once per cycle of the event thread), but it can be made to fail.
    BOOL WaitCommEvent(HANDLE h, DWORD* m, OVERLAPPED* o) override {
      return s.Enter("WaitCommEvent") ? FALSE : Inner().WaitCommEvent(h, m, o);
    }
    BOOL ReadFile(HANDLE h, void* b, DWORD n, DWORD* t, OVERLAPPED* o) override {
      return s.Rec("ReadFile", Num(n)) ? 0 : Inner().ReadFile(h, b, n, t, o);
    }
    BOOL WriteFile(HANDLE h, const void* b, DWORD n, DWORD* t, OVERLAPPED* o) override {
      return s.Rec("WriteFile", Num(n)) ? 0 : Inner().WriteFile(h, b, n, t, o);
    }
    BOOL PurgeComm(HANDLE h, DWORD f) override { return s.Rec("PurgeComm", fw::IntToHex(f, 2)) ? 0 : Inner().PurgeComm(h, f); }
    BOOL FlushFileBuffers(HANDLE h) override { return s.Rec("FlushFileBuffers") ? 0 : Inner().FlushFileBuffers(h); }
    SpyPlatform& s;
  };

  sim::Machine& m_;
  Kernel kernel_;
  Serial serial_;
  std::mutex mutex_;
  Lines calls_;
  std::map<std::string, DWORD> failures_;
  int liveEvents_ = 0;
  Lines notesAfterOpen_, notesAfterClose_, notes_;
};

// Records what the port's handlers saw, in order; `also` does extra work inside a handler.
struct Recorder : fw::TObject {
  Lines seen;
  TComAction answer = caFail;
  std::function<void(const std::string&)> also;
  std::vector<bool> onMain;

  void Note(const std::string& what) {
    onMain.push_back(fw::Application->IsMainThread());
    seen.push_back(what);
    if (also) also(what);
  }
  void BeforeOpen(TCustomComPort*) { Note("BeforeOpen"); }
  void AfterOpen(TCustomComPort*) { Note("AfterOpen"); }
  void BeforeClose(TCustomComPort*) { Note("BeforeClose"); }
  void AfterClose(TCustomComPort*) { Note("AfterClose"); }
  void OnError(TCustomComPort*, EComError& e, TComAction& action) {
    static const char* const kKinds[] = {"not open", "still open", "open failed", "time-out",
                                         "negative length", "thread", "system call"};
    Note("OnError " + std::string(kKinds[e.Kind()]) + " " + std::to_string(e.ErrorCode()));
    action = answer;
  }
  void OnCTS(fw::TObject*) { Note("CTS"); }
  void OnDSR(fw::TObject*) { Note("DSR"); }
  void OnRing(fw::TObject*) { Note("Ring"); }
  void OnRxChar(fw::TObject*) { Note("RxChar"); }
  void OnLineError(fw::TObject*, TLineErrors e) { Note("LineError " + std::to_string(e.ToBits())); }
  void Transfer(fw::TObject*, const void*, std::int32_t n, bool wait) {
    Note("transfer " + std::to_string(n) + (wait ? " wait" : ""));
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
    std::remove(LogPath().c_str());
    Pump(5);  // a stopped event thread may still wait for one synchronised call
    plat::SetCurrentPlatform(nullptr);
  }
  void Pump(int ms) {
    for (int i = 0; i < ms; ++i) {
      app.ProcessMessages();
      machine.RunFor(sim::kNsPerMs);
    }
    app.ProcessMessages();
  }
  bool PumpUntil(const std::function<bool()>& done, int ms = 1000) {
    for (int i = 0; i < ms && !done(); ++i) Pump(1);
    return done();
  }
  std::vector<std::uint8_t> Sent() { return device.WireBytes(sim::Direction::HostToFar); }
  void Watch(Recorder& r) {
    port->SetBeforeOpen(fw::Method<&Recorder::BeforeOpen>(&r));
    port->SetAfterOpen(fw::Method<&Recorder::AfterOpen>(&r));
    port->SetBeforeClose(fw::Method<&Recorder::BeforeClose>(&r));
    port->SetAfterClose(fw::Method<&Recorder::AfterClose>(&r));
    port->SetOnError(fw::Method<&Recorder::OnError>(&r));
  }
  // A log file for this test, and its lines without the date-time prefix.
  std::string LogPath() {
    return ::testing::TempDir() + "comport_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".log";
  }
  Lines LogLines() {
    std::ifstream in(LogPath());
    Lines lines;
    const std::regex form(R"(^\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d (.*)$)");
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
      EXPECT_TRUE(std::regex_match(line, m, form)) << line;
      lines.push_back(m.size() > 1 ? m[1].str() : line);
    }
    return lines;
  }

  sim::Machine machine;
  SpyPlatform spy{machine};
  fw::TApplication app{machine};
  sim::SerialDevice& device = machine.AddPort("COM3");
  Lines shown;
  std::unique_ptr<TComPort> port;
};

}  // namespace comport::porttest
