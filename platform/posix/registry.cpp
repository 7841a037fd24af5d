#include "platform/posix/registry.h"

#include <algorithm>

namespace plat::posix {

using namespace win32rules;

namespace {

LONG Code(DWORD error) { return static_cast<LONG>(error); }

}  // namespace

RegKey& RegKey::Child(std::string_view name) {
  auto it = SubkeyPosition(subkeys_, name,
                           [](const auto& k) -> const std::string& { return k->name(); });
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
  return StoreRegData(value->type, value->data, type, data, size);
}

LONG EnumRegValue(const RegKey& key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                  BYTE* data, DWORD* dataLength) {
  if (index >= key.values().size()) return Code(ERROR_NO_MORE_ITEMS);
  if (data != nullptr && dataLength == nullptr) return Code(ERROR_INVALID_PARAMETER);
  const RegValue& value = key.values()[index];
  if (LONG result = StoreRegName(value.name, name, nameLength); result != Code(ERROR_SUCCESS)) {
    return result;
  }
  return StoreRegData(value.type, value.data, type, data, dataLength);
}

LONG EnumRegKey(const RegKey& key, DWORD index, char* name, DWORD* nameLength) {
  if (index >= key.subkeys().size()) return Code(ERROR_NO_MORE_ITEMS);
  return StoreRegName(key.subkeys()[index]->name(), name, nameLength);
}

}  // namespace plat::posix
