// The simulated machine's registry under HKEY_LOCAL_MACHINE: a tree of keys with typed values,
// built by the machine description, read through the SystemApi calls with Win32 semantics.
//
// Paths compare case-insensitively and may start with a backslash; keys and values keep the
// spelling they were created with and read and enumerate by platform/win32rules/registry.h
// (subkeys in name order, values in insertion order). A string value set with
// SetString is stored with its terminating NUL, as Windows stores REG_SZ data; SetValue stores
// bytes exactly (a REG_SZ without terminator, for instance). Results are Win32 error codes.
// A key deleted while a handle to it is open reads as ERROR_KEY_DELETED through that handle.
// Values may also be set through a key opened for writing, as a program with administrator
// rights would; a key marked with DenyWrites refuses that open with ERROR_ACCESS_DENIED, as
// Windows does for a program without them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace sim {

class Registry {
 public:
  Registry();

  // --- building the machine's registry (paths below HKEY_LOCAL_MACHINE) ---
  // Creates the key and any missing parents.
  void CreateKey(const std::string& path);
  void SetString(const std::string& path, const std::string& name, const std::string& text);
  void SetDword(const std::string& path, const std::string& name, DWORD value);
  void SetValue(const std::string& path, const std::string& name, DWORD type,
                std::vector<std::uint8_t> data);
  // False when there was no such value or key.
  bool DeleteValue(const std::string& path, const std::string& name);
  bool DeleteKey(const std::string& path);
  bool KeyExists(const std::string& path) const;
  // The DWORD value of a key; nullopt when the key or the value is missing or not a REG_DWORD.
  std::optional<DWORD> Dword(const std::string& path, const std::string& name) const;
  // From now on opening the key for writing fails with ERROR_ACCESS_DENIED (or works again).
  void DenyWrites(const std::string& path, bool deny = true);

  // --- the SystemApi calls (see plat::SystemApi) ---
  LONG OpenKey(HKEY root, const char* path, HKEY* key);
  LONG OpenKeyForWrite(HKEY root, const char* path, HKEY* key);
  LONG CloseKey(HKEY key);
  LONG QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
  LONG EnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type, BYTE* data,
                 DWORD* dataLength);
  LONG EnumKey(HKEY key, DWORD index, char* name, DWORD* nameLength);
  LONG SetValueEx(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size);

 private:
  struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<std::uint8_t> data;
  };
  struct Key {
    std::string name;
    std::vector<Value> values;
    std::vector<std::shared_ptr<Key>> subkeys;
    bool deleted = false;
    bool writeDenied = false;
  };
  struct Handle {
    std::shared_ptr<Key> key;
    bool writable = false;
  };

  std::shared_ptr<Key> Walk(const std::shared_ptr<Key>& from, const std::string& path,
                            bool create) const;
  // The key behind a handle; error set when there is none usable.
  std::shared_ptr<Key> KeyOf(HKEY key, LONG& error) const;
  Value* FindValue(Key& key, const std::string& name) const;
  LONG Open(HKEY root, const char* path, bool write, HKEY* key);
  void StoreLocked(Key& key, const std::string& name, DWORD type, std::vector<std::uint8_t> data);

  mutable std::mutex mutex_;
  std::shared_ptr<Key> root_;
  std::map<std::uintptr_t, Handle> open_;
  std::uintptr_t nextHandle_ = 0x1000;
};

}  // namespace sim
