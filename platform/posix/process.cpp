// Stop requests on POSIX: SIGINT and SIGTERM are blocked in every thread and taken by one
// watcher thread with sigwait, so the program decides what happens (close the port, say what
// was left undone) instead of the default action killing it mid-write.
#include "platform/process.h"

#include <signal.h>

#include <thread>

namespace plat {

std::string DeviceFolder() { return "/dev/"; }

void WatchStopRequests(std::function<void(StopRequest request)> onRequest) {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, onRequest = std::move(onRequest)] {
    for (;;) {
      int signal = 0;
      if (sigwait(&signals, &signal) != 0) continue;
      onRequest(signal == SIGINT ? StopRequest::Interrupt : StopRequest::Terminate);
    }
  }).detach();
}

void KeepRunningOnBrokenPipe() { signal(SIGPIPE, SIG_IGN); }

}  // namespace plat
