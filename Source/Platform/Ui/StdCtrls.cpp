#include "Platform/Ui/StdCtrls.h"

#include "Platform/Rtl/StoreChange.h"

#include <algorithm>
#include <utility>

namespace kv::platform {

using namespace classic;

namespace {
bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
int codePoints(const std::string& s) {
  int n = 0;
  for (unsigned char c : s)
    if (!isContinuation(c)) ++n;
  return n;
}
// The canvas of a paint with the control's font.
void useFont(TCanvas& Canvas, const TFont& Font) { Canvas.SetFont(Font); }
} // namespace

TClipboard& Clipboard() {
  static TClipboard c;
  return c;
}

int fittingEnd(int From, const std::function<int(int)>& Next, const std::function<bool(int)>& Fits) {
  std::vector<int> ends; // ends[i]: where the first i + 1 characters end
  size_t fitting = 0;    // that many characters are known to fit
  for (size_t tried = 1;; tried *= 2) {
    for (int at = ends.empty() ? From : ends.back(), next; ends.size() < tried && (next = Next(at)) >= 0;)
      ends.push_back(at = next);
    if (ends.size() <= fitting) return ends.empty() ? From : ends.back(); // all of the line fits
    tried = std::min(tried, ends.size());
    if (!Fits(ends[tried - 1])) {
      // The first run that does not fit ends between the known ones and the one just tried.
      const auto last = ends.begin() + static_cast<std::ptrdiff_t>(tried - 1);
      const auto end = std::partition_point(ends.begin() + static_cast<std::ptrdiff_t>(fitting), last, Fits);
      return end == ends.begin() ? From : *(end - 1);
    }
    fitting = tried;
  }
}

// ---- TCustomLabel

const TClassInfo& TCustomLabel::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomLabel, TGraphicControl>("TCustomLabel").Build();
  return info;
}

const TClassInfo& TLabel::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TLabel, TCustomLabel>("TLabel")
          .With(published::Align)
          .Enum<TAlignment>("Alignment", &TLabel::Alignment, &TLabel::SetAlignment, taLeftJustify)
          .With(published::Anchors)
          .Bool("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize, true)
          .With(published::Caption)
          .With(published::Color(clBtnFace))
          .With(published::Enabled)
          .Ref<TWinControl>("FocusControl", &TLabel::FocusControl, &TLabel::SetFocusControl)
          .With(published::Font)
          .Enum<TTextLayout>("Layout", &TLabel::Layout, &TLabel::SetLayout, TTextLayout::tlTop)
          .With(published::ParentColorOn)
          .With(published::ParentFont)
          .With(published::Hint)
          .With(published::ShowHint)
          .Bool("ShowAccelChar", &TLabel::ShowAccelChar, &TLabel::SetShowAccelChar, true)
          .Bool("Transparent", &TLabel::Transparent, &TLabel::SetTransparent, false)
          .With(published::Visible)
          .Bool("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap, false)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::MouseEvents)
          .Build();
  return info;
}

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(ControlStyle() + TControlStyle{csReplicatable});
  SetBounds(0, 0, 65, 17);
}

void TCustomLabel::SetAlignment(TAlignment Value) { invalidateOnChange(alignment_, Value); }
void TCustomLabel::SetAutoSize(bool Value) {
  if (storeChange(autoSize_, Value)) AdjustBounds();
}
void TCustomLabel::SetLayout(TTextLayout Value) { invalidateOnChange(layout_, Value); }
void TCustomLabel::SetWordWrap(bool Value) {
  if (!storeChange(wordWrap_, Value)) return;
  AdjustBounds();
  Invalidate();
}
void TCustomLabel::SetTransparent(bool Value) { invalidateOnChange(transparent_, Value); }
void TCustomLabel::SetShowAccelChar(bool Value) {
  if (!storeChange(showAccelChar_, Value)) return;
  AdjustBounds();
  Invalidate();
}
void TCustomLabel::SetFocusControl(TWinControl* Value) {
  focusControl_ = Value;
  if (Value) Value->FreeNotification(this);
}
void TCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
  TGraphicControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TCustomLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustBounds();
}

void TCustomLabel::AdjustBounds() {
  if (!autoSize_ || IsLoading()) return;
  const std::string text = showAccelChar_ ? StripAccel(Caption()) : Caption();
  int w = 0, h = 0;
  const auto lines = WrapText(Font(), text.empty() ? std::string(" ") : text, wordWrap_ ? Width() : 0);
  const int lh = LineHeight(Font());
  for (const auto& l : lines)
    w = std::max(w, MeasureText(Font(), l).cx);
  h = lh * static_cast<int>(lines.size());
  if (wordWrap_) w = Width();
  int left = Left();
  if (alignment_ == taRightJustify && !wordWrap_) left = Left() + Width() - w;
  SetBounds(left, Top(), w, h);
}

void TCustomLabel::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case CM_TEXTCHANGED:
  case CM_FONTCHANGED:
    AdjustBounds();
    Invalidate();
    return;
  default:
    TGraphicControl::Dispatch(Message);
  }
}

void TCustomLabel::Paint() {
  TCanvas& c = Canvas();
  const TRect r = ClientRect();
  if (!transparent_) {
    c.Brush().SetColor(Color());
    c.Brush().SetStyle(TBrushStyle::bsSolid);
    c.FillRect(r);
  }
  useFont(c, Font());
  unsigned flags = alignment_ == taCenter ? dcCenter : alignment_ == taRightJustify ? dcRight : dcLeft;
  if (wordWrap_) flags |= dcWordBreak;
  if (!showAccelChar_) flags |= dcNoPrefix;
  if (layout_ == TTextLayout::tlCenter) flags |= dcVCenter;
  if (layout_ == TTextLayout::tlBottom) flags |= dcBottom;
  DrawCaption(c, r, Caption(), flags, Enabled());
}

// ---- TButtonControl

const TClassInfo& TButtonControl::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TButtonControl, TCustomControl>("TButtonControl").Build();
  return info;
}

TButtonControl::TButtonControl(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(true);
  SetColor(clBtnFace);
  makeOpaqueLeaf();
}

void TButtonControl::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  Params.WindowClassStyle &= ~CS_DBLCLKS; // a quick second click is a second click
}

void TButtonControl::setPressed(bool Value) { invalidateOnChange(pressed_, Value); }

void TButtonControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    setPressed(true);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TButtonControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (MouseCapture()) setPressed(PtInRect(ClientRect(), TPoint{X, Y}));
  TCustomControl::MouseMove(Shift, X, Y);
}

void TButtonControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TButtonControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE) {
    spaceDown_ = true;
    setPressed(true);
  }
}

void TButtonControl::KeyUp(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE && spaceDown_) {
    spaceDown_ = false;
    setPressed(false);
    Click();
  }
}

void TButtonControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_LBUTTONUP:
    // The face comes up before the click runs (a click may show a modal form).
    setPressed(false);
    TCustomControl::Dispatch(Message);
    return;
  case WM_KILLFOCUS:
    // A press the space bar began does not outlive the focus.
    TCustomControl::Dispatch(Message);
    spaceDown_ = false;
    setPressed(false);
    Invalidate();
    return;
  default:
    if (!dispatchFocusCue(Message, 0)) TCustomControl::Dispatch(Message);
  }
}

// ---- TButton

const TClassInfo& TButton::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TButton, TButtonControl>("TButton")
                                     .With(published::Anchors)
                                     .Bool("Cancel", &TButton::Cancel, &TButton::SetCancel, false)
                                     .With(published::Caption)
                                     .With(published::Constraints)
                                     .Bool("Default", &TButton::Default, &TButton::SetDefault, false)
                                     .With(published::Enabled)
                                     .With(published::Font)
                                     .With(published::HelpContext)
                                     .With(published::Hint)
                                     .Int("ModalResult", &TButton::ModalResult, &TButton::SetModalResult, 0)
                                     .With(published::ParentFont)
                                     .With(published::ShowHint)
                                     .With(published::TabOrder)
                                     .With(published::TabStopOn)
                                     .With(published::Visible)
                                     .With(published::OnClick)
                                     .With(published::KeyEvents)
                                     .With(published::MouseEvents)
                                     .Build();
  return info;
}

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) { SetBounds(0, 0, 75, 25); }

void TButton::SetDefault(bool Value) { invalidateOnChange(default_, Value); }

bool TButton::Active() const {
  const TCustomForm* form = GetParentForm(this);
  TWinControl* focused = form ? form->ActiveControl() : nullptr;
  if (dynamic_cast<TButton*>(focused)) return focused == this;
  return default_;
}

void TButton::Click() {
  if (modalResult_ != mrNone)
    if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
  TButtonControl::Click();
}

