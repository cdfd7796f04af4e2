#include "Prnprev.h"

#include "Platform/Graphics/Colors.h"
#include "Platform/Graphics/Printer.h"
#include "Platform/Rtl/StoreChange.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace Prnprev {

using namespace kv::platform;

namespace {

// The zoom that a window too small for its margins would give: the page shrinks to almost
// nothing instead of turning inside out.
constexpr double kSmallestScale = 1e-6;

int toInt(double v) { return RoundToInt(v); }

// [r) minus the rectangles `holes`, as disjoint rectangles.
std::vector<TRect> subtract(const TRect& r, std::initializer_list<TRect> holes) {
  std::vector<TRect> parts{r};
  for (const TRect& h : holes) {
    std::vector<TRect> next;
    for (const TRect& p : parts)
      rectMinus(p, h, next);
    parts = std::move(next);
  }
  return parts;
}

} // namespace

// ---- the paint surface

TPaintPanel::TPaintPanel(TComponent* AOwner, TComponent* APreview) : TPanel(AOwner), preview_(APreview) {}

void TPaintPanel::WMPaint(TWMPaint& Message) {
  if (Message.DC) return;
  TPaintStruct ps;
  DrawingContext* dc = BeginPaint(Handle(), ps);
  DrawingContext* old = Canvas().HandleAllocated() ? Canvas().Handle() : nullptr;
  struct End {
    HWND h;
    TPaintStruct& ps;
    TCanvas& canvas;
    DrawingContext* old;
    ~End() {
      canvas.SetHandle(old);
      EndPaint(h, ps);
    }
  } end{Handle(), ps, Canvas(), old};
  if (!dc) return;
  Canvas().SetHandle(dc);
  Paint();
}

void TPaintPanel::Paint() {
  auto* preview = dynamic_cast<TPrintPreview*>(preview_);
  if (!preview) throw EInvalidOperation("Invalid class typecast");
  preview->Paint(&Canvas());
}

const TClassInfo& TPaintPanel::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TPaintPanel, TPanel>("TPaintPanel").Build();
  return info;
}

// ---- the preview

