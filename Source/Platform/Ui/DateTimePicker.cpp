#include "Platform/Ui/DateTimePicker.h"

#include <cmath>

namespace kv::platform {

using namespace classic;

const TClassInfo& TDateTimePicker::StaticClassInfo() {
  using P = TDateTimePicker;
  static const TClassInfo info =
      TClassBuilder<P, TCustomControl>("TDateTimePicker")
          .With(published::Align)
          .With(published::Anchors)
          .Bool("Checked", &P::Checked, &P::SetChecked, true)
          .With(published::Color(clWindow))
          .With(published::Constraints)
          .With(published::Ctl3D)
          .Float("Date", &P::Date, &P::SetDate, NoDefault)
          .Float("Time", &P::Time, &P::SetTime, NoDefault)
          .Enum<TDTDateFormat>("DateFormat", &P::DateFormat, &P::SetDateFormat, TDTDateFormat::dfShort)
          .With(published::Enabled)
          .With(published::Font)
          .Enum<TDateTimeKind>("Kind", &P::Kind, &P::SetKind, TDateTimeKind::dtkDate)
          .With(published::ParentColor)
          .With(published::ParentFont)
          .With(published::ShowHint)
          .Bool("ShowCheckbox", &P::ShowCheckbox, &P::SetShowCheckbox, false)
          .With(published::TabOrder)
          .Bool("TabStop", &TWinControl::TabStop, &TWinControl::SetTabStop, true)
          .With(published::Visible)
          .Event("OnChange", &P::OnChange)
          .With(published::OnClick)
          .With(published::KeyEvents)
          .Build();
  return info;
}

TDateTimePicker::TDateTimePicker(TComponent* AOwner) : TCustomControl(AOwner), dateTime_(Now()) {
  SetBounds(0, 0, 186, 21);
  SetColor(clWindow);
  SetTabStop(true);
}

void TDateTimePicker::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  AddClientFrame(Params);
}

void TDateTimePicker::SetDateTime(TDateTime Value) {
  if (!std::isfinite(Value)) throw EConvertError("Invalid date and time");
  if (Value == dateTime_) return;
  dateTime_ = Value;
  Invalidate();
  Change();
}
TDate TDateTimePicker::Date() const { return std::floor(dateTime_); }
void TDateTimePicker::SetDate(TDate Value) {
  if (!std::isfinite(Value)) throw EConvertError("Invalid date");
  SetDateTime(std::floor(Value) + Time());
}
TTime TDateTimePicker::Time() const { return dateTime_ - std::floor(dateTime_); }
void TDateTimePicker::SetTime(TTime Value) {
  if (!std::isfinite(Value)) throw EConvertError("Invalid time");
  SetDateTime(Date() + (Value - std::floor(Value)));
}
void TDateTimePicker::SetKind(TDateTimeKind Value) {
  kind_ = Value;
  Invalidate();
}
void TDateTimePicker::SetDateFormat(TDTDateFormat Value) {
  dateFormat_ = Value;
  Invalidate();
}
void TDateTimePicker::SetChecked(bool Value) {
  if (checked_ == Value) return;
  checked_ = Value;
  Invalidate();
  Change();
}
void TDateTimePicker::SetShowCheckbox(bool Value) {
  showCheckbox_ = Value;
  Invalidate();
}

void TDateTimePicker::Change() { OnChange(this); }

std::string TDateTimePicker::DisplayText() const {
  const TFormatSettings& fs = FormatSettings();
  if (kind_ == TDateTimeKind::dtkTime) return FormatDateTime(fs.LongTimeFormat, dateTime_, fs);
  return FormatDateTime(dateFormat_ == TDTDateFormat::dfLong ? fs.LongDateFormat : fs.ShortDateFormat, dateTime_,
                        fs);
}

TRect TDateTimePicker::checkRect() const {
  const int h = ClientHeight();
  const int size = std::min(13, std::max(h - 4, 0));
  const int top = (h - size) / 2;
  return TRect{2, top, 2 + size, top + size};
}

void TDateTimePicker::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  c.Brush().SetColor(Enabled() ? Color() : clBtnFace);
  c.FillRect(client);
  int textLeft = 2;
  if (showCheckbox_) {
    TRect box = checkRect();
    SunkenEdge(c, box);
    c.Brush().SetColor(clWindow);
    c.FillRect(box);
    if (checked_) {
      c.Pen().SetColor(clWindowText);
      for (int i = 0; i < 3; ++i) {
        c.MoveTo(box.Left + 1, box.Top + 3 + i);
        c.LineTo(box.Left + 3, box.Top + 5 + i);
        c.LineTo(box.Left + 8, box.Top + i);
      }
    }
    textLeft = checkRect().Right + 3;
  }
  int right = client.Right;
  if (kind_ == TDateTimeKind::dtkDate) {
    // The drop button, as a combo box has it.
    const int w = GetSystemMetrics(SM_CXVSCROLL);
    TRect btn{client.Right - w, client.Top, client.Right, client.Bottom};
    right = btn.Left;
    const TRect content = ButtonFace(c, btn, false, false);
    const int cx = (content.Left + content.Right) / 2, cy = (content.Top + content.Bottom) / 2;
    c.Pen().SetColor(Enabled() ? clBtnText : clGrayText);
    for (int i = 0; i < 4; ++i) {
      c.MoveTo(cx - 3 + i, cy - 1 + i);
      c.LineTo(cx + 4 - i, cy - 1 + i);
    }
  }
  c.SetFont(Font());
  c.Font().SetColor(Enabled() && (checked_ || !showCheckbox_) ? Font().Color() : clGrayText);
  c.Brush().SetStyle(TBrushStyle::bsClear);
  const int th = c.TextHeight("W");
  c.TextRect(TRect{textLeft, client.Top, right, client.Bottom}, textLeft, (client.Height() - th) / 2,
             DisplayText());
  c.Brush().SetStyle(TBrushStyle::bsSolid);
}

void TDateTimePicker::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  const double step = kind_ == TDateTimeKind::dtkTime ? 1.0 / (24 * 60) : 1.0;
  if (Key == VK_UP) SetDateTime(dateTime_ + step);
  if (Key == VK_DOWN) SetDateTime(dateTime_ - step);
  if (Key == VK_SPACE && showCheckbox_) SetChecked(!checked_);
}

void TDateTimePicker::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    if (showCheckbox_ && PtInRect(checkRect(), TPoint{X, Y})) SetChecked(!checked_);
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TDateTimePicker::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
  case WM_PAINT:
    TCustomControl::Dispatch(Message);
    if (HandleAllocated()) PaintNonClient(Handle());
    return;
  case WM_GETDLGCODE:
    Message.Result = DLGC_WANTARROWS;
    return;
  default:
    TCustomControl::Dispatch(Message);
  }
}

void RegisterDateTimePicker() { RegisterClasses({&TDateTimePicker::StaticClassInfo()}); }

} // namespace kv::platform
