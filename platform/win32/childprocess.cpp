// A child process on Windows: CreateProcessW with a command line its runtime splits back into
// exactly the arguments given (WindowsCommandLine), its standard output and error pipes read by
// two threads of its own, its standard input the null device.
//
// Only the child's three standard handles are inherited: the handles are made inheritable just
// for the start, the list of handles the child may inherit is named to the system, and starts
// take turns, so one child never holds another's pipe open (a pipe ends only when every copy of
// its write end is closed).
//
// Stopping: a window program has no console and one started without a window has one of its
// own, so a console's Ctrl+Break cannot reach either. The child is created suspended, two events
// named for its process id are made (stopevents.h), and then it runs; its stop watcher takes a
// signalled event as Ctrl+C (Interrupt) or a termination request (Terminate). The child still
// gets a process group of its own, so a Ctrl+C typed in a console it shares reaches only the
// parent, which decides.
#include "platform/childprocess.h"

#include <windows.h>

#include <psapi.h>

#include <atomic>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/hosttext.h"
#include "platform/win32/hosttext.h"
#include "platform/win32/stopevents.h"

namespace plat {

namespace {

// The exit code a killed child ends with, and the signal that stands for it (SIGKILL), as on
// POSIX.
constexpr UINT kKilledExitCode = 137;
constexpr int kKilledSignal = 9;

// The system's text for an error code, in UTF-8, without its line break.
std::string SystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring result = length > 0 ? std::wstring(text, length) : std::wstring();
  if (text != nullptr) ::LocalFree(text);
  while (!result.empty() &&
         (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ')) {
    result.pop_back();
  }
  if (result.empty()) return "error " + std::to_string(code);
  return Utf8Text(result);
}

void CloseIfOpen(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  handle = nullptr;
}

// Starts take turns: while one child is being created, only its own handles are inheritable.
std::mutex& StartMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

struct ChildProcess::State {
  LineHandler onLine;
  ClosedHandler onClosed;
  HANDLE process = nullptr;
  DWORD id = 0;
  HANDLE interruptEvent = nullptr;
  HANDLE terminateEvent = nullptr;
  std::thread readers[2];
  std::atomic<int> open{0};  // streams not yet at their end

  std::mutex waitMutex;  // one Wait at a time (it joins the readers)
  std::mutex mutex;      // guards what follows
  bool started = false;
  bool waited = false;
  bool killed = false;
  ChildExit exit;