TPrintPreview::TPrintPreview(TComponent* AOwner) : TCustomControl(AOwner) {
  printJobRunning_ = false;
  InitLineStyles();
  custXScale_ = custYScale_ = 1.0;
  leftBorder_ = topBorder_ = rightBorder_ = bottomBorder_ = 0;

  Panel = new TPaintPanel(this, this);
  Panel->SetParent(this);
  Panel->SetBounds(0, 0, Panel->Width(), Panel->Height());
  // Bound through the virtual operations, so that a descendant's overrides are the ones called.
  Panel->OnMouseDown.Bind(
      [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { PreviewMouseDown(s, b, sh, x, y); });
  Panel->OnMouseMove.Bind(
      [this](TObject* s, TShiftState sh, int x, int y) { PreviewMouseMove(s, sh, x, y); });
  Panel->OnMouseUp.Bind(
      [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) { PreviewMouseUp(s, b, sh, x, y); });

  dragging_ = false;
  fitOnWindow_ = true;
  SetBounds(Left(), Top(), 100, 100);
  scale_ = 1.0;
  actualPage_ = 1;
  PageCount = 1;
  PrinterChanged(false);

  for (TScrollBar** bar : {&VBar, &HBar}) {
    *bar = new TScrollBar(this);
    (*bar)->SetKind(bar == &VBar ? TScrollBarKind::sbVertical : TScrollBarKind::sbHorizontal);
    (*bar)->SetTabStop(false);
    (*bar)->SetVisible(false);
    (*bar)->OnScroll.Bind([this](TObject* s, TScrollCode c, int& p) { Scroll(s, c, p); });
    (*bar)->SetParent(this);
  }
  Title = "Dokument";
  scrollBars_ = TScrollStyle::ssBoth;
  userScale_ = 0.1;
}

TPrintPreview::~TPrintPreview() {
  if (printerDCHeld_ && !printJobRunning_) CurrentPrinter().Abort();
  printCanvas_.SetHandle(nullptr);
}

void TPrintPreview::InitLineStyles() {
  for (auto& row : LineStyles)
    row.fill(0.0);
  auto set = [this](TStyle s, std::initializer_list<double> lengths) {
    TLineStyleRow& row = LineStyles[static_cast<size_t>(s)];
    row[0] = static_cast<double>(lengths.size());
    size_t i = 1;
    for (double l : lengths)
      row[i++] = l;
  };
  set(ls_Dash, {2.0, 0.5});
  set(ls_Dot, {0.4, 0.6});
  set(ls_DashDot, {2.0, 0.5, 0.5, 0.5});
}

// ---- mapping

double TPrintPreview::xToFPix(double mm) const { return mm * pxPerMmX_ * scale_; }
double TPrintPreview::yToFPix(double mm) const { return mm * pxPerMmY_ * scale_; }
int TPrintPreview::xToPix(double mm) const { return toInt(xToFPix(mm)); }
int TPrintPreview::yToPix(double mm) const { return toInt(yToFPix(mm)); }

// A zero factor (no printer metrics yet) maps every pixel to 0 mm rather than to infinity.
double TPrintPreview::xToMet(int px) const {
  const double f = pxPerMmX_ * scale_;
  return f != 0 ? px / f : 0.0;
}
double TPrintPreview::yToMet(int px) const {
  const double f = pxPerMmY_ * scale_;
  return f != 0 ? px / f : 0.0;
}

int TPrintPreview::GetXSize() const { return horzSizeMm_ - leftBorder_ - rightBorder_; }
int TPrintPreview::GetYSize() const { return vertSizeMm_ - topBorder_ - bottomBorder_; }

int TPrintPreview::mapX(double mm) const { return xToPix(leftBorder_ + mm * custXScale_); }
int TPrintPreview::mapY(double mm) const { return yToPix(topBorder_ + mm * custYScale_); }

// The host may draw before the first paint or print has given the preview a canvas: that is
// refused with the class library's error, never a crash.
TCanvas& TPrintPreview::drawOn() const {
  if (!drawCanvas_) throw EInvalidOperation("The print preview has no canvas to draw on");
  return *drawCanvas_;
}

DrawingContext* TPrintPreview::drawContext() const {
  DrawingContext* dc = drawOn().Handle();
  if (!dc) throw EInvalidOperation("Canvas does not allow drawing");
  return dc;
}

void TPrintPreview::takeCanvas(TCanvas* ACanvas) {
  drawCanvas_ = ACanvas;
  baseClip_.reset();
  baseOrigin_ = TPoint{};
  if (ACanvas && ACanvas->Handle()) {
    baseClip_ = ACanvas->Handle()->clipRect();
    baseOrigin_ = ACanvas->Handle()->deviceOrigin();
  }
}

// A clip in the canvas's device pixels (0, 0 the top left of its window or page), kept inside
// what the window system lets the paint draw on.
void TPrintPreview::setPixelClip(const TRect& DeviceRect) {
  TRect r = OffsetRectBy(DeviceRect, baseOrigin_.X, baseOrigin_.Y);
  if (baseClip_) r = IntersectRects(r, *baseClip_);
  drawContext()->setClipRect(r);
}

// ---- metric drawing

void TPrintPreview::MetLine(double X1, double Y1, double X2, double Y2) {
  drawOn().MoveTo(mapX(X1), mapY(Y1));
  drawOn().LineTo(mapX(X2), mapY(Y2));
}

void TPrintPreview::MetText(double X, double Y, const std::string& Text) {
  drawOn().TextOut(mapX(X), mapY(Y), Text);
}

double TPrintPreview::MetTextHeight(const std::string& Text) { return yToMet(drawOn().TextExtent(Text).cy); }
double TPrintPreview::MetTextWidth(const std::string& Text) { return xToMet(drawOn().TextExtent(Text).cx); }

void TPrintPreview::MetRect(double X1, double Y1, double X2, double Y2) {
  drawOn().Rectangle(mapX(X1), mapY(Y1), mapX(X2), mapY(Y2));
}

void TPrintPreview::MetEllipse(double X1, double Y1, double X2, double Y2) {
  drawOn().Ellipse(mapX(X1), mapY(Y1), mapX(X2), mapY(Y2));
}

void TPrintPreview::MetClip(double X1, double Y1, double X2, double Y2) {
  const TPoint org = drawContext()->windowOrg();
  setPixelClip(TRect{mapX(X1) - org.X, mapY(Y1) - org.Y, mapX(X2) - org.X, mapY(Y2) - org.Y});
}

void TPrintPreview::CancelClip() { drawContext()->setClipRect(baseClip_); }

void TPrintPreview::PixLine(int X1, int Y1, int X2, int Y2) {
  const int ox = xToPix(leftBorder_), oy = yToPix(topBorder_);
  drawOn().MoveTo(toInt(X1 * custXScale_) + ox, toInt(Y1 * custYScale_) + oy);
  drawOn().LineTo(toInt(X2 * custXScale_) + ox, toInt(Y2 * custYScale_) + oy);
}

void TPrintPreview::PixText(int X, int Y, const std::string& Text) {
  drawOn().TextOut(toInt(X * custXScale_) + xToPix(leftBorder_), toInt(Y * custYScale_) + yToPix(topBorder_),
                   Text);
}

void TPrintPreview::PixRect(int X1, int Y1, int X2, int Y2) {
  const int ox = xToPix(leftBorder_), oy = yToPix(topBorder_);
  drawOn().Rectangle(toInt(X1 * custXScale_) + ox, toInt(Y1 * custYScale_) + oy, toInt(X2 * custXScale_) + ox,
                     toInt(Y2 * custYScale_) + oy);
}

// One segment of the dash walk; the state runs on from segment to segment. Each step ends one
// pattern element, so the walk always gets through the segment.
void TPrintPreview::drawDashed(const TRealPoint& A0, const TRealPoint& B, const TLineStyleRow& Row, int N,
                               double& Acc, bool& PenDown, int& K) {
  TRealPoint A = A0;
  for (;;) {
    const double len = std::hypot(B.X - A.X, B.Y - A.Y);
    if (!std::isfinite(len)) return;
    if (Acc + len < Row[static_cast<size_t>(K)]) {
      if (PenDown) MetLine(A.X, A.Y, B.X, B.Y);
      Acc += len;
      return;
    }
    if (len == 0) return; // nothing left of the segment to cut
    const double rem = Row[static_cast<size_t>(K)] - Acc;
    K = K + 1 > N ? 1 : K + 1;
    const TRealPoint C{A.X + (B.X - A.X) * rem / len, A.Y + (B.Y - A.Y) * rem / len};
    if (PenDown) MetLine(A.X, A.Y, C.X, C.Y);
    PenDown = !PenDown;
    Acc = 0;
    A = C;
  }
}

void TPrintPreview::MetPolyLine(const TRealPointArray& Points, int Count, TStyle Style) {
  // Points 1 .. Count are read; the array holds no more than 320 of them.
  Count = std::min(Count, static_cast<int>(Points.size()) - 1);
  if (Count < 2) return;
  const TLineStyleRow& row = LineStyles[static_cast<size_t>(Style)];
  int n = row[0] > 0 ? static_cast<int>(std::min(row[0], 20.0)) : 0;
  // A pattern without a single positive length could never move along the line: drawn solid.
  bool anyLength = false;
  for (int k = 1; k <= n; ++k)
    anyLength = anyLength || row[static_cast<size_t>(k)] > 0;
  if (!anyLength) n = 0;
  if (n <= 0) {
    for (int i = 1; i < Count; ++i)
      MetLine(Points[i].X, Points[i].Y, Points[i + 1].X, Points[i + 1].Y);
    return;
  }
  double acc = 0;
  bool penDown = true;
  int k = 1;
  for (int i = 1; i < Count; ++i)
    drawDashed(Points[static_cast<size_t>(i)], Points[static_cast<size_t>(i + 1)], row, n, acc, penDown, k);
}

// ---- layout

void TPrintPreview::setScrollMax(TScrollBar& Bar, int Value) {
  // A maximum the bar cannot take (below its minimum) becomes 1; a position beyond the new
  // maximum moves back to it first, so that zooming out of a scrolled page works.
  if (Value < Bar.Min()) Value = 1;
  if (Bar.Position() > Value) Bar.SetPosition(std::max(Value, Bar.Min()));
  Bar.SetMax(Value);
}

void TPrintPreview::layoutAxis(bool horizontal) {
  const int extent = horizontal ? Width() : Height();
  const double pagePx = (horizontal ? pageWidthPx_ : pageHeightPx_) * scale_;
  TScrollBar* bar = horizontal ? HBar : VBar;
  TScrollBar* other = horizontal ? VBar : HBar;
  int start;
  if (extent - 2 * margin_ >= pagePx) {
    if (bar->Visible()) {
      bar->SetVisible(false);
      bar->SetParams(0, 0, 0);
      if (horizontal) {
        Panel->SetHeight(ClientHeight());
        if (other->Visible()) other->SetHeight(ClientHeight());
      } else {
        Panel->SetWidth(ClientWidth());
        if (other->Visible()) other->SetWidth(ClientWidth());
      }
    }
    start = toInt(extent - pagePx) / 2;
  } else {
    bar->SetMin(0);
    setScrollMax(*bar, toInt(pagePx) - extent);
    bar->SetLargeChange(std::clamp(extent, 1, 32767));
    bar->SetSmallChange(8);
    if (!bar->Visible()) {
      if (horizontal)
        Panel->SetHeight(ClientHeight() - bar->Height());
      else
        Panel->SetWidth(ClientWidth() - bar->Width());
      bar->SetVisible(true);
      bar->SetPosition(bar->Min());
      if (other->Visible()) {
        HBar->SetWidth(ClientWidth() - VBar->Width());
        VBar->SetHeight(ClientHeight() - HBar->Height());
      } else if (horizontal) {
        HBar->SetWidth(ClientWidth());
      } else {
        VBar->SetHeight(ClientHeight());
      }
    }
    start = 0;
  }
  if (horizontal) {
    pageRect_.Left = start;
    pageRect_.Right = toInt(pagePx + start);
  } else {
    pageRect_.Top = start;
    pageRect_.Bottom = toInt(pagePx + start);
  }
}

void TPrintPreview::PrinterChanged(bool SkipPageCount) {
  Printer& printer = CurrentPrinter();
  pageWidthPx_ = printer.PageWidth();
  pageHeightPx_ = printer.PageHeight();
  horzSizeMm_ = printer.GetDeviceCaps(HORZSIZE);
  vertSizeMm_ = printer.GetDeviceCaps(VERTSIZE);
  // Paper smaller than a millimetre reports 0 mm; it still has its pixels per millimetre.
  pxPerMmX_ = static_cast<double>(pageWidthPx_) / std::max(horzSizeMm_, 1);
  pxPerMmY_ = static_cast<double>(pageHeightPx_) / std::max(vertSizeMm_, 1);
  const double pw = std::max(pageWidthPx_, 1), ph = std::max(pageHeightPx_, 1);

  if (fitOnWindow_) {
    scale_ = (Width() - 2.0 * margin_) / pw;
    if (Height() - 2.0 * margin_ < ph * scale_) scale_ = (Height() - 2.0 * margin_) / ph;
    if (!(scale_ > 0)) scale_ = kSmallestScale;
    for (TScrollBar* bar : {HBar, VBar})
      if (bar) {
        bar->SetVisible(false);
        bar->SetParams(0, 0, 0);
      }
    pageRect_.Left = toInt(Width() - pw * scale_) / 2;
    pageRect_.Top = toInt(Height() - ph * scale_) / 2;
    pageRect_.Right = toInt(pw * scale_ + pageRect_.Left);
    pageRect_.Bottom = toInt(ph * scale_ + pageRect_.Top);
  } else if (HBar && VBar) {
    layoutAxis(true);
    layoutAxis(false);
  }

  if (!SkipPageCount) {
    if (OnCalcPageCount)
      OnCalcPageCount(this);
    else
      PageCount = 1;
  }
  OnScaleChange(this, scale_);
}

void TPrintPreview::repaint() {
  if (Panel && Panel->HandleAllocated()) Panel->Repaint();
}

void TPrintPreview::SetScale(double Value) {
  if (!(Value > 0) || !std::isfinite(Value)) throw EInvalidOperation("Invalid zoom " + FloatToStr(Value));
  fitOnWindow_ = false;
  userScale_ = Value;
  scale_ = Value;
  PrinterChanged(true);
  repaint();
}

void TPrintPreview::SetFitOnWindow(bool Value) {
  if (Value == fitOnWindow_) return;
  if (!Value) scale_ = userScale_;
  fitOnWindow_ = Value;
  PrinterChanged(true);
  repaint();
}

void TPrintPreview::SetActualPage(int Value) {
  if (Value < 1 || Value > PageCount || Value == actualPage_) return;
  actualPage_ = Value;
  repaint();
}

void TPrintPreview::SetCustXScale(double Value) {
  if (storeChange(custXScale_, Value)) PrinterChanged(true);
}

void TPrintPreview::SetCustYScale(double Value) {
  if (storeChange(custYScale_, Value)) PrinterChanged(true);
}

void TPrintPreview::SetScrollBars(TScrollStyle Value) {
  if (storeChange(scrollBars_, Value) && !IsLoading()) repaint();
}

void TPrintPreview::CalcPageCount() {
  PageCount = 0;
  OnCalcPageCount(this);
}

// ---- painting

void TPrintPreview::InitCanvas(TCanvas* ACanvas) {
  takeCanvas(ACanvas);
  DrawingContext* dc = drawContext();
  setPixelClip(pageRect_);
  if (fitOnWindow_)
    dc->setWindowOrg(TPoint{-pageRect_.Left, -pageRect_.Top});
  else
    dc->setWindowOrg(TPoint{HBar->Visible() ? HBar->Position() : -pageRect_.Left,
                            VBar->Visible() ? VBar->Position() : -pageRect_.Top});
}

void TPrintPreview::Paint(TCanvas* ACanvas) {
  takeCanvas(ACanvas);
  DrawingContext* dc = drawContext();
  TCanvas& c = *ACanvas;
  c.Pen().SetWidth(1);
  c.Pen().SetColor(clBlack);
  c.Pen().SetStyle(TPenStyle::psSolid);

  // Everything but the page and its shadow in the button face colour, so that the page itself
  // is never painted twice.
  const TRect& p = pageRect_;
  c.Brush().SetColor(clBtnFace);
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  for (const TRect& part : subtract(TRect{0, 0, Width(), Height()}, {p, OffsetRectBy(p, shadow_, shadow_)}))
    c.FillRect(part);

  BeforePaint(this);

  dc->setWindowOrg(TPoint{HBar->Visible() ? HBar->Position() : 0, VBar->Visible() ? VBar->Position() : 0});
  dc->setClipRect(baseClip_);
  c.Pen().SetColor(clBlack);
  c.Pen().SetStyle(TPenStyle::psSolid);
  c.Brush().SetColor(clBlack);
  c.Rectangle(p.Right, p.Top + shadow_, p.Right + shadow_, p.Bottom + shadow_);
  c.Rectangle(p.Left + shadow_, p.Bottom, p.Right + shadow_, p.Bottom + shadow_);
  c.Brush().SetColor(clWhite);
  c.Rectangle(p);

  InitCanvas(ACanvas);
  try {
    OnPaint(this);
  } catch (...) {
  }
  try {
    OnPrintPage(this, drawCanvas_, actualPage_, false);
  } catch (...) {
  }
}

void TPrintPreview::eraseBackground() {
  auto& c = static_cast<TControlCanvas&>(Canvas());
  c.Pen().SetStyle(TPenStyle::psClear);
  c.Brush().SetColor(clBtnFace);
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  c.Rectangle(VBar->Left(), 0, Width() + 1, Height() + 1);
  c.Rectangle(0, HBar->Top(), Width() + 1, Height() + 1);
  c.FreeHandle();
}

void TPrintPreview::sizeChanged() {
  margin_ = VBar->Width() + 10;
  shadow_ = margin_ / 2;
  VBar->SetLeft(Width() - VBar->Width());
  // The page panel and each bar leave room for the other bar while it shows.
  const int height = ClientHeight() - (HBar->Visible() ? HBar->Height() : 0);
  VBar->SetHeight(height);
  Panel->SetHeight(height);
  HBar->SetTop(Height() - HBar->Height());
  const int width = ClientWidth() - (VBar->Visible() ? VBar->Width() : 0);
  HBar->SetWidth(width);
  Panel->SetWidth(width);
  PrinterChanged(true);
}

void TPrintPreview::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_SIZE:
    DefaultHandler(Message);
    sizeChanged();
    return;
  case WM_ERASEBKGND:
    eraseBackground();
    Message.Result = 1;
    return;
  case WM_HSCROLL:
  case WM_VSCROLL:
    // A bar's own message goes back to the bar that sent it.
    for (TScrollBar* bar : {HBar, VBar})
      if (bar && bar->HandleAllocated() && static_cast<HWND>(Message.LParam) == bar->Handle()) {
        bar->Perform(Message.Msg == WM_HSCROLL ? CN_HSCROLL : CN_VSCROLL, Message.WParam, Message.LParam);
        return;
      }
    TCustomControl::Dispatch(Message);
    return;
  default:
    TCustomControl::Dispatch(Message);
    return;
  }
}

