// Stop requests on POSIX: SIGINT, SIGTERM, SIGHUP and SIGQUIT are blocked in every thread and
// taken by one watcher thread with sigwait, so the program decides what happens (close the port, say what
// was left undone) instead of the default action killing it mid-write.
#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <thread>

#include "platform/platform.h"

namespace plat {

namespace {

StopRequest RequestOf(int signal) {
  switch (signal) {
    case SIGINT:
      return StopRequest::Interrupt;
    case SIGHUP:
      return StopRequest::HangUp;
    case SIGQUIT:
      return StopRequest::Quit;
    default:
      return StopRequest::Terminate;
  }
}

}  // namespace

long ProcessId() { return static_cast<long>(getpid()); }

std::string DeviceFolder() { return "/dev/"; }

bool WatchStopRequests(std::function<void(StopRequest request)> onRequest) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGQUIT);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &signals, &previous);
  std::thread watcher;
  const BOOL created = NativePlatform().kernel().CreateThread(
      [signals, onRequest = std::move(onRequest)] {
        for (;;) {
          int signal = 0;
          if (sigwait(&signals, &signal) != 0) continue;
          onRequest(RequestOf(signal));
        }
      },
      &watcher);
  if (!created) {
    // Nobody would take the blocked signals: leave them as they were.
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return false;
  }
  watcher.detach();
  return true;
}

void KeepRunningOnBrokenPipe() { signal(SIGPIPE, SIG_IGN); }

}  // namespace plat
