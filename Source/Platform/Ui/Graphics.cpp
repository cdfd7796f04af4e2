#include "Platform/Ui/Graphics.h"

#include "Platform/Rtl/StoreChange.h"
#include "Platform/Rtl/SysUtils.h"

#include <algorithm>

namespace kv::platform {

const TIdentMap& ColorIdents() {
  static const TIdentMap map = {{clBlack, "clBlack"},
                                {clMaroon, "clMaroon"},
                                {clGreen, "clGreen"},
                                {clOlive, "clOlive"},
                                {clNavy, "clNavy"},
                                {clPurple, "clPurple"},
                                {clTeal, "clTeal"},
                                {clGray, "clGray"},
                                {clSilver, "clSilver"},
                                {clRed, "clRed"},
                                {clLime, "clLime"},
                                {clYellow, "clYellow"},
                                {clBlue, "clBlue"},
                                {clFuchsia, "clFuchsia"},
                                {clAqua, "clAqua"},
                                {clWhite, "clWhite"},
                                {clScrollBar, "clScrollBar"},
                                {clBackground, "clBackground"},
                                {clActiveCaption, "clActiveCaption"},
                                {clInactiveCaption, "clInactiveCaption"},
                                {clMenu, "clMenu"},
                                {clWindow, "clWindow"},
                                {clWindowFrame, "clWindowFrame"},
                                {clMenuText, "clMenuText"},
                                {clWindowText, "clWindowText"},
                                {clCaptionText, "clCaptionText"},
                                {clActiveBorder, "clActiveBorder"},
                                {clInactiveBorder, "clInactiveBorder"},
                                {clAppWorkSpace, "clAppWorkSpace"},
                                {clHighlight, "clHighlight"},
                                {clHighlightText, "clHighlightText"},
                                {clBtnFace, "clBtnFace"},
                                {clBtnShadow, "clBtnShadow"},
                                {clGrayText, "clGrayText"},
                                {clBtnText, "clBtnText"},
                                {clInactiveCaptionText, "clInactiveCaptionText"},
                                {clBtnHighlight, "clBtnHighlight"},
                                {cl3DDkShadow, "cl3DDkShadow"},
                                {cl3DLight, "cl3DLight"},
                                {clInfoText, "clInfoText"},
                                {clInfoBk, "clInfoBk"},
                                {clNone, "clNone"},
                                {clDefault, "clDefault"}};
  return map;
}

std::string ColorToString(TColor Color) {
  for (const auto& [v, n] : ColorIdents())
    if (v == Color) return n;
  return "$" + IntToHex(static_cast<uint32_t>(Color), 8);
}

TColor StringToColor(const std::string& S) {
  for (const auto& [v, n] : ColorIdents())
    if (SameText(n, S)) return static_cast<TColor>(v);
  return static_cast<TColor>(StrToInt64(S));
}

// ---- font, pen, brush

void TFont::SetName(const std::string& Value) {
  if (storeChange(info_.name, Value)) Changed();
}
void TFont::SetHeight(int Value) {
  if (storeChange(info_.height, Value)) Changed();
}
int TFont::Size() const { return fontPointsOfHeight(info_.height, pixelsPerInch_); }
void TFont::SetSize(int Value) { SetHeight(fontHeightOfPoints(Value, pixelsPerInch_)); }
void TFont::SetPixelsPerInch(int Value) {
  if (Value <= 0 || Value == pixelsPerInch_) return;
  const int height = rescaleFontHeight(info_.height, pixelsPerInch_, Value);
  pixelsPerInch_ = Value;
  SetHeight(height);
}
FontInfo TFont::InfoAt(int PixelsPerInch) const {
  FontInfo info = info_;
  info.height = rescaleFontHeight(info_.height, pixelsPerInch_, PixelsPerInch);
  return info;
}
TFontStyles TFont::Style() const {
  TFontStyles s;
  if (info_.bold) s.Include(fsBold);
  if (info_.italic) s.Include(fsItalic);
  if (info_.underline) s.Include(fsUnderline);
  if (info_.strikeOut) s.Include(fsStrikeOut);
  return s;
}
void TFont::SetStyle(TFontStyles Value) {
  if (Style() == Value) return;
  info_.bold = Value.Contains(fsBold);
  info_.italic = Value.Contains(fsItalic);
  info_.underline = Value.Contains(fsUnderline);
  info_.strikeOut = Value.Contains(fsStrikeOut);
  Changed();
}
void TFont::SetColor(TColor Value) {
  if (storeChange(info_.color, Value)) Changed();
}
void TFont::SetCharset(int Value) {
  if (storeChange(info_.charset, Value)) Changed();
}
void TFont::SetPitch(TFontPitch Value) {
  if (storeChange(info_.pitch, static_cast<int>(Value))) Changed();
}
void TFont::SetEscapement(int Value) {
  if (storeChange(info_.escapement, Value)) Changed();
}
void TFont::Assign(const TPersistent& Source) {
  if (const auto* f = dynamic_cast<const TFont*>(&Source)) {
    const FontInfo info = f->InfoAt(pixelsPerInch_);
    if (info_ == info) return;
    info_ = info;
    Changed();
    return;
  }
  TPersistent::Assign(Source);
}

const TClassInfo& TFont::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TFont, TPersistent>("TFont")
          .Int("Charset", &TFont::Charset, &TFont::SetCharset, 1)
          .IdentInt("Color", ColorIdents(), &TFont::Color, &TFont::SetColor, clWindowText)
          .Int("Height", &TFont::Height, &TFont::SetHeight, -11)
          .Str("Name", &TFont::Name, &TFont::SetName, std::string("MS Sans Serif"))
          .Enum<TFontPitch>("Pitch", &TFont::Pitch, &TFont::SetPitch, TFontPitch::fpDefault)
          .Set<TFontStyle>("Style", &TFont::Style, &TFont::SetStyle, TFontStyles{})
          .Build();
  return info;
}

