// The class library's icon: the bytes of an icon file (a directory of images followed by
// the images), loaded from and saved to streams and files unchanged. Nothing here draws;
// whoever shows an icon reads its images from the bytes.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kv::platform {

KV_DECLARE_EXCEPTION(EInvalidGraphic, Exception);

// Form files hold an icon as its one published property Data: the icon file's bytes.
class TIcon : public TPersistent {
  KV_CLASS_INFO(TIcon)
public:
  bool Empty() const { return data_.empty(); }
  // Of the first image; 0 when empty (a stored 0 means 256 pixels).
  int Width() const;
  int Height() const;
  int ImageCount() const;

  // The icon file bytes; empty when there is no icon.
  const std::vector<uint8_t>& Bytes() const { return data_; }
  // Takes the bytes of an icon file; EInvalidGraphic, icon unchanged, when they are not one.
  void SetBytes(std::span<const uint8_t> Bytes);
  void Clear();

  // Reads from the stream's position to its end.
  void LoadFromStream(TStream& Stream);
  // Writes the icon file bytes (nothing for an empty icon).
  void SaveToStream(TStream& Stream) const;
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName) const;

  // Copies another icon; an unknown source fails as TPersistent says.
  void Assign(const TPersistent& Source) override;

  TNotifyEvent OnChange;

  // Whether the bytes are an icon file: reserved word 0, type 1, at least one image, every
  // directory entry and image inside the bytes.
  static bool IsIconFile(std::span<const uint8_t> Bytes);

private:
  void changed() { OnChange(this); }
  std::vector<uint8_t> data_;
};

} // namespace kv::platform