  // Reads one stream to its end, line by line; the last stream to end calls onClosed.
  void Read(HANDLE pipe, ChildStream stream) {
    std::string pending;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      pending.append(buffer, got);
      size_t begin = 0;
      for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1) {
        size_t length = end - begin;
        if (length > 0 && pending[end - 1] == '\r') --length;
        onLine(stream, pending.substr(begin, length));
      }
      pending.erase(0, begin);
    }
    if (!pending.empty()) {
      if (pending.back() == '\r') pending.pop_back();
      onLine(stream, pending);
    }
    ::CloseHandle(pipe);
    if (--open == 0 && onClosed) onClosed();
  }
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
  bool running = false;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    running = state_->started && !state_->waited;
  }
  if (running) {
    Kill();
    Wait();
  }
  for (std::thread& reader : state_->readers) {
    if (reader.joinable()) reader.join();
  }
  CloseIfOpen(state_->process);
  CloseIfOpen(state_->interruptEvent);
  CloseIfOpen(state_->terminateEvent);
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                         LineHandler onLine, ClosedHandler onClosed, std::string* error) {
  State& s = *state_;
  auto fail = [error](DWORD code, std::initializer_list<HANDLE*> handles) {
    for (HANDLE* handle : handles) CloseIfOpen(*handle);
    if (error != nullptr) *error = SystemText(code);
    return false;
  };
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.started) {
      if (error != nullptr) *error = "already started";
      return false;
    }
  }
  const std::wstring application = FilePath(program).wstring();
  std::wstring line = WideText(WindowsCommandLine(program, arguments));
  line.push_back(L'\0');

  std::lock_guard<std::mutex> turn(StartMutex());
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
  HANDLE input = nullptr;
  if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return fail(::GetLastError(), {});
  if (!::CreatePipe(&errRead, &errWrite, &inherit, 0)) {
    return fail(::GetLastError(), {&outRead, &outWrite});
  }
  // The parent's ends stay here.
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  input = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                        OPEN_EXISTING, 0, nullptr);
  if (input == INVALID_HANDLE_VALUE) {
    return fail(::GetLastError(), {&outRead, &outWrite, &errRead, &errWrite});
  }

  // The only handles the child inherits.
  HANDLE inherited[3] = {input, outWrite, errWrite};
  SIZE_T listSize = 0;
  ::InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
  std::vector<char> listBuffer(listSize);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuffer.data());
  const bool listed =
      listSize > 0 && ::InitializeProcThreadAttributeList(list, 1, 0, &listSize) &&
      ::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                  sizeof inherited, nullptr, nullptr);

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = listed ? sizeof startup : sizeof startup.StartupInfo;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = outWrite;
  startup.StartupInfo.hStdError = errWrite;
  if (listed) startup.lpAttributeList = list;
  DWORD flags = CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW;
  if (listed) flags |= EXTENDED_STARTUPINFO_PRESENT;
  PROCESS_INFORMATION child{};
  const BOOL created = ::CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                                        flags, nullptr, nullptr, &startup.StartupInfo, &child);
  const DWORD createError = created ? 0 : ::GetLastError();
  if (listed) ::DeleteProcThreadAttributeList(list);
  // The child has its copies; without these closed here its pipes would never end.
  CloseIfOpen(outWrite);
  CloseIfOpen(errWrite);
  CloseIfOpen(input);
  if (!created) return fail(createError, {&outRead, &errRead});

  // Its stop events exist before it runs, so its stop watcher finds them.
  s.interruptEvent = ::CreateEventW(
      nullptr, FALSE, FALSE,
      win32::StopEventName(child.dwProcessId, win32::StopEventKind::Interrupt).c_str());
  s.terminateEvent = ::CreateEventW(
      nullptr, FALSE, FALSE,
      win32::StopEventName(child.dwProcessId, win32::StopEventKind::Terminate).c_str());
  s.process = child.hProcess;
  s.id = child.dwProcessId;
  s.onLine = std::move(onLine);
  s.onClosed = std::move(onClosed);
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.started = true;
  }
  s.open = 2;
  try {
    s.readers[0] = std::thread([&s, outRead] { s.Read(outRead, ChildStream::Output); });
  } catch (const std::system_error&) {
    ::CloseHandle(outRead);
    --s.open;
  }
  try {
    s.readers[1] = std::thread([&s, errRead] { s.Read(errRead, ChildStream::Error); });
  } catch (const std::system_error&) {
    ::CloseHandle(errRead);
    if (--s.open == 0 && s.onClosed) s.onClosed();
  }
  ::ResumeThread(child.hThread);
  ::CloseHandle(child.hThread);
  return true;
}

bool ChildProcess::Started() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->started;
}

long ChildProcess::Id() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->started ? static_cast<long>(state_->id) : 0;
}

void ChildProcess::Interrupt() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->started && !state_->waited && state_->interruptEvent != nullptr) {
    ::SetEvent(state_->interruptEvent);
  }
}

void ChildProcess::Terminate() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (state_->started && !state_->waited && state_->terminateEvent != nullptr) {
    ::SetEvent(state_->terminateEvent);
  }
}

void ChildProcess::Kill() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->started || state_->waited) return;
  if (::TerminateProcess(state_->process, kKilledExitCode)) state_->killed = true;
}

ChildExit ChildProcess::Wait() {
  State& s = *state_;
  std::lock_guard<std::mutex> turn(s.waitMutex);
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.started || s.waited) return s.exit;
  }
  ::WaitForSingleObject(s.process, INFINITE);
  for (std::thread& reader : s.readers) {
    if (reader.joinable() && reader.get_id() != std::this_thread::get_id()) reader.join();
  }
  DWORD code = 0;
  ::GetExitCodeProcess(s.process, &code);
  // What it used: user and system time (100 ns units), and its peak working set.
  long long cpuMs = -1;
  long long peakMemoryKb = -1;
  FILETIME created, ended, kernel, user;
  if (::GetProcessTimes(s.process, &created, &ended, &kernel, &user)) {
    auto units = [](const FILETIME& t) {
      return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    cpuMs = (units(kernel) + units(user)) / 10000;
  }
  // (Wine answers 0 for a process that has ended: taken as not told.)
  PROCESS_MEMORY_COUNTERS memory{};
  if (::GetProcessMemoryInfo(s.process, &memory, sizeof memory) && memory.PeakWorkingSetSize > 0) {
    peakMemoryKb = static_cast<long long>(memory.PeakWorkingSetSize / 1024);
  }
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.waited) {
    s.waited = true;
    if (s.killed && code == kKilledExitCode) {
      s.exit = ChildExit{false, 0, kKilledSignal, cpuMs, peakMemoryKb};
    } else {
      s.exit = ChildExit{true, static_cast<int>(code), 0, cpuMs, peakMemoryKb};
    }
  }
  return s.exit;
}

}  // namespace plat
