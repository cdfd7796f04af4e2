#include "DockPanel.h"

#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Menus.h"

namespace DockPanel {

using namespace kv::platform;

namespace {
// The published panel settings a dock panel carries, in its stream order.
template <class B> void panelProps(B& b) {
  b.With(published::Align)
      .template Enum<TAlignment>("Alignment", &TCustomPanel::Alignment, &TCustomPanel::SetAlignment, taCenter)
      .With(published::Anchors)
      .Bool("AutoSize", &TCustomPanel::AutoSize, &TCustomPanel::SetAutoSize, false)
      .template Enum<TPanelBevel>("BevelInner", &TCustomPanel::BevelInner, &TCustomPanel::SetBevelInner,
                                  bvNone)
      .template Enum<TPanelBevel>("BevelOuter", &TCustomPanel::BevelOuter, &TCustomPanel::SetBevelOuter,
                                  bvRaised)
      .Int("BevelWidth", &TCustomPanel::BevelWidth, &TCustomPanel::SetBevelWidth, 1)
      .With(published::BiDiMode)
      .Int("BorderWidth", &TCustomPanel::BorderWidth, &TCustomPanel::SetBorderWidth, 0)
      .template Enum<TBorderStyle>("BorderStyle", &TCustomPanel::BorderStyle, &TCustomPanel::SetBorderStyle,
                                   TBorderStyle::bsNone)
      .Str("Caption", &TControl::Caption, &TControl::SetCaption, NoDefault)
      .With(published::Color(clBtnFace))
      .With(published::Constraints)
      .Bool("Ctl3D", &TWinControl::Ctl3D, &TWinControl::SetCtl3D, NoDefault)
      .Bool("UseDockManager", &TCustomPanel::UseDockManager, &TCustomPanel::SetUseDockManager, true)
      .Bool("DockSite", &TCustomPanel::DockSite, &TCustomPanel::SetDockSite, false)
      .With(published::DragCursor)
      .With(published::DragKind)
      .With(published::DragMode)
      .With(published::Enabled)
      .Bool("FullRepaint", &TCustomPanel::FullRepaint, &TCustomPanel::SetFullRepaint, true)
      .With(published::Font)
      .Bool("Locked", &TCustomPanel::Locked, &TCustomPanel::SetLocked, false)
      .Bool("ParentBiDiMode", &TCustomPanel::ParentBiDiMode, &TCustomPanel::SetParentBiDiMode, true)
      .With(published::ParentColor)
      .With(published::ParentCtl3D)
      .With(published::ParentFont)
      .With(published::ParentShowHint)
      .With(published::PopupMenu)
      .Bool("ShowHint", &TControl::ShowHint, &TControl::SetShowHint, NoDefault)
      .With(published::TabOrder)
      .With(published::TabStop)
      .With(published::Visible);
}

template <class B> void panelEvents(B& b) {
  b.Event("OnCanResize", &TCustomPanel::OnCanResize)
      .Event("OnClick", &TControl::OnClick)
      .Event("OnConstrainedResize", &TCustomPanel::OnConstrainedResize)
      .With(published::OnContextPopup)
      .Event("OnDockDrop", &TCustomPanel::OnDockDrop)
      .Event("OnDockOver", &TCustomPanel::OnDockOver)
      .Event("OnDblClick", &TControl::OnDblClick)
      .With(published::OnDragDrop)
      .With(published::OnDragOver)
      .With(published::OnEndDock)
      .With(published::OnEndDrag)
      .Event("OnEnter", &TWinControl::OnEnter)
      .Event("OnExit", &TWinControl::OnExit)
      .Event("OnGetSiteInfo", &TCustomPanel::OnGetSiteInfo)
      .Event("OnMouseDown", &TControl::OnMouseDown)
      .Event("OnMouseMove", &TControl::OnMouseMove)
      .Event("OnMouseUp", &TControl::OnMouseUp)
      .Event("OnResize", &TControl::OnResize)
      .With(published::OnStartDock)
      .With(published::OnStartDrag)
      .Event("OnUnDock", &TCustomPanel::OnUnDock);
}
} // namespace

const TClassInfo& TDockPanel::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TDockPanel, TCustomPanel>("TDockPanel")
          .With([](auto& b) { panelProps(b); })
          .With([](auto& b) { panelEvents(b); })
          .Bool("ShowHandle", &TDockPanel::ShowHandle, &TDockPanel::SetShowHandle, NoDefault)
          .Int("HandleHeight", &TDockPanel::HandleHeight, &TDockPanel::SetHandleHeight, 5)
          .Object("FloatConstraints", [](const TDockPanel& p) { return &p.FloatConstraints(); })
          .Str("FloatCaption", &TDockPanel::FloatCaption, &TDockPanel::SetFloatCaption, NoDefault)
          .Build();
  return info;
}

