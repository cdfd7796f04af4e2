#include "Platform/Ui/Buttons.h"

#include "Platform/Graphics/Colors.h"

#include <algorithm>
#include <map>

namespace kv::platform {

using namespace classic;

const TBitBtnKindInfo& BitBtnKindInfo(TBitBtnKind Kind) {
  static const TBitBtnKindInfo table[] = {
      {"", mrNone, false, false},        {"OK", mrOk, true, false},
      {"Cancel", mrCancel, false, true}, {"&Help", mrNone, false, false},
      {"&Yes", mrYes, true, false},      {"&No", mrNo, false, true},
      {"&Close", mrNone, false, false},  {"Abort", mrAbort, false, false},
      {"&Retry", mrRetry, false, false}, {"&Ignore", mrIgnore, false, false},
      {"&All", mrAll, false, false}};
  return table[static_cast<int>(Kind)];
}

namespace {
// The pictures of the kinds, 12 x 12: '.' transparent, letters the colours below.
Raster glyphFrom(const char* const rows[12]) {
  const TColor32 transparent = toColor32(clOlive);
  Raster r(12, 12, transparent);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      switch (rows[y][x]) {
      case 'g':
        r.setPixel(x, y, toColor32(clGreen));
        break;
      case 'r':
        r.setPixel(x, y, toColor32(clRed));
        break;
      case 'b':
        r.setPixel(x, y, toColor32(clNavy));
        break;
      case 'k':
        r.setPixel(x, y, toColor32(clBlack));
        break;
      default:
        break;
      }
    }
  return r;
}

constexpr const char* kCheck[12] = {"............", "..........g.", ".........gg.", "........ggg.",
                                    "g......ggg..", "gg....ggg...", "ggg..ggg....", ".ggggggg....",
                                    "..ggggg.....", "...ggg......", "....g.......", "............"};
constexpr const char* kCross[12] = {"............", ".rr......rr.", ".rrr....rrr.", "..rrr..rrr..",
                                    "...rrrrrr...", "....rrrr....", "....rrrr....", "...rrrrrr...",
                                    "..rrr..rrr..", ".rrr....rrr.", ".rr......rr.", "............"};
constexpr const char* kNo[12] = {"....rrrr....", "..rr....rr..", ".r........r.", ".r.......rr.",
                                 "r.......rr.r", "r......rr..r", "r.....rr...r", "r....rr....r",
                                 ".r..rr....r.", ".rrr......r.", "..rr....rr..", "....rrrr...."};
constexpr const char* kQuestion[12] = {"....bbbb....", "...bb..bb...", "..bb....bb..", "........bb..",
                                       ".......bb...", "......bb....", ".....bb.....", ".....bb.....",
                                       "............", ".....bb.....", ".....bb.....", "............"};
constexpr const char* kDoor[12] = {"..kkkkkkkk..", "..k......k..", "..k......k..", "..k......k..",
                                   "..k......k..", "..k....k.k..", "..k......k..", "..k......k..",
                                   "..k......k..", "..k......k..", "..kkkkkkkk..", "............"};
constexpr const char* kRetry[12] = {"............", "....gggg....", "...g....g...", "..g......g..",
                                    "..g.......g.", "..g......ggg", "..g.......g.", "..g.........",
                                    "...g....g...", "....gggg....", "............", "............"};
constexpr const char* kAll[12] = {"............", "...g......g.", "..gg.....gg.", ".ggg....ggg.",
                                  "ggg....ggg..", "gg....ggg...", "g..g.ggg....", "..gggggg....",
                                  "...gggg.....", "....gg......", "............", "............"};
} // namespace

const Raster* KindGlyph(TBitBtnKind Kind) {
  static const std::map<TBitBtnKind, Raster> glyphs = {
      {TBitBtnKind::bkOK, glyphFrom(kCheck)},      {TBitBtnKind::bkYes, glyphFrom(kCheck)},
      {TBitBtnKind::bkCancel, glyphFrom(kCross)},  {TBitBtnKind::bkAbort, glyphFrom(kCross)},
      {TBitBtnKind::bkNo, glyphFrom(kNo)},         {TBitBtnKind::bkIgnore, glyphFrom(kNo)},
      {TBitBtnKind::bkHelp, glyphFrom(kQuestion)}, {TBitBtnKind::bkClose, glyphFrom(kDoor)},
      {TBitBtnKind::bkRetry, glyphFrom(kRetry)},   {TBitBtnKind::bkAll, glyphFrom(kAll)}};
  auto it = glyphs.find(Kind);
  return it == glyphs.end() ? nullptr : &it->second;
}

