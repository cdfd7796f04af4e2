// An owner-drawn push button with four states (normal, hover, pressed, disabled): one frame of a
// four-frame image strip per state, or, text only, its caption on a flat face with a raised frame
// on hover and a sunken one while pressed. It follows the pointer through the mouse capture and
// fires its own click when the left button is released over it.
#pragma once

#include "Platform/Ui/Bitmaps.h"
#include "Platform/Ui/Controls.h"

#include <memory>

namespace Animbtn {

using kv::platform::TComponent;
using kv::platform::TMessage;
using kv::platform::TNotifyEvent;

class TAnimBtn : public kv::platform::TCustomControl {
  KV_CLASS_INFO(TAnimBtn)
public:
  explicit TAnimBtn(TComponent* AOwner);
  ~TAnimBtn() override;

  TNotifyEvent OnPaint;
  TNotifyEvent OnClick; // the button's own click; the class library's click is not used
  kv::platform::TBitmap& Img() { return *img_; }
  const kv::platform::TBitmap& Img() const { return *img_; }
  // Copies the strip; the button takes a quarter of its width and all of its height.
  void SetImg(const kv::platform::TBitmap& Value);
  bool TextOnly() const { return textOnly_; }
  void SetTextOnly(bool Value) { textOnly_ = Value; }
  int DisabledPic() const { return disabledPic_; }
  void SetDisabledPic(int Value) { disabledPic_ = Value; }
  // 0 normal, 1 hover, 2 pressed, 3 disabled.
  int State() const { return state_; }

  void Dispatch(TMessage& Message) override;
  void Loaded() override;

protected:
  void Paint() override;

private:
  bool mouseInComp(const TMessage& Message) const;
  void takeCapture();
  void releaseCapture();
  void setState(int Value, bool Repaint = true);
  std::unique_ptr<kv::platform::TBitmap> img_;
  bool textOnly_ = false;
  int state_ = 0;
  bool held_ = false;
  bool captured_ = false;
  int disabledPic_ = 0;
};

void Register();

} // namespace Animbtn
