#include "Platform/Ui/Compose.h"

#include "Platform/Ui/RasterSurface.h"

namespace kv::platform {

namespace {

// Lays Wnd's pixels with their top left corner at `at` and then its children, back ones
// first, each clipped to what its ancestors let through.
void composeInto(Raster& out, HWND Wnd, TPoint at, const IRect& clip) {
  TRect rect;
  if (!GetWindowRect(Wnd, &rect)) return;
  const IRect area =
      IRect{at.X, at.Y, std::int64_t(at.X) + rect.Width(), std::int64_t(at.Y) + rect.Height()}.intersect(
          clip);
  if (area.empty()) return;
  if (const Raster* own = WindowRaster(Wnd)) out.copyFrom(*own, own->bounds(), at.X, at.Y, &area);

  TRect client;
  GetClientRect(Wnd, &client);
  const TPoint origin = GetClientOrigin(Wnd);
  const IRect inner =
      IRect{std::int64_t(at.X) + origin.X, std::int64_t(at.Y) + origin.Y,
            std::int64_t(at.X) + origin.X + client.Width(), std::int64_t(at.Y) + origin.Y + client.Height()}
          .intersect(area);
  if (inner.empty()) return;
  const std::vector<HWND> children = GetChildWindows(Wnd); // front to back
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!(GetWindowLong(*it, GWL_STYLE) & WS_VISIBLE)) continue;
    TRect childRect;
    if (!GetWindowRect(*it, &childRect)) continue;
    composeInto(out, *it, TPoint{at.X + childRect.Left - rect.Left, at.Y + childRect.Top - rect.Top}, inner);
  }
}

} // namespace

Raster ComposeWindow(HWND Wnd) {
  TRect rect;
  if (!GetWindowRect(Wnd, &rect)) return Raster();
  Raster out(rect.Width(), rect.Height(), toColor32(clBtnFace));
  composeInto(out, Wnd, TPoint{0, 0}, out.bounds());
  return out;
}

} // namespace kv::platform
