// A front-end without a toolkit for tests and benchmarks: every dialog recorded (type, caption,
// exact text) and closed at once, every note recorded. CanWaitForUser decides whether the tool
// behaves as in a window (true) or as in the console (false).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "framework/frontend.h"

namespace ui {

struct RecordedDialog {
  fw::TMsgDlgType type;
  std::string caption;
  std::string text;
  std::string detail;  // "" for a plain dialog
};

class RecordingFrontEnd : public fw::FrontEnd {
 public:
  explicit RecordingFrontEnd(bool canWaitForUser = false, int ppi = 96)
      : canWait_(canWaitForUser), ppi_(ppi) {}

  std::unique_ptr<fw::ControlPeer> CreatePeer(fw::TControl& control) override;
  void MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                     const std::string& text) override;
  void DetailedMessageDialog(fw::TMsgDlgType type, const std::string& caption,
                             const std::string& text, const std::string& detail) override;
  int ScreenPixelsPerInch() override { return ppi_; }
  void ScreenSize(int& width, int& height) override {
    width = 1280;
    height = 1024;
  }
  bool CanWaitForUser() const override { return canWait_; }
  void ProcessEvents() override {}
  void WaitForEvents(DWORD) override {}
  void Wake() override {}
  bool HasOwnEvents() const override { return false; }
  void Note(const std::string& text) override { notes.push_back(text); }

  std::vector<RecordedDialog> dialogs;
  std::vector<std::string> notes;
  // Runs when a dialog is shown (after it was recorded), e.g. to act like a user would.
  std::function<void(const RecordedDialog&)> onDialog;

 private:
  bool canWait_;
  int ppi_;
};

}  // namespace ui
