#include "uExFont.h"

namespace uExFont {

using namespace kv::platform;

const TClassInfo& TExFont::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TExFont, TPersistent>("TExFont")
          .Int("Charset", &TExFont::Charset, &TExFont::SetCharset, NoDefault)
          .IdentInt("Color", ColorIdents(), &TExFont::Color, &TExFont::SetColor, NoDefault)
          .Int("Height", &TExFont::Height, &TExFont::SetHeight, NoDefault)
          .Str("Name", &TExFont::Name, &TExFont::SetName, NoDefault)
          .Enum<TFontPitch>("Pitch", &TExFont::Pitch, &TExFont::SetPitch, NoDefault)
          .Int("Size", &TExFont::Size, &TExFont::SetSize, NoDefault)
          .Set<TFontStyle>("Style", &TExFont::Style, &TExFont::SetStyle, NoDefault)
          .Int("Angle", &TExFont::Angle, &TExFont::SetAngle, NoDefault)
          .Build();
  return info;
}

TExFont::TExFont() { Change(); }

void TExFont::SetCharset(TFontCharset Value) {
  Charset = Value;
  Change();
}
void TExFont::SetColor(TColor Value) {
  Color = Value;
  Change();
}
void TExFont::SetHeight(std::int32_t Value) {
  Height = Value;
  Change();
}
void TExFont::SetName(const std::string& Value) {
  Name = Value;
  Change();
}
void TExFont::SetPitch(TFontPitch Value) {
  Pitch = Value;
  Change();
}
void TExFont::SetSize(std::int32_t Value) {
  Size = Value;
  Change();
}
void TExFont::SetStyle(TFontStyles Value) {
  Style = Value;
  Change();
}
void TExFont::SetAngle(std::int32_t Value) {
  Angle = Value;
  Change();
}

void TExFont::Change() {
  LOGFONTA lf;
  lf.lfHeight = Height;
  lf.lfWidth = 0;
  lf.lfEscapement = Angle;
  lf.lfOrientation = 0;
  lf.lfWeight = Style.Contains(fsBold) ? 700 : 400;
  lf.lfItalic = Style.Contains(fsItalic) ? 1 : 0;
  lf.lfUnderline = Style.Contains(fsUnderline) ? 1 : 0;
  lf.lfStrikeOut = Style.Contains(fsStrikeOut) ? 1 : 0;
  lf.lfCharSet = Charset;
  lf.lfOutPrecision = 0;
  lf.lfClipPrecision = 0;
  lf.lfQuality = 0;
  lf.lfPitchAndFamily = Pitch == TFontPitch::fpVariable ? 2 : Pitch == TFontPitch::fpFixed ? 1 : 0;
  // The face name field holds 31 bytes and its terminator; a longer name is cut there (at a
  // character boundary) rather than written past the record.
  setFaceName(lf, Name);
  LogFont = lf;
  OnChange(this);
}

void TExFont::AssignTo(TPersistent& Dest) const {
  if (auto* font = dynamic_cast<TExFont*>(&Dest)) {
    font->Height = Height;
    font->Size = Size;
    font->Color = Color;
    font->Charset = Charset;
    font->Name = Name;
    font->Pitch = Pitch;
    font->Style = Style;
    font->Angle = Angle;
    font->Change();
    return;
  }
  TPersistent::AssignTo(Dest);
}

} // namespace uExFont