// ---- scrolling and dragging

void TPrintPreview::Scroll(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos) {
  auto* bar = dynamic_cast<TScrollBar*>(Sender);
  if (!bar || !Panel->HandleAllocated()) return;
  const bool horizontal = bar == HBar;
  const int64_t sc = bar->SmallChange(), lc = bar->LargeChange(), pos = bar->Position(), max = bar->Max();
  int64_t d = 0;
  switch (ScrollCode) {
  case TScrollCode::scLineDown:
    if (pos < max) d = -std::min(sc, max - pos);
    break;
  case TScrollCode::scLineUp:
    if (pos > 0) d = std::min(sc, pos);
    break;
  case TScrollCode::scPageDown:
    if (pos < max) d = -std::min(lc, max - pos);
    break;
  case TScrollCode::scPageUp:
    if (pos > 0) d = std::min(lc, pos);
    break;
  case TScrollCode::scTrack:
    d = pos - ScrollPos;
    if (d > lc) {
      Panel->Invalidate();
      return;
    }
    break;
  default:
    return;
  }
  if (d == 0) return;
  const int by = static_cast<int>(std::clamp<int64_t>(d, INT32_MIN, INT32_MAX));
  ScrollWindow(Panel->Handle(), horizontal ? by : 0, horizontal ? 0 : by, nullptr, nullptr);
}

