// A small scripted platform for the port's line, enumeration, notification, capability and
// indicator tests: every call is recorded, results and failures are set by the test, the clock
// moves only when the test says so. It has no device-event wait, so a port opened on it must not
// have device-event handlers (the event thread would have nothing to wait on); the simulated
// machine covers those cases.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fakeplat {

class Kernel : public plat::KernelApi {
 public:
  std::int64_t NowMicroseconds() override { return nowUs; }
  void Sleep(DWORD milliseconds) override { nowUs += std::int64_t{milliseconds} * 1000; }
  bool IsVirtual() const override { return true; }
  HANDLE CreateEventA(BOOL, BOOL) override {
    ++liveEvents;
    return reinterpret_cast<HANDLE>(nextEvent++);
  }
  BOOL SetEvent(HANDLE) override { return TRUE; }
  BOOL ResetEvent(HANDLE) override { return TRUE; }
  DWORD WaitForSingleObject(HANDLE, DWORD) override { return WAIT_OBJECT_0; }
  BOOL CloseEvent(HANDLE) override {
    --liveEvents;
    return TRUE;
  }
  std::string SysErrorMessage(DWORD code) override { return "system error " + std::to_string(code); }

  std::int64_t nowUs = 0;
  int liveEvents = 0;
  std::uintptr_t nextEvent = 0x1000;
};

class Serial : public plat::SerialApi {
 public:
  explicit Serial(Kernel& kernel) : kernel_(kernel) {}

  HANDLE CreateFileA(const char* name, DWORD, DWORD, DWORD, DWORD) override {
    calls.push_back(std::string("CreateFileA ") + name);
    return kDevice;
  }
  BOOL CloseHandle(HANDLE) override { return TRUE; }
  BOOL GetCommState(HANDLE, DCB* dcb) override {
    *dcb = deviceDcb;
    return TRUE;
  }
  BOOL SetCommState(HANDLE, const DCB* dcb) override {
    calls.push_back("SetCommState");
    deviceDcb = *dcb;
    return TRUE;
  }
  BOOL SetupComm(HANDLE, DWORD, DWORD) override { return TRUE; }
  BOOL GetCommTimeouts(HANDLE, COMMTIMEOUTS* t) override {
    *t = COMMTIMEOUTS{};
    return TRUE;
  }
  BOOL SetCommTimeouts(HANDLE, const COMMTIMEOUTS*) override { return TRUE; }
  BOOL SetCommMask(HANDLE, DWORD) override { return TRUE; }
  BOOL WaitCommEvent(HANDLE, DWORD*, OVERLAPPED*) override { return Fail(ERROR_NOT_SUPPORTED); }
  BOOL ReadFile(HANDLE, void*, DWORD, DWORD*, OVERLAPPED*) override {
    return Fail(ERROR_NOT_SUPPORTED);
  }
  BOOL WriteFile(HANDLE, const void*, DWORD length, DWORD* transferred, OVERLAPPED*) override {
    *transferred = length;
    return TRUE;
  }
  BOOL GetOverlappedResult(HANDLE, OVERLAPPED*, DWORD* transferred, BOOL) override {
    *transferred = 0;
    return TRUE;
  }
  BOOL ClearCommError(HANDLE, DWORD* errors, COMSTAT* stat) override {
    if (errors != nullptr) *errors = 0;
    if (stat != nullptr) *stat = COMSTAT{};
    return TRUE;
  }
  BOOL PurgeComm(HANDLE, DWORD) override { return TRUE; }
  BOOL FlushFileBuffers(HANDLE) override { return TRUE; }
  BOOL EscapeCommFunction(HANDLE, DWORD function) override {
    return Record("EscapeCommFunction " + std::to_string(function));
  }
  BOOL SetCommBreak(HANDLE) override { return Record("SetCommBreak"); }
  BOOL ClearCommBreak(HANDLE) override { return Record("ClearCommBreak"); }
  BOOL TransmitCommChar(HANDLE, char c) override {
    return Record("TransmitCommChar " + std::to_string(static_cast<unsigned char>(c)));
  }
  BOOL GetCommModemStatus(HANDLE, DWORD* status) override {
    *status = modemStatus;
    return Record("GetCommModemStatus");
  }
  BOOL GetCommProperties(HANDLE, COMMPROP* properties) override {
    const auto* bytes = reinterpret_cast<const unsigned char*>(properties);
    propertiesZeroOnEntry = true;
    for (std::size_t i = 0; i < sizeof(COMMPROP); ++i) {
      propertiesZeroOnEntry = propertiesZeroOnEntry && bytes[i] == 0;
    }
    *properties = commProp;
    return Record("GetCommProperties");
  }
  BOOL GetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD* size) override {
    configSizeIn = *size;
    configDwSizeIn = config->dwSize;
    config->dcb = defaultConfig.dcb;
    *size = defaultConfigSize;
    return Record(std::string("GetDefaultCommConfigA ") + name);
  }
  BOOL CommConfigDialogA(const char* name, HWND, COMMCONFIG* config) override {
    dialogSaw = *config;
    calls.push_back(std::string("CommConfigDialogA ") + name);
    if (!dialogConfirms) {
      kernel_.SetLastError(ERROR_CANCELLED);
      return FALSE;
    }
    config->dcb = dialogResult;
    return TRUE;
  }
  BOOL SetDefaultCommConfigA(const char* name, COMMCONFIG* config, DWORD size) override {
    storedDefault = *config;
    storedDefaultSize = size;
    return Record(std::string("SetDefaultCommConfigA ") + name);
  }

  static inline HANDLE const kDevice = reinterpret_cast<HANDLE>(std::uintptr_t{0x40});

  std::vector<std::string> calls;
  // The next recorded call whose name starts with this fails with failError.
  std::string failCall;
  DWORD failError = 0;
  DWORD modemStatus = 0;
  COMMPROP commProp{};
  bool propertiesZeroOnEntry = false;
  DCB deviceDcb{};
  COMMCONFIG defaultConfig{};
  DWORD defaultConfigSize = sizeof(COMMCONFIG);
  DWORD configSizeIn = 0;
  DWORD configDwSizeIn = 0;
  bool dialogConfirms = false;
  COMMCONFIG dialogSaw{};
  DCB dialogResult{};
  COMMCONFIG storedDefault{};
  DWORD storedDefaultSize = 0;

 private:
  BOOL Record(const std::string& call) {
    calls.push_back(call);
    if (!failCall.empty() && call.compare(0, failCall.size(), failCall) == 0) {
      failCall.clear();
      return Fail(failError);
    }
    return TRUE;
  }
  BOOL Fail(DWORD error) {
    kernel_.SetLastError(error);
    return FALSE;
  }
  Kernel& kernel_;
};

