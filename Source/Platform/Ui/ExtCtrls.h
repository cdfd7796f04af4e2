// The timer component and the panels.
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
inline constexpr auto bvSpace = TPanelBevel::bvSpace;

// Events of resizing and docking, each with the sender first.
using TCanResizeEvent = TEvent<TObject*, int&, int&, bool&>;
using TConstrainedResizeEvent = TEvent<TObject*, int&, int&, int&, int&>;
using TDockDropEvent = TEvent<TObject*, TObject*, int, int>;
using TDockOverEvent = TEvent<TObject*, TObject*, int, int, TDragState, bool&>;
using TGetSiteInfoEvent = TEvent<TObject*, TControl*, TRect&, TPoint, bool&>;
using TUnDockEvent = TEvent<TObject*, TControl*, TWinControl*, bool&>;

// The panel: a container with an outer and an inner bevel, a border between them and a
// centred caption. Publishes nothing; TPanel and other panels choose what they publish.
//
// The docking and size-negotiation settings are kept here for the panels' stored forms; this
// class library does no docking and sizes controls by their constraints alone, so nothing
// reads them yet.
class TCustomPanel : public TCustomControl {
  KV_CLASS_INFO(TCustomPanel)
public:
  explicit TCustomPanel(TComponent* AOwner);
  ~TCustomPanel() override;
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
  bool FullRepaint() const { return fullRepaint_; }
  void SetFullRepaint(bool Value) { fullRepaint_ = Value; }
  bool Locked() const { return locked_; }
  void SetLocked(bool Value) { locked_ = Value; }

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value) { autoSize_ = Value; }
  bool UseDockManager() const { return useDockManager_; }
  void SetUseDockManager(bool Value) { useDockManager_ = Value; }
  bool DockSite() const { return dockSite_; }
  void SetDockSite(bool Value) { dockSite_ = Value; }

  TCanResizeEvent OnCanResize;
  TConstrainedResizeEvent OnConstrainedResize;
  TDockDropEvent OnDockDrop;
  TDockOverEvent OnDockOver;
  TGetSiteInfoEvent OnGetSiteInfo;
  TUnDockEvent OnUnDock;

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
  bool fullRepaint_ = true;
  bool locked_ = false;
  bool autoSize_ = false;
  bool useDockManager_ = true;
  bool dockSite_ = false;
};

class TPanel : public TCustomPanel {
  KV_CLASS_INFO(TPanel)
public:
  using TCustomPanel::TCustomPanel;
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
