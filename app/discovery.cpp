// Finding the board's port: the system's COM ports fill the list, the converter is found among
// the system's device names by its fixed prefix (the two read as one view, app/converters.h),
// its COM port name is read from the registry key of that converter instance, and a trial open
// checks the port before ComPort opens it.
#include <cstring>

#include <algorithm>

#include "app/converters.h"
#include "app/mainform.h"
#include "app/openfailure.h"
#include "app/texts.h"
#include "framework/frontend.h"
#include "framework/stringlist.h"
#include "framework/sysutils.h"
#include "platform/ftdinames.h"
#include "platform/portname.h"

namespace app {

namespace {

constexpr std::string_view kFtdiDevicePrefix = plat::ftdi::kConverterNamePrefix;
constexpr size_t kPrefixLength = kFtdiDevicePrefix.size();  // 26
constexpr size_t kInstanceIdMax = 9;

// A bounded copy of a text into a work buffer of N bytes (the terminator included).
template <size_t N>
std::string Bounded(const std::string& text) {
  return text.substr(0, N - 1);
}

}  // namespace

bool TMainForm::SearchDevicePort() {
  bool found = false;
  EnableControls(false);
  ComPort->SetActive(false);

  // The port list and the device names from one moment: a converter plugged in between two
  // scans would be named without its port in the list.
  fw::TStringList ports;
  fw::TStringList devices;
  ReadSearchView(*ComPort, ports, devices);
  if (ports.Count() == 0) {
    ReportError(texts::kNoComPort);
    return false;
  }
  ComboBox->ClearItems();
  for (const std::string& port : ports.Items()) ComboBox->AddItem(port);

  if (devices.Count() > 0) {
    // Among several converters the first one decides, unless one was named (--converter).
    const std::vector<AttachedConverter> converters = AttachedConverters(devices, System());
    std::string pinned;  // the named converter's instance id
    if (!settings_.converter.empty()) {
      const auto named = std::find_if(
          converters.begin(), converters.end(),
          [this](const AttachedConverter& c) { return ConverterNamed(c, settings_.converter); });
      if (named == converters.end()) {
        ReportError(fw::Format(texts::kConverterNotAttached,
                               fw::VisibleUtf8ToCp1252(settings_.converter)),
                    fw::Format(texts::kConvertersAttached, ConverterNames(converters)));
        EnableSearchControls();
        return false;
      }
      pinned = named->instanceId;
    } else if (converters.size() > 1) {
      NoteOtherConverters(converters);
    }
    std::string instanceId;     // the key's id as it always was: at most 9 characters
    std::string wholeInstanceId;  // the id up to the '#' that ends it
    bool matched = false;
    for (const std::string& device : devices.Items()) {
      const std::string name = Bounded<200>(device);
      if (name.compare(0, kPrefixLength, kFtdiDevicePrefix) == 0 &&
          name.size() >= kPrefixLength &&
          (pinned.empty() || name.compare(kPrefixLength, pinned.size() + 1, pinned + "#") == 0)) {
        instanceId = name.substr(kPrefixLength, kInstanceIdMax);
        const size_t end = name.find('#', kPrefixLength);
        wholeInstanceId = name.substr(kPrefixLength, end == std::string::npos ? std::string::npos
                                                                               : end - kPrefixLength);
        converterInstance_ = wholeInstanceId;
        matched = true;
        break;
      }
    }
    if (!matched) {
      ReportError(texts::kNoConverter);
      EnableSearchControls();
      return false;
    }

    // The 9-character key fits a converter with an 8-character serial (the driver appends the
    // interface letter). Any other converter (a longer or shorter serial, or none, where the
    // driver names it by its USB location) has its key under the whole instance id.
    plat::SystemApi& system = System();
    std::string keyPath = plat::ftdi::ConverterParametersKey(instanceId);
    HKEY key = nullptr;
    LONG opened = system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), &key);
    if (opened != ERROR_SUCCESS && wholeInstanceId != instanceId) {
      keyPath = plat::ftdi::ConverterParametersKey(wholeInstanceId);
      opened = system.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), &key);
    }
    if (opened != ERROR_SUCCESS) {
      ReportError(texts::kNoRegKey);
      EnableSearchControls();
      return false;
    }
    BYTE value[200] = {};
    DWORD size = sizeof value;
    if (system.RegQueryValueExA(key, "PortName", nullptr, value, &size) != ERROR_SUCCESS) {
      system.RegCloseKey(key);
      ReportError(texts::kNoRegValue);
      EnableSearchControls();
      return false;
    }
    system.RegCloseKey(key);
    // The text is the bytes returned up to their terminator; a value that fills the whole
    // buffer without one is cut at its last byte.
    const size_t limit = size < sizeof value ? size : sizeof value - 1;
    const std::string portName(reinterpret_cast<const char*>(value),
                               strnlen(reinterpret_cast<const char*>(value), limit));
    // Before the trial open and the open: the driver reads the latency when the port opens.
    ReportConverterLatency(keyPath, portName);

    for (int i = 0; i < ComboBox->Items().Count(); ++i) {
      if (ComboBox->Items()[i] != portName) continue;  // exact, case-sensitive
      ComboBox->SetItemIndex(i);
      if (TakePort(ComboBox->Text())) {
        found = true;
        System().Beep(2800, 150);
      }
      break;
    }
  }
  if (found) {
    EnableSearchControls();
    return true;
  }
  ReportError(texts::kSearchFailed);
  EnableSearchControls();
  return false;
}

