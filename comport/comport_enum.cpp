// TCustomComPort: listing the system's devices and serial ports, the configuration dialogs,
// device arrival/removal notification and the driver's capability queries.
//
// The enumerations only append to the caller's list and never report a failure of the system
// lists they read (one exception: a "ClassGUID" that is not text). Notification hooks the
// application's main message window and decodes the raw device-change broadcasts.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "comport/comport.h"
#include "platform/portname.h"

namespace comport {

namespace {

// The MS-DOS device list is read into one buffer of this many characters.
constexpr DWORD kDosDeviceBufferSize = 0xFFFF;

constexpr const char* kSerialCommKey = "\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const char* kEnumKey = "\\SYSTEM\\CurrentControlSet\\Enum";
// The class identifier of the ports device class, in lower case.
constexpr const char* kPortsClassGuid = "{4d36e978-e325-11ce-bfc1-08002be10318}";

// Longest key name and value name the registry allows, plus the NUL.
constexpr DWORD kMaxKeyName = 256;
constexpr DWORD kMaxValueName = 16384;

// The device interface class the port registers for: USB devices.
constexpr GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// Byte offsets inside a device-change broadcast (32-bit layout).
constexpr std::size_t kBroadcastSizeOffset = 0;
constexpr std::size_t kBroadcastTypeOffset = 4;
constexpr std::size_t kPortNameOffset = 12;
constexpr std::size_t kInterfacePathOffset = 28;

// The length of a text that ends at its first NUL or after limit characters.
std::size_t BoundedLength(const char* text, std::size_t limit) {
  const void* nul = std::memchr(text, '\0', limit);
  return nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - text) : limit;
}

// An open registry key, closed when it goes out of scope (also when a read raises).
class RegKey {
 public:
  RegKey(plat::SystemApi& system, const std::string& path) : system_(system) {
    if (system_.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~RegKey() {
    if (key_ != nullptr) system_.RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;

  bool IsOpen() const { return key_ != nullptr; }

  // Subkey names in index order; an unreadable entry ends the list.
  std::vector<std::string> SubKeyNames() const {
    std::vector<std::string> names;
    std::vector<char> buffer(kMaxKeyName);
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(buffer.size());
      const LONG rc = system_.RegEnumKeyExA(key_, index, buffer.data(), &length);
      if (rc == ERROR_MORE_DATA) continue;  // a name longer than any the registry allows
      if (rc != ERROR_SUCCESS) break;
      names.emplace_back(buffer.data(), std::min<DWORD>(length, kMaxKeyName - 1));
    }
    return names;
  }

  // Value names in index order; an unreadable entry ends the list.
  std::vector<std::string> ValueNames() const {
    std::vector<std::string> names;
    std::vector<char> buffer(kMaxValueName);
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(buffer.size());
      const LONG rc = system_.RegEnumValueA(key_, index, buffer.data(), &length, nullptr,
                                            nullptr, nullptr);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc != ERROR_SUCCESS) break;
      names.emplace_back(buffer.data(), std::min<DWORD>(length, kMaxValueName - 1));
    }
    return names;
  }

  // The value's type; false when the value does not exist (or cannot be queried).
  bool ValueType(const std::string& name, DWORD& type) const {
    DWORD size = 0;
    return system_.RegQueryValueExA(key_, name.c_str(), &type, nullptr, &size) == ERROR_SUCCESS;
  }

  // The value's data as text, up to its first NUL; false when it cannot be read.
  bool ReadText(const std::string& name, std::string& text) const {
    DWORD size = 0;
    if (system_.RegQueryValueExA(key_, name.c_str(), nullptr, nullptr, &size) != ERROR_SUCCESS) {
      return false;
    }
    std::vector<BYTE> data;
    for (;;) {
      data.assign(static_cast<std::size_t>(size) + 1, 0);
      DWORD got = size;
      const LONG rc = system_.RegQueryValueExA(key_, name.c_str(), nullptr, data.data(), &got);
      if (rc == ERROR_MORE_DATA) {
        // The value grew between the two queries.
        size = got > size ? got : size * 2 + 1;
        continue;
      }
      if (rc != ERROR_SUCCESS) return false;
      size = std::min(got, size);
      break;
    }
    const char* chars = reinterpret_cast<const char*>(data.data());
    text.assign(chars, BoundedLength(chars, size));
    return true;
  }

