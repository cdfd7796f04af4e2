#include "Platform/Ui/Menus.h"

#include "Platform/Rtl/ScopeExit.h"
#include "Platform/Rtl/StoreChange.h"
#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Forms.h"

#include <algorithm>

namespace kv::platform {

using namespace classic;

TShortCut ShortCut(uint16_t Key, TShiftState Shift) {
  TShortCut s = Key & 0xFF;
  if (Shift.Contains(ssShift)) s |= scShift;
  if (Shift.Contains(ssCtrl)) s |= scCtrl;
  if (Shift.Contains(ssAlt)) s |= scAlt;
  return s;
}

// ---- TMenuItem

const TClassInfo& TMenuItem::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TMenuItem, TComponent>("TMenuItem")
          .Str("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption, std::string())
          .Bool("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked, false)
          .Bool("Default", &TMenuItem::Default, &TMenuItem::SetDefault, false)
          .Bool("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled, true)
          .Int("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex, 0)
          .Str("Hint", &TMenuItem::Hint, &TMenuItem::SetHint, std::string())
          .Bool("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem, false)
          .Int("ShortCut", &TMenuItem::GetShortCut, &TMenuItem::SetShortCut, 0)
          .Bool("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible, true)
          .Event("OnClick", &TMenuItem::OnClick)
          .Build();
  return info;
}

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner) {}

TMenuItem::~TMenuItem() {
  OnClick.Clear();
  if (parent_) parent_->Remove(this);
  // Sub-items go with their item, whoever owns them.
  while (!items_.empty()) {
    TMenuItem* child = items_.back();
    items_.pop_back();
    child->parent_ = nullptr;
    TComponent::Free(child);
  }
}

void TMenuItem::SetChecked(bool Value) {
  if (!storeChange(checked_, Value)) return;
  if (Value && radioItem_ && parent_)
    for (TMenuItem* other : parent_->items_)
      if (other != this && other->radioItem_ && other->groupIndex_ == groupIndex_) other->checked_ = false;
}

int TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (!Item) return;
  if (Item->parent_) throw EInvalidOperation("Menu inserted twice");
  Index = std::clamp(Index, 0, Count());
  items_.insert(items_.begin() + Index, Item);
  Item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(items_.begin(), items_.end(), Item);
  if (it == items_.end()) return;
  items_.erase(it);
  Item->parent_ = nullptr;
}

void TMenuItem::Delete(int Index) {
  if (Index < 0 || Index >= Count()) throw EListError("Menu index out of range");
  Remove(items_[static_cast<size_t>(Index)]);
}

void TMenuItem::Clear() {
  while (!items_.empty())
    TComponent::Free(items_.back());
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TMenuItem* TMenuItem::FindShortCut(TShortCut Value) {
  if (!enabled_ || !visible_) return nullptr;
  if (Value != 0 && shortCut_ == Value && items_.empty()) return this;
  for (TMenuItem* i : items_)
    if (TMenuItem* found = i->FindShortCut(Value)) return found;
  return nullptr;
}

void TMenuItem::Click() {
  if (enabled_) OnClick(this);
}

TComponent* TMenuItem::GetParentComponent() const {
  if (parent_ && parent_->menu_) return parent_->menu_;
  return parent_;
}

void TMenuItem::SetParentComponent(TComponent* Value) {
  if (parent_) parent_->Remove(this);
  if (auto* menu = dynamic_cast<TMenu*>(Value))
    menu->Items()->Add(this);
  else if (auto* item = dynamic_cast<TMenuItem*>(Value))
    item->Add(this);
}

void TMenuItem::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* /*Root*/) {
  for (TMenuItem* i : std::vector<TMenuItem*>(items_))
    Proc(i);
}

// ---- TMenu

const TClassInfo& TMenu::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TMenu, TComponent>("TMenu").Build();
  return info;
}
const TClassInfo& TMainMenu::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TMainMenu, TMenu>("TMainMenu").Build();
  return info;
}
const TClassInfo& TPopupMenu::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TPopupMenu, TMenu>("TPopupMenu").Event("OnPopup", &TPopupMenu::OnPopup).Build();
  return info;
}

TMenu::TMenu(TComponent* AOwner) : TComponent(AOwner), items_(new TMenuItem(nullptr)) {
  items_->menu_ = this;
}

TMenu::~TMenu() { TComponent::Free(items_); }

bool TMenu::IsShortCut(uint16_t Key, TShiftState Shift) {
  TMenuItem* item = items_->FindShortCut(ShortCut(Key, Shift));
  if (!item) return false;
  item->Click();
  return true;
}

void TMenu::GetChildren(const std::function<void(TComponent*)>& Proc, TComponent* Root) {
  items_->GetChildren(Proc, Root);
}

// ---- the pop-up window

namespace {
struct PopupState {
  TMenuItem* root = nullptr;
  std::vector<TMenuItem*> rows; // the visible items
  int hot = -1;
  bool done = false;
  TMenuItem* chosen = nullptr;
  TFont font;
};

int rowHeight(const TMenuItem* i) {
  return i->IsLine() ? TPopupMenu::SeparatorHeight : TPopupMenu::RowHeight;
}

int rowAt(const PopupState& s, TPoint p) {
  int y = 2;
  for (int i = 0; i < static_cast<int>(s.rows.size()); ++i) {
    const int h = rowHeight(s.rows[static_cast<size_t>(i)]);
    if (p.Y >= y && p.Y < y + h) return i;
    y += h;
  }
  return -1;
}

bool selectable(const PopupState& s, int i) {
  return i >= 0 && i < static_cast<int>(s.rows.size()) && !s.rows[static_cast<size_t>(i)]->IsLine() &&
         s.rows[static_cast<size_t>(i)]->Enabled();
}

void paintPopup(HWND h, PopupState& s, TCanvas& c) {
  TRect client;
  GetClientRect(h, &client);
  TRect r = client;
  RaisedEdge(c, r);
  c.Brush().SetColor(clMenu);
  c.FillRect(r);
  c.SetFont(s.font);
  int y = 2;
  for (int i = 0; i < static_cast<int>(s.rows.size()); ++i) {
    TMenuItem* item = s.rows[static_cast<size_t>(i)];
    const int rh = rowHeight(item);
    if (item->IsLine()) {
      c.Pen().SetColor(clBtnShadow);
      c.MoveTo(3, y + rh / 2 - 1);
      c.LineTo(client.Right - 3, y + rh / 2 - 1);
      c.Pen().SetColor(clBtnHighlight);
      c.MoveTo(3, y + rh / 2);
      c.LineTo(client.Right - 3, y + rh / 2);
    } else {
      const bool hot = i == s.hot;
      const TRect row{2, y, client.Right - 2, y + rh};
      if (hot) {
        c.Brush().SetColor(clHighlight);
        c.FillRect(row);
      }
      c.Font().SetColor(hot ? clHighlightText : clMenuText);
      if (item->Default()) c.Font().SetStyle(c.Font().Style() + TFontStyles{fsBold});
      if (item->Checked())
        for (int k = 0; k < 5; ++k) {
          c.SetPixel(8 + k, y + rh / 2 + (k < 2 ? k : 4 - k) - 1, hot ? clHighlightText : clMenuText);
          c.SetPixel(8 + k, y + rh / 2 + (k < 2 ? k : 4 - k), hot ? clHighlightText : clMenuText);
        }
      DrawCaption(c, TRect{20, row.Top, row.Right, row.Bottom}, item->Caption(), dcLeft | dcVCenter,
                  item->Enabled());
      c.Font().SetStyle(s.font.Style());
    }
    y += rh;
  }
}
} // namespace

void TPopupMenu::Popup(int X, int Y) {
  OnPopup(this);
  PopupState s;
  s.root = Items();
  for (int i = 0; i < Items()->Count(); ++i)
    if (Items()->Items(i)->Visible()) s.rows.push_back(Items()->Items(i));
  if (s.rows.empty()) return;
  int width = 80, height = 4;
  for (TMenuItem* i : s.rows) {
    width = std::max(width, MeasureText(s.font, StripAccel(i->Caption())).cx + 40);
    height += rowHeight(i);
  }
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  X = std::clamp(X, 0, std::max(0, sw - width));
  Y = std::clamp(Y, 0, std::max(0, sh - height));
  const HWND previousFocus = GetFocus();
  HWND h = CreateWindowEx(
      WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "TPopupMenuWindow", "", WS_POPUP, X, Y, width, height, 0,
      [&s](HWND wnd, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        switch (msg) {
        case WM_PAINT:
          PaintPopup(wnd, [&](TCanvas& c) { paintPopup(wnd, s, c); });
          return 0;
        case WM_ERASEBKGND:
          return 1;
        case WM_MOUSEMOVE: {
          const int row =
              rowAt(s, TPoint{loWord(static_cast<uint64_t>(l)), hiWord(static_cast<uint64_t>(l))});
          if (row != s.hot) {
            s.hot = selectable(s, row) ? row : -1;
            InvalidateRect(wnd, nullptr, false);
          }
          return 0;
        }
        case WM_LBUTTONUP:
        case WM_RBUTTONUP: {
          const TPoint p{loWord(static_cast<uint64_t>(l)), hiWord(static_cast<uint64_t>(l))};
          TRect cr;
          GetClientRect(wnd, &cr);
          if (!PtInRect(cr, p)) {
            s.done = true; // a click elsewhere leaves the menu
          } else if (const int row = rowAt(s, p); selectable(s, row)) {
            s.chosen = s.rows[static_cast<size_t>(row)];
            s.done = true;
          }
          return 0;
        }
        case WM_KEYDOWN: {
          const int n = static_cast<int>(s.rows.size());
          const int key = static_cast<int>(w);
          if (key == VK_ESCAPE) s.done = true;
          if ((key == VK_RETURN || key == VK_SPACE) && selectable(s, s.hot)) {
            s.chosen = s.rows[static_cast<size_t>(s.hot)];
            s.done = true;
          }
          if (key == VK_DOWN || key == VK_UP) {
            for (int step = 1; step <= n; ++step) {
              const int i = ((s.hot < 0 ? (key == VK_DOWN ? -1 : 0) : s.hot) +
                             (key == VK_DOWN ? step : -step) + 2 * n) %
                            n;
              if (selectable(s, i)) {
                s.hot = i;
                break;
              }
            }
            InvalidateRect(wnd, nullptr, false);
          }
          return 0;
        }
        case WM_CHAR: {
          // An item's accelerator chooses it.
          const char ch = static_cast<char>(w);
          const char up = (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
          for (int i = 0; i < static_cast<int>(s.rows.size()); ++i)
            if (selectable(s, i) && AccelChar(s.rows[static_cast<size_t>(i)]->Caption()) == up) {
              s.chosen = s.rows[static_cast<size_t>(i)];
              s.done = true;
              break;
            }
          return 0;
        }
        default:
          return DefWindowProc(wnd, msg, w, l);
        }
      });
  window_ = h;
  auto closeWindow = [&] {
    if (!h) return;
    if (GetCapture() == h) ReleaseCapture();
    DestroyWindow(h);
    h = 0;
    window_ = 0;
    if (previousFocus && IsWindow(previousFocus)) SetFocus(previousFocus);
  };
  const ScopeExit closeAlways(closeWindow);
  ShowWindow(h, SW_SHOW);
  SetFocus(h);
  SetCapture(h);
  while (!s.done && !Application().Terminated())
    Application().HandleMessage();
  // The window goes first; the item's handler may show a dialog.
  closeWindow();
  if (s.chosen) s.chosen->Click();
}

void RegisterMenus() {
  RegisterClasses(
      {&TMenuItem::StaticClassInfo(), &TMainMenu::StaticClassInfo(), &TPopupMenu::StaticClassInfo()});
}

} // namespace kv::platform
