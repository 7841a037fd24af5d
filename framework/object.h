// The root of the class framework, and the common handler types.
#pragma once

#include "framework/closure.h"

namespace fw {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

using TNotifyEvent = Closure<void(TObject* sender)>;

}  // namespace fw