 private:
  plat::SystemApi& system_;
  HKEY key_ = nullptr;
};

// Appends every non-empty name of the MS-DOS device list that passes the filter.
template <class Filter>
void WalkDosDevices(plat::SystemApi& system, fw::TStringList& list, Filter accept) {
  std::unique_ptr<char[]> buffer(new char[kDosDeviceBufferSize]);
  DWORD count = system.QueryDosDeviceA(nullptr, buffer.get(), kDosDeviceBufferSize);
  // Never walk past the buffer, whatever count the system reports.
  if (count > kDosDeviceBufferSize) count = kDosDeviceBufferSize;
  DWORD start = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (buffer[i] != '\0') continue;
    if (i > start) {
      std::string name(buffer.get() + start, i - start);
      if (accept(name)) list.Add(name);
    }
    start = i + 1;
  }
}

std::string ToLowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// ---- Capability bit tables ----

template <class E>
struct BitMember {
  DWORD bit;
  E member;
};

constexpr std::array<BitMember<TBaudRate>, 20> kBaudBits{{
    {BAUD_075, br75},       {BAUD_110, br110},       {BAUD_134_5, br134_5},
    {BAUD_150, br150},      {BAUD_300, br300},       {BAUD_600, br600},
    {BAUD_1200, br1200},    {BAUD_1800, br1800},     {BAUD_2400, br2400},
    {BAUD_4800, br4800},    {BAUD_7200, br7200},     {BAUD_9600, br9600},
    {BAUD_14400, br14400},  {BAUD_19200, br19200},   {BAUD_38400, br38400},
    {BAUD_56K, br56000},    {BAUD_128K, br128000},   {BAUD_115200, br115200},
    {BAUD_57600, br57600},  {BAUD_USER, brCustom},
}};

constexpr std::array<BitMember<TSettableParameter>, 7> kParameterBits{{
    {SP_PARITY, spParity},
    {SP_BAUD, spBaudRate},
    {SP_DATABITS, spDataBits},
    {SP_STOPBITS, spStopBits},
    {SP_HANDSHAKING, spHandShaking},
    {SP_PARITY_CHECK, spParityCheck},
    {SP_RLSD, spRLSD},
}};

constexpr std::array<BitMember<TStopBits>, 3> kStopBits{{
    {STOPBITS_10, sb1},
    {STOPBITS_15, sb1_5},
    {STOPBITS_20, sb2},
}};

constexpr std::array<BitMember<TParity>, 5> kParityBits{{
    {PARITY_NONE, paNone},
    {PARITY_ODD, paOdd},
    {PARITY_EVEN, paEven},
    {PARITY_MARK, paMark},
    {PARITY_SPACE, paSpace},
}};

constexpr std::array<BitMember<TDataBits>, 6> kDataBits{{
    {DATABITS_5, db5},
    {DATABITS_6, db6},
    {DATABITS_7, db7},
    {DATABITS_8, db8},
    {DATABITS_16, db16},
    {DATABITS_16X, db16x},
}};

constexpr std::array<BitMember<TCapability>, 10> kCapabilityBits{{
    {PCF_DTRDSR, caDtrDsr},
    {PCF_RTSCTS, caRtsCts},
    {PCF_RLSD, caRLSD},
    {PCF_PARITY_CHECK, caParityCheck},
    {PCF_XONXOFF, caXOnXOff},
    {PCF_SETXCHAR, caSettableXChar},
    {PCF_TOTALTIMEOUTS, caTotalTimeouts},
    {PCF_INTTIMEOUTS, caIntervalTimeouts},
    {PCF_SPECIALCHARS, caSpecialChars},
    {PCF_16BITMODE, ca16BitMode},
}};

// The members whose bits are set in value; bits not in the table are ignored.
template <class Set, class E, std::size_t N>
Set MapBits(DWORD value, const std::array<BitMember<E>, N>& table) {
  Set result;
  for (const BitMember<E>& entry : table) {
    if ((value & entry.bit) != 0) result.Include(entry.member);
  }
  return result;
}

DWORD ReadDword(const std::uint8_t* bytes, std::size_t offset) {
  DWORD value = 0;
  std::memcpy(&value, bytes + offset, sizeof value);
  return value;
}

}  // namespace

// ---- Enumeration ----

void TCustomComPort::EnumDevices(fw::TStringList& list) {
  WalkDosDevices(System(), list, [](const std::string&) { return true; });
}

void TCustomComPort::EnumComDevices(fw::TStringList& list) {
  WalkDosDevices(System(), list, [](const std::string& name) {
    return plat::PortNameOf(name).starts_with("COM");
  });
}

void TCustomComPort::EnumComDevicesFromRegistry(fw::TStringList& list) {
  RegKey key(System(), kSerialCommKey);
  if (!key.IsOpen()) return;
  for (const std::string& name : key.ValueNames()) {
    DWORD type = REG_NONE;
    if (!key.ValueType(name, type) || type != REG_SZ) continue;
    std::string text;
    if (key.ReadText(name, text)) list.Add(text);
  }
}

