#include "Platform/Cursor/Cursor.h"

#include "Platform/Rtl/ServiceSlot.h"

namespace kv::platform {

namespace {
class PlainCursor : public ScreenCursor {
public:
  TCursor cursor() const override { return cursor_; }
  void setCursor(TCursor cursor) override { cursor_ = cursor; }
  bool activeWindowIsOurs() const override { return true; }

private:
  TCursor cursor_ = crDefault;
};

constinit ServiceSlot<ScreenCursor, PlainCursor> slot;
} // namespace

ScreenCursor& screenCursor() { return slot.get(); }

std::unique_ptr<ScreenCursor> setScreenCursor(std::unique_ptr<ScreenCursor> cursor) {
  return slot.replace(std::move(cursor));
}

} // namespace kv::platform