void TButton::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_FOCUSCHANGED) {
    Invalidate();
    return;
  }
  if (Message.Msg == CM_DIALOGKEY) {
    const auto key = static_cast<int>(Message.WParam);
    const bool plain = KeyDataToShiftState(static_cast<int32_t>(Message.LParam)).Empty();
    if (((key == VK_RETURN && Active()) || (key == VK_ESCAPE && cancel_)) && plain && CanFocus()) {
      Click();
      Message.Result = 1;
    }
    return;
  }
  TButtonControl::Dispatch(Message);
}

void TButton::Paint() {
  TCanvas& c = Canvas();
  TRect content = ButtonFace(c, ClientRect(), pressed_, Active());
  if (pressed_) content = OffsetRectBy(content, 1, 1);
  PaintContent(content);
  if (Focused()) FocusRect(c, TRect{4, 4, Width() - 4, Height() - 4});
}

void TButton::PaintContent(const TRect& Content) {
  TCanvas& c = Canvas();
  useFont(c, Font());
  c.Font().SetColor(clBtnText);
  DrawCaption(c, Content, Caption(), dcCenter | dcVCenter, Enabled());
}

// ---- TCheckBox

namespace {
// The classic check mark, 7 x 7 pixels: row by row, the columns that are set.
constexpr const char* kCheckMark[7] = {"......X", ".....XX", "X...XXX", "XX.XXX.",
                                       "XXXXX..", ".XXX...", "..X...."};

void paintCheckBox(TCanvas& c, int x, int y, TCheckBoxState state, bool enabled, bool pressed) {
  TRect box{x, y, x + 13, y + 13};
  SunkenEdge(c, box);
  c.Brush().SetColor(enabled && !pressed && state != TCheckBoxState::cbGrayed ? clWindow : clBtnFace);
  c.FillRect(box);
  if (state == TCheckBoxState::cbUnchecked) return;
  const TColor mark = enabled && state == TCheckBoxState::cbChecked ? clWindowText : clBtnShadow;
  for (int row = 0; row < 7; ++row)
    for (int col = 0; col < 7; ++col)
      if (kCheckMark[row][col] == 'X') c.SetPixel(box.Left + 2 + col, box.Top + 2 + row, mark);
}

// Caption beside a box or circle of 13 pixels; the focus rectangle goes round the caption.
void paintBesideBox(TCanvas& c, TButtonControl* self, const std::string& caption, TAlignment alignment,
                    int& boxX, int& boxY, bool focused) {
  const TRect r = self->ClientRect();
  boxY = (r.Height() - 13) / 2;
  TRect text;
  if (alignment == taRightJustify) {
    boxX = 0;
    text = TRect{13 + 4, 0, r.Right, r.Bottom};
  } else {
    boxX = r.Right - 13;
    text = TRect{0, 0, r.Right - 13 - 4, r.Bottom};
  }
  useFont(c, self->Font());
  const TRect used = DrawCaption(c, text, caption, dcLeft | dcVCenter, self->Enabled());
  if (focused && !caption.empty())
    FocusRect(c, TRect{used.Left - 1, used.Top - 1, used.Right + 1, used.Bottom + 1});
}
} // namespace

const TClassInfo& TCheckBox::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TCheckBox, TButtonControl>("TCheckBox")
          .Enum<TAlignment>("Alignment", &TCheckBox::Alignment, &TCheckBox::SetAlignment, taRightJustify)
          .Bool("AllowGrayed", &TCheckBox::AllowGrayed, &TCheckBox::SetAllowGrayed, false)
          .With(published::Anchors)
          .With(published::Caption)
          .Bool("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked, false)
          .With(published::Color(clBtnFace))
          .With(published::Enabled)
          .With(published::Font)
          .With(published::Hint)
          .With(published::ParentColor)
          .With(published::ParentFont)
          .With(published::ShowHint)
          .Enum<TCheckBoxState>("State", &TCheckBox::State, &TCheckBox::SetState, TCheckBoxState::cbUnchecked)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::KeyEvents)
          .Build();
  return info;
}

TCheckBox::TCheckBox(TComponent* AOwner) : TButtonControl(AOwner) { SetBounds(0, 0, 97, 17); }

void TCheckBox::SetState(TCheckBoxState Value) {
  if (!storeChange(state_, Value)) return;
  Invalidate();
  if (!IsLoading()) TButtonControl::Click();
}

void TCheckBox::SetAlignment(TAlignment Value) {
  alignment_ = Value == taCenter ? taRightJustify : Value;
  Invalidate();
}

void TCheckBox::Toggle() {
  switch (state_) {
  case TCheckBoxState::cbUnchecked:
    SetState(TCheckBoxState::cbChecked);
    break;
  case TCheckBoxState::cbChecked:
    SetState(allowGrayed_ ? TCheckBoxState::cbGrayed : TCheckBoxState::cbUnchecked);
    break;
  case TCheckBoxState::cbGrayed:
    SetState(TCheckBoxState::cbUnchecked);
    break;
  }
}

void TCheckBox::Click() { Toggle(); }

void TCheckBox::Paint() {
  TCanvas& c = Canvas();
  int x = 0, y = 0;
  paintBesideBox(c, this, Caption(), alignment_, x, y, Focused());
  paintCheckBox(c, x, y, state_, Enabled(), pressed_);
}

// ---- TRadioButton

const TClassInfo& TRadioButton::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TRadioButton, TButtonControl>("TRadioButton")
          .Enum<TAlignment>("Alignment", &TRadioButton::Alignment, &TRadioButton::SetAlignment,
                            taRightJustify)
          .With(published::Anchors)
          .With(published::Caption)
          .Bool("Checked", &TRadioButton::Checked, &TRadioButton::SetChecked, false)
          .With(published::Color(clBtnFace))
          .With(published::Enabled)
          .With(published::Font)
          .With(published::Hint)
          .With(published::ParentColor)
          .With(published::ParentFont)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStop)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::KeyEvents)
          .Build();
  return info;
}

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
  SetBounds(0, 0, 113, 17);
  SetTabStop(false);
}

void TRadioButton::SetChecked(bool Value) {
  if (!storeChange(checked_, Value)) return;
  SetTabStop(Value);
  Invalidate();
  if (!Value) return;
  if (Parent())
    for (int i = 0; i < Parent()->ControlCount(); ++i)
      if (auto* other = dynamic_cast<TRadioButton*>(Parent()->Controls(i));
          other && other != this && other->checked_) {
        other->checked_ = false;
        other->SetTabStop(false);
        other->Invalidate();
      }
  if (!IsLoading()) TButtonControl::Click();
}

void TRadioButton::SetAlignment(TAlignment Value) {
  alignment_ = Value == taCenter ? taRightJustify : Value;
  Invalidate();
}

void TRadioButton::Click() { SetChecked(true); }

void TRadioButton::DoEnter() {
  TButtonControl::DoEnter();
  // Arrows move the choice along with the focus, as in every radio group.
  if (GetKeyState(VK_UP) < 0 || GetKeyState(VK_DOWN) < 0 || GetKeyState(VK_LEFT) < 0 ||
      GetKeyState(VK_RIGHT) < 0)
    SetChecked(true);
}

void TRadioButton::Paint() {
  TCanvas& c = Canvas();
  int x = 0, y = 0;
  paintBesideBox(c, this, Caption(), alignment_, x, y, Focused());
  // The round box: shadow above and left, highlight below and right, white inside.
  c.Pen().SetColor(clBtnShadow);
  c.Brush().SetColor(Enabled() && !pressed_ ? clWindow : clBtnFace);
  c.Ellipse(x, y, x + 12, y + 12);
  c.Pen().SetColor(clBtnHighlight);
  c.MoveTo(x + 3, y + 12);
  c.LineTo(x + 9, y + 12);
  c.MoveTo(x + 12, y + 3);
  c.LineTo(x + 12, y + 9);
  if (checked_) {
    const TColor dot = Enabled() ? clWindowText : clBtnShadow;
    c.Pen().SetColor(dot);
    c.Brush().SetColor(dot);
    c.Ellipse(x + 4, y + 4, x + 8, y + 8);
  }
}

// ---- TCustomEdit

const TClassInfo& TCustomEdit::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TCustomEdit, TCustomControl>("TCustomEdit").Build();
  return info;
}

