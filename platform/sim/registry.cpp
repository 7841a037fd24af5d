#include "platform/sim/registry.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/win32rules/registry.h"

namespace sim {

namespace {

constexpr LONG kKeyDeleted = 1018;  // ERROR_KEY_DELETED

// "\A\B\" -> {"A", "B"}; an empty part in the middle (A\\B) yields an empty name, which no key
// has.
std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = path.empty() || path[0] != '\\' ? 0 : 1;
  while (start < path.size()) {
    const std::size_t end = path.find('\\', start);
    if (end == std::string::npos) {
      parts.push_back(path.substr(start));
      break;
    }
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

LONG Code(DWORD error) { return static_cast<LONG>(error); }

}  // namespace

Registry::Registry() : root_(std::make_shared<Key>()) {}

std::shared_ptr<Registry::Key> Registry::Walk(const std::shared_ptr<Key>& from,
                                              const std::string& path, bool create) const {
  std::shared_ptr<Key> key = from;
  for (const std::string& part : SplitPath(path)) {
    auto it = std::find_if(key->subkeys.begin(), key->subkeys.end(),
                           [&](const auto& sub) { return plat::win32rules::EqualsNoCase(sub->name, part); });
    if (it != key->subkeys.end()) {
      key = *it;
      continue;
    }
    if (!create || part.empty()) return nullptr;
    auto sub = std::make_shared<Key>();
    sub->name = part;
    key->subkeys.insert(plat::win32rules::SubkeyPosition(
                            key->subkeys, part,
                            [](const auto& k) -> const std::string& { return k->name; }),
                        sub);
    key = sub;
  }
  return key;
}

Registry::Value* Registry::FindValue(Key& key, const std::string& name) const {
  auto it = std::find_if(key.values.begin(), key.values.end(),
                         [&](const Value& v) { return plat::win32rules::EqualsNoCase(v.name, name); });
  return it == key.values.end() ? nullptr : &*it;
}

void Registry::CreateKey(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!Walk(root_, path, true)) throw std::invalid_argument("bad registry path: " + path);
}

void Registry::SetString(const std::string& path, const std::string& name,
                         const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  SetValue(path, name, REG_SZ, std::move(data));
}

void Registry::SetDword(const std::string& path, const std::string& name, DWORD value) {
  std::vector<std::uint8_t> data(sizeof value);
  std::memcpy(data.data(), &value, sizeof value);
  SetValue(path, name, REG_DWORD, std::move(data));
}

void Registry::SetValue(const std::string& path, const std::string& name, DWORD type,
                        std::vector<std::uint8_t> data) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<Key> key = Walk(root_, path, true);
  if (!key) throw std::invalid_argument("bad registry path: " + path);
  StoreLocked(*key, name, type, std::move(data));
}

void Registry::StoreLocked(Key& key, const std::string& name, DWORD type,
                           std::vector<std::uint8_t> data) {
  if (Value* value = FindValue(key, name)) {
    value->type = type;
    value->data = std::move(data);
  } else {
    key.values.push_back(Value{name, type, std::move(data)});
  }
}

std::optional<DWORD> Registry::Dword(const std::string& path, const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<Key> key = Walk(root_, path, false);
  if (!key) return std::nullopt;
  const Value* value = FindValue(*key, name);
  if (value == nullptr || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) {
    return std::nullopt;
  }
  DWORD result = 0;
  std::memcpy(&result, value->data.data(), sizeof result);
  return result;
}

void Registry::DenyWrites(const std::string& path, bool deny) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<Key> key = Walk(root_, path, true);
  if (!key) throw std::invalid_argument("bad registry path: " + path);
  key->writeDenied = deny;
}

bool Registry::DeleteValue(const std::string& path, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::shared_ptr<Key> key = Walk(root_, path, false);
  if (!key) return false;
  auto it = std::find_if(key->values.begin(), key->values.end(),
                         [&](const Value& v) { return plat::win32rules::EqualsNoCase(v.name, name); });
  if (it == key->values.end()) return false;
  key->values.erase(it);
  return true;
}

bool Registry::DeleteKey(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return false;
  const std::string leaf = parts.back();
  parts.pop_back();
  std::string parentPath;
  for (const std::string& part : parts) parentPath += part + "\\";
  std::shared_ptr<Key> parent = Walk(root_, parentPath, false);
  if (!parent) return false;
  auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                         [&](const auto& sub) { return plat::win32rules::EqualsNoCase(sub->name, leaf); });
  if (it == parent->subkeys.end()) return false;
  // Handles still open on the key or below it see it as deleted.
  std::vector<std::shared_ptr<Key>> doomed{*it};
  while (!doomed.empty()) {
    std::shared_ptr<Key> key = doomed.back();
    doomed.pop_back();
    key->deleted = true;
    doomed.insert(doomed.end(), key->subkeys.begin(), key->subkeys.end());
  }
  parent->subkeys.erase(it);
  return true;
}

