#include "ui/qt/qt_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <cerrno>
#include <vector>

namespace ui {

namespace {

// How long a display may take to answer.
constexpr int kProbeTimeoutMs = 5000;

[[noreturn]] void ProbeInChild(int argc, char** argv, int reply) {
  const int null = open("/dev/null", O_WRONLY);
  if (null >= 0) {
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
  }
  std::vector<char*> args(argv, argv + argc);
  args.push_back(nullptr);
  int count = argc;
  QGuiApplication application(count, args.data());
  const char ok = 1;
  const ssize_t written = write(reply, &ok, 1);
  _exit(written == 1 ? 0 : 1);
}

}  // namespace

bool QtDisplayUsable(int argc, char** argv) {
  if (QCoreApplication::instance() != nullptr) return true;
  int fds[2];
  if (pipe(fds) != 0) return true;  // cannot ask: let Qt try
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return true;
  }
  if (child == 0) {
    close(fds[0]);
    ProbeInChild(argc, argv, fds[1]);
  }
  close(fds[1]);
  pollfd reply{fds[0], POLLIN, 0};
  int ready = 0;
  do {
    ready = poll(&reply, 1, kProbeTimeoutMs);
  } while (ready < 0 && errno == EINTR);
  char ok = 0;
  const bool usable = ready > 0 && read(fds[0], &ok, 1) == 1 && ok == 1;
  close(fds[0]);
  if (!usable) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return usable;
}

}  // namespace ui