const TClassInfo& TEdit::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TEdit, TCustomEdit>("TEdit")
          .With(published::Anchors)
          .Bool("AutoSelect", &TEdit::AutoSelect, &TEdit::SetAutoSelect, true)
          .Enum<TBorderStyle>("BorderStyle", &TEdit::BorderStyle, &TEdit::SetBorderStyle,
                              TBorderStyle::bsSingle)
          .With(published::Color(clWindow))
          .With(published::Constraints)
          .With(published::Ctl3D)
          .With(published::Enabled)
          .With(published::Font)
          .Bool("HideSelection", &TEdit::HideSelection, &TEdit::SetHideSelection, true)
          .With(published::Hint)
          .Int("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength, 0)
          .With(published::ParentColor)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .IdentInt(
              "PasswordChar", TIdentMap{},
              [](const TEdit& e) { return static_cast<unsigned char>(e.PasswordChar()); },
              [](TEdit& e, int v) { e.SetPasswordChar(static_cast<char>(v)); }, 0)
          .Bool("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly, false)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .With(published::Text)
          .With(published::Visible)
          .Event("OnChange", &TEdit::OnChange)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::KeyEvents)
          .With(published::MouseEvents)
          .Build();
  return info;
}

TCustomEdit::TCustomEdit(TComponent* AOwner) : TCustomControl(AOwner) {
  initField(121, 21);
  SetCursor(crIBeam);
}

TCustomEdit::~TCustomEdit() = default;

void TCustomEdit::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  if (borderStyle_ == TBorderStyle::bsSingle) AddClientFrame(Params);
}

void TCustomEdit::SetText(const std::string& Value) {
  if (Value == Text()) return;
  TCustomControl::SetText(Value);
  caret_ = anchor_ = 0;
  scrollX_ = 0;
  topLine_ = 0;
  modified_ = false;
  invalidateLayout();
  updateScrollBars();
  Invalidate();
  Change();
}

void TCustomEdit::SetReadOnly(bool Value) { readOnly_ = Value; }

void TCustomEdit::SetPasswordChar(char Value) {
  if (!storeChange(passwordChar_, Value)) return;
  invalidateLayout();
  Invalidate();
}

void TCustomEdit::SetBorderStyle(TBorderStyle Value) {
  if (storeChange(borderStyle_, Value)) RecreateWnd();
}

void TCustomEdit::SetHideSelection(bool Value) { invalidateOnChange(hideSelection_, Value); }

int TCustomEdit::prevChar(int Pos) const {
  const std::string& t = Text();
  if (Pos <= 0) return 0;
  --Pos;
  while (Pos > 0 && isContinuation(static_cast<unsigned char>(t[static_cast<size_t>(Pos)])))
    --Pos;
  return Pos;
}

int TCustomEdit::nextChar(int Pos) const {
  const std::string& t = Text();
  const int n = static_cast<int>(t.size());
  if (Pos >= n) return n;
  ++Pos;
  while (Pos < n && isContinuation(static_cast<unsigned char>(t[static_cast<size_t>(Pos)])))
    ++Pos;
  return Pos;
}

void TCustomEdit::SetSelStart(int Value) {
  const int n = static_cast<int>(Text().size());
  caret_ = anchor_ = std::clamp(Value, 0, n);
  scrollToCaret();
  Invalidate();
}

void TCustomEdit::SetSelLength(int Value) {
  const int n = static_cast<int>(Text().size());
  const int start = SelStart();
  anchor_ = start;
  caret_ = std::clamp(start + Value, 0, n);
  Invalidate();
}

std::string TCustomEdit::SelText() const {
  return Text().substr(static_cast<size_t>(SelStart()), static_cast<size_t>(SelLength()));
}

void TCustomEdit::SetSelText(const std::string& Value) { replaceSelection(Value, false); }

void TCustomEdit::SelectAll() {
  anchor_ = 0;
  caret_ = static_cast<int>(Text().size());
  Invalidate();
}

void TCustomEdit::ClearSelection() {
  if (SelLength() > 0) replaceSelection(std::string(), false);
}

void TCustomEdit::CopyToClipboard() {
  if (passwordChar_ || SelLength() == 0) return;
  Clipboard().SetAsText(SelText());
}

void TCustomEdit::CutToClipboard() {
  if (passwordChar_ || readOnly_ || SelLength() == 0) return;
  Clipboard().SetAsText(SelText());
  replaceSelection(std::string(), true);
}

void TCustomEdit::PasteFromClipboard() {
  std::string s = Clipboard().AsText();
  if (!multiLine()) {
    // One line only: what follows the first line break is left out.
    const auto br = s.find_first_of("\r\n");
    if (br != std::string::npos) s.resize(br);
  }
  typeText(s);
}

bool TCustomEdit::typeText(const std::string& S) {
  if (readOnly_) return false;
  std::string s = S;
  if (maxLength_ > 0) {
    const int room = maxLength_ - (codePoints(Text()) - codePoints(SelText()));
    if (room <= 0 && !(s.size() == 1 && isContinuation(static_cast<unsigned char>(s[0])))) return false;
    // Cut to whole characters that fit.
    int kept = 0;
    size_t i = 0;
    for (; i < s.size(); ++i) {
      if (!isContinuation(static_cast<unsigned char>(s[i]))) {
        if (kept == room) break;
        ++kept;
      }
    }
    s.resize(i);
    if (s.empty()) return false;
  }
  replaceSelection(s, true);
  return true;
}

void TCustomEdit::replaceSelection(const std::string& S, bool ByUser) {
  const int start = SelStart(), len = SelLength();
  std::string t = Text();
  t.replace(static_cast<size_t>(start), static_cast<size_t>(len), S);
  TCustomControl::SetText(t);
  caret_ = anchor_ = start + static_cast<int>(S.size());
  if (ByUser) modified_ = true;
  desiredX_ = -1;
  invalidateLayout();
  updateScrollBars();
  scrollToCaret();
  Invalidate();
  Change();
}

void TCustomEdit::Change() { OnChange(this); }

void TCustomEdit::invalidateLayout() { layoutValid_ = false; }

int TCustomEdit::lineHeight() const { return std::max(1, LineHeight(Font())); }

TRect TCustomEdit::formatRect() const {
  if (formatRect_) return *formatRect_;
  const TRect c = ClientRect();
  return TRect{c.Left + 1, c.Top, c.Right - 1, c.Bottom};
}

// A single line sits in the middle of the client area, or at the top of a rectangle set for it.
TRect TCustomEdit::textArea() const {
  const TRect r = formatRect();
  if (multiLine()) return r;
  const int lh = lineHeight();
  const int top = formatRect_ ? r.Top : r.Top + std::max(0, (r.Height() - lh) / 2);
  return TRect{r.Left, top, r.Right, top + lh};
}

std::string TCustomEdit::displayText(int From, int To) const {
  const std::string part =
      Text().substr(static_cast<size_t>(From), static_cast<size_t>(std::max(0, To - From)));
  if (!passwordChar_) return part;
  return std::string(static_cast<size_t>(codePoints(part)), passwordChar_);
}

const std::vector<TCustomEdit::VisualLine>& TCustomEdit::visualLines() const {
  const int width = textArea().Width();
  if (layoutValid_ && layoutWidth_ == width) return lines_;
  lines_.clear();
  const std::string& t = Text();
  const int n = static_cast<int>(t.size());
  int start = 0;
  while (true) {
    int end = start;
    while (end < n && t[static_cast<size_t>(end)] != '\n')
      ++end;
    if (!multiLine()) end = n;
    if (wrapLines() && width > 0 && MeasureText(Font(), displayText(start, end)).cx > width) {
      // Break after the last blank that keeps the line inside the width, else inside the word.
      int s = start;
      while (s < end) {
        const int fit = fittingEnd(
            s, [&](int p) { return p < end ? nextChar(p) : -1; },
            [&](int q) { return MeasureText(Font(), displayText(s, q)).cx <= width; });
        if (fit >= end) {
          lines_.push_back({s, end});
          break;
        }
        int lastBlank = -1;
        for (int q = fit; q > s && lastBlank < 0; --q)
          if (t[static_cast<size_t>(q) - 1] == ' ') lastBlank = q;
        int cut = lastBlank > s ? lastBlank : std::max(fit, nextChar(s));
        lines_.push_back({s, cut});
        s = cut;
      }
    } else {
      lines_.push_back({start, end});
    }
    if (end >= n) break;
    start = end + 1;
  }
  layoutValid_ = true;
  layoutWidth_ = width;
  return lines_;
}

int TCustomEdit::lineOfPos(int Pos) const {
  const auto& lines = visualLines();
  for (int i = static_cast<int>(lines.size()) - 1; i >= 0; --i)
    if (lines[static_cast<size_t>(i)].start <= Pos) return i;
  return 0;
}

TPoint TCustomEdit::posToPoint(int Pos) const {
  const auto& lines = visualLines();
  const int li = lineOfPos(Pos);
  const VisualLine& l = lines[static_cast<size_t>(li)];
  const TRect a = textArea();
  const int x = a.Left - scrollX_ + MeasureText(Font(), displayText(l.start, std::min(Pos, l.end))).cx;
  return TPoint{x, a.Top + (li - topLine_) * lineHeight()};
}

