// Child processes on POSIX: posix_spawn with the child's output and error on pipes, every
// other descriptor closed in the child, a process group of its own (a terminal's Ctrl+C reaches
// only the parent, which passes it on), and the signals this program blocks or ignores back at
// their defaults. One reader thread a child polls both pipes and splits them into lines.
#include "platform/childprocess.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <system_error>
#include <thread>

extern char** environ;

namespace plat {

struct ChildProcess::State {
  std::mutex mutex;
  pid_t pid = 0;
  bool reaped = false;  // waited for: its id may belong to another process now
  ChildExit exit;
  std::thread reader;
};

namespace {

void CloseQuietly(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Hands over every complete line of buffer, keeping the rest.
void PassLines(std::string& buffer, ChildStream stream, const ChildProcess::LineHandler& onLine) {
  size_t start = 0;
  for (size_t end; (end = buffer.find('\n', start)) != std::string::npos; start = end + 1) {
    size_t length = end - start;
    if (length > 0 && buffer[end - 1] == '\r') --length;
    onLine(stream, buffer.substr(start, length));
  }
  buffer.erase(0, start);
}

// Reads both pipes to their end; closes them.
void ReadStreams(int output, int error, const ChildProcess::LineHandler& onLine,
                 const ChildProcess::ClosedHandler& onClosed) {
  int fds[2] = {output, error};
  std::string buffers[2];
  const ChildStream streams[2] = {ChildStream::Output, ChildStream::Error};
  char chunk[4096];
  while (fds[0] >= 0 || fds[1] >= 0) {
    pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
    if (poll(polled, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i] < 0 || polled[i].revents == 0) continue;
      const ssize_t got = read(fds[i], chunk, sizeof chunk);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) {
        if (!buffers[i].empty()) onLine(streams[i], buffers[i]);
        buffers[i].clear();
        CloseQuietly(fds[i]);
        continue;
      }
      buffers[i].append(chunk, static_cast<size_t>(got));
      PassLines(buffers[i], streams[i], onLine);
    }
  }
  CloseQuietly(fds[0]);
  CloseQuietly(fds[1]);
  if (onClosed) onClosed();
}

}  // namespace

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
  if (!Started()) return;
  Kill();
  Wait();
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         LineHandler onLine, ClosedHandler onClosed, std::string* error) {
  auto fail = [error](int code) {
    if (error != nullptr) *error = strerror(code);
    return false;
  };
  if (state_->pid != 0) return fail(EBUSY);
  int output[2];
  int errors[2];
  if (pipe2(output, O_CLOEXEC) != 0) return fail(errno);
  if (pipe2(errors, O_CLOEXEC) != 0) {
    const int code = errno;
    close(output[0]);
    close(output[1]);
    return fail(code);
  }
  auto closeAll = [&] {
    for (int* fd : {&output[0], &output[1], &errors[0], &errors[1]}) CloseQuietly(*fd);
  };

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
  // Whatever this process holds open without close-on-exec (a journal's file, a port) stays
  // out of the child.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                            POSIX_SPAWN_SETPGROUP);

  std::vector<std::string> texts;
  texts.reserve(arguments.size() + 1);
  texts.push_back(program);
  texts.insert(texts.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) {
    closeAll();
    return fail(spawned);
  }
  CloseQuietly(output[1]);
  CloseQuietly(errors[1]);
  {
    std::lock_guard lock(state_->mutex);
    state_->pid = pid;
  }
  try {
    state_->reader = std::thread(ReadStreams, output[0], errors[0], std::move(onLine),
                                 std::move(onClosed));
  } catch (const std::system_error& e) {
    // Nobody would read it: the child goes again.
    closeAll();
    Kill();
    Wait();
    if (error != nullptr) *error = e.what();
    std::lock_guard lock(state_->mutex);
    state_->pid = 0;
    state_->reaped = false;
    return false;
  }
  return true;
}

bool ChildProcess::Started() const {
  std::lock_guard lock(state_->mutex);
  return state_->pid != 0;
}

long ChildProcess::Id() const {
  std::lock_guard lock(state_->mutex);
  return state_->pid;
}

void ChildProcess::Interrupt() { Signal(SIGINT); }
void ChildProcess::Terminate() { Signal(SIGTERM); }
void ChildProcess::Kill() { Signal(SIGKILL); }

void ChildProcess::Signal(int signal) {
  std::lock_guard lock(state_->mutex);
  if (state_->pid != 0 && !state_->reaped) kill(state_->pid, signal);
}

ChildExit ChildProcess::Wait() {
  pid_t pid = 0;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->pid == 0 || state_->reaped) {
      // Not started, or waited for already (the reader was joined then).
      return state_->exit;
    }
    pid = state_->pid;
  }
  // Wait for its end without reaping it, so a signal sent meanwhile cannot reach a stranger
  // that got its id.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  int status = 0;
  {
    std::lock_guard lock(state_->mutex);
    if (state_->reaped) return state_->exit;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    state_->reaped = true;
    if (WIFSIGNALED(status)) {
      state_->exit = ChildExit{false, 0, WTERMSIG(status)};
    } else {
      state_->exit = ChildExit{true, WEXITSTATUS(status), 0};
    }
    auto ms = [](const timeval& t) {
      return static_cast<long long>(t.tv_sec) * 1000 + t.tv_usec / 1000;
    };
    state_->exit.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    state_->exit.peakMemoryKb = usage.ru_maxrss;  // KiB on Linux
  }
  // The output may outlive the child (a grandchild holding the pipe is not ours to wait for,
  // but none is started).
  if (state_->reader.joinable()) state_->reader.join();
  std::lock_guard lock(state_->mutex);
  return state_->exit;
}

}  // namespace plat
