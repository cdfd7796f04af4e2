// Image lists: images of one size that lists and tool bars name by index.
#pragma once

#include "Platform/Rtl/TypInfo.h"

namespace kv::platform {

// This class library draws no images from a list yet: the controls keep which list they were
// given, and a form stores the list's size and the references to it.
class TCustomImageList : public TComponent {
  KV_CLASS_INFO(TCustomImageList)
public:
  explicit TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
  int Width() const { return width_; }
  void SetWidth(int Value) { width_ = Value; }
  int Height() const { return height_; }
  void SetHeight(int Value) { height_ = Value; }

private:
  int width_ = 16, height_ = 16;
};

class TImageList : public TCustomImageList {
  KV_CLASS_INFO(TImageList)
public:
  using TCustomImageList::TCustomImageList;
};

} // namespace kv::platform
