#include "platform/sim/machine.h"

#include "platform/ftdinames.h"

namespace sim {

namespace {

constexpr char kSerialComm[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum";
constexpr char kPortsClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr char kUsbClass[] = "{36FC9E60-C465-11CF-8056-444553540000}";
constexpr char kUsbInterfaceClass[] = "{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

std::string InstanceName(const std::string& serialNumber) {
  return plat::ftdi::ConverterDeviceId(serialNumber + "A");
}

}  // namespace

Machine::Machine(ClockMode mode)
    : scheduler_(mode), kernel_(scheduler_, objects_), serial_(scheduler_, kernel_, objects_, system_),
      system_(scheduler_, kernel_) {}

Machine::~Machine() {
  scheduler_.Shutdown();
  // The framework threads have finished; wait until they have left too.
  kernel_.Adopted().JoinAll();
  if (&plat::CurrentPlatform() == this) plat::SetCurrentPlatform(nullptr);
}

EventId Machine::Schedule(std::int64_t atNs, std::function<void()> fn) {
  return scheduler_.Schedule(atNs, std::move(fn));
}

EventId Machine::ScheduleAfter(std::int64_t delayNs, std::function<void()> fn) {
  return scheduler_.Schedule(scheduler_.NowNs() + delayNs, std::move(fn));
}

bool Machine::Cancel(EventId id) { return scheduler_.Cancel(id); }

void Machine::RunFor(std::int64_t delayNs) { RunUntil(scheduler_.NowNs() + delayNs); }

void Machine::RunUntil(std::int64_t atNs) {
  Scheduler::Lock lock(scheduler_.Mutex());
  scheduler_.Block(lock, nullptr, atNs, "RunFor");
}

SerialDevice& Machine::AddPort(const std::string& name, const PortOptions& options) {
  SerialDevice& device = serial_.AddDevice(name);
  device.Replug();
  std::string target;
  {
    std::lock_guard<std::mutex> lock(descriptionMutex_);
    target = "\\Device\\Serial" + std::to_string(nextSerialPort_++);
  }
  if (options.inDosList) system_.AddDosDevice(name, target);
  if (options.inPortMap) registry().SetString(kSerialComm, target, name);
  return device;
}

SerialDevice& Machine::AddConverter(const std::string& serialNumber, const std::string& portName,
                                    const ConverterOptions& options) {
  const std::string instance = InstanceName(serialNumber);
  Converter converter;
  {
    std::lock_guard<std::mutex> lock(descriptionMutex_);
    auto known = converters_.find(serialNumber);
    const int number = nextConverter_++;
    converter.portName = portName;
    converter.portTarget = known != converters_.end() ? known->second.portTarget
                                                      : "\\Device\\VCP" + std::to_string(number);
    converter.driverName = plat::ftdi::DeviceName(instance);
    converters_[serialNumber] = converter;
  }
  SerialDevice& device = serial_.AddDevice(portName);
  device.Replug();
  system_.AddDosDevice(portName, converter.portTarget);
  system_.AddDosDevice(converter.driverName, "\\Device\\USBPDO-" + serialNumber);
  registry().SetString(kSerialComm, converter.portTarget, portName);

  const std::string instanceKey = std::string(kEnum) + "\\" + plat::ftdi::InstanceKey(instance);
  registry().SetString(instanceKey, "ClassGUID", kPortsClass);
  registry().SetString(instanceKey, "FriendlyName", "USB Serial Port (" + portName + ")");
  if (options.parametersKey) {
    registry().CreateKey(instanceKey + "\\Device Parameters");
    if (options.portNameValue) {
      registry().SetString(instanceKey + "\\Device Parameters", "PortName", portName);
    }
  }
  const std::string usbKey = std::string(kEnum) + "\\USB\\VID_0403&PID_6001\\" + serialNumber;
  registry().SetString(usbKey, "ClassGUID", kUsbClass);
  registry().SetString(usbKey, "DeviceDesc", "USB Serial Converter");

  system_.BroadcastDeviceChange(DBT_DEVICEARRIVAL, portName,
                                "\\\\?\\USB#VID_0403&PID_6001#" + serialNumber + "#" +
                                    kUsbInterfaceClass);
  return device;
}

void Machine::SetConverterTiming(const std::string& serialNumber,
                                 const ConverterSettings& settings) {
  std::string portName;
  {
    std::lock_guard<std::mutex> lock(descriptionMutex_);
    auto it = converters_.find(serialNumber);
    if (it == converters_.end()) return;
    portName = it->second.portName;
  }
  const std::string parameters =
      std::string(kEnum) + "\\" + plat::ftdi::InstanceKey(InstanceName(serialNumber)) + "\\Device Parameters";
  if (registry().KeyExists(parameters)) {
    registry().SetDword(parameters, "LatencyTimer", static_cast<DWORD>(settings.latencyMs));
  }
  if (SerialDevice* device = serial_.FindDevice(portName)) {
    device->SetConverter(settings, [this, parameters] {
      return registry().Dword(parameters, "LatencyTimer");
    });
  }
}

void Machine::RemoveConverter(const std::string& serialNumber) {
  Converter converter;
  {
    std::lock_guard<std::mutex> lock(descriptionMutex_);
    auto it = converters_.find(serialNumber);
    if (it == converters_.end()) return;
    converter = it->second;
  }
  if (SerialDevice* device = serial_.FindDevice(converter.portName)) device->Unplug();
  system_.RemoveDosDevice(converter.portName);
  system_.RemoveDosDevice(converter.driverName);
  registry().DeleteValue(kSerialComm, converter.portTarget);
  system_.BroadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE, converter.portName,
                                "\\\\?\\USB#VID_0403&PID_6001#" + serialNumber + "#" +
                                    kUsbInterfaceClass);
}

SerialDevice* Machine::Device(const std::string& name) { return serial_.FindDevice(name); }

void Machine::SetBusy(const std::string& portName, bool busy) { serial_.SetBusy(portName, busy); }

void Machine::AddDosDevice(const std::string& name, const std::string& target) {
  system_.AddDosDevice(name, target);
}

}  // namespace sim
