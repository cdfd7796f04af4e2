#include "Platform/Ui/ClassicPaint.h"

#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Ui/RasterSurface.h"

#include <algorithm>
#include <cstdlib>

namespace kv::platform::classic {

std::string StripAccel(const std::string& Caption, int* MarkIndex) {
  std::string out;
  int mark = -1;
  for (size_t i = 0; i < Caption.size(); ++i) {
    if (Caption[i] == '&' && i + 1 < Caption.size()) {
      if (Caption[i + 1] == '&') {
        out += '&';
        ++i;
        continue;
      }
      if (mark < 0) mark = static_cast<int>(out.size());
      continue;
    }
    out += Caption[i];
  }
  if (MarkIndex) *MarkIndex = mark;
  return out;
}

char AccelChar(const std::string& Caption) {
  int mark = -1;
  const std::string s = StripAccel(Caption, &mark);
  if (mark < 0 || mark >= static_cast<int>(s.size())) return 0;
  const char c = s[static_cast<size_t>(mark)];
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

namespace {
DeviceDrawingContext& measurer() {
  static DeviceDrawingContext dc(std::make_unique<NullDC>(DeviceCaps{DT_RASDISPLAY, 1, 1}));
  return dc;
}
} // namespace

TSize MeasureText(const TFont& Font, const std::string& Text) {
  DeviceDrawingContext& dc = measurer();
  dc.setFont(Font.Info());
  return dc.textExtent(Text);
}

int LineHeight(const TFont& Font) { return MeasureText(Font, "Wg").cy; }

std::vector<std::string> WrapText(const TFont& Font, const std::string& Text, int Width) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= Text.size()) {
    size_t end = Text.find('\n', start);
    if (end == std::string::npos) end = Text.size();
    std::string para = Text.substr(start, end - start);
    if (!para.empty() && para.back() == '\r') para.pop_back();
    if (Width <= 0 || MeasureText(Font, para).cx <= Width) {
      lines.push_back(para);
    } else {
      std::string line;
      size_t i = 0;
      while (i < para.size()) {
        size_t j = para.find(' ', i);
        if (j == std::string::npos) j = para.size();
        const std::string word = para.substr(i, j - i);
        const std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && MeasureText(Font, candidate).cx > Width) {
          lines.push_back(line);
          line = word;
        } else {
          line = candidate;
        }
        i = j + 1;
      }
      lines.push_back(line);
    }
    if (end == Text.size()) break;
    start = end + 1;
  }
  return lines;
}

TRect DrawCaption(TCanvas& Canvas, const TRect& R, const std::string& Caption, unsigned Flags, bool Enabled) {
  int mark = -1;
  const std::string text = (Flags & dcNoPrefix) ? Caption : StripAccel(Caption, &mark);
  const std::vector<std::string> lines =
      (Flags & dcWordBreak) ? WrapText(Canvas.Font(), text, R.Width()) : std::vector<std::string>{text};
  const int lh = std::max(1, Canvas.TextHeight("Wg"));
  const int total = lh * static_cast<int>(lines.size());
  int y = R.Top;
  if (Flags & dcVCenter)
    y = R.Top + (R.Height() - total) / 2;
  else if (Flags & dcBottom)
    y = R.Bottom - total;
  TRect used{R.Right, y, R.Left, y + total};
  Canvas.Brush().SetStyle(TBrushStyle::bsClear);
  const TColor color = Canvas.Font().Color();
  size_t offset = 0;
  for (const std::string& line : lines) {
    const int w = Canvas.TextWidth(line);
    int x = R.Left;
    if ((Flags & 3) == dcCenter)
      x = R.Left + (R.Width() - w) / 2;
    else if ((Flags & 3) == dcRight)
      x = R.Right - w;
    used.Left = std::min(used.Left, x);
    used.Right = std::max(used.Right, x + w);
    auto draw = [&](int dx, TColor c) {
      Canvas.Font().SetColor(c);
      Canvas.TextRect(R, x + dx, y + dx, line);
      const int local = mark - static_cast<int>(offset);
      if (local >= 0 && local < static_cast<int>(line.size())) {
        const int ux = x + dx + Canvas.TextWidth(line.substr(0, static_cast<size_t>(local)));
        const int uw = Canvas.TextWidth(line.substr(static_cast<size_t>(local), 1));
        Canvas.Pen().SetColor(c);
        Canvas.MoveTo(ux, y + dx + lh - 1);
        Canvas.LineTo(ux + uw, y + dx + lh - 1);
      }
    };
    if (Enabled) {
      draw(0, color);
    } else {
      draw(1, clBtnHighlight);
      draw(0, clBtnShadow);
    }
    offset += line.size() + 1;
    y += lh;
  }
  Canvas.Font().SetColor(color);
  Canvas.Brush().SetStyle(TBrushStyle::bsSolid);
  if (used.Left > used.Right) used.Left = used.Right = R.Left;
  return used;
}

