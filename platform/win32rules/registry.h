// The Win32 rules of reading the registry that the Linux backend (a tree built from sysfs) and
// the simulated machine's registry both follow: names compare without ASCII case, subkeys
// enumerate in that name order and values in the order they were set, and the size rules of
// the name and data buffers of RegQueryValueExA, RegEnumValueA and RegEnumKeyExA.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wintypes.h"

namespace plat::win32rules {

// ASCII case-insensitive comparisons, as registry and object names compare on Windows.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool LessNoCase(std::string_view a, std::string_view b);

// Where a subkey called name goes among siblings kept in enumeration order (by LessNoCase).
template <typename Keys, typename NameOf>
auto SubkeyPosition(Keys& keys, std::string_view name, NameOf nameOf) {
  auto it = keys.begin();
  while (it != keys.end() && LessNoCase(nameOf(*it), name)) ++it;
  return it;
}

// Stores text into a caller's name buffer of *length characters, NUL included; on success
// *length receives the name's length without the NUL. A name that does not fit gives
// ERROR_MORE_DATA and stores nothing; a null buffer or length ERROR_INVALID_PARAMETER.
LONG StoreRegName(const std::string& text, char* name, DWORD* length);

// Stores a value's type and bytes. With data null, *size (when size is given) receives the
// size needed. Data that does not fit gives ERROR_MORE_DATA with *size set to the size needed
// and data untouched. data without size is ERROR_INVALID_PARAMETER.
LONG StoreRegData(DWORD valueType, const std::vector<std::uint8_t>& bytes, DWORD* type,
                  BYTE* data, DWORD* size);

}  // namespace plat::win32rules
