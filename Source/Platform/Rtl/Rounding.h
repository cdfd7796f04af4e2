// The system's one rounding rule. A floating-point value becomes the nearest integer, a half
// going to the even neighbour; a value beyond the integer type stays at the type's nearer end,
// and one that is no number gives 0. An integer sum or difference that leaves the 32-bit range
// stays at its nearer end as well.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kv::platform {

// A whole number held in a double, as the integer type I.
template <class I> I saturatedWhole(double Whole) {
  if (std::isnan(Whole)) return 0;
  if (Whole >= static_cast<double>(std::numeric_limits<I>::max())) return std::numeric_limits<I>::max();
  if (Whole <= static_cast<double>(std::numeric_limits<I>::min())) return std::numeric_limits<I>::min();
  return static_cast<I>(Whole);
}

inline int64_t Round(double Value) { return saturatedWhole<int64_t>(std::nearbyint(Value)); }
inline int32_t RoundToInt(double Value) { return saturatedWhole<int32_t>(std::nearbyint(Value)); }
inline int64_t Trunc(double Value) { return saturatedWhole<int64_t>(std::trunc(Value)); }
inline int32_t TruncToInt(double Value) { return saturatedWhole<int32_t>(std::trunc(Value)); }

inline int32_t saturate(int64_t Value) {
  return static_cast<int32_t>(
      std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

} // namespace kv::platform