void DrawGlyph(TCanvas& Canvas, const Raster& Glyph, int X, int Y, bool Enabled) {
  if (Glyph.width() == 0 || Glyph.height() == 0) return;
  const TColor32 transparent = Glyph.pixel(0, Glyph.height() - 1);
  for (int y = 0; y < Glyph.height(); ++y)
    for (int x = 0; x < Glyph.width(); ++x) {
      const TColor32 p = Glyph.pixel(x, y);
      if (p == transparent) continue;
      if (Enabled) {
        Canvas.SetPixel(X + x, Y + y, fromColor32(p));
      } else {
        Canvas.SetPixel(X + x + 1, Y + y + 1, clBtnHighlight);
        Canvas.SetPixel(X + x, Y + y, clBtnShadow);
      }
    }
}

void PaintGlyphAndCaption(TCanvas& Canvas, const TRect& Content, const Raster* Glyph,
                          const std::string& Caption, TButtonLayout Layout, int Margin, int Spacing,
                          bool Enabled) {
  const TSize text = MeasureText(Canvas.Font(), StripAccel(Caption));
  const int gw = Glyph ? Glyph->width() : 0, gh = Glyph ? Glyph->height() : 0;
  const bool horizontal = Layout == TButtonLayout::blGlyphLeft || Layout == TButtonLayout::blGlyphRight;
  const int space = (Glyph && !Caption.empty()) ? Spacing : 0;
  const int total = horizontal ? gw + space + text.cx : gh + space + text.cy;
  const int extent = horizontal ? Content.Width() : Content.Height();
  // Without a margin the picture and the caption are centred together.
  const int start = Margin >= 0 ? Margin : (extent - total) / 2;
  const bool fromFarEnd = Layout == TButtonLayout::blGlyphRight || Layout == TButtonLayout::blGlyphBottom;
  struct Place {
    int glyph, text;
  };
  // Along the layout the picture stands Start from its end and the caption follows it; across it
  // both are centred.
  auto along = [&](int Near, int Far, int GlyphSize, int TextSize) {
    if (!fromFarEnd) return Place{Near + start, Near + start + GlyphSize + space};
    return Place{Far - start - GlyphSize, Far - start - GlyphSize - space - TextSize};
  };
  auto across = [](int Near, int Extent, int GlyphSize, int TextSize) {
    return Place{Near + (Extent - GlyphSize) / 2, Near + (Extent - TextSize) / 2};
  };
  const Place x = horizontal ? along(Content.Left, Content.Right, gw, text.cx)
                             : across(Content.Left, Content.Width(), gw, text.cx);
  const Place y = horizontal ? across(Content.Top, Content.Height(), gh, text.cy)
                             : along(Content.Top, Content.Bottom, gh, text.cy);
  if (Glyph) DrawGlyph(Canvas, *Glyph, x.glyph, y.glyph, Enabled);
  if (!Caption.empty())
    DrawCaption(Canvas, TRect{x.text, y.text, x.text + text.cx, y.text + text.cy}, Caption, dcLeft, Enabled);
}

// ---- TBitBtn

const TClassInfo& TBitBtn::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TBitBtn, TButton>("TBitBtn")
          .Enum<TBitBtnKind>("Kind", &TBitBtn::Kind, &TBitBtn::SetKind, TBitBtnKind::bkCustom)
          .Enum<TButtonLayout>("Layout", &TBitBtn::Layout, &TBitBtn::SetLayout, TButtonLayout::blGlyphLeft)
          .Int("Margin", &TBitBtn::Margin, &TBitBtn::SetMargin, -1)
          .Int("Spacing", &TBitBtn::Spacing, &TBitBtn::SetSpacing, 4)
          .Build();
  return info;
}

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {}

void TBitBtn::SetKind(TBitBtnKind Value) {
  if (Value == kind_) return;
  if (Value != TBitBtnKind::bkCustom) {
    const TBitBtnKindInfo& k = BitBtnKindInfo(Value);
    SetDefault(k.isDefault);
    SetCancel(k.isCancel);
    // A caption read from a form file before the kind stays.
    if (!IsLoading() || Caption().empty()) SetCaption(k.caption);
    SetModalResult(k.modalResult);
    glyph_.reset();
  }
  kind_ = Value;
  Invalidate();
}

const Raster* TBitBtn::Glyph() const { return glyph_ ? &*glyph_ : KindGlyph(kind_); }

void TBitBtn::SetGlyph(const Raster& Value) {
  glyph_ = Value;
  Invalidate();
}
void TBitBtn::SetLayout(TButtonLayout Value) { invalidateOnChange(layout_, Value); }
void TBitBtn::SetMargin(int Value) { invalidateOnChange(margin_, std::max(-1, Value)); }
void TBitBtn::SetSpacing(int Value) { invalidateOnChange(spacing_, Value); }

void TBitBtn::Click() {
  if (kind_ == TBitBtnKind::bkClose) {
    if (TCustomForm* form = GetParentForm(this)) {
      form->Close();
      TButtonControl::Click();
      return;
    }
  }
  TButton::Click();
}

