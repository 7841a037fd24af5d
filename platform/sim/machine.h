// The simulated machine: a whole platform (kernel, serial devices, system) on a clock of its
// own, for tests (the virtual clock: deterministic, no real time spent) and for running the tool
// against a simulated board (--simulate; real time unless --fast).
//
// Usage:
//
//   sim::Machine machine;                          // virtual clock; this thread is the main one
//   plat::SetCurrentPlatform(&machine);            // components made from now on use it
//   sim::SerialDevice& port = machine.AddConverter("A5XK3RJT", "COM3");
//   sim::EchoFarEnd echo(port);                    // (echo_far_end.h) or any sim::FarEnd
//   port.SetDSR(true);
//
//   plat::SerialApi& serial = machine.serial();
//   HANDLE h = serial.CreateFileA("\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING,
//                                 FILE_FLAG_OVERLAPPED);
//   ... WriteFile / ReadFile / WaitCommEvent as on Windows; blocking waits move virtual time ...
//   machine.RunFor(5 * sim::kNsPerMs);             // let 5 ms of machine time pass
//   port.WireLog();                                // every byte and line change, with instants
//   machine.ScheduleAfter(2 * sim::kNsPerMs, [&] { port.SetDSR(false); });
//
//   plat::SetCurrentPlatform(nullptr);             // (the destructor also does this)
//
// Threads: on the virtual clock only one thread of the machine runs at a time. Framework
// threads (fw::TThread) register themselves through the kernel's thread notices; plain
// std::threads that call in are not part of the turn order and make a run non-deterministic.
// The machine must be destroyed on the thread that made it, after every framework thread
// that uses it has ended or can end (the destructor lets time run until they have).
//
// Far-end callbacks and Schedule'd functions run without the machine's lock, in scheduler
// context, and must not block in a simulated wait (no Sleep, no WaitForSingleObject).
//
// A state in which no thread can ever run again (all blocked without time-out, nothing
// scheduled) is reported on standard error with what each thread waits for, and the process
// aborts: a test that would hang fails at once instead.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/sim/kernel.h"
#include "platform/sim/scheduler.h"
#include "platform/sim/serial.h"
#include "platform/sim/serial_device.h"
#include "platform/sim/system.h"

namespace sim {

// Where a plain serial port appears besides being openable.
struct PortOptions {
  bool inPortMap = true;   // a value in HARDWARE\DEVICEMAP\SERIALCOMM
  bool inDosList = true;   // a name in QueryDosDeviceA's list
};

// What the converter's driver leaves in the registry (switch parts off for failure tests).
struct ConverterOptions {
  bool parametersKey = true;   // ...\0000\Device Parameters
  bool portNameValue = true;   // PortName in that key
};

class Machine : public plat::Platform {
 public:
  explicit Machine(ClockMode mode = ClockMode::Virtual);
  ~Machine() override;
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;

  plat::KernelApi& kernel() override { return kernel_; }
  plat::SerialApi& serial() override { return serial_; }
  plat::SystemApi& system() override { return system_; }
  Serial& SimSerial() { return serial_; }
  System& SimSystem() { return system_; }
  Registry& registry() { return system_.registry(); }
  ClockMode Mode() const { return scheduler_.Mode(); }

  // --- time ---
  std::int64_t NowNs() const { return scheduler_.NowNs(); }
  EventId Schedule(std::int64_t atNs, std::function<void()> fn);
  EventId ScheduleAfter(std::int64_t delayNs, std::function<void()> fn);
  bool Cancel(EventId id);
  // The calling thread waits while delayNs of machine time pass (events and the other threads
  // run meanwhile); RunUntil waits for an instant.
  void RunFor(std::int64_t delayNs);
  void RunUntil(std::int64_t atNs);

  // --- devices ---
  // A plain serial port (COM1, ...). Adding a name that exists returns its device, plugged in.
  SerialDevice& AddPort(const std::string& name, const PortOptions& options = {});
  // The USB-serial converter with serial number serialNumber (8 characters, as "A5XK3RJT") on
  // portName: the port with its port-map entry; in the MS-DOS list the port name and the
  // driver's name "FTDIBUS#VID_0403+PID_6001+<serialNumber>A#0000#{86e0d1e0-...}" (the driver
  // appends the letter A to the serial number); in the registry the instance key
  // System\CurrentControlSet\Enum\FTDIBUS\VID_0403+PID_6001+<serialNumber>A\0000 (ports class,
  // FriendlyName "USB Serial Port (COM3)") with its "Device Parameters" key holding PortName,
  // and the USB device's own Enum entry. Registered sinks get the arrival broadcasts.
  SerialDevice& AddConverter(const std::string& serialNumber, const std::string& portName,
                             const ConverterOptions& options = {});
  // Gives the converter timing (converter.h): from now on its device holds what the far end
  // sends until the chip's latency timer or a full packet lets it go, and its Device Parameters
  // key (where there is one) holds the latency as the DWORD LatencyTimer, which the driver
  // reads at every open. Without this, a converter is ideal and has no LatencyTimer value.
  void SetConverterTiming(const std::string& serialNumber, const ConverterSettings& settings);
  // Pulls the converter out: its device is unplugged, its MS-DOS names and port-map entry go
  // (the Enum tree stays, as Windows keeps it), and the removal broadcasts are sent.
  void RemoveConverter(const std::string& serialNumber);
  // The device of a port name, or null.
  SerialDevice* Device(const std::string& name);
  // Another program holds the port: opening it fails with ERROR_ACCESS_DENIED.
  void SetBusy(const std::string& portName, bool busy);

  // --- what is left over (a run that ended cleanly leaves nothing) ---
  // Open handles: devices and event objects.
  std::size_t OpenHandles() const { return objects_.Size(); }
  // Framework threads still running besides the machine's main thread.
  int OtherThreads() const { return scheduler_.OtherThreads(); }

  // --- the rest of the description (see System) ---
  void AddDosDevice(const std::string& name, const std::string& target);

 private:
  struct Converter {
    std::string portName;
    std::string driverName;
    std::string portTarget;
  };

  Scheduler scheduler_;
  ObjectTable objects_{0x10000};
  Kernel kernel_;
  Serial serial_;
  System system_;
  std::mutex descriptionMutex_;
  std::map<std::string, Converter> converters_;
  int nextSerialPort_ = 0;
  int nextConverter_ = 0;
};

}  // namespace sim
