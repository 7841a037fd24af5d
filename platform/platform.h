// The seam between this program and the operating system.
//
// The serial port component, the framework and the tool reach the serial device, the clock and
// the rest of the machine through the three interfaces below, spelled with the Win32 names and
// semantics they were written for (files they open with the standard library, and the process
// itself through platform/process.h):
//   KernelApi  - the clock and sleeps, event objects and waits, the per-thread last error,
//                and the thread start/end notices a simulated machine needs to keep time;
//   SerialApi  - a serial device: open, DCB, queues, time-outs, overlapped reads and writes,
//                device-event waits, line signals, properties, configuration records;
//   SystemApi  - the rest of the machine: the registry, MS-DOS device names, priorities,
//                sounds, the running program's file version, device-change registration.
// A Platform hands out one of each. Production selects the native one (Win32 pass-through or
// the POSIX emulation); the simulated machine in platform/sim is a Platform too.
//
// Every call sets the calling thread's last error the way Win32 does (Win32 numbers, see
// wintypes.h), so the component's error handling is the same on every target.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/adopted_threads.h"
#include "platform/openreport.h"
#include "platform/wintypes.h"

namespace plat {

// Receives device-change broadcasts (WM_DEVICECHANGE with the broadcast bytes) for the
// application's main message window. The framework's application object implements it; a
// platform posts to it from any thread.
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void PostDeviceChange(WPARAM wParam, std::vector<std::uint8_t> broadcast) = 0;
};

class KernelApi {
 public:
  virtual ~KernelApi() = default;

  // Monotonic time in microseconds since an arbitrary origin, and the plain sleep.
  virtual std::int64_t NowMicroseconds() = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
  // True for a virtual clock, where a sleep takes no real time.
  virtual bool IsVirtual() const { return false; }

  // Event objects (Win32 semantics: manual or auto reset, initial state).
  virtual HANDLE CreateEventA(BOOL manualReset, BOOL initialState) = 0;
  virtual BOOL SetEvent(HANDLE event) = 0;
  virtual BOOL ResetEvent(HANDLE event) = 0;
  // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (last error set).
  virtual DWORD WaitForSingleObject(HANDLE event, DWORD milliseconds) = 0;
  virtual BOOL CloseEvent(HANDLE event) = 0;

  // The calling thread's last error. One thread-local value per thread, shared by all platforms
  // of the process (on Windows it is the system's own).
  virtual DWORD GetLastError();
  virtual void SetLastError(DWORD code);
  // The platform's text for an error code (FormatMessage on Windows; English texts elsewhere).
  virtual std::string SysErrorMessage(DWORD code) = 0;

  // The life of a framework thread, for a virtual clock that counts running threads so that it
  // moves time forward only when every thread it knows is blocked, and that runs one thread at
  // a time in a fixed order. Elsewhere these do nothing.
  //   ThreadStarting: on the creating thread, just before the new thread is spawned;
  //   ThreadEntered:  first thing on the new thread (a virtual clock makes it wait its turn);
  //   ThreadFinished: last thing on the thread.
  virtual void ThreadStarting() {}
  virtual void ThreadEntered() {}
  virtual void ThreadFinished() {}
  // The thread announced by ThreadStarting could not be created after all (CreateThread
  // failed): a virtual clock stops waiting for it.
  virtual void ThreadNotStarted() {}
  // Just before the calling thread joins the framework thread with this id: a join is a wait
  // the kernel cannot see, so a virtual clock lets that thread run to its end first (the join
  // then returns at once). Elsewhere this does nothing.
  virtual void ThreadJoining(std::thread::id /*thread*/) {}
  // The platform's thread creation: starts body on a new thread and hands the thread over in
  // *thread. Every thread of the program and of the platform's backends starts here. Fails
  // (FALSE, last error ERROR_NOT_ENOUGH_MEMORY, *thread untouched, body not run) when the
  // system has no thread to give: a limit on processes or on memory was reached.
  virtual BOOL CreateThread(std::function<void()> body, std::thread* thread);
  // The identity of the calling thread (GetCurrentThreadId).
  virtual DWORD GetCurrentThreadId();

  // Threads nobody joins (free-on-terminate ones) are handed to the kernel they run on, which
  // joins them; whoever destroys a platform calls Adopted().JoinAll() first. A kernel that
  // passes calls on to another one passes this on too, so the threads end up where the platform
  // that goes last waits for them.
  virtual AdoptedThreads& Adopted() = 0;
};

