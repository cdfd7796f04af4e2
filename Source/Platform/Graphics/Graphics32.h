// The 32-bit bitmap library that the charts draw with: TBitmap32 and its companions on our
// raster. Coordinates are pixels; the raster's pixel rules (Raster.h) hold for every call.
#pragma once

#include "Platform/Graphics/Colors.h"
#include "Platform/Graphics/GdiObjects.h"
#include "Platform/Graphics/Raster.h"

#include <string>

namespace kv::platform::Graphics32 {

using kv::platform::TColor;
using kv::platform::TColor32;

// Opaque raster colour of a Windows colour (system colours resolved).
TColor32 Color32(TColor color);
// Windows colour of a raster colour, alpha dropped.
TColor WinColor(TColor32 color);

struct TFloatRect {
  float Left = 0, Top = 0, Right = 0, Bottom = 0;
};
TFloatRect FloatRect(float left, float top, float right, float bottom);

// The bitmap's font: face, height in pixels (LOGFONT sense: negative for the character height),
// colour and style, and a GDI font handle that stands for it.
class TBitmap32Font {
public:
  TBitmap32Font() = default;
  TBitmap32Font(const TBitmap32Font& other) { copyFields(other); }
  TBitmap32Font& operator=(const TBitmap32Font& other);
  ~TBitmap32Font();

  std::string Name = "MS Sans Serif";
  int Height = -11; // 8 points at 96 pixels per inch
  TColor Color = clBlack;
  bool Bold = false, Italic = false, Underline = false, StrikeOut = false;
  int Escapement = 0; // tenths of a degree, counter-clockwise

  LOGFONTA LogFont() const;
  // Takes the face, height, style and escapement of a font record (and the colour).
  void Assign(const LOGFONTA& font, TColor color);
  // A handle for the current properties; the font owns it (unless it came from SetHandle)
  // and replaces it when the properties change.
  HFONT Handle() const;
  // Takes over the description of a font created elsewhere (a rotated label font, say); the
  // handle stays its creator's to delete, and Handle() returns it until a property changes.
  void SetHandle(HFONT font);

private:
  void copyFields(const TBitmap32Font& other);
  void release() const;
  mutable HFONT handle_ = 0;
  mutable bool owned_ = false;
  mutable LOGFONTA handleFont_;
};

class TBitmap32 {
public:
  TBitmap32() = default;
  TBitmap32(int width, int height) { SetSize(width, height); }

  TBitmap32Font Font;

  int Width() const { return raster_.width(); }
  int Height() const { return raster_.height(); }
  // New size, every pixel transparent black ($00000000).
  void SetSize(int width, int height) { raster_.resize(width, height, 0); }
  void Clear(TColor32 color) { raster_.fill(color); }
  TColor32 PixelS(int x, int y) const { return raster_.pixel(x, y); } // 0 outside
  void SetPixelS(int x, int y, TColor32 color) { raster_.setPixel(x, y, color); }

  void FillRectS(int x1, int y1, int x2, int y2, TColor32 color);
  void FillRectTS(int x1, int y1, int x2, int y2, TColor32 color);
  void FrameRectS(int x1, int y1, int x2, int y2, TColor32 color);
  void LineS(int x1, int y1, int x2, int y2, TColor32 color, bool l = false);
  void LineAS(int x1, int y1, int x2, int y2, TColor32 color, bool l = false);
  void LineFS(float x1, float y1, float x2, float y2, TColor32 color, bool l = false);

  // Text in Font and Font.Color, its reference point (the top left corner of the unturned text) at (x, y).
  void Textout(int x, int y, const std::string& text);
  int TextWidth(const std::string& text) const;
  int TextHeight(const std::string& text) const;
  // The same, in `color` (its alpha honoured); the text is always anti-aliased.
  void RenderText(int x, int y, const std::string& text, int aaLevel, TColor32 color);

  // The whole bitmap copied opaquely onto dst with its top left corner at (x, y).
  void DrawTo(TBitmap32& dst, int x, int y) const;

  Raster& raster() { return raster_; }
  const Raster& raster() const { return raster_; }
  bool SaveToPng(const std::string& path) const { return writePng(raster_, path); }

private:
  Raster raster_;
};

class TTransformation {
public:
  virtual ~TTransformation() = default;
  // The source area; an empty one stands for the whole source bitmap.
  TFloatRect SrcRect;
  void SetSrcRect(const TFloatRect& rect) { SrcRect = rect; }
  virtual Affine matrix() const = 0;
};

class TAffineTransformation : public TTransformation {
public:
  void Clear() { matrix_ = Affine{}; }
  // Turns by alpha degrees about (cx, cy), counter-clockwise on the screen: a point (x, y)
  // goes to (cx + (x - cx) cos a + (y - cy) sin a, cy - (x - cx) sin a + (y - cy) cos a).
  // Whole multiples of 90 degrees use exact values.
  void Rotate(float cx, float cy, float alpha);
  Affine matrix() const override { return matrix_; }

private:
  Affine matrix_;
};

// Renders src into dst through the transformation (pixel rules: transformRaster in Raster.h).
void Transform(TBitmap32& dst, const TBitmap32& src, const TTransformation& transformation);

} // namespace kv::platform::Graphics32
