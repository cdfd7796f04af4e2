// The standard controls: label, push button, check box, radio button, edit, memo, group box,
// static text, scroll bar and list box, drawn by our own code in the classic Windows look.
#pragma once

#include "Platform/Ui/ClassicPaint.h"
#include "Platform/Ui/Controls.h"
#include "Platform/Ui/Forms.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
KV_ENUM_NAMES(TAlignment, "taLeftJustify", "taRightJustify", "taCenter")
inline constexpr auto taLeftJustify = TAlignment::taLeftJustify;
inline constexpr auto taRightJustify = TAlignment::taRightJustify;
inline constexpr auto taCenter = TAlignment::taCenter;

KV_ENUM_NAMES(TScrollBarKind, "sbHorizontal", "sbVertical")

enum class TTextLayout { tlTop, tlCenter, tlBottom };
KV_ENUM_NAMES(TTextLayout, "tlTop", "tlCenter", "tlBottom")

// ---- label

class TCustomLabel : public TGraphicControl {
  KV_CLASS_INFO(TCustomLabel)
public:
  explicit TCustomLabel(TComponent* AOwner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout Value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool Value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool Value);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool Value);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* Value);
  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
  void Paint() override;
  void AdjustBounds();

private:
  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true, wordWrap_ = false, transparent_ = false, showAccelChar_ = true;
  TTextLayout layout_ = TTextLayout::tlTop;
  TWinControl* focusControl_ = nullptr;
};

class TLabel : public TCustomLabel {
  KV_CLASS_INFO(TLabel)
public:
  using TCustomLabel::TCustomLabel;
};

// ---- buttons

// A windowed control that paints itself (the base of the push, check and radio buttons).
class TButtonControl : public TCustomControl {
  KV_CLASS_INFO(TButtonControl)
public:
  explicit TButtonControl(TComponent* AOwner);
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  // The press that a mouse button or the space bar holds (drawn pushed in).
  bool pressed_ = false;
  bool spaceDown_ = false;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyUp(uint16_t& Key, TShiftState Shift) override;
  void setPressed(bool Value);
};

class TButton : public TButtonControl {
  KV_CLASS_INFO(TButton)
public:
  explicit TButton(TComponent* AOwner);
  bool Default() const { return default_; }
  void SetDefault(bool Value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool Value) { cancel_ = Value; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult Value) { modalResult_ = Value; }
  // Sets the form's modal result (when it has one of its own) and fires OnClick.
  void Click() override;
  void Dispatch(TMessage& Message) override;
  // The button that Return presses: the focused button, else the default one.
  bool Active() const;

protected:
  void Paint() override;
  // The content (caption, glyph) inside the face; BitBtn draws its glyph here.
  virtual void PaintContent(const TRect& Content);

private:
  bool default_ = false, cancel_ = false;
  TModalResult modalResult_ = mrNone;
};

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
KV_ENUM_NAMES(TCheckBoxState, "cbUnchecked", "cbChecked", "cbGrayed")