// What SerialApi::RequestLowLatency found and did to a converter's latency timer.
struct LatencyStep {
  enum class Outcome {
    kAbsent,       // the system keeps no value for the driver to take (or no key): nothing done
    kLow,          // 1 ms or less already
    kLowered,      // it was above 1 ms and is 1 ms now
    kNotWritable,  // above 1 ms, and the value may not be changed (error says why)
  };
  Outcome outcome = Outcome::kAbsent;
  DWORD found = 0;  // the value read, unless kAbsent
  LONG error = 0;   // the failed registry call's result (kNotWritable)
};

class SerialApi {
 public:
  virtual ~SerialApi() = default;

  // Opens a device. Names of the form "\\.\NAME" and plain "NAME" are both accepted, as by Win32.
  virtual HANDLE CreateFileA(const char* name, DWORD access, DWORD shareMode, DWORD creation,
                             DWORD flagsAndAttributes) = 0;
  virtual BOOL CloseHandle(HANDLE device) = 0;

  virtual BOOL GetCommState(HANDLE device, DCB* dcb) = 0;
  virtual BOOL SetCommState(HANDLE device, const DCB* dcb) = 0;
  virtual BOOL SetupComm(HANDLE device, DWORD inQueue, DWORD outQueue) = 0;
  virtual BOOL GetCommTimeouts(HANDLE device, COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetCommTimeouts(HANDLE device, const COMMTIMEOUTS* timeouts) = 0;
  virtual BOOL SetCommMask(HANDLE device, DWORD mask) = 0;
  virtual BOOL WaitCommEvent(HANDLE device, DWORD* mask, OVERLAPPED* overlapped) = 0;

  // Overlapped transfers: complete at once (TRUE) or fail with ERROR_IO_PENDING and signal
  // overlapped->hEvent when done. GetOverlappedResult with wait TRUE blocks until done.
  virtual BOOL ReadFile(HANDLE device, void* buffer, DWORD length, DWORD* transferred,
                        OVERLAPPED* overlapped) = 0;
  virtual BOOL WriteFile(HANDLE device, const void* buffer, DWORD length, DWORD* transferred,
                         OVERLAPPED* overlapped) = 0;
  virtual BOOL GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped, DWORD* transferred,
                                   BOOL wait) = 0;

  virtual BOOL ClearCommError(HANDLE device, DWORD* errors, COMSTAT* stat) = 0;
  virtual BOOL PurgeComm(HANDLE device, DWORD flags) = 0;
  virtual BOOL FlushFileBuffers(HANDLE device) = 0;
  virtual BOOL EscapeCommFunction(HANDLE device, DWORD function) = 0;
  virtual BOOL SetCommBreak(HANDLE device) = 0;
  virtual BOOL ClearCommBreak(HANDLE device) = 0;
  virtual BOOL TransmitCommChar(HANDLE device, char c) = 0;
  virtual BOOL GetCommModemStatus(HANDLE device, DWORD* status) = 0;
  virtual BOOL GetCommProperties(HANDLE device, COMMPROP* properties) = 0;

  // Configuration records of a named device ("COM3") and the system's dialog for them. Where
  // the platform has no such dialog, CommConfigDialogA fails with ERROR_CANCELLED.
  virtual BOOL GetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD* size) = 0;
  virtual BOOL CommConfigDialogA(const char* name, HWND parent, COMMCONFIG* config) = 0;
  virtual BOOL SetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD size) = 0;

  // Beyond the Win32 contract (openreport.h); both describe the calling thread's last call.
  // Why its last CreateFileA that failed did so; cause Unknown and code 0 after a successful
  // open, and from backends that cannot tell more than the error code.
  virtual OpenFailure LastOpenFailure() { return {}; }
  // What its last CreateFileA or CloseHandle of a device did to the device besides opening or
  // closing it, one line each for the port's log (English, like the component's own lines).
  virtual std::vector<std::string> LastDeviceNotes() { return {}; }
  // Also beyond it, a USB-serial converter's latency timer: how long a byte from the far end may
  // wait in the converter. Windows (and the simulated machine) lower the value its driver takes
  // at every open, ahead of the open (win32rules/latency.h), and leave it lowered; Linux asks the
  // driver on the port at CreateFileA and puts the setting back at CloseHandle (posix/latency.h).
  // The request ahead of the open of the converter with this Device Parameters key:
  virtual LatencyStep RequestLowLatency(const std::string& /*converterKey*/) { return {}; }
  // The read-back: the timer behind an open port, in ms, as its driver programmed it at the
  // open. 0 when the backend cannot tell (or there is none).
  virtual DWORD ConverterLatency(HANDLE /*device*/) { return 0; }
  // What a list of the attached converters shows without opening a port (an open raises a tty's
  // modem lines): the programs that have the named device ("\\.\COM3") open, where the system
  // shows them (empty: nobody, or the backend cannot tell); and the latency timer in ms of the
  // converter behind it (0 when the backend cannot tell, or there is none).
  virtual std::vector<OpenFailure::Holder> PortHolders(const char* /*name*/) { return {}; }
  virtual DWORD IdleConverterLatency(const char* /*name*/) { return 0; }
};

