#include "Platform/Cursor/Cursor.h"

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

std::unique_ptr<ScreenCursor>& current() {
  static std::unique_ptr<ScreenCursor> c = std::make_unique<PlainCursor>();
  return c;
}
} // namespace

ScreenCursor& screenCursor() { return *current(); }

std::unique_ptr<ScreenCursor> setScreenCursor(std::unique_ptr<ScreenCursor> cursor) {
  auto old = std::move(current());
  current() = cursor ? std::move(cursor) : std::make_unique<PlainCursor>();
  return old;
}

} // namespace kv::platform
