// A font description that can be drawn at an angle: its properties, and after every change a
// ready logical-font record with the escapement set to Angle. Owners make a font handle from
// LogFont when they draw.
#pragma once

#include "Platform/Graphics/GdiObjects.h"
#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/Graphics.h"

#include <cstdint>
#include <string>

namespace uExFont {

using kv::platform::TColor;
using kv::platform::TFontPitch;
using kv::platform::TFontStyles;
using kv::platform::TNotifyEvent;
using kv::platform::TPersistent;
using TFontCharset = std::uint8_t;

class TExFont : public TPersistent {
  KV_CLASS_INFO(TExFont)
public:
  TExFont();

  // Fields in the order the record is described.
  std::int32_t Height = 0;
  std::int32_t Size = 0;
  TColor Color = 0;
  TFontCharset Charset = 0;
  std::string Name;
  TFontPitch Pitch = TFontPitch::fpDefault;
  TFontStyles Style;
  std::int32_t Angle = 0; // tenths of a degree, counter-clockwise
  TNotifyEvent OnChange;
  kv::platform::LOGFONTA LogFont;

  // Each setter stores and rebuilds, also when the value is unchanged.
  void SetCharset(TFontCharset Value);
  void SetColor(TColor Value);
  void SetHeight(std::int32_t Value);
  void SetName(const std::string& Value);
  void SetPitch(TFontPitch Value);
  void SetSize(std::int32_t Value);
  void SetStyle(TFontStyles Value);
  void SetAngle(std::int32_t Value);

  // Rebuilds LogFont, then tells OnChange.
  virtual void Change();

protected:
  void AssignTo(TPersistent& Dest) const override;
};

} // namespace uExFont