void TPrintPreview::PreviewMouseDown(TObject*, TMouseButton, TShiftState, int X, int Y) {
  Panel->SetMouseCapture(true);
  dragging_ = true;
  lastX_ = X;
  lastY_ = Y;
}

void TPrintPreview::PreviewMouseMove(TObject*, TShiftState, int X, int Y) {
  if (!dragging_) return;
  auto follow = [this](TScrollBar* bar, int last, int now) {
    int64_t target = int64_t{bar->Position()} + (int64_t{last} - now) * 4;
    target = std::min<int64_t>(target, bar->Max());
    target = std::max<int64_t>(target, bar->Min());
    int pos = static_cast<int>(target);
    Scroll(bar, TScrollCode::scTrack, pos);
    bar->SetPosition(pos);
  };
  follow(VBar, lastY_, Y);
  follow(HBar, lastX_, X);
  lastX_ = X;
  lastY_ = Y;
  if (Panel->HandleAllocated()) UpdateWindow(Panel->Handle());
}

void TPrintPreview::PreviewMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  Panel->SetMouseCapture(false);
  dragging_ = false;
}

// ---- printing

void TPrintPreview::usePrinterCanvas() {
  printCanvas_.SetHandle(nullptr);
  printContext_ = std::make_unique<DeviceDrawingContext>(CurrentPrinter().Canvas());
  printCanvas_.SetHandle(printContext_.get());
  takeCanvas(&printCanvas_);
}

