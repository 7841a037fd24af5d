// A protocol::BoardWindow that records every call in order, with the machine time it came at.
// EndRun closes the port and ends through fw::TApplication::EndProcess with the tool's status
// for the reason, which the tests hook to unwind with fw::ProcessEnded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/exitstatus.h"
#include "framework/application.h"
#include "protocol/boardwindow.h"

namespace protocol::testing {

struct WindowCall {
  enum class Kind { Status, RepaintStatus, Progress, PanelColor, RepaintPanel, Process, Error,
                    Information, Beep, End };
  Kind kind;
  std::string text;     // Status, Error, Information
  std::int64_t value;   // Progress, PanelColor, End
  std::int64_t atNs;
};

class RecordingWindow : public BoardWindow {
 public:
  RecordingWindow(comport::TCustomComPort& port, fw::TApplication& app)
      : port_(port), app_(app) {}

  comport::TCustomComPort& Port() override { return port_; }
  void SetStatusText(const std::string& text) override { Add(WindowCall::Kind::Status, text); }
  void RepaintStatus() override { Add(WindowCall::Kind::RepaintStatus); }
  void SetProgress(int position) override { Add(WindowCall::Kind::Progress, "", position); }
  void SetResetPanelColor(fw::TColor color) override {
    Add(WindowCall::Kind::PanelColor, "", color);
  }
  void RepaintResetPanel() override { Add(WindowCall::Kind::RepaintPanel); }
  fw::TColor ResetColorOn() override { return fw::clLime; }
  fw::TColor ResetColorOff() override { return fw::clGreen; }
  void ProcessMessages() override {
    Add(WindowCall::Kind::Process);
    app_.ProcessMessages();
  }
  void ReportError(const std::string& text) override { Add(WindowCall::Kind::Error, text); }
  void ShowInformation(const std::string& text) override {
    Add(WindowCall::Kind::Information, text);
  }
  void MessageBeep() override { Add(WindowCall::Kind::Beep); }

  const std::vector<WindowCall>& Calls() const { return calls_; }
  // The calls of one kind, in order.
  std::vector<WindowCall> Of(WindowCall::Kind kind) const {
    std::vector<WindowCall> of;
    for (const WindowCall& c : calls_) {
      if (c.kind == kind) of.push_back(c);
    }
    return of;
  }
  std::vector<int> Progress() const {
    std::vector<int> values;
    for (const WindowCall& c : Of(WindowCall::Kind::Progress)) {
      values.push_back(static_cast<int>(c.value));
    }
    return values;
  }
  std::vector<std::string> Statuses() const {
    std::vector<std::string> texts;
    for (const WindowCall& c : Of(WindowCall::Kind::Status)) texts.push_back(c.text);
    return texts;
  }
  void Clear() { calls_.clear(); }

 protected:
  void CloseAndEnd(RunEnd why) override {
    const int status = app::ExitStatusOf(why);
    Add(WindowCall::Kind::End, "", status);
    port_.SetActive(false);
    fw::TApplication::EndProcess(status);
  }

 private:
  void Add(WindowCall::Kind kind, const std::string& text = "", std::int64_t value = 0) {
    calls_.push_back({kind, text, value, port_.PlatformRef().kernel().NowMicroseconds() * 1000});
  }

  comport::TCustomComPort& port_;
  fw::TApplication& app_;
  std::vector<WindowCall> calls_;
};

}  // namespace protocol::testing