int TCustomEdit::posAt(TPoint P) const {
  const auto& lines = visualLines();
  const TRect a = textArea();
  int li = topLine_ + (P.Y < a.Top ? -1 : (P.Y - a.Top) / lineHeight());
  li = std::clamp(li, 0, static_cast<int>(lines.size()) - 1);
  const VisualLine& l = lines[static_cast<size_t>(li)];
  const int x = P.X - a.Left + scrollX_;
  int pos = l.start, prevW = 0;
  while (pos < l.end) {
    const int q = nextChar(pos);
    const int w = MeasureText(Font(), displayText(l.start, q)).cx;
    if (x < (prevW + w + 1) / 2) return pos;
    prevW = w;
    pos = q;
  }
  return pos;
}

void TCustomEdit::scrollToCaret() {
  const auto& lines = visualLines();
  const TRect a = textArea();
  const int li = lineOfPos(caret_);
  if (multiLine()) {
    const int rows = std::max(1, a.Height() / lineHeight());
    if (li < topLine_) topLine_ = li;
    if (li >= topLine_ + rows) topLine_ = li - rows + 1;
    topLine_ = std::clamp(topLine_, 0, std::max(0, static_cast<int>(lines.size()) - 1));
  }
  if (!wrapLines()) {
    const VisualLine& l = lines[static_cast<size_t>(li)];
    const int cx = MeasureText(Font(), displayText(l.start, caret_)).cx;
    const int w = std::max(1, a.Width() - 1);
    if (cx - scrollX_ > w) scrollX_ = cx - w;
    if (cx < scrollX_) scrollX_ = std::max(0, cx - w / 4);
  } else {
    scrollX_ = 0;
  }
  updateScrollBars();
}

void TCustomEdit::moveCaret(int Pos, bool Extend) {
  caret_ = std::clamp(Pos, 0, static_cast<int>(Text().size()));
  if (!Extend) anchor_ = caret_;
  scrollToCaret();
  Invalidate();
}

void TCustomEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  const bool ext = Shift.Contains(ssShift);
  const bool ctrl = Shift.Contains(ssCtrl);
  const auto& lines = visualLines();
  const int li = lineOfPos(caret_);
  auto vertical = [&](int delta) {
    const int target = std::clamp(li + delta, 0, static_cast<int>(lines.size()) - 1);
    if (desiredX_ < 0) desiredX_ = posToPoint(caret_).X;
    const TRect a = textArea();
    const int keep = desiredX_;
    moveCaret(posAt(TPoint{keep, a.Top + (target - topLine_) * lineHeight()}), ext);
    // posAt works on the lines shown; the caret may have scrolled the view.
    desiredX_ = keep;
  };
  switch (Key) {
  case VK_LEFT:
    desiredX_ = -1;
    if (!ext && SelLength() > 0)
      moveCaret(SelStart(), false);
    else
      moveCaret(prevChar(caret_), ext);
    break;
  case VK_RIGHT:
    desiredX_ = -1;
    if (!ext && SelLength() > 0)
      moveCaret(SelStart() + SelLength(), false);
    else
      moveCaret(nextChar(caret_), ext);
    break;
  case VK_HOME:
    desiredX_ = -1;
    moveCaret(ctrl || !multiLine() ? 0 : lines[static_cast<size_t>(li)].start, ext);
    break;
  case VK_END:
    desiredX_ = -1;
    moveCaret(ctrl || !multiLine() ? static_cast<int>(Text().size()) : lines[static_cast<size_t>(li)].end,
              ext);
    break;
  case VK_UP:
    if (multiLine()) vertical(-1);
    break;
  case VK_DOWN:
    if (multiLine()) vertical(1);
    break;
  case VK_PRIOR:
  case VK_NEXT:
    if (multiLine()) {
      const int rows = std::max(1, textArea().Height() / lineHeight());
      vertical(Key == VK_PRIOR ? -rows : rows);
    }
    break;
  case VK_DELETE:
    if (ext) {
      CutToClipboard();
    } else if (!readOnly_) {
      if (SelLength() == 0) {
        if (caret_ >= static_cast<int>(Text().size())) break;
        anchor_ = nextChar(caret_);
      }
      replaceSelection(std::string(), true);
    }
    break;
  case VK_INSERT:
    if (ctrl)
      CopyToClipboard();
    else if (ext)
      PasteFromClipboard();
    break;
  default:
    break;
  }
}

void TCustomEdit::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  const auto k = static_cast<unsigned char>(Key);
  switch (k) {
  case 0:
    return;
  case '\b':
    if (readOnly_) return;
    if (SelLength() == 0) {
      if (caret_ == 0) return;
      anchor_ = prevChar(caret_);
    }
    replaceSelection(std::string(), true);
    return;
  case 1: // Ctrl+A
    SelectAll();
    return;
  case 3: // Ctrl+C
    CopyToClipboard();
    return;
  case 22: // Ctrl+V
    PasteFromClipboard();
    return;
  case 24: // Ctrl+X
    CutToClipboard();
    return;
  default:
    break;
  }
  if (k < 32 && k != '\t') return;
  typeText(std::string(1, Key));
}

void TCustomEdit::DoEnter() {
  if (autoSelect_ && !mouseFocus_ && !multiLine()) SelectAll();
  Invalidate();
  TCustomControl::DoEnter();
}

void TCustomEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    if (!Focused() && CanFocus()) {
      mouseFocus_ = true;
      SetFocus();
      mouseFocus_ = false;
    }
    desiredX_ = -1;
    const int pos = posAt(TPoint{X, Y});
    if (Shift.Contains(ssDouble)) {
      // A double click takes the word under the mouse.
      const std::string& t = Text();
      auto isWord = [&](int i) {
        return i >= 0 && i < static_cast<int>(t.size()) && t[static_cast<size_t>(i)] != ' ' &&
               t[static_cast<size_t>(i)] != '\n';
      };
      int a = pos, b = pos;
      while (isWord(a - 1))
        --a;
      while (isWord(b))
        ++b;
      anchor_ = a;
      caret_ = b;
      Invalidate();
    } else {
      moveCaret(pos, Shift.Contains(ssShift));
      selecting_ = true;
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TCustomEdit::MouseMove(TShiftState Shift, int X, int Y) {
  if (selecting_ && MouseCapture()) moveCaret(posAt(TPoint{X, Y}), true);
  TCustomControl::MouseMove(Shift, X, Y);
}

void TCustomEdit::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) selecting_ = false;
  TCustomControl::MouseUp(Button, Shift, X, Y);
}

void TCustomEdit::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  const TColor back = Enabled() ? Color() : clBtnFace;
  c.Brush().SetColor(back);
  c.FillRect(client);
  useFont(c, Font());
  const TRect a = textArea();
  const int lh = lineHeight();
  const auto& lines = visualLines();
  const bool showSel = SelLength() > 0 && (Focused() || !hideSelection_);
  const int s0 = SelStart(), s1 = SelStart() + SelLength();
  const TRect clip{a.Left, client.Top, a.Right, client.Bottom};
  c.Brush().SetStyle(TBrushStyle::bsClear);
  for (int i = topLine_; i < static_cast<int>(lines.size()); ++i) {
    const int y = a.Top + (i - topLine_) * lh;
    if (y >= client.Bottom) break;
    const VisualLine& l = lines[static_cast<size_t>(i)];
    const int x = a.Left - scrollX_;
    c.Font().SetColor(Enabled() ? Font().Color() : clGrayText);
    c.TextRect(clip, x, y, displayText(l.start, l.end));
    if (showSel) {
      const int from = std::max(s0, l.start), to = std::min(s1, l.end);
      if (from < to) {
        const int x0 = x + MeasureText(Font(), displayText(l.start, from)).cx;
        const int x1 = x + MeasureText(Font(), displayText(l.start, to)).cx;
        const TRect sel = IntersectRects(TRect{x0, y, x1, y + lh}, clip);
        c.Brush().SetStyle(TBrushStyle::bsSolid);
        c.Brush().SetColor(clHighlight);
        c.FillRect(sel);
        c.Brush().SetStyle(TBrushStyle::bsClear);
        c.Font().SetColor(clHighlightText);
        c.TextRect(sel, x0, y, displayText(from, to));
      }
    }
  }
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  if (Focused()) {
    const TPoint p = posToPoint(caret_);
    if (p.Y >= client.Top && p.Y < client.Bottom && p.X >= a.Left - 1 && p.X <= a.Right) {
      c.Pen().SetColor(clWindowText);
      c.MoveTo(p.X, p.Y);
      c.LineTo(p.X, p.Y + lh);
    }
  }
}