TDockPanel::TDockPanel(TComponent* AOwner)
    : TCustomPanel(AOwner), FFloatConstraints(std::make_unique<TSizeConstraints>()) {}

TDockPanel::~TDockPanel() = default;

void TDockPanel::gripChanged() {
  Realign();
  Invalidate();
}

void TDockPanel::SetShowHandle(bool Value) {
  FShowHandle = Value;
  // With the grip the paint leaves row 0 to the background erase, so the panel no longer
  // covers its whole client area and must be erased before each paint; otherwise that row
  // would keep whatever was drawn there before (an old bevel line, an old colour).
  if (Value)
    SetControlStyle(ControlStyle() - TControlStyle{csOpaque});
  else
    SetControlStyle(ControlStyle() + TControlStyle{csOpaque});
  gripChanged();
}

void TDockPanel::SetHandleHeight(int Value) {
  FHandleHeight = Value;
  gripChanged();
}

void TDockPanel::SetFloatConstraints(const TSizeConstraints& Value) { FFloatConstraints->Assign(Value); }

void TDockPanel::AdjustClientRect(TRect& Rect) {
  TCustomPanel::AdjustClientRect(Rect);
  if (FShowHandle) Rect.Top += gripRows() + 1;
}

void TDockPanel::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  if (FShowHandle) {
    const int rows = gripRows();
    r.Top += rows + 1;
    // Row 0 stays as the background erase left it: the strip starts one row down.
    if (rows > 0) {
      TRect strip{0, 1, Width(), 1 + rows};
      c.Brush().SetColor(clBtnFace);
      c.FillRect(strip);
      c.Frame3D(strip, clBtnHighlight, clBtnShadow, 1);
      for (int i = 1; i <= Width() / 3; ++i) {
        c.SetPixel(3 * i - 1, rows - 2, clBtnHighlight);
        c.SetPixel(3 * i, rows - 1, clBtnShadow);
      }
    }
  }
  // Raised and spaced bevels share the light-over-dark pair; only a lowered one swaps it.
  auto bevel = [&](TPanelBevel b) {
    if (b == bvNone) return;
    const bool lowered = b == bvLowered;
    c.Frame3D(r, lowered ? clBtnShadow : clBtnHighlight, lowered ? clBtnHighlight : clBtnShadow,
              BevelWidth());
  };
  bevel(BevelOuter());
  c.Frame3D(r, Color(), Color(), BorderWidth());
  bevel(BevelInner());
  c.Brush().SetColor(Color());
  c.FillRect(r);
  c.Brush().SetStyle(TBrushStyle::bsClear);
  c.SetFont(Font());
  const int h = c.TextHeight("W");
  r.Top = (r.Top + r.Bottom - h) / 2;
  r.Bottom = r.Top + h;
  // Right-to-left settings would swap the alignment only on a system whose locale reads right
  // to left; ours reads left to right, so the caption keeps its alignment.
  const unsigned align = Alignment() == taLeftJustify    ? classic::dcLeft
                         : Alignment() == taRightJustify ? classic::dcRight
                                                         : classic::dcCenter;
  classic::DrawCaption(c, r, Caption(), align | classic::dcVCenter, true);
}

void Register() { RegisterComponents("Korvalis", {&TDockPanel::StaticClassInfo()}); }

namespace {
const bool classesRegistered = (RegisterMenus(), RegisterClasses({&TDockPanel::StaticClassInfo()}), true);
} // namespace

} // namespace DockPanel
