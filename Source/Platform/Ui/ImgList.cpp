#include "Platform/Ui/ImgList.h"

namespace kv::platform {

const TClassInfo& TCustomImageList::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TCustomImageList, TComponent>("TCustomImageList")
          .Int("Height", &TCustomImageList::Height, &TCustomImageList::SetHeight, 16)
          .Int("Width", &TCustomImageList::Width, &TCustomImageList::SetWidth, 16)
          .Build();
  return info;
}

const TClassInfo& TImageList::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TImageList, TCustomImageList>("TImageList").Build();
  return info;
}

} // namespace kv::platform
