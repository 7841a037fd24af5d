// The first step of a property's setter: a new value is stored and reported as a change; the
// value the property holds already changes nothing, so its side effects (applying it to a
// device, repainting a control) are not repeated.
#pragma once

namespace fw {

template <typename Field, typename Value>
bool StoreChange(Field& field, const Value& value) {
  if (value == field) return false;
  field = value;
  return true;
}

}  // namespace fw