void TPrintPreview::PrintPages(int FromPage, int ToPage) {
  Printer& printer = CurrentPrinter();
  PrintAborted = false;
  // A DC taken with GetPrinterDC is given up: the job needs the printer for itself.
  if (printerDCHeld_) {
    printCanvas_.SetHandle(nullptr);
    printer.Abort();
    printerDCHeld_ = false;
    scale_ = savedScale_;
  }
  const double kept = scale_;
  scale_ = 1.0;
  try {
    printer.setTitle(Title);
    printer.BeginDoc();
  } catch (...) {
    scale_ = kept;
    throw;
  }
  printJobRunning_ = true;
  // A page handler that raises ends the job without a file and leaves the preview as it was.
  try {
    usePrinterCanvas();
    if (OnCalcPageCount)
      OnCalcPageCount(this);
    else
      PageCount = 1;
    FromPage = std::max(FromPage, 1);
    ToPage = std::min(ToPage, PageCount);
    for (int page = FromPage; page <= ToPage; ++page) {
      if (page != FromPage) printer.NewPage();
      OnPrintPage(this, drawCanvas_, page, true);
      if (PrintAborted) break;
    }
    printCanvas_.SetHandle(nullptr);
    printer.EndDoc();
  } catch (...) {
    printCanvas_.SetHandle(nullptr);
    printer.Abort();
    printJobRunning_ = false;
    scale_ = kept;
    throw;
  }
  printJobRunning_ = false;
  scale_ = kept;
}

