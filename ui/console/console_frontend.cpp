#include "ui/console/console_frontend.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "framework/controls.h"
#include "framework/sysutils.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
namespace {
bool IsTerminal(FILE* f) { return _isatty(_fileno(f)) != 0; }
int TerminalColumns(FILE* f) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  const HANDLE console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(f)));
  if (!GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}
}  // namespace
#else
#include <sys/ioctl.h>
#include <unistd.h>
namespace {
bool IsTerminal(FILE* f) { return isatty(fileno(f)) != 0; }
int TerminalColumns(FILE* f) {
  winsize size{};
  if (ioctl(fileno(f), TIOCGWINSZ, &size) != 0) return 0;
  return size.ws_col;
}
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

// The progress line as a terminal of columns shows it without wrapping (the cursor stays on
// the last column): whole, or the number alone, or cut. columns 0: no limit.
std::string FittedProgressText(int percent, int columns) {
  std::string text = ProgressText(percent);
  if (columns <= 0) return text;
  const size_t room = static_cast<size_t>(columns - 1);
  if (text.size() <= room) return text;
  text = std::to_string(percent) + " %";
  return text.substr(0, std::min(room, text.size()));
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
          if (control_.Caption().empty()) break;
          if (fe_.json_) {
            fe_.PrintEvent("window", {{"caption", ConsoleFrontEnd::Text(control_.Caption())}});
          } else {
            fe_.PrintLine(control_.Caption());
          }
        }
        break;
      case fw::TControlKind::Label: {
        const std::string& text = control_.Caption();
        if (text != lastText_) {
          lastText_ = text;
          if (text.empty()) break;
          if (fe_.json_) {
            fe_.PrintEvent("status", {{"text", ConsoleFrontEnd::Text(text)}});
          } else {
            fe_.PrintLine(text);
          }
        }
        break;
      }
      case fw::TControlKind::ProgressBar: {
        const int percent = static_cast<fw::TProgressBar&>(control_).Percent();
        if (percent == lastPercent_) break;
        if (fe_.terminal_ && !fe_.json_) {
          fe_.DrawProgressLine(percent);
        } else if (percent / 10 != lastPercent_ / 10) {
          if (fe_.json_) {
            fe_.PrintEvent("progress", {{"percent", std::to_string(percent)}});
          } else {
            fe_.PrintLine(ProgressText(percent));
          }
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
    : ConsoleFrontEnd(std::cout, StdoutIsTerminal(), platform) {
  columns_ = [] { return TerminalColumns(stdout); };
}

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, bool terminal, plat::Platform& platform,
                                 int columns)
    : out_(out), terminal_(terminal), columns_([columns] { return columns; }),
      kernel_(platform.kernel()) {
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

int ConsoleFrontEnd::StdoutColumns() { return TerminalColumns(stdout); }

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
  if (json_) {
    static const char* const kTypes[] = {"warning", "error", "information", "confirmation"};
    const auto index = static_cast<size_t>(type);
    const char* kind = index < std::size(kTypes) ? kTypes[index] : "information";
    PrintEvent("dialog", {{"type", fw::JsonText(kind)},
                          {"caption", Text(caption)},
                          {"text", Text(text)},
                          {"detail", Text(detail)}});
    return;
  }
  PrintLine("[" + caption + "] " + text);
  if (!detail.empty()) PrintLine(detail);
}

void ConsoleFrontEnd::Note(const std::string& text) {
  ProcessEvents();
  if (json_) {
    PrintEvent("note", {{"text", Text(text)}});
  } else {
    PrintLine(text);
  }
}

std::string ConsoleFrontEnd::Text(const std::string& cp1252) {
  return fw::JsonText(fw::Cp1252ToUtf8(cp1252));
}

void ConsoleFrontEnd::PrintEvent(const char* event,
                                 const std::vector<std::pair<const char*, std::string>>& members) {
  std::string line = "{\"event\":" + fw::JsonText(event);
  for (const auto& [name, value] : members) line += ",\"" + std::string(name) + "\":" + value;
  out_ << line << "}\n";
  out_.flush();
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

void ConsoleFrontEnd::DrawProgressLine(int percent) {
  const int columns = columns_();
  // ASCII only: its bytes are its columns.
  const std::string text = FittedProgressText(percent, columns);
  out_ << '\r' << text;
  // Blank out what is left of a longer previous line, as far as the terminal is wide now.
  size_t blank = progressLineLength_ > text.size() ? progressLineLength_ - text.size() : 0;
  if (columns > 0) blank = std::min(blank, static_cast<size_t>(columns - 1) - text.size());
  out_ << std::string(blank, ' ');
  progressLineLength_ = text.size() + blank;
  out_.flush();
}

void ConsoleFrontEnd::EndProgressLine() {
  if (progressLineLength_ == 0) return;
  out_ << '\n';
  out_.flush();
  progressLineLength_ = 0;
}

}  // namespace ui
