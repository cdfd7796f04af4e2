// The date and time picker: a sunken field that shows a date (or a time) in the short date
// (long date, long time) format, with a drop button at its right end for dates and an optional
// check box.
//
// The text is edited field by field. While the picker has the focus one field (day, month,
// year, hour, minute or second) is selected: digits fill it and move on to the next field when
// no further digit fits, a separator moves on at once, Left and Right change fields, Up and Down
// step the field round its range (a day within its month). A year is taken when its digits are
// complete or the field is left; two digits stand for the year in the hundred years that start
// TwoDigitYearCenturyWindow years before this one.
//
// The drop button, F4 or Alt+Down open a month calendar below the field: a title row with the
// month and year between two arrow buttons, the weekday row (Monday first) and six weeks of
// days, the chosen day highlighted and today framed in red. The arrows and Page Up/Down turn
// the month (with Ctrl the year), the arrow keys, Home and End move the chosen day, Enter (or
// F4, Alt+Up, Alt+Down) or a click on a day takes it, Escape or a click outside closes the
// calendar without a change. Its layout follows the picker's font, with h the text height and
// w the widest of "00" and the two-letter day names: cells w + 8 wide and h + 4 high, a title
// h + 8 high below a one-pixel frame, the weekday row under the title, the days from two pixels
// below that row and four from the left edge; the window is 7 cells + 8 pixels wide.
#pragma once

#include "Platform/Ui/StdCtrls.h"

#include <memory>

namespace kv::platform {

enum class TDateTimeKind { dtkDate, dtkTime };
KV_ENUM_NAMES(TDateTimeKind, "dtkDate", "dtkTime")
enum class TDTDateFormat { dfShort, dfLong };
KV_ENUM_NAMES(TDTDateFormat, "dfShort", "dfLong")

class CalendarDropDown;

class TDateTimePicker : public TCustomControl {
  KV_CLASS_INFO(TDateTimePicker)
public:
  explicit TDateTimePicker(TComponent* AOwner);
  ~TDateTimePicker() override;

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
  // The shown text, with the digits typed so far in place of a field not yet taken.
  std::string DisplayText() const;
  // The month calendar is open.
  bool DroppedDown() const;

  TNotifyEvent OnChange;
  void Dispatch(TMessage& Message) override;

protected:
  void CreateParams(TCreateParams& Params) override;
  void Paint() override;
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  virtual void Change();

private:
  friend class CalendarDropDown;
  struct Shown {
    std::string text;
    std::vector<DateTimeField> fields;
  };
  // The text and its fields, with the digits typed so far in place of their field or without.
  Shown shown(bool WithTyped = true) const;
  TRect checkRect() const;
  TRect buttonRect() const;
  int textLeft() const;
  void selectField(int Index);
  void typeDigit(int Digit);
  // Takes the digits typed into the selected field, or drops them when they make no value.
  void takeTyped();
  void stepField(int Delta);
  void setPart(DateTimePart Part, int Value);
  void dropDown();
  void closeUp(bool Take);

  TDateTime dateTime_;
  TDateTimeKind kind_ = TDateTimeKind::dtkDate;
  TDTDateFormat dateFormat_ = TDTDateFormat::dfShort;
  bool checked_ = true, showCheckbox_ = false;
  int field_ = 0;           // the selected field
  std::string typed_;       // digits typed into it
  bool typedTaken_ = false; // they are the field's value already
  std::unique_ptr<CalendarDropDown> calendar_;
};

void RegisterDateTimePicker();

} // namespace kv::platform