void TCustomEdit::Dispatch(TMessage& Message) {
  if (DispatchEditFrame(Message)) return;
  switch (Message.Msg) {
  case WM_SIZE:
    TCustomControl::Dispatch(Message);
    invalidateLayout();
    updateScrollBars();
    Invalidate();
    return;
  case CM_FONTCHANGED:
  case CM_ENABLEDCHANGED:
    invalidateLayout();
    TCustomControl::Dispatch(Message);
    return;
  case EM_GETRECT:
    if (Message.LParam) *reinterpret_cast<TRect*>(Message.LParam) = formatRect();
    return;
  case EM_SETRECT:
  case EM_SETRECTNP:
    // No rectangle goes back to the default one.
    if (Message.LParam)
      formatRect_ = *reinterpret_cast<const TRect*>(Message.LParam);
    else
      formatRect_.reset();
    invalidateLayout();
    scrollToCaret();
    if (Message.Msg == EM_SETRECT) Invalidate();
    return;
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK:
    // A press on a window scroll bar takes the focus as well.
    if (HandleAllocated() && !PtInRect(ClientRect(), TWMMouse(Message).Pos()) && !Focused() && CanFocus())
      SetFocus();
    break;
  default:
    break;
  }
  if (HandleAllocated() && tracker_.mouseMessage(Handle(), ClientRect(), Message)) return;
  TCustomControl::Dispatch(Message);
}

// ---- TMemoStrings

void TMemoStrings::refresh() const {
  if (cacheVersion_ == memo_->version() && !cache_.empty()) return;
  cache_.clear();
  starts_.clear();
  const std::string& t = memo_->Text();
  size_t start = 0;
  while (true) {
    const size_t end = t.find('\n', start);
    starts_.push_back(static_cast<int>(start));
    cache_.push_back(t.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  // A text ending in a line break (or an empty text) has no line after the break.
  if (cache_.back().empty()) {
    cache_.pop_back();
    starts_.pop_back();
  }
  starts_.push_back(static_cast<int>(t.size())); // the end, for the last line's length
  cache_.push_back(std::string());               // keeps the cache non-empty
  cacheVersion_ = memo_->version();
}

int TMemoStrings::Count() const {
  refresh();
  return static_cast<int>(cache_.size()) - 1;
}

const std::string& TMemoStrings::Get(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
  return cache_[static_cast<size_t>(Index)];
}

void TMemoStrings::Put(int Index, const std::string& S) {
  const std::string& old = Get(Index);
  memo_->SetSelStart(starts_[static_cast<size_t>(Index)]);
  memo_->SetSelLength(static_cast<int>(old.size()));
  memo_->SetSelText(S);
}

void TMemoStrings::Insert(int Index, const std::string& S) {
  const int n = Count();
  if (Index < 0 || Index > n)
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
  const std::string& t = memo_->Text();
  if (Index < n || (!t.empty() && t.back() == '\n')) {
    memo_->SetSelStart(Index < n ? starts_[static_cast<size_t>(Index)] : static_cast<int>(t.size()));
    memo_->SetSelText(S + "\n");
    if (Index == n) return;
    memo_->SetSelStart(memo_->SelStart() - 1);
  } else {
    memo_->SetSelStart(static_cast<int>(t.size()));
    memo_->SetSelText(t.empty() ? S : "\n" + S);
  }
}

void TMemoStrings::Delete(int Index) {
  const int n = Count();
  if (Index < 0 || Index >= n)
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
  const int start = starts_[static_cast<size_t>(Index)];
  const int size = static_cast<int>(memo_->Text().size());
  int end = starts_[static_cast<size_t>(Index) + 1];
  int from = start;
  if (Index == n - 1 && (end >= size || memo_->Text()[static_cast<size_t>(size) - 1] != '\n'))
    from = start > 0 ? start - 1 : start; // the last line takes the break before it
  end = std::min(end, size);
  memo_->SetSelStart(from);
  memo_->SetSelLength(end - from);
  memo_->SetSelText(std::string());
}

void TMemoStrings::Clear() { memo_->SetText(std::string()); }

void TMemoStrings::SetText(const std::string& Value) {
  // Line by line, every line would lay the whole growing text out again: a long file took
  // minutes. The lines are split as every string list splits them.
  TStringList lines;
  lines.SetText(Value);
  std::string text;
  for (int i = 0; i < lines.Count(); ++i)
    text += (i ? "\n" : "") + lines[i];
  memo_->SetText(text);
}

// ---- TMemo

const TClassInfo& TMemo::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TMemo, TCustomEdit>("TMemo")
          .With(published::Align)
          .Enum<TAlignment>("Alignment", &TMemo::Alignment, &TMemo::SetAlignment, taLeftJustify)
          .With(published::Anchors)
          .Enum<TBorderStyle>("BorderStyle", &TMemo::BorderStyle, &TMemo::SetBorderStyle,
                              TBorderStyle::bsSingle)
          .With(published::Color(clWindow))
          .With(published::Constraints)
          .With(published::Ctl3D)
          .With(published::Enabled)
          .With(published::Font)
          .Bool("HideSelection", &TMemo::HideSelection, &TMemo::SetHideSelection, true)
          .With(published::Hint)
          .Object("Lines", [](const TMemo& m) { return &m.Lines(); })
          .Int("MaxLength", &TMemo::MaxLength, &TMemo::SetMaxLength, 0)
          .With(published::ParentColor)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .Bool("ReadOnly", &TMemo::ReadOnly, &TMemo::SetReadOnly, false)
          .Enum<TScrollStyle>("ScrollBars", &TMemo::ScrollBars, &TMemo::SetScrollBars, TScrollStyle::ssNone)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .With(published::Visible)
          .Bool("WantReturns", &TMemo::WantReturns, &TMemo::SetWantReturns, true)
          .Bool("WantTabs", &TMemo::WantTabs, &TMemo::SetWantTabs, false)
          .Bool("WordWrap", &TMemo::WordWrap, &TMemo::SetWordWrap, true)
          .Event("OnChange", &TMemo::OnChange)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::KeyEvents)
          .Build();
  return info;
}

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner), lines_(std::make_unique<TMemoStrings>(this)) {
  SetBounds(0, 0, 185, 89);
  SetAutoSelect(false);
}

TMemo::~TMemo() = default;

void TMemo::CreateParams(TCreateParams& Params) {
  TCustomEdit::CreateParams(Params);
  Params.Style |= ES_MULTILINE;
  if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth)
    Params.Style |= WS_VSCROLL;
  if (scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth)
    Params.Style |= WS_HSCROLL;
}

void TMemo::SetScrollBars(TScrollStyle Value) {
  if (!storeChange(scrollBars_, Value)) return;
  RecreateWnd();
  invalidateLayout();
  updateScrollBars();
}

void TMemo::SetWordWrap(bool Value) {
  if (!storeChange(wordWrap_, Value)) return;
  invalidateLayout();
  Invalidate();
}

bool TMemo::wrapLines() const {
  // A horizontal scroll bar means long lines run on to the right.
  return wordWrap_ && scrollBars_ != TScrollStyle::ssHorizontal && scrollBars_ != TScrollStyle::ssBoth;
}

void TMemo::Change() {
  ++version_;
  TCustomEdit::Change();
}

int TMemo::VisibleLineCount() const { return std::max(1, textArea().Height() / lineHeight()); }

int TMemo::widestLine() const {
  int widest = 0;
  for (const auto& l : visualLines())
    widest = std::max(widest, MeasureText(Font(), displayText(l.start, l.end)).cx);
  return widest;
}

int TMemo::lastTopLine() const {
  return std::max(0, static_cast<int>(visualLines().size()) - VisibleLineCount());
}

void TMemo::SetTopLine(int Value) {
  Value = std::clamp(Value, 0, lastTopLine());
  if (!storeChange(topLine_, Value)) return;
  updateScrollBars();
  Invalidate();
}

void TMemo::updateScrollBars() {
  if (!HandleAllocated()) return;
  // A memo's bars stay in place, greyed, when there is nothing to scroll.
  constexpr UINT mask = SIF_ALL | SIF_DISABLENOSCROLL;
  if (scrollBars_ == TScrollStyle::ssVertical || scrollBars_ == TScrollStyle::ssBoth)
    showScrollRange(Handle(), SB_VERT, std::max(0, static_cast<int>(visualLines().size()) - 1),
                    VisibleLineCount(), topLine_, mask);
  if (scrollBars_ == TScrollStyle::ssHorizontal || scrollBars_ == TScrollStyle::ssBoth)
    showScrollRange(Handle(), SB_HORZ, std::max(0, widestLine()), std::max(1, textArea().Width()), scrollX_,
                    mask);
}