void TBitBtn::PaintContent(const TRect& Content) {
  TCanvas& c = Canvas();
  c.SetFont(Font());
  c.Font().SetColor(clBtnText);
  PaintGlyphAndCaption(c, Content, Glyph(), Caption(), layout_, margin_, spacing_, Enabled());
}

// ---- TSpeedButton

const TClassInfo& TSpeedButton::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TSpeedButton, TGraphicControl>("TSpeedButton")
          .Bool("AllowAllUp", &TSpeedButton::AllowAllUp, &TSpeedButton::SetAllowAllUp, false)
          .With(published::Anchors)
          .Int("GroupIndex", &TSpeedButton::GroupIndex, &TSpeedButton::SetGroupIndex, 0)
          .Bool("Down", &TSpeedButton::Down, &TSpeedButton::SetDown, false)
          .With(published::Caption)
          .With(published::Enabled)
          .Bool("Flat", &TSpeedButton::Flat, &TSpeedButton::SetFlat, false)
          .With(published::Font)
          .With(published::Hint)
          .Enum<TButtonLayout>("Layout", &TSpeedButton::Layout, &TSpeedButton::SetLayout,
                               TButtonLayout::blGlyphLeft)
          .Int("Margin", &TSpeedButton::Margin, &TSpeedButton::SetMargin, -1)
          .With(published::ParentFont)
          .With(published::ShowHint)
          .Int("Spacing", &TSpeedButton::Spacing, &TSpeedButton::SetSpacing, 4)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::MouseEvents)
          .Build();
  return info;
}

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetBounds(0, 0, 23, 22);
  SetControlStyle(TControlStyle{csCaptureMouse, csClickEvents, csDoubleClicks, csOpaque});
}

void TSpeedButton::SetDown(bool Value) {
  if (groupIndex_ == 0) Value = false; // only a button of a group stays down
  if (Value == down_) return;
  if (down_ && !allowAllUp_ && !IsLoading()) return;
  down_ = Value;
  if (Value) groupChanged();
  Invalidate();
}

void TSpeedButton::groupChanged() {
  if (!Parent() || groupIndex_ == 0) return;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (auto* b = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
        b && b != this && b->groupIndex_ == groupIndex_) {
      if (down_ && b->down_) {
        b->down_ = false;
        b->Invalidate();
      }
      b->allowAllUp_ = allowAllUp_;
    }
}

void TSpeedButton::SetGroupIndex(int Value) {
  groupIndex_ = Value;
  groupChanged();
}
void TSpeedButton::SetAllowAllUp(bool Value) {
  allowAllUp_ = Value;
  groupChanged();
}
void TSpeedButton::SetFlat(bool Value) { invalidateOnChange(flat_, Value); }
void TSpeedButton::SetGlyph(const Raster& Value) {
  glyph_ = Value;
  Invalidate();
}
void TSpeedButton::SetLayout(TButtonLayout Value) { invalidateOnChange(layout_, Value); }
void TSpeedButton::SetMargin(int Value) { invalidateOnChange(margin_, std::max(-1, Value)); }
void TSpeedButton::SetSpacing(int Value) { invalidateOnChange(spacing_, Value); }

void TSpeedButton::Click() {
  if (groupIndex_ != 0) {
    if (!down_)
      SetDown(true);
    else if (allowAllUp_)
      SetDown(false);
  }
  TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft && Enabled()) face_.press(*this);
  TGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  face_.mouseMoved(*this, X, Y);
  TGraphicControl::MouseMove(Shift, X, Y);
}

void TSpeedButton::Dispatch(TMessage& Message) {
  if (!face_.dispatch(*this, Message, flat_)) TGraphicControl::Dispatch(Message);
}

void TSpeedButton::Paint() {
  TCanvas& c = Canvas();
  const bool sunk = down_ || face_.pressed;
  const TRect r = ToolButtonFace(c, ClientRect(), sunk, flat_, face_.hot && Enabled());
  // A button held down shows the checked pattern of the classic look.
  if (down_ && !face_.pressed)
    for (int y = r.Top; y < r.Bottom; ++y)
      for (int x = r.Left + ((y + r.Left) & 1); x < r.Right; x += 2)
        c.SetPixel(x, y, clBtnHighlight);
  c.SetFont(Font());
  c.Font().SetColor(clBtnText);
  PaintGlyphAndCaption(c, sunk ? OffsetRectBy(r, 1, 1) : r, Glyph(), Caption(), layout_, margin_, spacing_,
                       Enabled());
}

void RegisterButtons() { RegisterClasses({&TBitBtn::StaticClassInfo(), &TSpeedButton::StaticClassInfo()}); }

} // namespace kv::platform