class TCheckBox : public TButtonControl {
  KV_CLASS_INFO(TCheckBox)
public:
  explicit TCheckBox(TComponent* AOwner);
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState Value);
  bool Checked() const { return state_ == TCheckBoxState::cbChecked; }
  void SetChecked(bool Value) { SetState(Value ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool Value) { allowGrayed_ = Value; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  // A click goes to the next state (unchecked, checked, grayed when allowed).
  void Toggle();

protected:
  void Click() override;
  void Paint() override;

private:
  TCheckBoxState state_ = TCheckBoxState::cbUnchecked;
  bool allowGrayed_ = false;
  TAlignment alignment_ = taRightJustify;
};

class TRadioButton : public TButtonControl {
  KV_CLASS_INFO(TRadioButton)
public:
  explicit TRadioButton(TComponent* AOwner);
  bool Checked() const { return checked_; }
  // Checking one unchecks the other radio buttons of the same parent.
  void SetChecked(bool Value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);

protected:
  void Click() override;
  void Paint() override;
  void DoEnter() override;

private:
  bool checked_ = false;
  TAlignment alignment_ = taRightJustify;
};

// ---- edits

// Where the longest run of whole characters from From that Fits ends; From when not even the
// first character fits. Next tells where the character at a position ends, or -1 at the end of
// the line. Widths grow with what is measured, so doubling and then halving finds the end in a
// few measurements rather than one per character (a line of zero-width characters took minutes).
int fittingEnd(int From, const std::function<int(int)>& Next, const std::function<bool(int)>& Fits);

enum class TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
KV_ENUM_NAMES(TScrollStyle, "ssNone", "ssHorizontal", "ssVertical", "ssBoth")

// The single-line and multi-line edit: text as bytes (UTF-8), a caret and a selection that
// move by whole characters, typing, deleting, the clipboard, a length limit for what is typed
// or pasted, read-only and password display. A multi-line edit keeps lines apart with '\n'.
class TCustomEdit : public TCustomControl {
  KV_CLASS_INFO(TCustomEdit)
public:
  explicit TCustomEdit(TComponent* AOwner);
  ~TCustomEdit() override;

  void SetText(const std::string& Value) override;
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int Value) { maxLength_ = std::max(0, Value); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool Value);
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char Value);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool Value) { autoSelect_ = Value; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle Value);
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool Value);
  bool Modified() const { return modified_; }
  void SetModified(bool Value) { modified_ = Value; }

  // Byte offsets into Text.
  int SelStart() const { return std::min(anchor_, caret_); }
  void SetSelStart(int Value);
  int SelLength() const { return std::abs(caret_ - anchor_); }
  void SetSelLength(int Value);
  std::string SelText() const;
  // Replaces the selection (the length limit does not apply to a program's text).
  void SetSelText(const std::string& Value);
  int CaretPos() const { return caret_; }
  void SelectAll();
  void ClearSelection();
  void Clear() { SetText(std::string()); }
  // Copying and cutting do nothing in a password edit; pasting keeps to the length limit.
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();

  TNotifyEvent OnChange;
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void DoEnter() override;
  virtual void Change();

  // ---- the layout: visual lines (wrapped or not) as byte ranges of the text
  struct VisualLine {
    int start = 0, end = 0; // [start, end) without the line break
  };
  virtual bool multiLine() const { return false; }
  virtual bool wrapLines() const { return false; }
  const std::vector<VisualLine>& visualLines() const;
  void invalidateLayout();
  int lineOfPos(int Pos) const;
  int posAt(TPoint P) const;
  TPoint posToPoint(int Pos) const; // client coordinates of the caret before Pos
  std::string displayText(int From, int To) const;
  int lineHeight() const;
  // Keeps the caret in view; multi-line edits also set their scroll bars.
  virtual void scrollToCaret();
  virtual void updateScrollBars() {}
  void moveCaret(int Pos, bool Extend);
  // Inserts typed or pasted text at the selection, within the length limit; false when read-only.
  bool typeText(const std::string& S);
  void replaceSelection(const std::string& S, bool ByUser);
  int prevChar(int Pos) const;
  int nextChar(int Pos) const;
  TRect textArea() const;
  // The formatting rectangle: the one set, else the client area less a pixel on either side.
  TRect formatRect() const;

  int scrollX_ = 0; // pixels
  int topLine_ = 0; // first visual line shown
  classic::WindowScrollTracker tracker_;

private:
  int maxLength_ = 0;
  bool readOnly_ = false;
  char passwordChar_ = 0;
  bool autoSelect_ = true;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  bool hideSelection_ = true;
  bool modified_ = false;
  int caret_ = 0, anchor_ = 0;
  int desiredX_ = -1; // column kept by up and down
  bool selecting_ = false;
  bool mouseFocus_ = false;
  mutable std::vector<VisualLine> lines_;
  mutable bool layoutValid_ = false;
  mutable int layoutWidth_ = -1;
  // Set by EM_SETRECT / EM_SETRECTNP: where the text goes instead of the whole client area.
  std::optional<TRect> formatRect_;
};

