// The date and time picker: a sunken field that shows a date (or a time) in the short date
// (long time) format, with a drop button at its right end for dates and an optional check box;
// the arrow keys step the value by a day (a minute for times).
#pragma once

#include "Platform/Ui/StdCtrls.h"

namespace kv::platform {

enum class TDateTimeKind { dtkDate, dtkTime };
KV_ENUM_NAMES(TDateTimeKind, "dtkDate", "dtkTime")
enum class TDTDateFormat { dfShort, dfLong };
KV_ENUM_NAMES(TDTDateFormat, "dfShort", "dfLong")

class TDateTimePicker : public TCustomControl {
  KV_CLASS_INFO(TDateTimePicker)
public:
  explicit TDateTimePicker(TComponent* AOwner);

  TDateTime DateTime() const { return dateTime_; }
  void SetDateTime(TDateTime Value);
  // The day part and the time part, each set without touching the other.
  TDate Date() const;
  void SetDate(TDate Value);
  TTime Time() const;
  void SetTime(TTime Value);
  TDateTimeKind Kind() const { return kind_; }
  void SetKind(TDateTimeKind Value);
  TDTDateFormat DateFormat() const { return dateFormat_; }
  void SetDateFormat(TDTDateFormat Value);
  bool Checked() const { return checked_; }
  void SetChecked(bool Value);
  bool ShowCheckbox() const { return showCheckbox_; }
  void SetShowCheckbox(bool Value);
  // The shown text.
  std::string DisplayText() const;

  TNotifyEvent OnChange;
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  virtual void Change();

private:
  TRect checkRect() const;
  TDateTime dateTime_;
  TDateTimeKind kind_ = TDateTimeKind::dtkDate;
  TDTDateFormat dateFormat_ = TDTDateFormat::dfShort;
  bool checked_ = true, showCheckbox_ = false;
};

void RegisterDateTimePicker();

} // namespace kv::platform