void Bevel(TCanvas& Canvas, TRect& R, TColor TopLeft, TColor BottomRight) {
  Canvas.Frame3D(R, TopLeft, BottomRight, 1);
}

void RaisedEdge(TCanvas& Canvas, TRect& R) {
  Bevel(Canvas, R, clBtnHighlight, cl3DDkShadow);
  Bevel(Canvas, R, cl3DLight, clBtnShadow);
}

void SunkenEdge(TCanvas& Canvas, TRect& R) {
  Bevel(Canvas, R, clBtnShadow, clBtnHighlight);
  Bevel(Canvas, R, cl3DDkShadow, cl3DLight);
}

TRect ButtonFace(TCanvas& Canvas, TRect R, bool Pressed, bool IsDefault) {
  if (IsDefault) {
    Canvas.Brush().SetColor(clWindowFrame);
    Canvas.FrameRect(R);
    R = TRect{R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1};
  }
  if (Pressed) {
    Canvas.Brush().SetColor(clBtnShadow);
    Canvas.FrameRect(R);
    R = TRect{R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1};
  } else {
    RaisedEdge(Canvas, R);
  }
  Canvas.Brush().SetColor(clBtnFace);
  Canvas.FillRect(R);
  return R;
}

TRect ToolButtonFace(TCanvas& Canvas, TRect R, bool Sunk, bool Flat, bool Hot) {
  if (Sunk) {
    if (Flat) {
      Bevel(Canvas, R, clBtnShadow, clBtnHighlight);
    } else {
      Bevel(Canvas, R, cl3DDkShadow, clBtnHighlight);
      Bevel(Canvas, R, clBtnShadow, cl3DLight);
    }
  } else if (!Flat) {
    RaisedEdge(Canvas, R);
  } else if (Hot) {
    Bevel(Canvas, R, clBtnHighlight, clBtnShadow);
  } else {
    R = TRect{R.Left + 1, R.Top + 1, R.Right - 1, R.Bottom - 1};
  }
  Canvas.Brush().SetColor(clBtnFace);
  Canvas.FillRect(R);
  return R;
}

void FocusRect(TCanvas& Canvas, const TRect& R) {
  if (IsRectEmpty(R)) return;
  // Alternate pixels along the outline, the way the dotted focus pen of the classic look falls.
  int k = 0;
  auto dot = [&](int x, int y) {
    if ((k++ & 1) == 0) Canvas.SetPixel(x, y, clWindowFrame);
  };
  for (int x = R.Left; x < R.Right; ++x)
    dot(x, R.Top);
  for (int y = R.Top + 1; y < R.Bottom; ++y)
    dot(R.Right - 1, y);
  for (int x = R.Right - 2; x >= R.Left; --x)
    dot(x, R.Bottom - 1);
  for (int y = R.Bottom - 2; y > R.Top; --y)
    dot(R.Left, y);
}

// ---- scroll bars