class TEdit : public TCustomEdit {
  KV_CLASS_INFO(TEdit)
public:
  using TCustomEdit::TCustomEdit;
};

class TMemo;
// The lines of a memo, read and written through its text.
class TMemoStrings : public TStrings {
public:
  explicit TMemoStrings(TMemo* Memo) : memo_(Memo) {}
  std::string ClassName() const override { return "TMemoStrings"; }
  int Count() const override;
  const std::string& Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int) const override { return nullptr; }
  void PutObject(int, TObject*) override {}
  // Inserting puts the caret after the new line and scrolls it into view, as a log expects.
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override;
  // The whole text in one change, as the edit control takes a text (caret at the start).
  void SetText(const std::string& Value) override;

private:
  void refresh() const;
  TMemo* memo_;
  mutable std::vector<std::string> cache_;
  mutable std::vector<int> starts_;
  mutable uint64_t cacheVersion_ = ~uint64_t(0);
};

class TMemo : public TCustomEdit {
  KV_CLASS_INFO(TMemo)
public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;
  TStrings& Lines() { return *lines_; }
  const TStrings& Lines() const { return *lines_; }
  void SetLines(const TStrings& Value) { lines_->Assign(Value); }
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle Value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool Value);
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool Value) { wantReturns_ = Value; }
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool Value) { wantTabs_ = Value; }
  // Kept for stored forms: the lines are always drawn from the left.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value) { alignment_ = Value; }
  // The first line shown.
  int TopLine() const { return topLine_; }
  void SetTopLine(int Value);
  int VisibleLineCount() const;
  void Dispatch(TMessage& Message) override;
  uint64_t version() const { return version_; }

protected:
  void CreateParams(TCreateParams& Params) override;
  void Change() override;
  bool multiLine() const override { return true; }
  bool wrapLines() const override;
  void updateScrollBars() override;
  void KeyPress(char& Key) override;

private:
  int lastTopLine() const;
  // The width of the widest row in pixels: the horizontal bar's range.
  int widestLine() const;
  std::unique_ptr<TMemoStrings> lines_;
  TScrollStyle scrollBars_ = TScrollStyle::ssNone;
  bool wordWrap_ = true, wantReturns_ = true, wantTabs_ = false;
  TAlignment alignment_ = taLeftJustify;
  uint64_t version_ = 0;
};

// ---- group box and static text

class TGroupBox : public TCustomControl {
  KV_CLASS_INFO(TGroupBox)
public:
  explicit TGroupBox(TComponent* AOwner);
  void AdjustClientRect(TRect& Rect) override;
  void Dispatch(TMessage& Message) override;

protected:
  void Paint() override;
};

enum class TStaticBorderStyle { sbsNone, sbsSingle, sbsSunken };
KV_ENUM_NAMES(TStaticBorderStyle, "sbsNone", "sbsSingle", "sbsSunken")

class TStaticText : public TCustomControl {
  KV_CLASS_INFO(TStaticText)
public:
  explicit TStaticText(TComponent* AOwner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment Value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool Value);
  TStaticBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TStaticBorderStyle Value);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool Value);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* Value) { focusControl_ = Value; }
  void Dispatch(TMessage& Message) override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
  void Paint() override;

private:
  void adjustBounds();
  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true, showAccelChar_ = true;
  TStaticBorderStyle borderStyle_ = TStaticBorderStyle::sbsNone;
  TWinControl* focusControl_ = nullptr;
};

// ---- scroll bar

enum class TScrollCode {
  scLineUp,
  scLineDown,
  scPageUp,
  scPageDown,
  scPosition,
  scTrack,
  scTop,
  scBottom,
  scEndScroll
};
using TScrollEvent = TEvent<TObject*, TScrollCode, int&>;

