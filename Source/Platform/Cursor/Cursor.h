// The screen's cursor, as the class library's screen object keeps it. The screen object
// takes this over when it exists; until then a plain holder stands in for it.
#pragma once

#include <memory>

namespace kv::platform {

using TCursor = int;
inline constexpr TCursor crDefault = 0, crArrow = -2, crHourGlass = -11;

class ScreenCursor {
public:
  virtual ~ScreenCursor() = default;
  virtual TCursor cursor() const = 0;
  virtual void setCursor(TCursor cursor) = 0;
  // Whether the active window belongs to the calling thread (the wait cursor is only
  // shown over our own windows).
  virtual bool activeWindowIsOurs() const = 0;
};

ScreenCursor& screenCursor();
// Replaces the holder (the screen object registers itself here); returns the previous one.
std::unique_ptr<ScreenCursor> setScreenCursor(std::unique_ptr<ScreenCursor> cursor);

} // namespace kv::platform
