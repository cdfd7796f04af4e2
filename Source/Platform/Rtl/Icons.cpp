#include "Platform/Rtl/Icons.h"

namespace kv::platform {

namespace {

// An icon file is a few images of at most 256 x 256 pixels; a stream much longer than that
// is not one, and reading it whole would only waste memory.
constexpr int64_t kMaxIconFile = 16 << 20;

uint32_t u16(std::span<const uint8_t> b, size_t at) { return b[at] | uint32_t{b[at + 1]} << 8; }
uint32_t u32(std::span<const uint8_t> b, size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }

} // namespace

const TClassInfo& TIcon::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TIcon, TPersistent>("TIcon")
          .Binary(
              "Data", [](const TIcon& Icon) { return Icon.Bytes(); },
              [](TIcon& Icon, const std::vector<uint8_t>& Bytes) { Icon.SetBytes(Bytes); })
          .Build();
  return info;
}

bool TIcon::IsIconFile(std::span<const uint8_t> b) {
  if (b.size() < 6 || u16(b, 0) != 0 || u16(b, 2) != 1) return false;
  const size_t count = u16(b, 4);
  if (count == 0 || b.size() < 6 + 16 * count) return false;
  for (size_t i = 0; i < count; ++i) {
    const size_t e = 6 + 16 * i;
    const uint64_t size = u32(b, e + 8), offset = u32(b, e + 12);
    if (size == 0 || offset > b.size() || size > b.size() - offset) return false;
  }
  return true;
}

int TIcon::Width() const {
  if (data_.empty()) return 0;
  return data_[6] == 0 ? 256 : data_[6];
}

int TIcon::Height() const {
  if (data_.empty()) return 0;
  return data_[7] == 0 ? 256 : data_[7];
}

int TIcon::ImageCount() const { return data_.empty() ? 0 : static_cast<int>(u16(data_, 4)); }

void TIcon::SetBytes(std::span<const uint8_t> Bytes) {
  if (Bytes.empty()) {
    Clear();
    return;
  }
  if (!IsIconFile(Bytes)) throw EInvalidGraphic("Invalid icon image");
  data_.assign(Bytes.begin(), Bytes.end());
  changed();
}

void TIcon::Clear() {
  if (data_.empty()) return;
  data_.clear();
  changed();
}

void TIcon::LoadFromStream(TStream& Stream) {
  const int64_t left = Stream.Size() - Stream.Position();
  if (left < 0 || left > kMaxIconFile) throw EInvalidGraphic("Invalid icon image");
  std::vector<uint8_t> bytes(static_cast<size_t>(left));
  Stream.ReadBuffer(bytes.data(), left);
  SetBytes(bytes);
}

void TIcon::SaveToStream(TStream& Stream) const {
  if (!data_.empty()) Stream.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

void TIcon::LoadFromFile(const std::string& FileName) {
  TMemoryStream s;
  s.LoadFromFile(FileName);
  LoadFromStream(s);
}

void TIcon::SaveToFile(const std::string& FileName) const {
  TMemoryStream s;
  SaveToStream(s);
  s.SaveToFile(FileName);
}

void TIcon::Assign(const TPersistent& Source) {
  if (const auto* icon = dynamic_cast<const TIcon*>(&Source)) {
    if (icon == this) return;
    data_ = icon->data_;
    changed();
    return;
  }
  TPersistent::Assign(Source);
}

} // namespace kv::platform
