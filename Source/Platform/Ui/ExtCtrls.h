// The timer component.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/StdCtrls.h"
#include "Platform/Ui/WinApi.h"

namespace kv::platform {

// Fires OnTimer every Interval milliseconds while Enabled (and OnTimer is assigned), through
// a hidden window of its own.
class TTimer : public TComponent {
  KV_CLASS_INFO(TTimer)
public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned Value);
  TNotifyEvent OnTimer;
  void Loaded() override;

protected:
  virtual void Timer();

private:
  void updateTimer();
  HWND window_ = 0;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};

enum class TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };
KV_ENUM_NAMES(TPanelBevel, "bvNone", "bvLowered", "bvRaised", "bvSpace")
inline constexpr auto bvNone = TPanelBevel::bvNone;
inline constexpr auto bvLowered = TPanelBevel::bvLowered;
inline constexpr auto bvRaised = TPanelBevel::bvRaised;

// A container with an outer and an inner bevel, a border between them and a centred caption.
class TPanel : public TCustomControl {
  KV_CLASS_INFO(TPanel)
public:
  explicit TPanel(TComponent* AOwner);
  TPanelBevel BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TPanelBevel Value);
  TPanelBevel BevelInner() const { return bevelInner_; }
  void SetBevelInner(TPanelBevel Value);
  int BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(int Value);
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int Value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  // Inside the bevels and the border.
  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;

protected:
  void Paint() override;

private:
  void changed();
  TPanelBevel bevelOuter_ = bvRaised, bevelInner_ = bvNone;
  int bevelWidth_ = 1, borderWidth_ = 0;
  TBorderStyle borderStyle_ = TBorderStyle::bsNone;
  TAlignment alignment_ = taCenter;
};

// A group box of radio buttons made from its items, in columns; ItemIndex is the chosen one.
class TRadioGroup : public TGroupBox {
  KV_CLASS_INFO(TRadioGroup)
public:
  explicit TRadioGroup(TComponent* AOwner);
  ~TRadioGroup() override;
  TStrings& Items() { return *items_; }
  void SetItems(const TStrings& Value) { items_->Assign(Value); }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int Value);
  int Columns() const { return columns_; }
  void SetColumns(int Value);
  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TRadioButton* Buttons(int Index) const { return buttons_.at(static_cast<size_t>(Index)); }
  void Loaded() override;
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;
  void Dispatch(TMessage& Message) override;

private:
  void updateButtons();
  void arrangeButtons();
  std::unique_ptr<TStringList> items_;
  std::vector<TRadioButton*> buttons_;
  int itemIndex_ = -1;
  int columns_ = 1;
  bool reading_ = false;
};

void RegisterExtControls();

} // namespace kv::platform
