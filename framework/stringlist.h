// An ordered list of 8-bit texts owned by the caller.
#pragma once

#include <string>
#include <vector>

#include "framework/object.h"

namespace fw {

class TStringList : public TObject {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& operator[](int index) const { return items_.at(index); }
  const std::string& Strings(int index) const { return items_.at(index); }
  int Add(const std::string& s) {
    items_.push_back(s);
    return Count() - 1;
  }
  void Clear() { items_.clear(); }
  void Delete(int index) { items_.erase(items_.begin() + index); }
  // Exact (case-sensitive) search; -1 when absent.
  int IndexOf(const std::string& s) const {
    for (int i = 0; i < Count(); ++i) {
      if (items_[i] == s) return i;
    }
    return -1;
  }
  const std::vector<std::string>& Items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace fw
