// TKVGeneralPurposeWindow: a scrolling container whose contents the owning form paints in one
// event that gets the drawing context and the rectangle to repaint. Scrolling comes from the
// class library's scrolling container; the window adds control over background erasing,
// notification after each scroll message, an optional drawing freeze while the inherited
// scrolling runs, a resize hook for descendants and a dashed outline in the designer.
#pragma once

#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Forms.h"

#include <memory>

namespace KVGeneralPurposeWindow {

using kv::platform::TBorderStyle;
using kv::platform::TRect;

// This unit's own paint event (the sender first, then the context and the update rectangle).
using TOnPaint = kv::platform::TEvent<kv::platform::TObject*, kv::platform::DrawingContext*, TRect>;
using TOnWMScroll = kv::platform::TEvent<kv::platform::TObject*, const kv::platform::TWMScroll&>;

class TKVGeneralPurposeWindow : public kv::platform::TScrollingWinControl {
  KV_CLASS_INFO(TKVGeneralPurposeWindow)
public:
  explicit TKVGeneralPurposeWindow(kv::platform::TComponent* AOwner);
  ~TKVGeneralPurposeWindow() override;

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  bool EraseBackground() const { return eraseBackground_; }
  void SetEraseBackground(bool Value) { eraseBackground_ = Value; }
  void SetOnPaint(const TOnPaint& Value) { OnPaint = Value; }
  void SetOnWMVScroll(const TOnWMScroll& Value) { OnWMVScroll = Value; }
  void SetOnWMHScroll(const TOnWMScroll& Value) { OnWMHScroll = Value; }
  bool UseLockWinUpdate() const { return useLockWinUpdate_; }
  void SetUseLockWinUpdate(bool Value) { useLockWinUpdate_ = Value; }

  TOnPaint OnPaint;
  TOnWMScroll OnWMHScroll;
  TOnWMScroll OnWMVScroll;

  kv::platform::TControlCanvas& Canvas() { return *canvas_; }
  const TRect& PaintRect() const { return paintRect_; }

  // A hook for descendants, called on every resize.
  virtual void CalcScroller() {}

  void Dispatch(kv::platform::TMessage& Message) override;

protected:
  void CreateParams(kv::platform::TCreateParams& Params) override;
  void PaintWindow(kv::platform::DrawingContext* DC) override;
  void Resizing() override;
  void WMEraseBkgnd(kv::platform::TWMEraseBkgnd& Message) override;
  void WMHScroll(kv::platform::TWMScroll& Message) override;
  void WMVScroll(kv::platform::TWMScroll& Message) override;
  virtual void WMPaintMessage(kv::platform::TMessage& Message);

private:
  void scroll(kv::platform::TWMScroll& Message, bool horizontal);

  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  bool eraseBackground_ = true;
  bool useLockWinUpdate_ = false;
  TRect paintRect_;
  std::unique_ptr<kv::platform::TControlCanvas> canvas_;
  kv::platform::classic::WindowScrollTracker tracker_;
};

void Register();

} // namespace KVGeneralPurposeWindow
