#include "ExStringGrid.h"

namespace ExStringGrid {

using namespace kv::platform;

const TClassInfo& TExStringGrid::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TExStringGrid, TStringGrid>("TExStringGrid")
          .Object("ColHeadFont", [](const TExStringGrid& g) { return &g.ColHeadFont(); })
          .Event("OnMouseWheel", &TExStringGrid::OnMouseWheel)
          .Event("OnExDrawCell", &TExStringGrid::OnExDrawCell)
          .Build();
  return info;
}

TExStringGrid::TExStringGrid(TComponent* AOwner)
    : TStringGrid(AOwner), colHeadFont_(std::make_unique<uExFont::TExFont>()) {
  memo_ = CreateMemo();
}

TExStringGrid::~TExStringGrid() {
  colHeadFont_.reset();
  TComponent::Free(memo_);
  memo_ = nullptr;
}

TMemo* TExStringGrid::CreateMemo() {
  auto* memo = new TMemo(this);
  memo->SetParent(this);
  memo->SetBounds(Width() + 5, Height() + 5, 100, 100);
  memo->SetVisible(false);
  return memo;
}

void TExStringGrid::SetColHeadFont(const uExFont::TExFont& Value) { colHeadFont_->Assign(Value); }

TGridCellAlign TExStringGrid::GetCellAlign(int ACol) const {
  if (ACol >= 0 && ACol < alignCount_) return aligns_[static_cast<size_t>(ACol)];
  return gcaLeft;
}

void TExStringGrid::SetCellAlign(int ACol, TGridCellAlign Value) {
  if (ACol >= 0 && ACol < alignCount_) aligns_[static_cast<size_t>(ACol)] = Value;
}

void TExStringGrid::SetCellAlignCount(int Value) {
  alignCount_ = std::max(Value, 0);
  aligns_.resize(static_cast<size_t>(alignCount_), gcaLeft);
}

void TExStringGrid::DrawCell(int ACol, int ARow, const TRect& ARect, TGridDrawState AState) {
  if (OnExDrawCell.Assigned()) {
    bool handled = false;
    OnExDrawCell(this, ACol, ARow, ARect, AState, handled);
    if (handled) return;
  }
  TCanvas& c = Canvas();
  DrawingContext* dc = c.Handle();
  if (!dc) return;
  dc->setClipRect(toDevice(ARect));
  const std::string& text = Cells(ACol, ARow);
  const int w = c.TextWidth(text);
  const int innerWidth = (ARect.Right - 2) - (ARect.Left + 2);
  if (ARow == 0) {
    // The title row goes out in the described font (possibly turned); the canvas's font is put
    // back afterwards, and the text colour stays the canvas's.
    const LOGFONTA& lf = colHeadFont_->LogFont;
    FontInfo head;
    head.name = faceName(lf);
    head.height = lf.lfHeight;
    head.bold = lf.lfWeight >= 700;
    head.italic = lf.lfItalic != 0;
    head.underline = lf.lfUnderline != 0;
    head.strikeOut = lf.lfStrikeOut != 0;
    head.escapement = lf.lfEscapement;
    head.charset = lf.lfCharSet;
    head.pitch = lf.lfPitchAndFamily;
    head.color = c.Font().Color();
    dc->setFont(head);
    dc->textOut(ARect.Left + 2, ARect.Bottom - 4, text);
    dc->setFont(c.Font().Info());
  } else {
    int x = ARect.Left + 2;
    switch (GetCellAlign(ACol)) {
    case gcaCenter: x = ARect.Left + 2 + (innerWidth - w) / 2; break;
    case gcaRight: x = ARect.Right - 2 - w; break;
    case gcaLeft: break;
    }
    c.TextOut(x, ARect.Top + 2, text);
  }
  // No clip for the cells that follow, but the window's frame stays out of reach of a cell
  // that reaches beyond the client area.
  dc->setClipRect(toDevice(ClientRect()));
}

void Register() { RegisterComponents("Dolvane", {&TExStringGrid::StaticClassInfo()}); }

namespace {
// Form files find the grid (and its ancestors) by name without the designer.
const bool classesRegistered = (RegisterGrids(), RegisterClasses({&TExStringGrid::StaticClassInfo()}), true);
} // namespace

} // namespace ExStringGrid