// Registry, MS-DOS device list and device notification; everything else fails quietly.
class System : public plat::SystemApi {
 public:
  struct Value {
    std::string name;
    DWORD type;
    std::vector<BYTE> data;
  };
  struct Key {
    std::vector<std::string> subKeys;
    std::vector<Value> values;
  };

  // Creates the key and its parents (subkeys listed in creation order).
  Key& AddKey(const std::string& path) {
    std::string current;
    std::size_t start = 0;
    while (start <= path.size()) {
      std::size_t end = path.find('\\', start);
      if (end == std::string::npos) end = path.size();
      const std::string part = path.substr(start, end - start);
      if (!part.empty()) {
        Key& parent = keys[Lower(current)];
        const std::string child = current.empty() ? part : current + "\\" + part;
        if (keys.count(Lower(child)) == 0) parent.subKeys.push_back(part);
        keys[Lower(child)];
        current = child;
      }
      start = end + 1;
    }
    return keys[Lower(current)];
  }
  static void AddText(Key& key, const std::string& name, const std::string& text,
                      DWORD type = REG_SZ) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    key.values.push_back({name, type, data});
  }
  static void AddDword(Key& key, const std::string& name, DWORD value) {
    std::vector<BYTE> data(4);
    std::memcpy(data.data(), &value, 4);
    key.values.push_back({name, REG_DWORD, data});
  }

  LONG RegOpenKeyExA(HKEY root, const char* path, HKEY* key) override {
    if (root != HKEY_LOCAL_MACHINE) return ERROR_FILE_NOT_FOUND;
    std::string p = path;
    if (!p.empty() && p[0] == '\\') p.erase(0, 1);
    if (keys.count(Lower(p)) == 0 || unopenable.count(Lower(p)) != 0) return ERROR_FILE_NOT_FOUND;
    opened.push_back(Lower(p));
    ++openKeys;
    *key = reinterpret_cast<HKEY>(opened.size());
    return ERROR_SUCCESS;
  }
  LONG RegCloseKey(HKEY) override {
    --openKeys;
    return ERROR_SUCCESS;
  }
  LONG RegQueryValueExA(HKEY key, const char* name, DWORD* type, BYTE* data,
                        DWORD* size) override {
    const Value* v = Find(key, name);
    if (v == nullptr) return ERROR_FILE_NOT_FOUND;
    if (type != nullptr) *type = v->type;
    if (size == nullptr) return ERROR_SUCCESS;
    const DWORD needed = static_cast<DWORD>(v->data.size());
    if (data == nullptr) {
      *size = needed;
      return ERROR_SUCCESS;
    }
    if (*size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    std::memcpy(data, v->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
  }
  LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                     BYTE*, DWORD*) override {
    const Key& k = keys.at(opened.at(reinterpret_cast<std::uintptr_t>(key) - 1));
    if (index >= k.values.size()) return ERROR_NO_MORE_ITEMS;
    return CopyName(k.values[index].name, name, nameLength, type, k.values[index].type);
  }
  LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength) override {
    const Key& k = keys.at(opened.at(reinterpret_cast<std::uintptr_t>(key) - 1));
    if (index >= k.subKeys.size()) return ERROR_NO_MORE_ITEMS;
    return CopyName(k.subKeys[index], name, nameLength, nullptr, 0);
  }

  DWORD QueryDosDeviceA(const char* name, char* buffer, DWORD size) override {
    dosQuerySize = size;
    if (name != nullptr || dosDevices.size() > size) return 0;
    std::memcpy(buffer, dosDevices.data(), dosDevices.size());
    return dosCount;
  }
  // The device list as the system stores it (NULs included) and the count it reports.
  void SetDosDevices(const std::string& bytes) {
    dosDevices = bytes;
    dosCount = static_cast<DWORD>(bytes.size());
  }

  DWORD GetPriorityClass() override { return NORMAL_PRIORITY_CLASS; }
  BOOL SetPriorityClass(DWORD) override { return TRUE; }
  BOOL SetThreadPriority(std::uintptr_t, int) override { return TRUE; }
  BOOL MessageBeep(UINT) override { return TRUE; }
  BOOL Beep(DWORD, DWORD) override { return TRUE; }
  DWORD GetFileVersionInfoSizeA(const char*) override { return 0; }
  BOOL GetFileVersionInfoA(const char*, DWORD, void*) override { return FALSE; }
  BOOL VerQueryValueA(const void*, const char*, void**, UINT*) override { return FALSE; }
  std::string ProgramPath() override { return "lcdwrite"; }
  bool CurrentDirectory(std::string&) override { return false; }

  HANDLE RegisterDeviceNotificationA(plat::MessageSink* s, const void* f, DWORD flags) override {
    ++registrations;
    sink = s;
    filter.assign(static_cast<const BYTE*>(f), static_cast<const BYTE*>(f) + 32);
    notifyFlags = flags;
    return registerSucceeds ? kRegistration : nullptr;
  }
  BOOL UnregisterDeviceNotification(HANDLE registration) override {
    ++unregistrations;
    unregistered = registration;
    return unregisterSucceeds ? TRUE : FALSE;
  }

  static inline HANDLE const kRegistration = reinterpret_cast<HANDLE>(std::uintptr_t{0x77});

  std::map<std::string, Key> keys;  // by lower-case path without the leading backslash
  std::set<std::string> unopenable;
  std::vector<std::string> opened;
  int openKeys = 0;
  std::string dosDevices;
  DWORD dosCount = 0;
  DWORD dosQuerySize = 0;
  int registrations = 0;
  int unregistrations = 0;
  bool registerSucceeds = true;
  bool unregisterSucceeds = true;
  plat::MessageSink* sink = nullptr;
  std::vector<BYTE> filter;
  DWORD notifyFlags = 0xFFFFFFFF;
  HANDLE unregistered = nullptr;

 private:
  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  const Value* Find(HKEY key, const char* name) const {
    const Key& k = keys.at(opened.at(reinterpret_cast<std::uintptr_t>(key) - 1));
    for (const Value& v : k.values) {
      if (Lower(v.name) == Lower(name)) return &v;
    }
    return nullptr;
  }
  static LONG CopyName(const std::string& from, char* name, DWORD* nameLength, DWORD* type,
                       DWORD valueType) {
    if (from.size() + 1 > *nameLength) return ERROR_MORE_DATA;
    std::memcpy(name, from.c_str(), from.size() + 1);
    *nameLength = static_cast<DWORD>(from.size());
    if (type != nullptr) *type = valueType;
    return ERROR_SUCCESS;
  }
};

class Platform : public plat::Platform {
 public:
  plat::KernelApi& kernel() override { return kernelApi; }
  plat::SerialApi& serial() override { return serialApi; }
  plat::SystemApi& system() override { return systemApi; }

  Kernel kernelApi;
  Serial serialApi{kernelApi};
  System systemApi;
};

}  // namespace fakeplat