class SystemApi {
 public:
  virtual ~SystemApi() = default;

  // Registry under HKEY_LOCAL_MACHINE (paths compare case-insensitively; a leading backslash is
  // allowed). Results are Win32 error codes (ERROR_SUCCESS on success).
  virtual LONG RegOpenKeyExA(HKEY root, const char* path, HKEY* key) = 0;
  virtual LONG RegCloseKey(HKEY key) = 0;
  // type may be null; data may be null to ask for the size. A value that does not fit gives
  // ERROR_MORE_DATA with *size set to the size needed.
  virtual LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data,
                                DWORD* size) = 0;
  virtual LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                             BYTE* data, DWORD* dataLength) = 0;
  virtual LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) = 0;
  // Registry writes: RegOpenKeyExA with KEY_READ | KEY_SET_VALUE, which fails with
  // ERROR_ACCESS_DENIED where the program may not change the key (below HKEY_LOCAL_MACHINE
  // Windows allows it to administrators only; the POSIX registry is never writable). Values are
  // set only through a key opened this way (ERROR_ACCESS_DENIED through any other).
  virtual LONG RegOpenKeyForWriteA(HKEY root, const char* path, HKEY* key) = 0;
  virtual LONG RegSetValueExA(HKEY key, const char* name, DWORD type, const BYTE* data,
                              DWORD size) = 0;

  // All MS-DOS device names (name null): NUL-separated, a final NUL; the count stored, 0 on
  // failure (also when the list does not fit). With a name: its target(s).
  virtual DWORD QueryDosDeviceA(const char* name, char* buffer, DWORD size) = 0;

  virtual DWORD GetPriorityClass() = 0;
  virtual BOOL SetPriorityClass(DWORD priorityClass) = 0;
  // thread: the native handle of a framework thread (std::thread::native_handle on POSIX).
  virtual BOOL SetThreadPriority(std::uintptr_t thread, int priority) = 0;

  virtual BOOL MessageBeep(UINT type) = 0;
  virtual BOOL Beep(DWORD frequency, DWORD duration) = 0;

  // File version resource of a program file, named by the text of its path
  // (platform/hosttext.h). On POSIX the running program's version is the
  // project version compiled into it; other paths have none.
  virtual DWORD GetFileVersionInfoSizeA(const char* path) = 0;
  virtual BOOL GetFileVersionInfoA(const char* path, DWORD size, void* block) = 0;
  virtual BOOL VerQueryValueA(const void* block, const char* subBlock, void** value,
                              UINT* length) = 0;
  // The full path of the running program as the text of its path (platform/hosttext.h).
  virtual std::string ProgramPath() = 0;
  // (Names that <windows.h> defines as macros carry their A suffix or another name here.)
  // The process's current directory as the text of its path (platform/hosttext.h), false when
  // it cannot be obtained.
  virtual bool CurrentDirectory(std::string& directory) = 0;

  // Device-change registration: the sink receives WM_DEVICECHANGE broadcasts while registered.
  // filter is a DEV_BROADCAST_DEVICEINTERFACE_A record. Returns null on failure.
  virtual HANDLE RegisterDeviceNotificationA(MessageSink* sink, const void* filter,
                                            DWORD flags) = 0;
  virtual BOOL UnregisterDeviceNotification(HANDLE registration) = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;
  virtual KernelApi& kernel() = 0;
  virtual SerialApi& serial() = 0;
  virtual SystemApi& system() = 0;
};

// The process's platform: the native one unless a simulated machine (or a test) installed
// another. Components take it at construction.
Platform& CurrentPlatform();
// Installs p as the process's platform (null restores the native one); returns the previous.
Platform* SetCurrentPlatform(Platform* p);
// The native platform of this build (POSIX or Win32).
Platform& NativePlatform();

// The fixed file version record read through VerQueryValueA(block, "\\").
struct FixedFileInfo {
  DWORD dwSignature;
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};

}  // namespace plat