void TMemo::KeyPress(char& Key) {
  if (Key == '\r') {
    TCustomControl::KeyPress(Key);
    if (Key && wantReturns_) typeText("\n");
    return;
  }
  if (Key == '\t' && !wantTabs_) return;
  TCustomEdit::KeyPress(Key);
}

void TMemo::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_GETDLGCODE: {
    LRESULT r = DLGC_WANTARROWS | DLGC_WANTCHARS;
    if (wantReturns_) r |= DLGC_WANTALLKEYS;
    if (wantTabs_) r |= DLGC_WANTTAB;
    Message.Result = r;
    return;
  }
  case WM_VSCROLL:
  case WM_MOUSEWHEEL:
    if (const auto top = ScrollTarget(Message, {topLine_, 1, VisibleLineCount(), 0, lastTopLine()}))
      SetTopLine(*top);
    return;
  case WM_HSCROLL: {
    const int page = std::max(1, textArea().Width());
    const auto x = ScrollTarget(Message, {scrollX_, 8, page, 0, widestLine() - page + 1});
    if (x && *x != scrollX_) {
      scrollX_ = *x;
      updateScrollBars();
      Invalidate();
    }
    return;
  }
  default:
    TCustomEdit::Dispatch(Message);
  }
}

// ---- TGroupBox

const TClassInfo& TGroupBox::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TGroupBox, TCustomControl>("TGroupBox")
          .With(published::Align)
          .With(published::Anchors)
          .With(published::Caption)
          .With(published::Color(clBtnFace))
          .With(published::Ctl3D)
          .With(published::Enabled)
          .With(published::Font)
          .With(published::Hint)
          .With(published::ParentColorOn)
          .With(published::ParentCtl3D)
          .With(published::ParentFont)
          .With(published::ShowHint)
          .With(published::TabOrder)
          .With(published::TabStop)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnEnter)
          .With(published::OnExit)
          .Build();
  return info;
}

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) {
  SetControlStyle(
      TControlStyle{csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks});
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::AdjustClientRect(TRect& Rect) {
  Rect.Top += LineHeight(Font());
  Rect = TRect{Rect.Left + 2, Rect.Top + 2, Rect.Right - 2, Rect.Bottom - 2};
}

void TGroupBox::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_FONTCHANGED) {
    TCustomControl::Dispatch(Message);
    Realign();
    Invalidate();
    return;
  }
  TCustomControl::Dispatch(Message);
}

void TGroupBox::Paint() {
  TCanvas& c = Canvas();
  useFont(c, Font());
  const int th = LineHeight(Font());
  // The etched frame: a shadow ring with a highlight ring one pixel down and right.
  const TRect r{0, th / 2, Width(), Height()};
  c.Brush().SetColor(clBtnHighlight);
  c.FrameRect(TRect{r.Left + 1, r.Top + 1, r.Right, r.Bottom});
  c.Brush().SetColor(clBtnShadow);
  c.FrameRect(TRect{r.Left, r.Top, r.Right - 1, r.Bottom - 1});
  if (!Caption().empty()) {
    const std::string text = StripAccel(Caption());
    const TSize ext = MeasureText(Font(), text);
    const TRect t{8, 0, 8 + ext.cx + 2, th};
    c.Brush().SetColor(Color());
    c.FillRect(t);
    DrawCaption(c, TRect{9, 0, t.Right + 8, th}, Caption(), dcLeft, Enabled());
  }
}

// ---- TStaticText

const TClassInfo& TStaticText::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TStaticText, TCustomControl>("TStaticText")
          .Enum<TAlignment>("Alignment", &TStaticText::Alignment, &TStaticText::SetAlignment, taLeftJustify)
          .With(published::Align)
          .With(published::Anchors)
          .Bool("AutoSize", &TStaticText::AutoSize, &TStaticText::SetAutoSize, true)
          .Enum<TStaticBorderStyle>("BorderStyle", &TStaticText::BorderStyle, &TStaticText::SetBorderStyle,
                                    TStaticBorderStyle::sbsNone)
          .With(published::Caption)
          .With(published::Color(clBtnFace))
          .With(published::Enabled)
          .Ref<TWinControl>("FocusControl", &TStaticText::FocusControl, &TStaticText::SetFocusControl)
          .With(published::Font)
          .With(published::ParentColorOn)
          .With(published::ParentFont)
          .Bool("ShowAccelChar", &TStaticText::ShowAccelChar, &TStaticText::SetShowAccelChar, true)
          .With(published::TabOrder)
          .With(published::TabStop)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .Build();
  return info;
}

TStaticText::TStaticText(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 65, 17);
  SetControlStyle(ControlStyle() - TControlStyle{TControlStyleItem::csAcceptsControls});
}

void TStaticText::SetAlignment(TAlignment Value) { invalidateOnChange(alignment_, Value); }
void TStaticText::SetAutoSize(bool Value) {
  if (storeChange(autoSize_, Value)) adjustBounds();
}
void TStaticText::SetBorderStyle(TStaticBorderStyle Value) {
  if (!storeChange(borderStyle_, Value)) return;
  adjustBounds();
  Invalidate();
}
void TStaticText::SetShowAccelChar(bool Value) {
  if (!storeChange(showAccelChar_, Value)) return;
  adjustBounds();
  Invalidate();
}
void TStaticText::Loaded() {
  TCustomControl::Loaded();
  adjustBounds();
}
void TStaticText::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomControl::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == focusControl_) focusControl_ = nullptr;
}

void TStaticText::adjustBounds() {
  if (!autoSize_ || IsLoading()) return;
  const TSize ext = MeasureText(Font(), showAccelChar_ ? StripAccel(Caption()) : Caption());
  const int frame = borderStyle_ == TStaticBorderStyle::sbsNone ? 0 : 2;
  SetBounds(Left(), Top(), ext.cx + frame, std::max(ext.cy, LineHeight(Font())) + frame);
}

void TStaticText::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_TEXTCHANGED || Message.Msg == CM_FONTCHANGED) {
    adjustBounds();
    Invalidate();
    return;
  }
  TCustomControl::Dispatch(Message);
}

void TStaticText::Paint() {
  TCanvas& c = Canvas();
  TRect r = ClientRect();
  c.Brush().SetColor(Color());
  c.FillRect(r);
  if (borderStyle_ == TStaticBorderStyle::sbsSunken) {
    Bevel(c, r, clBtnShadow, clBtnHighlight);
  } else if (borderStyle_ == TStaticBorderStyle::sbsSingle) {
    c.Brush().SetColor(clWindowFrame);
    c.FrameRect(r);
    r = TRect{r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  useFont(c, Font());
  unsigned flags = alignment_ == taCenter ? dcCenter : alignment_ == taRightJustify ? dcRight : dcLeft;
  if (!showAccelChar_) flags |= dcNoPrefix;
  DrawCaption(c, r, Caption(), flags, Enabled());
}

// ---- TScrollBar

const TClassInfo& TScrollBar::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TScrollBar, TCustomControl>("TScrollBar")
          .With(published::Align)
          .With(published::Anchors)
          .With(published::Enabled)
          .Enum<TScrollBarKind>("Kind", &TScrollBar::Kind, &TScrollBar::SetKind, TScrollBarKind::sbHorizontal)
          .Int("LargeChange", &TScrollBar::LargeChange, &TScrollBar::SetLargeChange, 1)
          .Int("Max", &TScrollBar::Max, &TScrollBar::SetMax, 100)
          .Int("Min", &TScrollBar::Min, &TScrollBar::SetMin, 0)
          .Int("PageSize", &TScrollBar::PageSize, &TScrollBar::SetPageSize, 0)
          .Int("Position", &TScrollBar::Position, &TScrollBar::SetPosition, 0)
          .Int("SmallChange", &TScrollBar::SmallChange, &TScrollBar::SetSmallChange, 1)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .With(published::Visible)
          .Event("OnChange", &TScrollBar::OnChange)
          .Event("OnScroll", &TScrollBar::OnScroll)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnKeyDown)
          .Build();
  return info;
}

TScrollBar::TScrollBar(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBounds(0, 0, 121, 16);
  SetTabStop(true);
  SetColor(clBtnFace);
  makeOpaqueLeaf();
  SetControlStyle(ControlStyle() - TControlStyle{csDoubleClicks});
}

void TScrollBar::SetKind(TScrollBarKind Value) {
  if (!storeChange(kind_, Value)) return;
  if (!IsLoading()) SetBounds(Left(), Top(), Height(), Width());
  Invalidate();
}

void TScrollBar::SetPageSize(int Value) {
  pageSize_ = std::clamp(Value, 0, max_ - min_ + 1);
  SetParams(position_, min_, max_);
  Invalidate();
}

