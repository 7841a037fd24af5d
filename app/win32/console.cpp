#include "app/console.h"

#include <windows.h>

#include <io.h>

#include <cstdio>
#include <cwchar>

#include "app/win32/companion_command.h"
#include "ui/console/console_frontend.h"

namespace app {

namespace {

// A stream the companion handed over as a file or a pipe (the caller redirected it) stays as it
// is; one that is the console, or nothing usable, is opened on the console anew: a console
// handle inherited by a window program is only good once the process has joined the console.
class StandardStream {
 public:
  StandardStream(DWORD which, FILE* stream)
      : which_(which), stream_(stream), handle_(::GetStdHandle(which)) {
    if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
      const DWORD type = ::GetFileType(handle_);
      redirected_ = type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
    }
  }

  // After joining the console, which may have replaced the standard handles.
  void Settle() const {
    if (redirected_) {
      ::SetStdHandle(which_, handle_);
      return;
    }
    if (std::freopen("CONOUT$", "w", stream_) == nullptr) return;
    ::SetStdHandle(which_, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream_))));
  }

 private:
  DWORD which_;
  FILE* stream_;
  HANDLE handle_;
  bool redirected_ = false;
};

}  // namespace

namespace {
ForwardedStreams g_forwarded;
}  // namespace

ForwardedStreams StreamsForwardedToConsole() { return g_forwarded; }

void UseCompanionConsole() {
  wchar_t value[16] = {};
  if (::GetEnvironmentVariableW(companion::kVariable, value, 16) == 0) return;
  const companion::Forwarded which = companion::ForwardedOf(value);
  const bool forwarded = which.output;
  // Meant for this process only, not for anything it starts.
  ::SetEnvironmentVariableW(companion::kVariable, nullptr);
  // Taken before joining: the streams as the companion handed them over.
  const StandardStream out(STD_OUTPUT_HANDLE, stdout);
  const StandardStream err(STD_ERROR_HANDLE, stderr);
  // The companion is the parent. A process already on a console (Wine gives window programs
  // its terminal) is refused with access denied and keeps that console.
  if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::GetLastError() != ERROR_ACCESS_DENIED) return;
  out.Settle();
  err.Settle();
  g_forwarded = {which.output, which.error};
  if (forwarded) {
    // The pipe stands for the companion's console: every write goes out at once (the companion
    // puts split sequences together again), and the output is drawn as for a terminal.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    ui::ConsoleFrontEnd::TreatStdoutAsTerminal();
  }
}

}  // namespace app
