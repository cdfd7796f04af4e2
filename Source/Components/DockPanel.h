// A panel with an optional grip strip along its top edge (a band of raised and sunken dots
// that marks a tool bar one can drag off), and the caption and size limits that the docking
// form gives the panel while it floats in a window of its own. With the grip shown, the
// client area, the bevels and the caption start below the strip.
#pragma once

#include "Platform/Ui/ExtCtrls.h"

#include <memory>
#include <string>

namespace DockPanel {

using kv::platform::TComponent;
using kv::platform::TRect;
using kv::platform::TSizeConstraints;

class TDockPanel : public kv::platform::TCustomPanel {
  KV_CLASS_INFO(TDockPanel)
public:
  explicit TDockPanel(TComponent* AOwner);
  ~TDockPanel() override;

  bool ShowHandle() const { return FShowHandle; }
  void SetShowHandle(bool Value);
  int HandleHeight() const { return FHandleHeight; }
  void SetHandleHeight(int Value);
  // The panel's own object; the form that floats the panel reads it, the panel does not.
  TSizeConstraints& FloatConstraints() { return *FFloatConstraints; }
  const TSizeConstraints& FloatConstraints() const { return *FFloatConstraints; }
  // Copies the values; the panel keeps no reference to Value.
  void SetFloatConstraints(const TSizeConstraints& Value);
  const std::string& FloatCaption() const { return FFloatCaption; }
  void SetFloatCaption(const std::string& Value) { FFloatCaption = Value; }

  // The inherited area, below the grip strip when it is shown.
  void AdjustClientRect(TRect& Rect) override;

protected:
  void Paint() override;

private:
  // The rows the strip takes; a negative height takes none, so nothing is laid out above
  // the panel's own top edge.
  int gripRows() const { return FHandleHeight > 0 ? FHandleHeight : 0; }
  void gripChanged();

  bool FShowHandle = false;
  int FHandleHeight = 5;
  std::unique_ptr<TSizeConstraints> FFloatConstraints;
  std::string FFloatCaption;
};

void Register();

} // namespace DockPanel
