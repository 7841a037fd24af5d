// The simulated machine's kernel objects: event objects and open device handles share one
// handle table, so CloseHandle can release either and a handle value is never reused.
// Their state is guarded by the scheduler's mutex.
#pragma once

#include <memory>

#include "platform/handletable.h"

namespace sim {

struct KernelObject {
  virtual ~KernelObject() = default;
};

struct EventObject : KernelObject {
  bool manualReset = false;
  bool signalled = false;
};

using ObjectTable = plat::HandleTable<KernelObject>;

// The object behind handle as a T, or null when the handle is unknown or of another kind.
template <class T>
std::shared_ptr<T> FindObject(const ObjectTable& table, HANDLE handle) {
  return std::dynamic_pointer_cast<T>(table.Find(handle));
}

}  // namespace sim
