#include "Platform/Graphics/RecordingDC.h"

#include <cstdio>

namespace kv::platform {

namespace {

std::string hex(TColor c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", unsigned(c));
  return buf;
}

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  return out + "\"";
}

std::string args(std::initializer_list<long long> values) {
  std::string out;
  for (long long v : values) {
    if (!out.empty()) out += ',';
    out += std::to_string(v);
  }
  return out;
}

const char* penStyleName(unsigned style) {
  static const char* names[] = {"solid", "dash", "dot", "dashdot", "dashdotdot", "null", "insideframe"};
  return (style & 0x0F) <= 6 ? names[style & 0x0F] : "unknown";
}

} // namespace

RecordingDC::RecordingDC(DeviceContext& target) : target_(&target) {}

RecordingDC::RecordingDC(DeviceCaps caps) : own_(std::make_unique<NullDC>(caps)), target_(own_.get()) {}

std::vector<std::string> RecordingDC::calls(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& line : log_)
    if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
  return out;
}

std::string RecordingDC::describe(HGDIOBJ object) {
  if (object == 0) return "none";
  if (auto p = penOf(object))
    return std::string("pen:") + penStyleName(p->lopnStyle) + "," + std::to_string(p->lopnWidth.X) + "," +
           hex(p->lopnColor);
  if (auto b = brushOf(object))
    return std::string("brush:") + (b->lbStyle == BS_NULL ? "clear" : "solid") + "," + hex(b->lbColor);
  if (auto f = fontOf(object))
    return "font:" + quoted(faceName(*f)) + "," + std::to_string(f->lfHeight) + ",esc " +
           std::to_string(f->lfEscapement) + ",weight " + std::to_string(f->lfWeight);
  if (auto r = regionOf(object)) return "region:" + args({r->Left, r->Top, r->Right, r->Bottom});
  return "unknown";
}

HGDIOBJ RecordingDC::SelectObject(HGDIOBJ object) {
  add("SelectObject(" + describe(object) + ")");
  return target_->SelectObject(object);
}
HGDIOBJ RecordingDC::GetCurrentObject(int objectType) const { return target_->GetCurrentObject(objectType); }
int RecordingDC::SetBkMode(int mode) {
  add("SetBkMode(" +
      std::string(mode == TRANSPARENT ? "transparent"
                  : mode == OPAQUE    ? "opaque"
                                      : "?") +
      ")");
  return target_->SetBkMode(mode);
}
TColor RecordingDC::SetBkColor(TColor color) {
  add("SetBkColor(" + hex(color) + ")");
  return target_->SetBkColor(color);
}
TColor RecordingDC::SetTextColor(TColor color) {
  add("SetTextColor(" + hex(color) + ")");
  return target_->SetTextColor(color);
}
unsigned RecordingDC::SetTextAlign(unsigned align) {
  add("SetTextAlign(" + std::to_string(align) + ")");
  return target_->SetTextAlign(align);
}
unsigned RecordingDC::GetTextAlign() const { return target_->GetTextAlign(); }
int RecordingDC::SetMapMode(int mode) {
  add("SetMapMode(" + std::to_string(mode) + ")");
  return target_->SetMapMode(mode);
}
bool RecordingDC::SetWindowOrgEx(int x, int y, TPoint* old) {
  add("SetWindowOrgEx(" + args({x, y}) + ")");
  return target_->SetWindowOrgEx(x, y, old);
}
bool RecordingDC::GetWindowOrgEx(TPoint* origin) const { return target_->GetWindowOrgEx(origin); }
int RecordingDC::SelectClipRgn(HRGN region) {
  add("SelectClipRgn(" + describe(region) + ")");
  return target_->SelectClipRgn(region);
}
int RecordingDC::ExcludeClipRect(int l, int t, int r, int b) {
  add("ExcludeClipRect(" + args({l, t, r, b}) + ")");
  return target_->ExcludeClipRect(l, t, r, b);
}
int RecordingDC::IntersectClipRect(int l, int t, int r, int b) {
  add("IntersectClipRect(" + args({l, t, r, b}) + ")");
  return target_->IntersectClipRect(l, t, r, b);
}
bool RecordingDC::MoveToEx(int x, int y, TPoint* old) {
  add("MoveToEx(" + args({x, y}) + ")");
  return target_->MoveToEx(x, y, old);
}
bool RecordingDC::LineTo(int x, int y) {
  add("LineTo(" + args({x, y}) + ")");
  return target_->LineTo(x, y);
}
bool RecordingDC::Polyline(const TPoint* points, int count) {
  std::string line = "Polyline(";
  for (int i = 0; points && i < count; ++i)
    line += (i ? ",(" : "(") + args({points[i].X, points[i].Y}) + ")";
  add(line + ")");
  return target_->Polyline(points, count);
}
bool RecordingDC::Rectangle(int l, int t, int r, int b) {
  add("Rectangle(" + args({l, t, r, b}) + ")");
  return target_->Rectangle(l, t, r, b);
}
bool RecordingDC::Ellipse(int l, int t, int r, int b) {
  add("Ellipse(" + args({l, t, r, b}) + ")");
  return target_->Ellipse(l, t, r, b);
}
bool RecordingDC::FillRect(const TRect& rect, HBRUSH brush) {
  add("FillRect(" + args({rect.Left, rect.Top, rect.Right, rect.Bottom}) + "," + describe(brush) + ")");
  return target_->FillRect(rect, brush);
}
TColor RecordingDC::SetPixel(int x, int y, TColor color) {
  add("SetPixel(" + args({x, y}) + "," + hex(color) + ")");
  return target_->SetPixel(x, y, color);
}
bool RecordingDC::StretchBlt(int x, int y, int w, int h, const Raster& source, int sx, int sy, int sw,
                             int sh) {
  add("StretchBlt(" + args({x, y, w, h}) + ",raster " + args({source.width(), source.height()}) + "," +
      args({sx, sy, sw, sh}) + ")");
  return target_->StretchBlt(x, y, w, h, source, sx, sy, sw, sh);
}
bool RecordingDC::TextOut(int x, int y, std::string_view text) {
  add("TextOut(" + args({x, y}) + "," + quoted(text) + ")");
  return target_->TextOut(x, y, text);
}
bool RecordingDC::GetTextExtentPoint(std::string_view text, TSize* size) const {
  return target_->GetTextExtentPoint(text, size);
}
int RecordingDC::DrawText(std::string_view text, TRect* rect, unsigned flags) {
  if (rect)
    add("DrawText(" + quoted(text) + "," + args({rect->Left, rect->Top, rect->Right, rect->Bottom}) +
        ",flags " + std::to_string(flags) + ")");
  return target_->DrawText(text, rect, flags);
}

} // namespace kv::platform
