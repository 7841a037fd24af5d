#include "platform/posix/registry.h"

#include <algorithm>
#include <cstring>

namespace plat::posix {

namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

LONG Code(DWORD error) { return static_cast<LONG>(error); }

// Stores a name into a caller's buffer of *length characters (NUL included).
LONG StoreName(const std::string& text, char* name, DWORD* length) {
  if (name == nullptr || length == nullptr) return Code(ERROR_INVALID_PARAMETER);
  if (text.size() + 1 > *length) return Code(ERROR_MORE_DATA);
  std::memcpy(name, text.c_str(), text.size() + 1);
  *length = static_cast<DWORD>(text.size());
  return Code(ERROR_SUCCESS);
}

LONG StoreData(const RegValue& value, DWORD* type, BYTE* data, DWORD* size) {
  if (data != nullptr && size == nullptr) return Code(ERROR_INVALID_PARAMETER);
  if (type != nullptr) *type = value.type;
  const auto needed = static_cast<DWORD>(value.data.size());
  if (size == nullptr) return Code(ERROR_SUCCESS);
  if (data != nullptr && *size < needed) {
    *size = needed;
    return Code(ERROR_MORE_DATA);
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
  *size = needed;
  return Code(ERROR_SUCCESS);
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Fold(x) == Fold(y); });
}

bool LessNoCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Fold(x) < Fold(y); });
}

RegKey& RegKey::Child(std::string_view name) {
  auto it = std::lower_bound(subkeys_.begin(), subkeys_.end(), name,
                             [](const std::unique_ptr<RegKey>& k, std::string_view n) {
                               return LessNoCase(k->name(), n);
                             });
  if (it != subkeys_.end() && EqualsNoCase((*it)->name(), name)) return **it;
  return **subkeys_.insert(it, std::make_unique<RegKey>(std::string(name)));
}

RegKey& RegKey::Path(std::string_view path) {
  RegKey* key = this;
  while (!path.empty()) {
    const std::size_t cut = path.find('\\');
    key = &key->Child(path.substr(0, cut));
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
  }
  return *key;
}

void RegKey::SetString(std::string_view name, std::string_view text) {
  RegValue value;
  value.name = std::string(name);
  value.type = REG_SZ;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  SetValue(std::move(value));
}

void RegKey::SetValue(RegValue value) {
  for (RegValue& existing : values_) {
    if (EqualsNoCase(existing.name, value.name)) {
      existing = std::move(value);
      return;
    }
  }
  values_.push_back(std::move(value));
}

const RegKey* RegKey::Find(std::string_view path) const {
  if (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  const RegKey* key = this;
  while (key != nullptr && !path.empty()) {
    const std::size_t cut = path.find('\\');
    const std::string_view part = path.substr(0, cut);
    if (part.empty()) return nullptr;
    const RegKey* next = nullptr;
    for (const auto& sub : key->subkeys_) {
      if (EqualsNoCase(sub->name(), part)) {
        next = sub.get();
        break;
      }
    }
    key = next;
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    if (cut != std::string_view::npos && path.empty()) return nullptr;  // "A\\" inside
  }
  return key;
}

const RegValue* RegKey::FindValue(std::string_view name) const {
  for (const RegValue& value : values_) {
    if (EqualsNoCase(value.name, name)) return &value;
  }
  return nullptr;
}

LONG QueryRegValue(const RegKey& key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  const RegValue* value = key.FindValue(name == nullptr ? std::string_view() : name);
  if (value == nullptr) return Code(ERROR_FILE_NOT_FOUND);
  return StoreData(*value, type, data, size);
}

LONG EnumRegValue(const RegKey& key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                  BYTE* data, DWORD* dataLength) {
  if (index >= key.values().size()) return Code(ERROR_NO_MORE_ITEMS);
  if (data != nullptr && dataLength == nullptr) return Code(ERROR_INVALID_PARAMETER);
  const RegValue& value = key.values()[index];
  if (LONG result = StoreName(value.name, name, nameLength); result != Code(ERROR_SUCCESS)) {
    return result;
  }
  return StoreData(value, type, data, dataLength);
}

LONG EnumRegKey(const RegKey& key, DWORD index, char* name, DWORD* nameLength) {
  if (index >= key.subkeys().size()) return Code(ERROR_NO_MORE_ITEMS);
  return StoreName(key.subkeys()[index]->name(), name, nameLength);
}

}  // namespace plat::posix