void TCustomComPort::EnumComFriendlyNames(fw::TStringList& list) {
  plat::SystemApi& system = System();
  const std::string root = kEnumKey;
  RegKey enumKey(system, root);
  if (!enumKey.IsOpen()) return;
  for (const std::string& enumerator : enumKey.SubKeyNames()) {
    const std::string enumeratorPath = root + "\\" + enumerator;
    RegKey enumeratorKey(system, enumeratorPath);
    if (!enumeratorKey.IsOpen()) continue;
    for (const std::string& device : enumeratorKey.SubKeyNames()) {
      const std::string devicePath = enumeratorPath + "\\" + device;
      RegKey deviceKey(system, devicePath);
      if (!deviceKey.IsOpen()) continue;
      for (const std::string& instance : deviceKey.SubKeyNames()) {
        RegKey instanceKey(system, devicePath + "\\" + instance);
        if (!instanceKey.IsOpen()) continue;
        // A missing class reads as empty; one that is there but not text fails the call.
        std::string classGuid;
        DWORD type = REG_NONE;
        if (instanceKey.ValueType("ClassGUID", type)) {
          if (type != REG_SZ && type != REG_EXPAND_SZ) {
            throw ERegistryException("Invalid data type for 'ClassGUID'");
          }
          instanceKey.ReadText("ClassGUID", classGuid);
        }
        if (ToLowerAscii(classGuid) != kPortsClassGuid) continue;
        std::string friendlyName;
        if (instanceKey.ValueType("FriendlyName", type) && type == REG_SZ &&
            instanceKey.ReadText("FriendlyName", friendlyName)) {
          list.Add(friendlyName);
        }
      }
    }
  }
}

std::string TCustomComPort::ShortDeviceName() const {
  return std::string(plat::PortNameOf(deviceName_));
}

// ---- Configuration dialogs ----

bool TCustomComPort::ConfigDialog() {
  const std::string name = ShortDeviceName();
  COMMCONFIG config{};
  config.dwSize = sizeof(COMMCONFIG);
  DWORD size = sizeof(COMMCONFIG);
  Check(Serial().GetDefaultCommConfigA(name.c_str(), &config, &size) != FALSE);
  CopyDCB(config.dcb, true);
  if (Serial().CommConfigDialogA(name.c_str(), nullptr, &config) == FALSE) return false;
  CopyDCB(config.dcb, false);
  SetComDCB();
  return true;
}

bool TCustomComPort::DefaultConfigDialog() {
  const std::string name = ShortDeviceName();
  COMMCONFIG config{};
  config.dwSize = sizeof(COMMCONFIG);
  DWORD size = sizeof(COMMCONFIG);
  Check(Serial().GetDefaultCommConfigA(name.c_str(), &config, &size) != FALSE);
  if (Serial().CommConfigDialogA(name.c_str(), nullptr, &config) == FALSE) return false;
  Check(Serial().SetDefaultCommConfigA(name.c_str(), &config, size) != FALSE);
  return true;
}

// ---- Device notification ----

void TCustomComPort::SetOnDeviceArrival(TDeviceArrivalEvent h) {
  if (h == onDeviceArrival_) return;
  onDeviceArrival_ = h;
  if (Designing()) return;
  if (onDeviceArrival_ || onDeviceRemoved_) {
    StartNotification();
  } else {
    StopNotification();
  }
}

void TCustomComPort::SetOnDeviceRemoved(TDeviceRemovedEvent h) {
  if (h == onDeviceRemoved_) return;
  onDeviceRemoved_ = h;
  if (Designing()) return;
  if (onDeviceArrival_ || onDeviceRemoved_) {
    StartNotification();
  } else {
    StopNotification();
  }
}