ScrollBarParts ScrollBarLayout(const TRect& R, bool Horizontal, int Min, int Max, int Page, int Pos) {
  ScrollBarParts p;
  const int length = Horizontal ? R.Width() : R.Height();
  const int thick = Horizontal ? R.Height() : R.Width();
  const int arrow = std::min(thick, length / 2);
  if (Horizontal) {
    p.lineUp = TRect{R.Left, R.Top, R.Left + arrow, R.Bottom};
    p.lineDown = TRect{R.Right - arrow, R.Top, R.Right, R.Bottom};
    p.track = TRect{R.Left + arrow, R.Top, R.Right - arrow, R.Bottom};
  } else {
    p.lineUp = TRect{R.Left, R.Top, R.Right, R.Top + arrow};
    p.lineDown = TRect{R.Left, R.Bottom - arrow, R.Right, R.Bottom};
    p.track = TRect{R.Left, R.Top + arrow, R.Right, R.Bottom - arrow};
  }
  const int trackLen = length - 2 * arrow;
  const int range = Max - Min + 1;
  const int maxPos = Max - std::max(Page - 1, 0);
  if (range <= 0 || maxPos <= Min || trackLen < 8) return p;
  int thumb = Page > 0 ? static_cast<int>(static_cast<int64_t>(trackLen) * Page / range) : thick;
  thumb = std::clamp(thumb, 8, trackLen);
  const int travel = trackLen - thumb;
  const int at =
      static_cast<int>(static_cast<int64_t>(travel) * (std::clamp(Pos, Min, maxPos) - Min) / (maxPos - Min));
  if (Horizontal)
    p.thumb = TRect{p.track.Left + at, R.Top, p.track.Left + at + thumb, R.Bottom};
  else
    p.thumb = TRect{R.Left, p.track.Top + at, R.Right, p.track.Top + at + thumb};
  return p;
}

int ScrollBarHit(const ScrollBarParts& Parts, TPoint P, bool Horizontal) {
  if (PtInRect(Parts.lineUp, P)) return SB_LINEUP;
  if (PtInRect(Parts.lineDown, P)) return SB_LINEDOWN;
  if (!PtInRect(Parts.track, P) || IsRectEmpty(Parts.thumb)) return -1;
  if (PtInRect(Parts.thumb, P)) return SB_THUMBTRACK;
  const bool before = Horizontal ? P.X < Parts.thumb.Left : P.Y < Parts.thumb.Top;
  return before ? SB_PAGEUP : SB_PAGEDOWN;
}

int ScrollBarTrackPos(const ScrollBarParts& Parts, TPoint P, bool Horizontal, int Min, int Max, int Page,
                      int GrabOffset) {
  const int trackLen = Horizontal ? Parts.track.Width() : Parts.track.Height();
  const int thumb = Horizontal ? Parts.thumb.Width() : Parts.thumb.Height();
  const int travel = trackLen - thumb;
  const int maxPos = Max - std::max(Page - 1, 0);
  if (travel <= 0 || maxPos <= Min) return Min;
  const int at = (Horizontal ? P.X - Parts.track.Left : P.Y - Parts.track.Top) - GrabOffset;
  const int64_t pos =
      Min + (static_cast<int64_t>(std::clamp(at, 0, travel)) * (maxPos - Min) + travel / 2) / travel;
  return static_cast<int>(pos);
}

namespace {
// A small solid arrow pointing along the bar: 4 rows of 1, 3, 5 and 7 pixels from its tip.
void arrowGlyph(TCanvas& Canvas, const TRect& R, int direction, TColor color) {
  const int cx = R.Left + R.Width() / 2, cy = R.Top + R.Height() / 2;
  for (int i = 0; i < 4; ++i) {
    const int tipFirst = i, tipLast = 3 - i; // the half width of the row at offset i
    for (int j = -3; j <= 3; ++j) {
      switch (direction) {
      case 0: // up: the tip on top
        if (std::abs(j) <= tipFirst) Canvas.SetPixel(cx + j, cy - 2 + i, color);
        break;
      case 1: // down: the tip at the bottom
        if (std::abs(j) <= tipLast) Canvas.SetPixel(cx + j, cy - 2 + i, color);
        break;
      case 2: // left: the tip on the left
        if (std::abs(j) <= tipFirst) Canvas.SetPixel(cx - 2 + i, cy + j, color);
        break;
      default: // right
        if (std::abs(j) <= tipLast) Canvas.SetPixel(cx - 2 + i, cy + j, color);
        break;
      }
    }
  }
}

void arrowButton(TCanvas& Canvas, TRect R, int direction, bool enabled) {
  RaisedEdge(Canvas, R);
  Canvas.Brush().SetColor(clBtnFace);
  Canvas.FillRect(R);
  if (enabled) {
    arrowGlyph(Canvas, R, direction, clBtnText);
  } else {
    arrowGlyph(Canvas, OffsetRectBy(R, 1, 1), direction, clBtnHighlight);
    arrowGlyph(Canvas, R, direction, clBtnShadow);
  }
}
} // namespace

