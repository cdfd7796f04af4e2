// A data grid that can serve as a drop-down list: in drop-down mode it hides itself when the
// user lets the mouse button go on it (after picking a row) or when a press on another control
// ends the mouse mode, and tells its host through onhide.
#pragma once

#include "Platform/Ui/DBGrids.h"

#include <cstdint>

namespace ExtDBGrid {

using kv::platform::TComponent;
using kv::platform::TMessage;
using kv::platform::TMouseButton;
using kv::platform::TNotifyEvent;
using kv::platform::TShiftState;

class TExtDBGrid : public kv::platform::TDBGrid {
  KV_CLASS_INFO(TExtDBGrid)
public:
  explicit TExtDBGrid(TComponent* AOwner) : TDBGrid(AOwner) {}

  bool DropDownMode = false;
  bool ThumbTrack = false;      // kept with the form; nothing reads it
  std::int32_t LinesPerRow = 0; // kept with the form; nothing reads it
  TNotifyEvent onhide;

  void SetLinesPerRow(std::int32_t Value) { LinesPerRow = Value; }
  void SetDropDownMode(bool Value) { DropDownMode = Value; }
  void SetThumbTrack(bool Value) { ThumbTrack = Value; }
  void Setonhide(const TNotifyEvent& Value) { onhide = Value; }

  void Dispatch(TMessage& Message) override;

protected:
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void CMCancelMode(TMessage& Message);
};

void Register();

} // namespace ExtDBGrid
