#include "platform/win32rules/registry.h"

#include <algorithm>
#include <cstring>

namespace plat::win32rules {

namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

LONG Code(DWORD error) { return static_cast<LONG>(error); }

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Fold(x) == Fold(y); });
}

bool LessNoCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Fold(x) < Fold(y); });
}

LONG StoreRegName(const std::string& text, char* name, DWORD* length) {
  if (name == nullptr || length == nullptr) return Code(ERROR_INVALID_PARAMETER);
  if (text.size() + 1 > *length) return Code(ERROR_MORE_DATA);
  std::memcpy(name, text.c_str(), text.size() + 1);
  *length = static_cast<DWORD>(text.size());
  return Code(ERROR_SUCCESS);
}

LONG StoreRegData(DWORD valueType, const std::vector<std::uint8_t>& bytes, DWORD* type,
                  BYTE* data, DWORD* size) {
  if (data != nullptr && size == nullptr) return Code(ERROR_INVALID_PARAMETER);
  if (type != nullptr) *type = valueType;
  const auto needed = static_cast<DWORD>(bytes.size());
  if (size == nullptr) return Code(ERROR_SUCCESS);
  if (data != nullptr && *size < needed) {
    *size = needed;
    return Code(ERROR_MORE_DATA);
  }
  if (data != nullptr && needed > 0) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return Code(ERROR_SUCCESS);
}

}  // namespace plat::win32rules