void PaintScrollBar(TCanvas& Canvas, const TRect& R, bool Horizontal, int Min, int Max, int Page, int Pos,
                    bool Enabled) {
  if (IsRectEmpty(R)) return;
  const ScrollBarParts p = ScrollBarLayout(R, Horizontal, Min, Max, Page, Pos);
  const bool canScroll = Enabled && !IsRectEmpty(p.thumb);
  arrowButton(Canvas, p.lineUp, Horizontal ? 2 : 0, canScroll);
  arrowButton(Canvas, p.lineDown, Horizontal ? 3 : 1, canScroll);
  // The track in the checked pattern of the classic look: highlight and face alternating.
  if (!IsRectEmpty(p.track)) {
    Canvas.Brush().SetColor(clBtnFace);
    Canvas.FillRect(p.track);
    for (int y = p.track.Top; y < p.track.Bottom; ++y)
      for (int x = p.track.Left + ((y + p.track.Left) & 1); x < p.track.Right; x += 2)
        Canvas.SetPixel(x, y, clBtnHighlight);
  }
  if (canScroll) {
    TRect t = p.thumb;
    RaisedEdge(Canvas, t);
    Canvas.Brush().SetColor(clBtnFace);
    Canvas.FillRect(t);
  }
}

void DropDownButton(TCanvas& Canvas, const TRect& R, bool Enabled) { arrowButton(Canvas, R, 1, Enabled); }

// ---- window frames

namespace {
struct Frame {
  TRect window; // (0, 0, w, h)
  TRect client; // in window coordinates
  TRect vbar, hbar, corner;
  bool edge = false, border = false;
};

Frame frameOf(HWND Wnd) {
  Frame f;
  TRect wr;
  GetWindowRect(Wnd, &wr);
  f.window = TRect{0, 0, wr.Width(), wr.Height()};
  TRect cr;
  GetClientRect(Wnd, &cr);
  const TPoint o = GetClientOrigin(Wnd);
  f.client = OffsetRectBy(cr, o.X, o.Y);
  const auto style = static_cast<uint32_t>(GetWindowLong(Wnd, GWL_STYLE));
  const auto ex = static_cast<uint32_t>(GetWindowLong(Wnd, GWL_EXSTYLE));
  f.edge = ex & WS_EX_CLIENTEDGE;
  f.border = (style & WS_BORDER) && (style & WS_CAPTION) != WS_CAPTION;
  const int sb = 16;
  if (style & WS_VSCROLL) f.vbar = TRect{f.client.Right, f.client.Top, f.client.Right + sb, f.client.Bottom};
  if (style & WS_HSCROLL)
    f.hbar = TRect{f.client.Left, f.client.Bottom, f.client.Right, f.client.Bottom + sb};
  if ((style & WS_VSCROLL) && (style & WS_HSCROLL))
    f.corner = TRect{f.client.Right, f.client.Bottom, f.client.Right + sb, f.client.Bottom + sb};
  return f;
}

void barInfo(HWND Wnd, int Bar, int& Min, int& Max, int& Page, int& Pos) {
  TScrollInfo si;
  si.fMask = SIF_ALL;
  GetScrollInfo(Wnd, Bar, si);
  Min = si.nMin;
  Max = si.nMax;
  Page = static_cast<int>(si.nPage);
  Pos = si.nPos;
}

// Summed in 64 bits, then held to the bar: a step from near either end of the int range must not
// wrap around into a move the other way.
int onBar(int64_t To, const ScrollSteps& Steps) {
  return static_cast<int>(std::clamp<int64_t>(To, Steps.min, std::max(Steps.min, Steps.max)));
}
} // namespace

std::optional<int> ScrollTarget(int Code, int Thumb, const ScrollSteps& Steps) {
  const int64_t pos = Steps.pos;
  switch (Code) {
  case SB_LINEUP:
    return onBar(pos - Steps.line, Steps);
  case SB_LINEDOWN:
    return onBar(pos + Steps.line, Steps);
  case SB_PAGEUP:
    return onBar(pos - Steps.page, Steps);
  case SB_PAGEDOWN:
    return onBar(pos + Steps.page, Steps);
  case SB_THUMBPOSITION:
  case SB_THUMBTRACK:
    return onBar(Thumb, Steps);
  case SB_TOP:
    return Steps.min;
  case SB_BOTTOM:
    return onBar(Steps.max, Steps);
  default:
    return std::nullopt;
  }
}

