// Menus: the item tree (captions, checks, short cuts, clicks), the main menu that a form's
// keys reach through short cuts, and the pop-up menu drawn in a window of its own.
#pragma once

#include "Platform/Ui/Controls.h"

#include <string>
#include <vector>

namespace kv::platform {

// A short cut: the virtual key with scShift, scCtrl and scAlt added.
using TShortCut = uint16_t;
inline constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
TShortCut ShortCut(uint16_t Key, TShiftState Shift);

class TMenu;

class TMenuItem : public TComponent {
  KV_CLASS_INFO(TMenuItem)
public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& Value) { caption_ = Value; }
  bool Checked() const { return checked_; }
  // A radio item checked unchecks the other radio items of its group among its siblings.
  void SetChecked(bool Value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value) { enabled_ = Value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool Value) { visible_ = Value; }
  bool Default() const { return default_; }
  void SetDefault(bool Value) { default_ = Value; }
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool Value) { radioItem_ = Value; }
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int Value) { groupIndex_ = Value; }
  TShortCut GetShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut Value) { shortCut_ = Value; }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& Value) { hint_ = Value; }
  // A caption of "-" makes a separator line.
  bool IsLine() const { return caption_ == "-"; }

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int Index) const { return items_.at(static_cast<size_t>(Index)); }
  TMenuItem* operator[](int Index) const { return Items(Index); }
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const;
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  void Remove(TMenuItem* Item);
  void Delete(int Index);
  // Frees the sub-items.
  void Clear();
  int IndexOf(const TMenuItem* Item) const;
  // The enabled item of this tree with the short cut, or nullptr.
  TMenuItem* FindShortCut(TShortCut Value);

  // Fires OnClick of an enabled item.
  virtual void Click();
  TNotifyEvent OnClick;

  bool HasParent() const override { return true; }
  TComponent* GetParentComponent() const override;
  void SetParentComponent(TComponent* Value) override;
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

private:
  friend class TMenu;
  std::string caption_, hint_;
  bool checked_ = false, enabled_ = true, visible_ = true, default_ = false, radioItem_ = false;
  int groupIndex_ = 0;
  TShortCut shortCut_ = 0;
  std::vector<TMenuItem*> items_;
  TMenuItem* parent_ = nullptr;
  TMenu* menu_ = nullptr; // for the root item
};

class TMenu : public TComponent {
  KV_CLASS_INFO(TMenu)
public:
  explicit TMenu(TComponent* AOwner);
  ~TMenu() override;
  // The root item; its sub-items are the menu's top-level items.
  TMenuItem* Items() const { return items_; }
  // Clicks the item with the short cut of a key; true when there was one.
  bool IsShortCut(uint16_t Key, TShiftState Shift);
  void GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) override;

private:
  TMenuItem* items_;
};

class TMainMenu : public TMenu {
  KV_CLASS_INFO(TMainMenu)
public:
  using TMenu::TMenu;
};

class TPopupMenu : public TMenu {
  KV_CLASS_INFO(TPopupMenu)
public:
  using TMenu::TMenu;
  // Shows the menu at a screen point and runs until an item is chosen (clicked) or the menu
  // is left (Escape, a click outside it).
  void Popup(int X, int Y);
  TComponent* PopupComponent = nullptr;
  TNotifyEvent OnPopup;
  // The window while the menu shows (tests find its rows through it).
  HWND Window() const { return window_; }
  // Row height and width of the shown menu.
  static constexpr int RowHeight = 18, SeparatorHeight = 8;

private:
  HWND window_ = 0;
};

// The control's pop-up menu for class tables: .With(published::PopupMenu)
namespace published {
inline constexpr auto PopupMenu = [](auto& b) {
  b.template Ref<TPopupMenu>("PopupMenu", &TControl::PopupMenu, &TControl::SetPopupMenu);
};
} // namespace published

void RegisterMenus();

} // namespace kv::platform