void TScrollBar::SetParams(int APosition, int AMin, int AMax) {
  if (AMax < AMin) throw EInvalidOperation("Scrollbar property out of range");
  min_ = AMin;
  max_ = AMax;
  const int p = std::clamp(APosition, min_, maxPos());
  Invalidate();
  if (p == position_) return;
  position_ = p;
  if (!IsLoading()) OnChange(this);
}

void TScrollBar::Scroll(TScrollCode Code, int Pos) {
  int p = Pos;
  OnScroll(this, Code, p);
  if (Code != TScrollCode::scEndScroll) SetPosition(p);
}

void TScrollBar::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button != TMouseButton::mbLeft) return;
  if (CanFocus() && !Focused()) SetFocus();
  const bool horz = kind_ == TScrollBarKind::sbHorizontal;
  const ScrollBarParts parts = ScrollBarLayout(ClientRect(), horz, min_, max_, pageSize_, position_);
  const int code = ScrollBarHit(parts, TPoint{X, Y}, horz);
  if (code == SB_THUMBTRACK) {
    tracking_ = true;
    grab_ = horz ? X - parts.thumb.Left : Y - parts.thumb.Top;
  } else if (code >= 0) {
    scrollMessage(code, 0);
  }
}

void TScrollBar::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  if (!tracking_) return;
  const bool horz = kind_ == TScrollBarKind::sbHorizontal;
  const ScrollBarParts parts = ScrollBarLayout(ClientRect(), horz, min_, max_, pageSize_, position_);
  Scroll(TScrollCode::scTrack, ScrollBarTrackPos(parts, TPoint{X, Y}, horz, min_, max_, pageSize_, grab_));
}

void TScrollBar::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  if (Button != TMouseButton::mbLeft) return;
  if (tracking_) {
    tracking_ = false;
    Scroll(TScrollCode::scPosition, position_);
  }
  Scroll(TScrollCode::scEndScroll, position_);
}

void TScrollBar::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  static const std::pair<uint16_t, int> codes[] = {
      {VK_LEFT, SB_LINEUP},  {VK_UP, SB_LINEUP},     {VK_RIGHT, SB_LINEDOWN}, {VK_DOWN, SB_LINEDOWN},
      {VK_PRIOR, SB_PAGEUP}, {VK_NEXT, SB_PAGEDOWN}, {VK_HOME, SB_TOP},       {VK_END, SB_BOTTOM},
  };
  for (const auto& [key, code] : codes) {
    if (Key == key) {
      scrollMessage(code, 0);
      return;
    }
  }
}

// The bar's own codes run in the order of the SB_ codes, so a message's code is the event's.
void TScrollBar::scrollMessage(int Code, int Pos) {
  if (const auto p = ScrollTarget(Code, Pos, {position_, smallChange_, largeChange_, min_, maxPos()}))
    Scroll(static_cast<TScrollCode>(Code), *p);
  else
    Scroll(TScrollCode::scEndScroll, position_);
}

void TScrollBar::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case CN_HSCROLL:
  case CN_VSCROLL:
    scrollMessage(loWord(Message.WParam), hiWord(Message.WParam));
    return;
  default:
    if (!dispatchFocusCue(Message, DLGC_WANTARROWS)) TCustomControl::Dispatch(Message);
  }
}

void TScrollBar::Paint() {
  const bool horz = kind_ == TScrollBarKind::sbHorizontal;
  PaintScrollBar(Canvas(), ClientRect(), horz, min_, max_, pageSize_, position_, Enabled());
  if (Focused()) {
    const ScrollBarParts parts = ScrollBarLayout(ClientRect(), horz, min_, max_, pageSize_, position_);
    if (!IsRectEmpty(parts.thumb))
      FocusRect(Canvas(), TRect{parts.thumb.Left + 3, parts.thumb.Top + 3, parts.thumb.Right - 3,
                                parts.thumb.Bottom - 3});
  }
}

// ---- TListBox

const TClassInfo& TListBox::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TListBox, TCustomControl>("TListBox")
          .With(published::Align)
          .With(published::Anchors)
          .With(published::Color(clWindow))
          .With(published::Ctl3D)
          .With(published::Enabled)
          .With(published::Font)
          .Object("Items", [](const TListBox& l) { return &const_cast<TListBox&>(l).Items(); })
          .With(published::ParentColor)
          .With(published::ParentFont)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .With(published::Visible)
          .With(published::OnClick)
          .With(published::OnDblClick)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnKeyDown)
          .With(published::OnKeyPress)
          .Build();
  return info;
}

TListBox::TListBox(TComponent* AOwner) : TCustomControl(AOwner), items_(std::make_unique<TStringList>()) {
  initField(121, 97);
  items_->OnChange.Bind([this](TObject*) { itemsChanged(); });
}

TListBox::~TListBox() { items_->OnChange.Clear(); }

void TListBox::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  AddClientFrame(Params);
}

int TListBox::ItemHeight() const { return std::max(1, LineHeight(Font())); }
int TListBox::visibleRows() const { return std::max(1, ClientHeight() / ItemHeight()); }

void TListBox::itemsChanged() {
  if (itemIndex_ >= Count()) itemIndex_ = -1;
  topIndex_ = std::clamp(topIndex_, 0, lastTopIndex());
  updateScrollBar();
  Invalidate();
}

void TListBox::updateScrollBar() {
  if (!HandleAllocated()) return;
  showScrollRange(Handle(), SB_VERT, std::max(0, Count() - 1), visibleRows(), topIndex_);
}

int TListBox::lastTopIndex() const { return std::max(0, Count() - visibleRows()); }

void TListBox::SetTopIndex(int Value) {
  Value = std::clamp(Value, 0, lastTopIndex());
  if (!storeChange(topIndex_, Value)) return;
  updateScrollBar();
  Invalidate();
}

void TListBox::makeVisible(int Index) {
  if (Index < 0) return;
  if (Index < topIndex_) SetTopIndex(Index);
  if (Index >= topIndex_ + visibleRows()) SetTopIndex(Index - visibleRows() + 1);
}

void TListBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= Count()) Value = -1;
  if (!storeChange(itemIndex_, Value)) return;
  makeVisible(Value);
  Invalidate();
}

int TListBox::ItemAtPos(TPoint P, bool Existing) const {
  const int i = topIndex_ + P.Y / ItemHeight();
  if (P.Y < 0 || i >= Count()) return Existing ? -1 : Count();
  return i;
}

void TListBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  int target = itemIndex_;
  switch (Key) {
  case VK_UP:
    target = std::max(0, itemIndex_ - 1);
    break;
  case VK_DOWN:
    target = std::min(Count() - 1, itemIndex_ + 1);
    break;
  case VK_PRIOR:
    target = std::max(0, itemIndex_ - visibleRows() + 1);
    break;
  case VK_NEXT:
    target = std::min(Count() - 1, std::max(0, itemIndex_) + visibleRows() - 1);
    break;
  case VK_HOME:
    target = 0;
    break;
  case VK_END:
    target = Count() - 1;
    break;
  default:
    return;
  }
  if (Count() == 0 || target == itemIndex_) return;
  SetItemIndex(target);
  Click();
}

void TListBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    const int i = ItemAtPos(TPoint{X, Y}, true);
    if (i >= 0) SetItemIndex(i);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TListBox::Dispatch(TMessage& Message) {
  if (DispatchEditFrame(Message)) return;
  switch (Message.Msg) {
  case WM_SIZE:
    TCustomControl::Dispatch(Message);
    updateScrollBar();
    return;
  case WM_VSCROLL:
  case WM_MOUSEWHEEL:
    if (const auto top = ScrollTarget(Message, {topIndex_, 1, visibleRows(), 0, lastTopIndex()}))
      SetTopIndex(*top);
    return;
  default:
    break;
  }
  if (HandleAllocated() && tracker_.mouseMessage(Handle(), ClientRect(), Message)) return;
  TCustomControl::Dispatch(Message);
}

void TListBox::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  c.Brush().SetColor(Enabled() ? Color() : clBtnFace);
  c.FillRect(client);
  useFont(c, Font());
  const int ih = ItemHeight();
  for (int i = topIndex_; i < Count(); ++i) {
    const int y = (i - topIndex_) * ih;
    if (y >= client.Bottom) break;
    const TRect row{0, y, client.Right, y + ih};
    const bool selected = i == itemIndex_;
    if (selected) {
      c.Brush().SetColor(clHighlight);
      c.FillRect(row);
    }
    c.Font().SetColor(!Enabled() ? clGrayText : selected ? clHighlightText : Font().Color());
    DrawCaption(c, TRect{row.Left + 2, row.Top, row.Right, row.Bottom}, items_->Get(i), dcLeft | dcNoPrefix,
                true);
    if (selected && Focused()) FocusRect(c, row);
  }
}

// ---- TComboBox

