// One picture of a top-level window as it appears on screen. Every window keeps its own
// pixels; what the user sees is the top-level window's pixels with its visible child windows'
// pixels laid over them at their places, front windows over back ones, each child cut to its
// parent's client area.
#pragma once

#include "Platform/Graphics/Raster.h"
#include "Platform/Ui/WinApi.h"

namespace kv::platform {

// The picture of Wnd and its visible descendants, as large as Wnd's window rectangle (frame
// included). A window whose surface holds no pixels (recording surfaces) leaves what lies
// below it; where nothing has pixels the picture has the button face colour. The window itself
// is drawn whether it is shown or not, so that hidden windows can be looked at too.
Raster ComposeWindow(HWND Wnd);

} // namespace kv::platform
