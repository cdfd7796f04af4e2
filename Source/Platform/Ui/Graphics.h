// The class library's drawing objects: font, pen and brush descriptions and the canvas that
// draws with them through a DrawingContext.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/DrawingContext.h"

#include <string>
#include <vector>

namespace kv::platform {

// Colour names of form files (clBlack ... clInfoBk, clNone, clDefault).
const TIdentMap& ColorIdents();
std::string ColorToString(TColor Color);
TColor StringToColor(const std::string& S); // a name or a number; EConvertError otherwise

enum class TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
KV_ENUM_NAMES(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TFontStyles = TSet<TFontStyle>;
inline constexpr auto fsBold = TFontStyle::fsBold;
inline constexpr auto fsItalic = TFontStyle::fsItalic;
inline constexpr auto fsUnderline = TFontStyle::fsUnderline;
inline constexpr auto fsStrikeOut = TFontStyle::fsStrikeOut;
enum class TFontPitch { fpDefault, fpVariable, fpFixed };
KV_ENUM_NAMES(TFontPitch, "fpDefault", "fpVariable", "fpFixed")
KV_ENUM_NAMES(TPenStyle, "psSolid", "psDash", "psDot", "psDashDot", "psDashDotDot", "psClear",
              "psInsideFrame")
KV_ENUM_NAMES(TBrushStyle, "bsSolid", "bsClear", "bsHorizontal", "bsVertical", "bsFDiagonal", "bsBDiagonal",
              "bsCross", "bsDiagCross")

// A drawing object that tells its owner of every change.
class TGraphicsObject : public TPersistent {
public:
  TNotifyEvent OnChange;
  std::string ClassName() const override { return "TGraphicsObject"; }

protected:
  void Changed() { OnChange(this); }
  // Assign of an object whose whole state is its description: one of the same class gives its
  // description (and the owner hears of it); anything else goes to TPersistent.
  template <class Same, class Description>
  void assignDescription(Description& Mine, const TPersistent& Source) {
    if (const auto* same = dynamic_cast<const Same*>(&Source)) {
      Mine = same->Info();
      Changed();
      return;
    }
    TPersistent::Assign(Source);
  }
};

class TFont : public TGraphicsObject {
  KV_CLASS_INFO(TFont)
public:
  TFont() = default;
  const std::string& Name() const { return info_.name; }
  void SetName(const std::string& Value);
  // Pixels of the device the font draws on (see PixelsPerInch).
  int Height() const { return info_.height; }
  void SetHeight(int Value);
  // Points at the font's resolution: Size = -Height * 72 / PixelsPerInch.
  int Size() const;
  void SetSize(int Value);
  // The resolution that Height is measured in: the screen's 96 pixels per inch until a canvas
  // takes the font to a device of another resolution. A change keeps the size in points, so
  // Height follows it.
  int PixelsPerInch() const { return pixelsPerInch_; }
  void SetPixelsPerInch(int Value);
  TFontStyles Style() const;
  void SetStyle(TFontStyles Value);
  TColor Color() const { return info_.color; }
  void SetColor(TColor Value);
  int Charset() const { return info_.charset; }
  void SetCharset(int Value);
  TFontPitch Pitch() const { return static_cast<TFontPitch>(info_.pitch); }
  void SetPitch(TFontPitch Value);
  int Escapement() const { return info_.escapement; }
  void SetEscapement(int Value);
  const FontInfo& Info() const { return info_; }
  // The font's description at another resolution, with the same size in points.
  FontInfo InfoAt(int PixelsPerInch) const;
  // Takes everything of Source; a source of another resolution keeps its size in points.
  void Assign(const TPersistent& Source) override;

private:
  FontInfo info_;
  int pixelsPerInch_ = 96;
};

class TPen : public TGraphicsObject {
  KV_CLASS_INFO(TPen)
public:
  TColor Color() const { return info_.color; }
  void SetColor(TColor Value);
  int Width() const { return info_.width; }
  void SetWidth(int Value);
  TPenStyle Style() const { return info_.style; }
  void SetStyle(TPenStyle Value);
  const PenInfo& Info() const { return info_; }
  void Assign(const TPersistent& Source) override;

private:
  PenInfo info_;
};

class TBrush : public TGraphicsObject {
  KV_CLASS_INFO(TBrush)
public:
  TColor Color() const { return info_.color; }
  void SetColor(TColor Value);
  TBrushStyle Style() const { return info_.style; }
  void SetStyle(TBrushStyle Value);
  const BrushInfo& Info() const { return info_; }
  void Assign(const TPersistent& Source) override;

private:
  BrushInfo info_;
};

// Draws on whatever context its Handle names; the font, pen and brush go to the context when
// a drawing call needs them. The font follows the resolution of the context it draws on, so a
// Font.Size in points is that size on the screen, a bitmap and a printed page alike.
class TCanvas : public TPersistent {
public:
  TCanvas();
  ~TCanvas() override;
  std::string ClassName() const override { return "TCanvas"; }

  DrawingContext* Handle() { return handle_ ? handle_ : acquireHandle(); }
  bool HandleAllocated() const { return handle_ != nullptr; }
  void SetHandle(DrawingContext* Value);

  TFont& Font() { return font_; }
  TPen& Pen() { return pen_; }
  TBrush& Brush() { return brush_; }
  void SetFont(const TFont& Value) { font_.Assign(Value); }

  void Lock() { ++lockCount_; }
  void Unlock() {
    if (lockCount_ > 0) --lockCount_;
  }
  int LockCount() const { return lockCount_; }

  void MoveTo(int X, int Y);
  void LineTo(int X, int Y);
  TPoint PenPos() const { return penPos_; }
  void Polyline(const std::vector<TPoint>& Points);
  void Rectangle(int X1, int Y1, int X2, int Y2);
  void Rectangle(const TRect& R) { Rectangle(R.Left, R.Top, R.Right, R.Bottom); }
  void Ellipse(int X1, int Y1, int X2, int Y2);
  void FillRect(const TRect& R);
  void FrameRect(const TRect& R);
  void TextOut(int X, int Y, const std::string& Text);
  void TextRect(const TRect& R, int X, int Y, const std::string& Text);
  TSize TextExtent(const std::string& Text);
  int TextWidth(const std::string& Text) { return TextExtent(Text).cx; }
  int TextHeight(const std::string& Text) { return TextExtent(Text).cy; }
  TColor Pixels(int X, int Y);
  void SetPixel(int X, int Y, TColor Color);
  void CopyRect(const TRect& Dest, TCanvas& Source, const TRect& Src);
  // Raised and sunken frames: TopColor on the top and left, BottomColor on the bottom and right;
  // the rectangle shrinks by Width on every side.
  void Frame3D(TRect& R, TColor TopColor, TColor BottomColor, int Width);

protected:
  // A canvas without a context asks here for one (a control canvas: its control's window).
  virtual DrawingContext* acquireHandle() { return nullptr; }
  void requirePen();
  void requireBrush();
  void requireFont();
  DrawingContext* require();

private:
  DrawingContext* handle_ = nullptr;
  TFont font_;
  TPen pen_;
  TBrush brush_;
  TPoint penPos_;
  int lockCount_ = 0;
  bool penSent_ = false, brushSent_ = false, fontSent_ = false;
};

} // namespace kv::platform