// The dropped list: a list box as a window of its own on the desktop, below the field. It holds
// the mouse while it is open, the row under the mouse showing as the chosen one; the field keeps
// the keyboard and hands it the keys that move in the list.
class TComboDropList : public TListBox {
public:
  explicit TComboDropList(TComboBox* Combo) : TListBox(Combo), combo_(Combo) { SetTabStop(false); }

  bool isOpen() const { return open_; }

  void open() {
    Items().Assign(combo_->Items());
    Font().Assign(combo_->Font());
    TRect field;
    GetWindowRect(combo_->Handle(), &field);
    const int rows = std::clamp(Count(), 1, combo_->DropDownCount());
    const int height = rows * ItemHeight() + 2;
    const TPoint at = dropDownOrigin(field, field.Width(), height);
    HandleNeeded();
    SetBounds(at.X, at.Y, field.Width(), height);
    SetItemIndex(combo_->ItemIndex());
    open_ = true;
    ShowWindow(Handle(), SW_SHOWNOACTIVATE);
    SetCapture(Handle());
    combo_->Invalidate();
  }

  void close(bool Choose) {
    if (!open_) return;
    open_ = false;
    if (GetCapture() == Handle()) ReleaseCapture();
    ShowWindow(Handle(), SW_HIDE);
    combo_->Invalidate();
    if (Choose && ItemIndex() >= 0) combo_->choose(ItemIndex());
  }

  void Dispatch(TMessage& Message) override {
    if (!open_) return TListBox::Dispatch(Message);
    const TPoint p = TWMMouse(Message).Pos();
    switch (Message.Msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
      TRect window;
      GetWindowRect(Handle(), &window);
      if (!PtInRect(window, ClientToScreen(p))) return close(false);
      barPressed_ = !PtInRect(ClientRect(), p);
      if (barPressed_) break;
      if (const int i = ItemAtPos(p, true); i >= 0) SetItemIndex(i);
      return;
    }
    case WM_MOUSEMOVE:
      TListBox::Dispatch(Message);
      if (PtInRect(ClientRect(), p) && !barPressed_)
        if (const int i = ItemAtPos(p, true); i >= 0) SetItemIndex(i);
      return;
    case WM_LBUTTONUP:
      TListBox::Dispatch(Message);
      if (!std::exchange(barPressed_, false) && PtInRect(ClientRect(), p) && ItemAtPos(p, true) >= 0)
        return close(true);
      // The scroll bar lets go of the mouse when its button goes up; the list keeps it.
      if (open_ && GetCapture() != Handle()) SetCapture(Handle());
      return;
    default:
      break;
    }
    TListBox::Dispatch(Message);
  }

protected:
  void CreateParams(TCreateParams& Params) override {
    TListBox::CreateParams(Params);
    Params.Style = (Params.Style & ~(WS_CHILD | WS_TABSTOP)) | WS_POPUP | WS_BORDER;
    Params.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    TCustomForm* form = GetParentForm(combo_);
    Params.WndParent = form ? form->Handle() : 0;
  }

private:
  TComboBox* combo_;
  bool open_ = false;
  bool barPressed_ = false; // the button went down on the scroll bar
};

const TClassInfo& TComboBox::StaticClassInfo() {
  static const TClassInfo info =
      TClassBuilder<TComboBox, TCustomControl>("TComboBox")
          .With(published::Anchors)
          .With(published::Color(clWindow))
          .With(published::Ctl3D)
          .Int("DropDownCount", &TComboBox::DropDownCount, &TComboBox::SetDropDownCount, 8)
          .With(published::Enabled)
          .With(published::Font)
          .Int("ItemIndex", &TComboBox::ItemIndex, &TComboBox::SetItemIndex, -1)
          .Object("Items", [](const TComboBox& c) { return &const_cast<TComboBox&>(c).Items(); })
          .With(published::ParentColor)
          .With(published::ParentFont)
          .With(published::TabOrder)
          .With(published::TabStopOn)
          .With(published::Visible)
          .Event("OnChange", &TComboBox::OnChange)
          .With(published::OnEnter)
          .With(published::OnExit)
          .With(published::OnKeyDown)
          .With(published::OnKeyPress)
          .Build();
  return info;
}

TComboBox::TComboBox(TComponent* AOwner) : TCustomControl(AOwner), items_(std::make_unique<TStringList>()) {
  initField(145, 21);
  items_->OnChange.Bind([this](TObject*) {
    if (itemIndex_ >= Count()) itemIndex_ = -1;
    Invalidate();
  });
}

TComboBox::~TComboBox() { items_->OnChange.Clear(); }

void TComboBox::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  AddClientFrame(Params);
}

TListBox* TComboBox::DropList() const { return list_; }

bool TComboBox::DroppedDown() const { return list_ && list_->isOpen(); }

void TComboBox::SetDroppedDown(bool Value) {
  if (Value == DroppedDown()) return;
  if (!Value) return list_->close(false);
  if (!HandleAllocated() || Count() == 0) return;
  if (!list_) list_ = new TComboDropList(this);
  list_->open();
}

void TComboBox::SetItemIndex(int Value) {
  if (Value < -1 || Value >= Count()) Value = -1;
  invalidateOnChange(itemIndex_, Value);
}

void TComboBox::choose(int Index) {
  if (Index == itemIndex_ || Index < 0 || Index >= Count()) return;
  SetItemIndex(Index);
  OnChange(this);
}

void TComboBox::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const bool toggle = Key == VK_F4 || (Shift.Contains(ssAlt) && (Key == VK_DOWN || Key == VK_UP));
  if (DroppedDown()) {
    if (toggle || Key == VK_RETURN)
      list_->close(true);
    else if (Key == VK_ESCAPE)
      list_->close(false);
    else if (Key == VK_UP || Key == VK_DOWN || Key == VK_HOME || Key == VK_END || Key == VK_PRIOR ||
             Key == VK_NEXT)
      list_->Perform(WM_KEYDOWN, Key, 0);
    else
      return;
    Key = 0;
    return;
  }
  if (toggle) {
    SetDroppedDown(true);
  } else {
    const int last = Count() - 1;
    switch (Key) {
    case VK_UP:
      choose(std::max(0, itemIndex_ - 1));
      break;
    case VK_DOWN:
      choose(std::min(last, itemIndex_ + 1));
      break;
    case VK_HOME:
      choose(0);
      break;
    case VK_END:
      choose(last);
      break;
    default:
      return;
    }
  }
  Key = 0;
}

void TComboBox::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    SetDroppedDown(!DroppedDown());
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TComboBox::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case CM_WANTSPECIALKEY:
    // The open list takes Return and Escape before the form's buttons do.
    if (DroppedDown() && (Message.WParam == VK_RETURN || Message.WParam == VK_ESCAPE)) {
      Message.Result = 1;
      return;
    }
    break;
  case WM_KILLFOCUS:
    if (DroppedDown()) list_->close(false);
    break;
  case CM_ENABLEDCHANGED:
  case CM_FONTCHANGED:
    Invalidate();
    break;
  default:
    break;
  }
  if (DispatchEditFrame(Message)) return;
  TCustomControl::Dispatch(Message);
}

void TComboBox::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  c.Brush().SetColor(Enabled() ? Color() : clBtnFace);
  c.FillRect(client);
  const int button = GetSystemMetrics(SM_CXVSCROLL);
  DropDownButton(c, TRect{client.Right - button, client.Top, client.Right, client.Bottom}, Enabled());
  // The chosen item, highlighted while the field has the keyboard and the list is closed.
  const TRect text{client.Left + 2, client.Top + 2, client.Right - button - 2, client.Bottom - 2};
  const bool highlighted = Focused() && !DroppedDown();
  if (highlighted) {
    c.Brush().SetColor(clHighlight);
    c.FillRect(text);
  }
  useFont(c, Font());
  c.Font().SetColor(!Enabled() ? clGrayText : highlighted ? clHighlightText : Font().Color());
  if (itemIndex_ >= 0)
    DrawCaption(c, TRect{text.Left + 1, text.Top, text.Right, text.Bottom}, items_->Get(itemIndex_),
                dcLeft | dcVCenter | dcNoPrefix, true);
  if (highlighted) FocusRect(c, text);
}

// ---- registration

void RegisterStdControls() {
  RegisterClasses({&TLabel::StaticClassInfo(), &TButton::StaticClassInfo(), &TCheckBox::StaticClassInfo(),
                   &TRadioButton::StaticClassInfo(), &TEdit::StaticClassInfo(), &TMemo::StaticClassInfo(),
                   &TGroupBox::StaticClassInfo(), &TStaticText::StaticClassInfo(),
                   &TScrollBar::StaticClassInfo(), &TListBox::StaticClassInfo(),
                   &TComboBox::StaticClassInfo()});
}

} // namespace kv::platform