bool Registry::KeyExists(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return Walk(root_, path, false) != nullptr;
}

std::shared_ptr<Registry::Key> Registry::KeyOf(HKEY key, LONG& error) const {
  std::shared_ptr<Key> found;
  if (key == HKEY_LOCAL_MACHINE) {
    found = root_;
  } else {
    auto it = open_.find(reinterpret_cast<std::uintptr_t>(key));
    if (it != open_.end()) found = it->second.key;
  }
  if (!found) {
    error = Code(ERROR_INVALID_HANDLE);
  } else if (found->deleted) {
    error = kKeyDeleted;
    found = nullptr;
  } else {
    error = Code(ERROR_SUCCESS);
  }
  return found;
}

LONG Registry::OpenKey(HKEY root, const char* path, HKEY* key) {
  return Open(root, path, false, key);
}

LONG Registry::OpenKeyForWrite(HKEY root, const char* path, HKEY* key) {
  return Open(root, path, true, key);
}

LONG Registry::Open(HKEY root, const char* path, bool write, HKEY* key) {
  if (key == nullptr) return Code(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(mutex_);
  LONG error = 0;
  std::shared_ptr<Key> base = KeyOf(root, error);
  if (!base) return error;
  std::shared_ptr<Key> found = Walk(base, path != nullptr ? path : "", false);
  if (!found) return Code(ERROR_FILE_NOT_FOUND);
  if (write && found->writeDenied) return Code(ERROR_ACCESS_DENIED);
  const std::uintptr_t value = nextHandle_;
  nextHandle_ += 4;
  open_[value] = Handle{found, write};
  *key = reinterpret_cast<HKEY>(value);
  return Code(ERROR_SUCCESS);
}

LONG Registry::SetValueEx(HKEY key, const char* name, DWORD type, const BYTE* data, DWORD size) {
  if (data == nullptr && size != 0) return Code(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(mutex_);
  LONG error = 0;
  std::shared_ptr<Key> found = KeyOf(key, error);
  if (!found) return error;
  // Only a key opened for writing takes values (HKEY_LOCAL_MACHINE itself is not one).
  auto it = open_.find(reinterpret_cast<std::uintptr_t>(key));
  if (it == open_.end() || !it->second.writable) return Code(ERROR_ACCESS_DENIED);
  StoreLocked(*found, name != nullptr ? name : "", type,
              std::vector<std::uint8_t>(data, data + size));
  return Code(ERROR_SUCCESS);
}

LONG Registry::CloseKey(HKEY key) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (key == HKEY_LOCAL_MACHINE) return Code(ERROR_SUCCESS);
  return open_.erase(reinterpret_cast<std::uintptr_t>(key)) == 1 ? Code(ERROR_SUCCESS)
                                                                 : Code(ERROR_INVALID_HANDLE);
}

LONG Registry::QueryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
  std::lock_guard<std::mutex> lock(mutex_);
  LONG error = 0;
  std::shared_ptr<Key> found = KeyOf(key, error);
  if (!found) return error;
  const Value* value = FindValue(*found, name != nullptr ? name : "");
  if (value == nullptr) return Code(ERROR_FILE_NOT_FOUND);
  return plat::win32rules::StoreRegData(value->type, value->data, type, data, size);
}

LONG Registry::EnumValue(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* type,
                         BYTE* data, DWORD* dataLength) {
  if (name == nullptr || nameLength == nullptr) return Code(ERROR_INVALID_PARAMETER);
  if (data != nullptr && dataLength == nullptr) return Code(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(mutex_);
  LONG error = 0;
  std::shared_ptr<Key> found = KeyOf(key, error);
  if (!found) return error;
  if (index >= found->values.size()) return Code(ERROR_NO_MORE_ITEMS);
  const Value& value = found->values[index];
  if (const LONG result = plat::win32rules::StoreRegName(value.name, name, nameLength);
      result != Code(ERROR_SUCCESS)) {
    return result;
  }
  return plat::win32rules::StoreRegData(value.type, value.data, type, data, dataLength);
}

LONG Registry::EnumKey(HKEY key, DWORD index, char* name, DWORD* nameLength) {
  if (name == nullptr || nameLength == nullptr) return Code(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(mutex_);
  LONG error = 0;
  std::shared_ptr<Key> found = KeyOf(key, error);
  if (!found) return error;
  if (index >= found->subkeys.size()) return Code(ERROR_NO_MORE_ITEMS);
  return plat::win32rules::StoreRegName(found->subkeys[index]->name, name, nameLength);
}

}  // namespace sim
