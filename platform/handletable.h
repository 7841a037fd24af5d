// A table of emulated kernel objects behind HANDLE values.
//
// Handles are never reused, so a stale handle (one closed meanwhile) is always recognised and
// fails with ERROR_INVALID_HANDLE instead of reaching another object. Lookups hand out shared
// ownership, so an object stays alive for a thread still waiting on it after its handle closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/wintypes.h"

namespace plat {

template <class T>
class HandleTable {
 public:
  explicit HandleTable(std::uintptr_t firstValue) : next_(firstValue) {}

  HANDLE Add(std::shared_ptr<T> object) {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::uintptr_t value = next_;
    next_ += 4;
    objects_[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
  }
  std::shared_ptr<T> Find(HANDLE handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
  }
  // Removes the handle and returns its object (null when unknown).
  std::shared_ptr<T> Remove(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == objects_.end()) return nullptr;
    std::shared_ptr<T> object = std::move(it->second);
    objects_.erase(it);
    return object;
  }
  // How many handles are open.
  std::size_t Size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return objects_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::uintptr_t next_;
  std::map<std::uintptr_t, std::shared_ptr<T>> objects_;
};

}  // namespace plat
