#include "ExtDBGrid.h"

namespace ExtDBGrid {

using namespace kv::platform;

const TClassInfo& TExtDBGrid::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TExtDBGrid, TDBGrid>("TExtDBGrid")
                                     .Int(
                                         "LinesPerRow", [](const TExtDBGrid& g) { return g.LinesPerRow; },
                                         &TExtDBGrid::SetLinesPerRow, NoDefault)
                                     .Bool(
                                         "DropDownMode", [](const TExtDBGrid& g) { return g.DropDownMode; },
                                         &TExtDBGrid::SetDropDownMode, NoDefault)
                                     .Bool(
                                         "ThumbTrack", [](const TExtDBGrid& g) { return g.ThumbTrack; },
                                         &TExtDBGrid::SetThumbTrack, NoDefault)
                                     .Event("onhide", &TExtDBGrid::onhide)
                                     .Build();
  return info;
}

void TExtDBGrid::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (DropDownMode) {
    Hide();
    onhide(this);
  }
  TDBGrid::MouseUp(Button, Shift, X, Y);
}

void TExtDBGrid::CMCancelMode(TMessage& Message) {
  // The press that started a pick on the grid itself must not close it.
  const auto* sender = reinterpret_cast<const TControl*>(Message.LParam);
  if (!DropDownMode || sender == this) {
    TDBGrid::Dispatch(Message);
    return;
  }
  Hide();
  onhide(this);
}

void TExtDBGrid::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_CANCELMODE) {
    CMCancelMode(Message);
    return;
  }
  TDBGrid::Dispatch(Message);
}

void Register() { RegisterComponents("Korvalis", {&TExtDBGrid::StaticClassInfo()}); }

namespace {
// Form files find the grid (and its ancestors) by name without the designer.
const bool classesRegistered =
    (RegisterGrids(), RegisterDBGrids(), RegisterClasses({&TExtDBGrid::StaticClassInfo()}), true);
} // namespace

} // namespace ExtDBGrid
