// Running tools/boardsim (the board on a real pty) and a host process with the modem-line shim
// preloaded, for end-to-end tests on Linux.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/ptymodem/preload.h"

extern char** environ;

namespace testsupport {

// Waits at most timeoutMs for a child; kills it when it does not end. Its wait status, or -1.
inline int WaitForChild(pid_t pid, int timeoutMs) {
  const int pidFd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  pollfd ended{pidFd, POLLIN, 0};
  if (pidFd < 0 || poll(&ended, 1, timeoutMs) <= 0) kill(pid, SIGKILL);
  int status = -1;
  waitpid(pid, &status, 0);
  if (pidFd >= 0) close(pidFd);
  return status;
}

// A new file from a mkstemp pattern with the given content; "" when it cannot be made.
inline std::string TempFile(const char* pattern, const std::string& content = "") {
  std::string name = pattern;
  const int fd = mkstemp(name.data());
  if (fd < 0) return "";
  if (!content.empty() && write(fd, content.data(), content.size()) < 0) name.clear();
  close(fd);
  return name;
}

inline std::string ReadFile(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// boardsim running as a child, its standard output going to a file.
struct BoardSimProcess {
  pid_t pid = -1;
  std::string slave;   // "/dev/pts/N"
  std::string output;  // the file holding its standard output

  // Starts program with arguments; waits at most five seconds for the slave's path.
  bool Start(const std::string& program, const std::vector<std::string>& arguments) {
    output = TempFile("/tmp/lcdwrite-boardsim-out-XXXXXX");
    if (output.empty()) return false;
    pid = fork();
    if (pid == 0) {
      const int fd = open(output.c_str(), O_WRONLY | O_TRUNC);
      dup2(fd, STDOUT_FILENO);
      std::vector<std::string> args{program};
      args.insert(args.end(), arguments.begin(), arguments.end());
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    for (int i = 0; i < 500 && pid > 0; ++i) {
      const std::string text = ReadFile(output);
      const auto end = text.find('\n');
      if (end != std::string::npos) {
        slave = text.substr(0, end);
        return true;
      }
      usleep(10000);
    }
    return false;
  }
  // Ends it (SIGTERM, then at most five seconds); its wait status. Its output stays readable.
  int Stop() {
    if (pid <= 0) return -1;
    kill(pid, SIGTERM);
    const int status = WaitForChild(pid, 5000);
    pid = -1;
    return status;
  }
  ~BoardSimProcess() {
    Stop();
    if (!output.empty()) unlink(output.c_str());
  }
};

// This program again, with shim preloaded and extra variables set, running only the tests
// that filter selects (and the further arguments). Returns its wait status (-1 when it had to
// be killed after timeoutMs).
inline int RunSelfPreloaded(const std::string& shim, const std::vector<std::string>& extra,
                            const std::string& filter, int timeoutMs,
                            std::vector<std::string> arguments = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!ptymodem::SetByPreload(entry) && entry.rfind("ASAN_OPTIONS=", 0) != 0) {
      env.push_back(entry);
    }
  }
  const char* asan = getenv("ASAN_OPTIONS");
  for (std::string& entry : ptymodem::PreloadEnvironment(shim, getenv("LD_LIBRARY_PATH"))) env.push_back(entry);
  // The shim comes before the sanitizer's runtime, which would refuse to start otherwise.
  env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                "verify_asan_link_order=0");
  env.insert(env.end(), extra.begin(), extra.end());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  arguments.insert(arguments.begin(), {"/proc/self/exe", "--gtest_filter=" + filter});
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return WaitForChild(child, timeoutMs);
}

}  // namespace testsupport