void TPen::SetColor(TColor Value) {
  if (storeChange(info_.color, Value)) Changed();
}
void TPen::SetWidth(int Value) {
  if (storeChange(info_.width, Value)) Changed();
}
void TPen::SetStyle(TPenStyle Value) {
  if (storeChange(info_.style, Value)) Changed();
}
void TPen::Assign(const TPersistent& Source) { assignDescription<TPen>(info_, Source); }
const TClassInfo& TPen::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TPen, TPersistent>("TPen")
          .IdentInt("Color", ColorIdents(), &TPen::Color, &TPen::SetColor, clBlack)
          .Enum<TPenStyle>("Style", &TPen::Style, &TPen::SetStyle, TPenStyle::psSolid)
          .Int("Width", &TPen::Width, &TPen::SetWidth, 1)
          .Build();
  return info;
}

void TBrush::SetColor(TColor Value) {
  if (info_.color == Value && info_.style != TBrushStyle::bsClear) return;
  info_.color = Value;
  if (info_.style == TBrushStyle::bsClear) info_.style = TBrushStyle::bsSolid;
  Changed();
}
void TBrush::SetStyle(TBrushStyle Value) {
  if (storeChange(info_.style, Value)) Changed();
}
void TBrush::Assign(const TPersistent& Source) { assignDescription<TBrush>(info_, Source); }
const TClassInfo& TBrush::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TBrush, TPersistent>("TBrush")
          .IdentInt("Color", ColorIdents(), &TBrush::Color, &TBrush::SetColor, clWhite)
          .Enum<TBrushStyle>("Style", &TBrush::Style, &TBrush::SetStyle, TBrushStyle::bsSolid)
          .Build();
  return info;
}

// ---- canvas

TCanvas::TCanvas() {
  font_.OnChange.Bind([this](TObject*) { fontSent_ = false; });
  pen_.OnChange.Bind([this](TObject*) { penSent_ = false; });
  brush_.OnChange.Bind([this](TObject*) { brushSent_ = false; });
}

TCanvas::~TCanvas() {
  font_.OnChange.Clear();
  pen_.OnChange.Clear();
  brush_.OnChange.Clear();
}

