// Buttons with pictures: the bitmap button with its standard kinds and the speed button.
#pragma once

#include "Platform/Graphics/Raster.h"
#include "Platform/Ui/StdCtrls.h"

#include <optional>

namespace kv::platform {

enum class TBitBtnKind {
  bkCustom,
  bkOK,
  bkCancel,
  bkHelp,
  bkYes,
  bkNo,
  bkClose,
  bkAbort,
  bkRetry,
  bkIgnore,
  bkAll
};
KV_ENUM_NAMES(TBitBtnKind, "bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose", "bkAbort",
              "bkRetry", "bkIgnore", "bkAll")
enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
KV_ENUM_NAMES(TButtonLayout, "blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom")

// The caption, modal result and default or cancel role that a kind gives a button.
struct TBitBtnKindInfo {
  const char* caption;
  TModalResult modalResult;
  bool isDefault, isCancel;
};
const TBitBtnKindInfo& BitBtnKindInfo(TBitBtnKind Kind);

// A picture on a button: the pixel at its bottom left corner names the transparent colour.
// Drawn in clBtnShadow where it is not transparent when the button is disabled.
void DrawGlyph(TCanvas& Canvas, const Raster& Glyph, int X, int Y, bool Enabled);
// The standard picture of a kind (none for bkCustom).
const Raster* KindGlyph(TBitBtnKind Kind);

class TBitBtn : public TButton {
  KV_CLASS_INFO(TBitBtn)
public:
  explicit TBitBtn(TComponent* AOwner);
  TBitBtnKind Kind() const { return kind_; }
  // A standard kind sets the caption, the modal result and the default or cancel role.
  void SetKind(TBitBtnKind Value);
  const Raster* Glyph() const;
  void SetGlyph(const Raster& Value);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout Value);
  int Margin() const { return margin_; }
  void SetMargin(int Value);
  int Spacing() const { return spacing_; }
  void SetSpacing(int Value);
  // bkClose closes its form.
  void Click() override;

protected:
  void PaintContent(const TRect& Content) override;

private:
  TBitBtnKind kind_ = TBitBtnKind::bkCustom;
  std::optional<Raster> glyph_;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  int margin_ = -1, spacing_ = 4;
};

// Places a picture and a caption inside a rectangle (shared by the bitmap and speed buttons).
void PaintGlyphAndCaption(TCanvas& Canvas, const TRect& Content, const Raster* Glyph,
                          const std::string& Caption, TButtonLayout Layout, int Margin, int Spacing,
                          bool Enabled);

class TSpeedButton : public TGraphicControl {
  KV_CLASS_INFO(TSpeedButton)
public:
  explicit TSpeedButton(TComponent* AOwner);
  bool Down() const { return down_; }
  // In a group (GroupIndex > 0) going down lets the others of the group up; up again only with AllowAllUp.
  void SetDown(bool Value);
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int Value);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool Value);
  bool Flat() const { return flat_; }
  void SetFlat(bool Value);
  const Raster* Glyph() const { return glyph_ ? &*glyph_ : nullptr; }
  void SetGlyph(const Raster& Value);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout Value);
  int Margin() const { return margin_; }
  void SetMargin(int Value);
  int Spacing() const { return spacing_; }
  void SetSpacing(int Value);
  void Click() override;
  void Dispatch(TMessage& Message) override;

protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;

private:
  void groupChanged();
  bool down_ = false, allowAllUp_ = false, flat_ = false;
  PressTracker face_;
  int groupIndex_ = 0;
  std::optional<Raster> glyph_;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  int margin_ = -1, spacing_ = 4;
};

void RegisterButtons();

} // namespace kv::platform
