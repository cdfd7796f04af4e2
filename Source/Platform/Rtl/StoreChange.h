// The first step of a property setter that acts only on a change:
//
//   void TTimer::SetInterval(unsigned Value) { if (storeChange(interval_, Value)) updateTimer(); }
//
// Stores the value and answers whether the field held another one before, so that setting a
// property to the value it has repaints, re-lays out or notifies nothing.
#pragma once

#include <utility>

namespace kv::platform {

template <class T, class V> bool storeChange(T& field, V&& value) {
  if (field == value) return false;
  field = std::forward<V>(value);
  return true;
}

} // namespace kv::platform