void TCanvas::SetHandle(DrawingContext* Value) {
  if (!storeChange(handle_, Value)) return;
  if (handle_) font_.SetPixelsPerInch(handle_->pixelsPerInch());
  penSent_ = brushSent_ = fontSent_ = false;
}

DrawingContext* TCanvas::require() {
  DrawingContext* dc = Handle();
  if (!dc) throw EInvalidOperation("Canvas does not allow drawing");
  return dc;
}

void TCanvas::requirePen() {
  DrawingContext* dc = require();
  if (!penSent_) dc->setPen(pen_.Info());
  penSent_ = true;
}

void TCanvas::requireBrush() {
  DrawingContext* dc = require();
  if (!brushSent_) {
    dc->setBrush(brush_.Info());
    dc->setBkColor(brush_.Color());
    dc->setBkMode(brush_.Style() == TBrushStyle::bsClear ? TRANSPARENT : OPAQUE);
  }
  brushSent_ = true;
}

void TCanvas::requireFont() {
  DrawingContext* dc = require();
  if (!fontSent_) {
    dc->setFont(font_.Info());
    dc->setTextColor(font_.Color());
  }
  fontSent_ = true;
}

void TCanvas::MoveTo(int X, int Y) {
  require()->moveTo(X, Y);
  penPos_ = TPoint{X, Y};
}

void TCanvas::LineTo(int X, int Y) {
  requirePen();
  handle_->lineTo(X, Y);
  penPos_ = TPoint{X, Y};
}

void TCanvas::Polyline(const std::vector<TPoint>& Points) {
  requirePen();
  handle_->polyline(Points);
  if (!Points.empty()) penPos_ = Points.back();
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
  requirePen();
  requireBrush();
  handle_->rectangle(TRect{X1, Y1, X2, Y2});
}

void TCanvas::Ellipse(int X1, int Y1, int X2, int Y2) {
  requirePen();
  requireBrush();
  handle_->ellipse(TRect{X1, Y1, X2, Y2});
}

void TCanvas::FillRect(const TRect& R) {
  requireBrush();
  handle_->fillRect(R, brush_.Info());
}

void TCanvas::FrameRect(const TRect& R) {
  requireBrush();
  handle_->frameRect(R, brush_.Info());
}

void TCanvas::TextOut(int X, int Y, const std::string& Text) {
  requireFont();
  requireBrush();
  handle_->textOut(X, Y, Text);
  penPos_ = TPoint{X + handle_->textExtent(Text).cx, Y};
}

void TCanvas::TextRect(const TRect& R, int X, int Y, const std::string& Text) {
  requireFont();
  requireBrush();
  handle_->textRect(R, X, Y, Text);
}

TSize TCanvas::TextExtent(const std::string& Text) {
  requireFont();
  return handle_->textExtent(Text);
}

TColor TCanvas::Pixels(int X, int Y) { return require()->getPixel(X, Y); }
void TCanvas::SetPixel(int X, int Y, TColor Color) { require()->setPixel(X, Y, Color); }

void TCanvas::CopyRect(const TRect& Dest, TCanvas& Source, const TRect& Src) {
  DrawingContext* src = Source.require();
  require()->copyRect(Dest, *src, Src);
}

void TCanvas::Frame3D(TRect& R, TColor TopColor, TColor BottomColor, int Width) {
  const PenInfo saved = pen_.Info();
  for (int i = 0; i < Width; ++i) {
    --R.Bottom;
    --R.Right;
    pen_.SetColor(TopColor);
    pen_.SetStyle(TPenStyle::psSolid);
    pen_.SetWidth(1);
    Polyline({TPoint{R.Left, R.Bottom}, TPoint{R.Left, R.Top}, TPoint{R.Right, R.Top}});
    pen_.SetColor(BottomColor);
    Polyline({TPoint{R.Right, R.Top}, TPoint{R.Right, R.Bottom}, TPoint{R.Left - 1, R.Bottom}});
    ++R.Left;
    ++R.Top;
  }
  pen_.SetColor(saved.color);
  pen_.SetWidth(saved.width);
  pen_.SetStyle(saved.style);
}

} // namespace kv::platform