class TScrollBar : public TCustomControl {
  KV_CLASS_INFO(TScrollBar)
public:
  explicit TScrollBar(TComponent* AOwner);
  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind Value);
  int Min() const { return min_; }
  void SetMin(int Value) { SetParams(position_, Value, std::max(max_, Value)); }
  int Max() const { return max_; }
  void SetMax(int Value) { SetParams(position_, std::min(min_, Value), Value); }
  int Position() const { return position_; }
  void SetPosition(int Value) { SetParams(Value, min_, max_); }
  int PageSize() const { return pageSize_; }
  void SetPageSize(int Value);
  int SmallChange() const { return smallChange_; }
  void SetSmallChange(int Value) { smallChange_ = Value; }
  int LargeChange() const { return largeChange_; }
  void SetLargeChange(int Value) { largeChange_ = Value; }
  // Position within Min .. Max - max(PageSize - 1, 0); OnChange when the position moves.
  void SetParams(int APosition, int AMin, int AMax);

  TNotifyEvent OnChange;
  TScrollEvent OnScroll;
  void Dispatch(TMessage& Message) override;

protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  // One step of the user: OnScroll may change the new position before it is taken.
  void Scroll(TScrollCode Code, int Pos);

private:
  // A scroll message (SB_ code, thumb position) that the parent passed back to the bar.
  void scrollMessage(int Code, int Pos);
  int maxPos() const { return std::max(min_, max_ - std::max(pageSize_ - 1, 0)); }
  TScrollBarKind kind_ = TScrollBarKind::sbHorizontal;
  int min_ = 0, max_ = 100, position_ = 0, pageSize_ = 0, smallChange_ = 1, largeChange_ = 1;
  bool tracking_ = false;
  int grab_ = 0;
};

// ---- list box

class TListBox : public TCustomControl {
  KV_CLASS_INFO(TListBox)
public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;
  TStrings& Items() { return *items_; }
  void SetItems(const TStrings& Value) { items_->Assign(Value); }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int Value);
  int TopIndex() const { return topIndex_; }
  void SetTopIndex(int Value);
  int ItemHeight() const;
  int Count() const { return items_->Count(); }
  int ItemAtPos(TPoint P, bool Existing) const;
  void Clear() { items_->Clear(); }
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void itemsChanged();
  void updateScrollBar();
  void makeVisible(int Index);
  int visibleRows() const;
  // The top row that shows the last item on the last row.
  int lastTopIndex() const;

private:
  std::unique_ptr<TStringList> items_;
  int itemIndex_ = -1;
  int topIndex_ = 0;
  classic::WindowScrollTracker tracker_;
};

// ---- combo box

class TComboDropList;

// A combo box of the drop-down list style: a field that shows the chosen item, with a button
// that drops the list of the items below it (a click on the field, Alt+Down or F4). A click on
// an item or Return chooses it; Escape, F4 or a click elsewhere leaves the list. Up, Down, Home
// and End choose in the closed field. OnChange follows each choice of the user.
class TComboBox : public TCustomControl {
  KV_CLASS_INFO(TComboBox)
public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TStrings& Items() { return *items_; }
  void SetItems(const TStrings& Value) { items_->Assign(Value); }
  int Count() const { return items_->Count(); }
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int Value);
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int Value) { dropDownCount_ = std::max(1, Value); }
  bool DroppedDown() const;
  void SetDroppedDown(bool Value);
  // The dropped list: a list box in a window of its own below the field (nullptr before the
  // first drop).
  TListBox* DropList() const;
  TNotifyEvent OnChange;
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
  friend class TComboDropList;
  // A choice of the user: the item shows, OnChange follows when it is another one.
  void choose(int Index);
  std::unique_ptr<TStringList> items_;
  int itemIndex_ = -1;
  int dropDownCount_ = 8;
  TComboDropList* list_ = nullptr; // a component of ours
};

// The system's in-process clipboard (a desktop presenter may connect it to the real one).
class TClipboard {
public:
  std::string AsText() const { return text_; }
  void SetAsText(const std::string& Value) { text_ = Value; }
  bool HasText() const { return !text_.empty(); }
  void Clear() { text_.clear(); }

private:
  std::string text_;
};
TClipboard& Clipboard();

void RegisterStdControls();

} // namespace kv::platform
