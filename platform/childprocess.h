// A program started by this one, its standard output and standard error read line by line: the
// line's parent starts one child per board and follows what each one says.
//
// The class is the same on every target; each backend gives its own implementation of it
// (platform/posix/childprocess.cpp: posix_spawn with pipes; platform/win32/childprocess.cpp:
// CreateProcessW with pipes). Nothing of a child is inherited but its three standard streams:
// every other handle or descriptor of this process stays closed in the child.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat {

// Which of a child's streams a line came from.
enum class ChildStream { Output, Error };

// How a child ended.
struct ChildExit {
  // Ended by itself (returned from main, exit): status is its exit status (0-255 on POSIX, the
  // full exit code on Windows).
  bool exited = false;
  int status = 0;
  // Ended from outside (POSIX: killed by a signal; Windows: TerminateProcess from another
  // program, which the child cannot tell from an exit code, so there exited is true): the
  // signal's number. 0 when exited.
  int signal = 0;
  // What it used, for benchmarks: processor time (user and system) in milliseconds, and its
  // peak resident memory in KiB; -1 where the system does not tell.
  long long cpuMs = -1;
  long long peakMemoryKb = -1;
};

class ChildProcess {
 public:
  // Called on a reader thread of the child's own, never on the thread that started it: one
  // call per line, without its line break ("\n", and a "\r" before it), in the order the child
  // wrote them on that stream. A last line without a line break is passed on when the stream
  // ends. Lines of the two streams may interleave in any order. The callee must be quick and
  // must not call back into this ChildProcess.
  using LineHandler = std::function<void(ChildStream stream, const std::string& line)>;
  // Called once on a reader thread when both streams have ended (the child has closed them or
  // ended), after the last line. Wait() then returns soon.
  using ClosedHandler = std::function<void()>;

  ChildProcess();
  // When the child still runs: kills it (as Kill) and waits for it, so no child outlives its
  // object and none is left unreaped. Then joins the reader threads.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts program (a path as platform/hosttext.h has paths: UTF-8 on Windows, bytes on POSIX)
  // with arguments (without the program's own name; each passed on exactly, quoted for the
  // Windows command line as its runtime parses it). The child's standard input is the null
  // device, its output and error are pipes read by the reader threads; it inherits the
  // environment and the current folder. The child does not get a terminal's Ctrl+C by itself
  // (POSIX: a process group of its own; Windows: a process group of its own): Interrupt passes
  // it on, so the parent decides. False when the child could not be started (then error says
  // why, in the system's words, and no handler is ever called). Call at most once.
  bool Start(const std::string& program, const std::vector<std::string>& arguments,
             LineHandler onLine, ClosedHandler onClosed, std::string* error);

  // Whether Start succeeded.
  bool Started() const;
  // The child's process id while it is started (0 before).
  long Id() const;

  // Asks the child to stop as Ctrl+C would (POSIX: SIGINT; Windows: Ctrl+Break to its process
  // group); the child ends in order in its own time. Terminate: as a termination request
  // (SIGTERM; Windows: also Ctrl+Break). Nothing happens once it has been waited for. Any
  // thread.
  void Interrupt();
  void Terminate();
  // Ends the child at once (SIGKILL; TerminateProcess with exit code 137). Any thread.
  void Kill();

  // Waits until the child has ended and both streams are read to their end (every line handed
  // over, the closed handler called), and says how it ended. Returns the same answer when
  // called again. Call it from one thread (the one that started the child); before Start it
  // returns a default ChildExit at once.
  ChildExit Wait();

 private:
  struct State;
  // Sends a signal (POSIX) or its equivalent unless the child has been waited for.
  void Signal(int signal);
  std::unique_ptr<State> state_;
};

// The argument list a Windows program's runtime splits back into arguments exactly: each
// argument quoted where needed, backslashes before a quote doubled. Pure, for every target (the
// Windows backend builds its command line with it; tests check it anywhere).
std::string WindowsCommandLine(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace plat