std::optional<int> ScrollTarget(const TMessage& Message, const ScrollSteps& Steps) {
  // A turn away from the user (a positive delta) moves towards the start.
  if (Message.Msg == WM_MOUSEWHEEL)
    return onBar(Steps.pos - int64_t{hiWord(Message.WParam) / 120} * 3 * Steps.line, Steps);
  const TWMScroll m(Message);
  return ScrollTarget(m.ScrollCode, m.Pos, Steps);
}

void PaintPopup(HWND Wnd, const std::function<void(TCanvas&)>& Paint) {
  TPaintStruct ps;
  if (DrawingContext* dc = BeginPaint(Wnd, ps)) {
    TCanvas canvas;
    canvas.SetHandle(dc);
    Paint(canvas);
    canvas.SetHandle(nullptr);
  }
  EndPaint(Wnd, ps);
}

void PaintNonClient(HWND Wnd) {
  if (!IsWindow(Wnd)) return;
  const Frame f = frameOf(Wnd);
  DrawingContext* dc = GetWindowDC(Wnd);
  if (!dc) return;
  const ScopeExit release([Wnd, dc] { ReleaseDC(Wnd, dc); });
  TCanvas canvas;
  canvas.SetHandle(dc);
  TRect r = f.window;
  if (f.border) {
    canvas.Brush().SetColor(clWindowFrame);
    canvas.FrameRect(r);
    r = TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  if (f.edge) SunkenEdge(canvas, r);
  const bool enabled = IsWindowEnabled(Wnd);
  int mn, mx, pg, ps;
  if (!IsRectEmpty(f.vbar)) {
    barInfo(Wnd, SB_VERT, mn, mx, pg, ps);
    PaintScrollBar(canvas, f.vbar, false, mn, mx, pg, ps, enabled);
  }
  if (!IsRectEmpty(f.hbar)) {
    barInfo(Wnd, SB_HORZ, mn, mx, pg, ps);
    PaintScrollBar(canvas, f.hbar, true, mn, mx, pg, ps, enabled);
  }
  if (!IsRectEmpty(f.corner)) {
    canvas.Brush().SetColor(clBtnFace);
    canvas.FillRect(f.corner);
  }
  canvas.SetHandle(nullptr);
}

int NonClientScrollBarAt(HWND Wnd, TPoint ClientPoint, TRect* BarRect) {
  const Frame f = frameOf(Wnd);
  const TPoint p{ClientPoint.X + f.client.Left, ClientPoint.Y + f.client.Top};
  auto toClient = [&](const TRect& r) { return OffsetRectBy(r, -f.client.Left, -f.client.Top); };
  if (PtInRect(f.vbar, p)) {
    if (BarRect) *BarRect = toClient(f.vbar);
    return SB_VERT;
  }
  if (PtInRect(f.hbar, p)) {
    if (BarRect) *BarRect = toClient(f.hbar);
    return SB_HORZ;
  }
  return -1;
}

bool WindowScrollTracker::mouseDown(HWND Wnd, TPoint ClientPoint) {
  TRect bar;
  const int which = NonClientScrollBarAt(Wnd, ClientPoint, &bar);
  if (which < 0) return false;
  int mn, mx, pg, ps;
  barInfo(Wnd, which, mn, mx, pg, ps);
  const bool horz = which == SB_HORZ;
  const ScrollBarParts parts = ScrollBarLayout(bar, horz, mn, mx, pg, ps);
  const int code = ScrollBarHit(parts, ClientPoint, horz);
  if (code < 0) return true;
  bar_ = which;
  rect_ = bar;
  point_ = ClientPoint;
  thumb_ = code == SB_THUMBTRACK;
  SetCapture(Wnd);
  if (thumb_) {
    grab_ = horz ? ClientPoint.X - parts.thumb.Left : ClientPoint.Y - parts.thumb.Top;
    return true;
  }
  code_ = code;
  SendMessage(Wnd, horz ? WM_HSCROLL : WM_VSCROLL, makeWParam(code, 0), 0);
  if (bar_ >= 0) SetTimer(Wnd, kRepeatTimer, kFirstDelay);
  return true;
}

int WindowScrollTracker::partAt(HWND Wnd, TPoint ClientPoint) const {
  int mn, mx, pg, ps;
  barInfo(Wnd, bar_, mn, mx, pg, ps);
  const bool horz = bar_ == SB_HORZ;
  return ScrollBarHit(ScrollBarLayout(rect_, horz, mn, mx, pg, ps), ClientPoint, horz);
}

// A held part scrolls again only while the pointer is on it: a page area stops as the thumb
// reaches the pointer, and goes on if the pointer comes back beyond it.
void WindowScrollTracker::repeatTick(HWND Wnd) {
  if (bar_ < 0 || thumb_ || GetCapture() != Wnd) {
    KillTimer(Wnd, kRepeatTimer);
    return;
  }
  SetTimer(Wnd, kRepeatTimer, kRepeatDelay);
  if (partAt(Wnd, point_) == code_)
    SendMessage(Wnd, bar_ == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, makeWParam(code_, 0), 0);
}

int WindowScrollTracker::trackPos(HWND Wnd, TPoint ClientPoint) const {
  int mn, mx, pg, ps;
  barInfo(Wnd, bar_, mn, mx, pg, ps);
  const bool horz = bar_ == SB_HORZ;
  const ScrollBarParts parts = ScrollBarLayout(rect_, horz, mn, mx, pg, ps);
  return ScrollBarTrackPos(parts, ClientPoint, horz, mn, mx, pg, grab_);
}

bool WindowScrollTracker::mouseMove(HWND Wnd, TPoint ClientPoint) {
  if (bar_ < 0) return false;
  point_ = ClientPoint;
  if (!thumb_) return true;
  const int pos = trackPos(Wnd, ClientPoint);
  SetScrollTrackPos(Wnd, bar_, pos);
  SendMessage(Wnd, bar_ == SB_HORZ ? WM_HSCROLL : WM_VSCROLL, makeWParam(SB_THUMBTRACK, pos), 0);
  return true;
}

bool WindowScrollTracker::mouseUp(HWND Wnd, TPoint ClientPoint) {
  if (bar_ < 0) return false;
  const UINT msg = bar_ == SB_HORZ ? WM_HSCROLL : WM_VSCROLL;
  const bool thumb = thumb_;
  const int pos = thumb ? trackPos(Wnd, ClientPoint) : 0;
  if (thumb) SetScrollTrackPos(Wnd, bar_, pos);
  bar_ = -1;
  thumb_ = false;
  code_ = -1;
  KillTimer(Wnd, kRepeatTimer);
  if (GetCapture() == Wnd) ReleaseCapture();
  if (thumb) SendMessage(Wnd, msg, makeWParam(SB_THUMBPOSITION, pos), 0);
  SendMessage(Wnd, msg, makeWParam(SB_ENDSCROLL, 0), 0);
  return true;
}

void showScrollRange(HWND Wnd, int Bar, int Max, int Page, int Pos, UINT Mask) {
  TScrollInfo si;
  si.fMask = Mask;
  si.nMin = 0;
  si.nMax = Max;
  si.nPage = static_cast<UINT>(Page);
  si.nPos = Pos;
  SetScrollInfo(Wnd, Bar, si, true);
}

bool WindowScrollTracker::mouseMessage(HWND Wnd, const TRect& Client, const TMessage& Message) {
  if (!Wnd) return false;
  switch (Message.Msg) {
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK: {
    const TPoint p = TWMMouse(Message).Pos();
    if (PtInRect(Client, p)) return false;
    mouseDown(Wnd, p);
    return true;
  }
  case WM_MOUSEMOVE:
    return mouseMove(Wnd, TWMMouse(Message).Pos());
  case WM_LBUTTONUP:
    return mouseUp(Wnd, TWMMouse(Message).Pos());
  case WM_TIMER:
    if (Message.WParam != kRepeatTimer) return false;
    repeatTick(Wnd);
    return true;
  default:
    return false;
  }
}

} // namespace kv::platform::classic