void TPrintPreview::Print() { PrintPages(1, std::numeric_limits<int>::max()); }

void TPrintPreview::GetPrinterDC() {
  // Taken once: a second call while the first still holds the printer changes nothing.
  if (printJobRunning_ || printerDCHeld_) return;
  Printer& printer = CurrentPrinter();
  PrintAborted = false;
  savedScale_ = scale_;
  scale_ = 1.0;
  printer.setTitle(Title);
  try {
    printer.BeginDoc();
  } catch (...) {
    scale_ = savedScale_;
    throw;
  }
  printerDCHeld_ = true;
  usePrinterCanvas();
}

void TPrintPreview::ReleasePrinterDC() {
  // Only a DC that GetPrinterDC took is given back; otherwise the scale saved there is no scale.
  if (printJobRunning_ || !printerDCHeld_) return;
  printCanvas_.SetHandle(nullptr);
  CurrentPrinter().Abort();
  printerDCHeld_ = false;
  scale_ = savedScale_;
}

// ---- publishing

const TClassInfo& TPrintPreview::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TPrintPreview, TCustomControl>("TPrintPreview")
          .With(published::Align)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnKeyDown)
          .With(published::OnKeyPress)
          .With(published::OnKeyUp)
          .With(published::OnMouseDown)
          .With(published::OnMouseMove)
          .With(published::OnMouseUp)
          .With(published::Visible)
          .Event("BeforePaint", &TPrintPreview::BeforePaint)
          .Event("OnPaint", &TPrintPreview::OnPaint)
          .Bool("FitOnWindow", &TPrintPreview::FitOnWindow, &TPrintPreview::SetFitOnWindow, NoDefault)
          .Event("OnCalcPageCount", &TPrintPreview::OnCalcPageCount)
          .Event("OnPrintPage", &TPrintPreview::OnPrintPage)
          .Str("Title", &TPrintPreview::Title, &TPrintPreview::Title, std::string())
          .Enum<TScrollStyle>("ScrollBars", &TPrintPreview::ScrollBars, &TPrintPreview::SetScrollBars,
                              TScrollStyle::ssBoth)
          .Event("OnScaleChange", &TPrintPreview::OnScaleChange)
          .Int("LeftBorder", &TPrintPreview::LeftBorder, &TPrintPreview::SetLeftBorder, NoDefault)
          .Int("RightBorder", &TPrintPreview::RightBorder, &TPrintPreview::SetRightBorder, NoDefault)
          .Int("TopBorder", &TPrintPreview::TopBorder, &TPrintPreview::SetTopBorder, NoDefault)
          .Int("BottomBorder", &TPrintPreview::BottomBorder, &TPrintPreview::SetBottomBorder, NoDefault)
          .Build();
  return info;
}

void Register() { RegisterComponents("Eigene", {&TPrintPreview::StaticClassInfo()}); }

namespace {
const bool classesRegistered = (RegisterClasses({&TPrintPreview::StaticClassInfo()}), true);
} // namespace

} // namespace Prnprev
