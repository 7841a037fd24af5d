#include "ui/console/console_frontend.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "framework/controls.h"
#include "framework/sysutils.h"

#ifdef _WIN32
#include <io.h>
namespace {
bool IsTerminal(FILE* f) { return _isatty(_fileno(f)) != 0; }
}  // namespace
#else
#include <unistd.h>
namespace {
bool IsTerminal(FILE* f) { return isatty(fileno(f)) != 0; }
}  // namespace
#endif

namespace ui {

namespace {
// A window with a single border and a caption adds this much to its client area; the console
// keeps the designed client size for code that reads it.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 44;

std::string ProgressText(int percent) {
  return "Fortschritt: " + std::to_string(percent) + " %";
}
}  // namespace

// One control's console side: it remembers what was last printed and prints at flush points.
class ConsolePeer : public fw::ControlPeer {
 public:
  ConsolePeer(ConsoleFrontEnd& fe, fw::TControl& control) : fe_(fe), control_(control) {
    if (auto* bar = dynamic_cast<fw::TProgressBar*>(&control_)) lastPercent_ = bar->Percent();
    dirty_ = true;
  }
  ~ConsolePeer() override { fe_.Forget(this); }

  void Changed(fw::TPeerChange what) override {
    if (what == fw::TPeerChange::Text || what == fw::TPeerChange::Progress ||
        what == fw::TPeerChange::Visible) {
      dirty_ = true;
    }
  }
  void Repaint() override { Flush(); }
  void FrameSize(int& width, int& height) override {
    width = kFrameWidth;
    height = kFrameHeight;
  }

  void Flush() {
    if (!dirty_) return;
    dirty_ = false;
    switch (control_.Kind()) {
      case fw::TControlKind::Form:
        if (!captionShown_ && control_.Visible()) {
          captionShown_ = true;
          if (!control_.Caption().empty()) fe_.PrintLine(control_.Caption());
        }
        break;
      case fw::TControlKind::Label: {
        const std::string& text = control_.Caption();
        if (text != lastText_) {
          lastText_ = text;
          if (!text.empty()) fe_.PrintLine(text);
        }
        break;
      }
      case fw::TControlKind::ProgressBar: {
        const int percent = static_cast<fw::TProgressBar&>(control_).Percent();
        if (percent == lastPercent_) break;
        if (fe_.terminal_) {
          fe_.DrawProgressLine(ProgressText(percent));
        } else if (percent / 10 != lastPercent_ / 10) {
          fe_.PrintLine(ProgressText(percent));
        } else {
          break;  // same tenth: keep the last printed value as the reference
        }
        lastPercent_ = percent;
        break;
      }
      default:
        break;
    }
  }

 private:
  ConsoleFrontEnd& fe_;
  fw::TControl& control_;
  bool dirty_ = false;
  bool captionShown_ = false;
  std::string lastText_;
  int lastPercent_ = 0;
};

ConsoleFrontEnd::ConsoleFrontEnd(plat::Platform& platform)
    : ConsoleFrontEnd(std::cout, StdoutIsTerminal(), platform) {}

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, bool terminal, plat::Platform& platform)
    : out_(out), terminal_(terminal), kernel_(platform.kernel()) {
  wakeEvent_ = kernel_.CreateEventA(FALSE, FALSE);
}

ConsoleFrontEnd::~ConsoleFrontEnd() {
  if (fw::CurrentFrontEnd() == this) fw::AttachFrontEnd(nullptr);
  EndProgressLine();
  if (wakeEvent_ != nullptr) kernel_.CloseEvent(wakeEvent_);
}

namespace {
bool g_stdoutIsTerminal = false;
}  // namespace

bool ConsoleFrontEnd::StdoutIsTerminal() { return g_stdoutIsTerminal || IsTerminal(stdout); }

void ConsoleFrontEnd::TreatStdoutAsTerminal() { g_stdoutIsTerminal = true; }

std::unique_ptr<fw::ControlPeer> ConsoleFrontEnd::CreatePeer(fw::TControl& control) {
  auto peer = std::make_unique<ConsolePeer>(*this, control);
  peers_.push_back(peer.get());
  return peer;
}

void ConsoleFrontEnd::Forget(ConsolePeer* peer) {
  peers_.erase(std::remove(peers_.begin(), peers_.end(), peer), peers_.end());
  // The window has gone: whatever is printed next (on either stream) starts a line of its own.
  if (peers_.empty()) EndProgressLine();
}

void ConsoleFrontEnd::MessageDialog(fw::TMsgDlgType type, const std::string& caption,
                                    const std::string& text) {
  DetailedMessageDialog(type, caption, text, "");
}

void ConsoleFrontEnd::DetailedMessageDialog(fw::TMsgDlgType type, const std::string& caption,
                                            const std::string& text, const std::string& detail) {
  // What the window would have painted by now comes first.
  ProcessEvents();
  dialogs_.push_back({type, caption, text, detail});
  PrintLine("[" + caption + "] " + text);
  if (!detail.empty()) PrintLine(detail);
}

void ConsoleFrontEnd::Note(const std::string& text) {
  ProcessEvents();
  PrintLine(text);
}

void ConsoleFrontEnd::ScreenSize(int& width, int& height) {
  width = 1024;
  height = 768;
}

void ConsoleFrontEnd::ProcessEvents() {
  std::vector<ConsolePeer*> peers = peers_;
  for (ConsolePeer* p : peers) p->Flush();
}

void ConsoleFrontEnd::WaitForEvents(DWORD timeoutMs) {
  kernel_.WaitForSingleObject(wakeEvent_, timeoutMs);
}

void ConsoleFrontEnd::Wake() { kernel_.SetEvent(wakeEvent_); }

void ConsoleFrontEnd::PrintLine(const std::string& cp1252) {
  EndProgressLine();
  out_ << fw::Cp1252ToUtf8(cp1252) << '\n';
  out_.flush();
}

void ConsoleFrontEnd::DrawProgressLine(const std::string& cp1252) {
  const std::string text = fw::Cp1252ToUtf8(cp1252);
  out_ << '\r' << text;
  // Blank out what is left of a longer previous line.
  if (text.size() < progressLineLength_) out_ << std::string(progressLineLength_ - text.size(), ' ');
  progressLineLength_ = std::max(text.size(), progressLineLength_);
  out_.flush();
}

void ConsoleFrontEnd::EndProgressLine() {
  if (progressLineLength_ == 0) return;
  out_ << '\n';
  out_.flush();
  progressLineLength_ = 0;
}

}  // namespace ui