void TMainForm::NoteOtherConverters(const std::vector<AttachedConverter>& converters) {
  const AttachedConverter& taken = converters.front();
  const std::vector<AttachedConverter> others(converters.begin() + 1, converters.end());
  const std::string takenText =
      taken.port.empty() ? taken.Name() : taken.Name() + " (" + taken.port + ")";
  const std::string text = fw::Format(texts::kSeveralConverters, fw::VisibleCp1252(takenText),
                                      fw::VisibleCp1252(ConverterNames(others)));
  if (ComPort->Log()) ComPort->WriteLog(text);
  fw::Note(text);
}

bool TMainForm::TakePort(const std::string& portName) {
  ComPort->SetActive(false);
  const std::string name = Bounded<sizeof ConfigRecord.portName>(portName);
  std::memset(ConfigRecord.portName, 0, sizeof ConfigRecord.portName);
  std::memcpy(ConfigRecord.portName, name.data(), name.size());
  const std::string device = plat::DevicePathOf(name);
  ComPort->SetDeviceName(device);
  plat::SerialApi& serial = ComPort->PlatformRef().serial();
  HANDLE h = serial.CreateFileA(device.c_str(), GENERIC_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (h == INVALID_HANDLE_VALUE) {
    const std::string detail = ExplainFailedOpen(device, ComPort->PlatformRef().kernel().GetLastError());
    ReportError(fw::Format(texts::kTrialOpenFailed, name), detail);
    EnableControls(false);
    EnableSearchControls();
    return false;
  }
  serial.CloseHandle(h);
  ComboBox->SetText(name);
  EnableControls(true);
  ComPort->SetActive(true);
  return true;
}

std::string TMainForm::ExplainFailedOpen(const std::string& device, DWORD code) {
  const std::string detail =
      ExplainOpenFailure(code, ComPort->PlatformRef().serial().LastOpenFailure());
  if (ComPort->Log()) {
    ComPort->WriteLog("Open " + device + " failed: " + ComPort->PlatformRef().kernel().SysErrorMessage(code));
    std::size_t start = 0;
    while (start < detail.size()) {
      const std::size_t end = detail.find('\n', start);
      ComPort->WriteLog(detail.substr(start, end == std::string::npos ? std::string::npos : end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }
  return detail;
}

void TMainForm::ComboBoxChange(fw::TObject*) {
  TakePort(ComboBox->Text());
}

bool TMainForm::UseNamedPort() {
  // As after a search that found this port: list, selection, record, trial open, open.
  EnableControls(false);
  fw::TStringList ports;
  ComPort->EnumComDevicesFromRegistry(ports);
  ComboBox->ClearItems();
  for (const std::string& port : ports.Items()) ComboBox->AddItem(port);
  if (ComboBox->Items().IndexOf(settings_.port) < 0) ComboBox->AddItem(settings_.port);
  ComboBox->SetItemIndex(ComboBox->Items().IndexOf(settings_.port));
  if (!TakePort(settings_.port)) return false;
  EnableSearchControls();
  return true;
}

}  // namespace app