bool TCustomComPort::StartNotification() {
  if (notification_ != nullptr) return true;
  fw::TApplication* application = fw::Application;
  // Without an application there is no main message window to receive the broadcasts.
  if (application == nullptr) return false;
  const fw::TWindowHook hook = fw::Method<&TCustomComPort::WindowHook>(this);
  application->HookMainWindow(hook);
  DEV_BROADCAST_DEVICEINTERFACE_A filter;
  static_assert(sizeof filter == 32, "the notification filter is 32 bytes");
  std::memset(&filter, 0, sizeof filter);  // padding included: the record is passed as bytes
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_reserved = 0;
  filter.dbcc_classguid = kUsbDeviceInterface;
  filter.dbcc_name[0] = '\0';
  notification_ =
      System().RegisterDeviceNotificationA(application, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
  if (notification_ == nullptr) application->UnhookMainWindow(hook);
  return notification_ != nullptr;
}

bool TCustomComPort::StopNotification() {
  if (notification_ == nullptr) return true;
  const bool ok = System().UnregisterDeviceNotification(notification_) != FALSE;
  notification_ = nullptr;
  if (fw::Application != nullptr) {
    fw::Application->UnhookMainWindow(fw::Method<&TCustomComPort::WindowHook>(this));
  }
  return ok;
}

bool TCustomComPort::WindowHook(fw::TMessage& message) {
  if (message.Msg != WM_DEVICECHANGE) return false;
  const bool arrival = message.WParam == DBT_DEVICEARRIVAL;
  if (!arrival && message.WParam != DBT_DEVICEREMOVECOMPLETE) return false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.LParam);
  if (bytes == nullptr) return false;
  std::size_t nameOffset = 0;
  switch (ReadDword(bytes, kBroadcastTypeOffset)) {
    case DBT_DEVTYP_PORT:
      nameOffset = kPortNameOffset;
      break;
    case DBT_DEVTYP_DEVICEINTERFACE:
      nameOffset = kInterfacePathOffset;
      break;
    default:
      return false;
  }
  // The name ends at its NUL, and never past the size the broadcast declares for itself.
  const DWORD size = ReadDword(bytes, kBroadcastSizeOffset);
  if (size <= nameOffset) return false;
  const char* name = reinterpret_cast<const char*>(bytes + nameOffset);
  const std::string deviceName(name, BoundedLength(name, size - nameOffset));
  if (arrival) {
    if (onDeviceArrival_) onDeviceArrival_(this, deviceName);
  } else {
    if (onDeviceRemoved_) onDeviceRemoved_(this, deviceName);
  }
  return false;
}

// ---- Capabilities ----

void TCustomComPort::GetCommProp(COMMPROP& properties) const {
  CheckActive();
  std::memset(&properties, 0, sizeof properties);
  Check(Serial().GetCommProperties(handle_, &properties) != FALSE);
}

TBaudRate MaxBaudRateFromBits(DWORD maxBaud) {
  for (const BitMember<TBaudRate>& entry : kBaudBits) {
    if (maxBaud == entry.bit) return entry.member;
  }
  return brDefault;
}

TBaudRates BaudRatesFromBits(DWORD settableBaud) {
  return MapBits<TBaudRates>(settableBaud, kBaudBits);
}

TSettableParameters SettableParametersFromBits(DWORD settableParams) {
  return MapBits<TSettableParameters>(settableParams, kParameterBits);
}

TSettableStopBits StopBitsFromBits(WORD settableStopParity) {
  return MapBits<TSettableStopBits>(settableStopParity, kStopBits);
}

TSettableParity ParityFromBits(WORD settableStopParity) {
  return MapBits<TSettableParity>(settableStopParity, kParityBits);
}

TSettableDataBits DataBitsFromBits(WORD settableData) {
  return MapBits<TSettableDataBits>(settableData, kDataBits);
}

TCapabilities CapabilitiesFromBits(DWORD provCapabilities) {
  return MapBits<TCapabilities>(provCapabilities, kCapabilityBits);
}

TBaudRate TCustomComPort::GetMaxBaudRate() const {
  COMMPROP properties{};
  GetCommProp(properties);
  return MaxBaudRateFromBits(properties.dwMaxBaud);
}

TSettableParameters TCustomComPort::GetSettableParameters() const {
  COMMPROP properties{};
  GetCommProp(properties);
  return SettableParametersFromBits(properties.dwSettableParams);
}

TBaudRates TCustomComPort::GetSettableBaudRates() const {
  COMMPROP properties{};
  GetCommProp(properties);
  return BaudRatesFromBits(properties.dwSettableBaud);
}

TSettableStopBits TCustomComPort::GetSettableStopBits() const {
  COMMPROP properties{};
  GetCommProp(properties);
  return StopBitsFromBits(properties.wSettableStopParity);
}

TSettableParity TCustomComPort::GetSettableParity() const {
  COMMPROP properties{};
  GetCommProp(properties);
  return ParityFromBits(properties.wSettableStopParity);
}

TSettableDataBits TCustomComPort::GetSettableDataBits() const {
  COMMPROP properties{};
  GetCommProp(properties);
  return DataBitsFromBits(properties.wSettableData);
}

TCapabilities TCustomComPort::GetCapabilities() const {
  COMMPROP properties{};
  GetCommProp(properties);
  return CapabilitiesFromBits(properties.dwProvCapabilities);
}

}  // namespace comport
