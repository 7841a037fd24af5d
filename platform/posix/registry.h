// A read-only registry tree in memory, with the Win32 semantics of reading it.
//
// The POSIX system view builds one of these from sysfs for every key it opens and answers
// RegQueryValueExA, RegEnumValueA and RegEnumKeyExA from it, by the rules of
// platform/win32rules/registry.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32rules/registry.h"
#include "platform/wintypes.h"

namespace plat::posix {

struct RegValue {
  std::string name;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

class RegKey {
 public:
  explicit RegKey(std::string name = {}) : name_(std::move(name)) {}

  const std::string& name() const { return name_; }
  const std::vector<RegValue>& values() const { return values_; }
  const std::vector<std::unique_ptr<RegKey>>& subkeys() const { return subkeys_; }

  // The subkey of that name, created (in name order) when missing.
  RegKey& Child(std::string_view name);
  // Creates the keys of a backslash-separated path below this one; returns the last.
  RegKey& Path(std::string_view path);
  // Sets a REG_SZ value: the text and its terminating NUL. Replaces a value of the same name.
  void SetString(std::string_view name, std::string_view text);
  void SetValue(RegValue value);

  // The key at a backslash-separated path below this one, or null. One leading and one
  // trailing backslash are allowed; an empty path is this key; an empty component is not found.
  const RegKey* Find(std::string_view path) const;
  // The value of that name, or null. A null or empty name is the key's default value.
  const RegValue* FindValue(std::string_view name) const;

 private:
  std::string name_;
  std::vector<RegValue> values_;
  std::vector<std::unique_ptr<RegKey>> subkeys_;
};

// RegQueryValueExA on a key. type may be null. With data null, *size (when size is given)
// receives the size needed. A value that does not fit gives ERROR_MORE_DATA with *size set to
// the size needed and data untouched. data without size is ERROR_INVALID_PARAMETER; a missing
// value ERROR_FILE_NOT_FOUND.
LONG QueryRegValue(const RegKey& key, const char* name, DWORD* type, BYTE* data, DWORD* size);

// RegEnumValueA. *nameLength is the name buffer's size in characters, NUL included; on success
// it receives the name's length without the NUL. A name that does not fit gives ERROR_MORE_DATA
// and nothing is stored. Data as for QueryRegValue (the name is stored even when only the data
// does not fit). ERROR_NO_MORE_ITEMS past the last value.
LONG EnumRegValue(const RegKey& key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                  BYTE* data, DWORD* dataLength);

// RegEnumKeyExA: the index-th subkey's name, with the name rules of EnumRegValue.
LONG EnumRegKey(const RegKey& key, DWORD index, char* name, DWORD* nameLength);

using win32rules::EqualsNoCase;
using win32rules::LessNoCase;

}  // namespace plat::posix
