#include "Platform/Ui/DateTimePicker.h"

#include "Platform/Rtl/StoreChange.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>

namespace kv::platform {

using namespace classic;

namespace {

int daysInMonth(int64_t year, int month) {
  return static_cast<int>(DaysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
                          DaysFromCivil(year, month, 1));
}

// The day, month, year, hour, minute and second of a value (in DateTimePart's order), then its
// milliseconds.
using Parts = std::array<int, 7>;
Parts partsOf(TDate date, TTime time) {
  Parts p{};
  DecodeDate(date, p[2], p[1], p[0]);
  DecodeTime(time, p[3], p[4], p[5], p[6]);
  return p;
}
constexpr size_t at(DateTimePart part) { return static_cast<size_t>(part); }

struct PartRange {
  int min, max;
  size_t digits;
};
PartRange rangeOf(DateTimePart part, const Parts& p) {
  switch (part) {
  case DateTimePart::day:
    return {1, daysInMonth(p[at(DateTimePart::year)], p[at(DateTimePart::month)]), 2};
  case DateTimePart::month:
    return {1, 12, 2};
  case DateTimePart::year:
    return {1, 9999, 4};
  case DateTimePart::hour:
    return {0, 23, 2};
  default:
    return {0, 59, 2};
  }
}

// What may be typed into a field: any day of a month (one that this month lacks becomes its
// last day when it is taken), otherwise the field's range.
PartRange typedRange(DateTimePart part, const Parts& p) {
  return part == DateTimePart::day ? PartRange{1, 31, 2} : rangeOf(part, p);
}

// A year of two digits in the hundred years that start TwoDigitYearCenturyWindow years ago.
int fullYear(int twoDigits) {
  int thisYear, month, day;
  DecodeDate(Now(), thisYear, month, day);
  const int base = thisYear - FormatSettings().TwoDigitYearCenturyWindow;
  const int year = base / 100 * 100 + twoDigits;
  return year < base ? year + 100 : year;
}

// The first n characters of a text (whole UTF-8 sequences).
std::string firstChars(const std::string& s, int n) {
  size_t end = 0;
  for (int k = 0; k < n && end < s.size(); ++k)
    do
      ++end;
    while (end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80);
  return s.substr(0, end);
}

// The small solid arrow of combo boxes and calendars about (cx, cy): pointing down, left or right.
enum class Arrow { down, left, right };
void drawArrow(TCanvas& c, int cx, int cy, Arrow direction, TColor color) {
  c.Pen().SetColor(color);
  for (int i = 0; i < 4; ++i) {
    if (direction == Arrow::down) {
      c.MoveTo(cx - 3 + i, cy - 1 + i);
      c.LineTo(cx + 4 - i, cy - 1 + i);
    } else {
      const int x = direction == Arrow::left ? cx - 2 + i : cx + 1 - i;
      c.MoveTo(x, cy - i);
      c.LineTo(x, cy + i + 1);
    }
  }
}

} // namespace

// ---- the month calendar

class CalendarDropDown {
public:
  explicit CalendarDropDown(TDateTimePicker& picker) : picker_(picker) {}
  ~CalendarDropDown() {
    open_ = false;
    if (window_) DestroyWindow(std::exchange(window_, 0));
  }
  CalendarDropDown(const CalendarDropDown&) = delete;
  CalendarDropDown& operator=(const CalendarDropDown&) = delete;

  bool isOpen() const { return open_; }
  TDate day() const { return day_; }

  void open(TDate day) {
    const Layout l = layout();
    if (!window_)
      window_ = CreateWindowEx(
          WS_EX_TOPMOST | WS_EX_TOOLWINDOW, "TDateTimePickerCalendar", "", WS_POPUP, 0, 0, l.width, l.height,
          0, [this](HWND h, UINT msg, WPARAM w, LPARAM lp) { return handle(h, msg, w, lp); });
    choose(day);
    TRect field;
    GetWindowRect(picker_.Handle(), &field);
    const TPoint at = dropDownOrigin(field, l.width, l.height);
    MoveWindow(window_, at.X, at.Y, l.width, l.height, true);
    ShowWindow(window_, SW_SHOWNA);
    open_ = true;
    SetCapture(window_);
  }

  void close() {
    if (!open_) return;
    open_ = pressed_ = false;
    if (GetCapture() == window_) ReleaseCapture();
    ShowWindow(window_, SW_HIDE);
  }

  // Navigation keys; true when the key was the calendar's.
  bool key(uint16_t key, TShiftState shift) {
    int year, month, dayOfMonth;
    DecodeDate(day_, year, month, dayOfMonth);
    // The same day of another month (its last day where the month is shorter).
    auto inMonth = [&](int months) {
      const int64_t m = std::clamp<int64_t>(int64_t(year) * 12 + (month - 1) + months, 12, 9999 * 12 + 11);
      const int y = static_cast<int>(m / 12), mo = static_cast<int>(m % 12) + 1;
      return static_cast<TDate>(DaysFromCivil(y, mo, std::min(dayOfMonth, daysInMonth(y, mo))));
    };
    // The arrows go a day or a week; the page keys a month (a year with Ctrl); Home and End to
    // the month's first and last day.
    static constexpr std::pair<uint16_t, int> steps[] = {
        {VK_LEFT, -1}, {VK_RIGHT, 1}, {VK_UP, -7}, {VK_DOWN, 7}};
    for (const auto& [k, days] : steps)
      if (key == k) {
        choose(day_ + days);
        return true;
      }
    if (key == VK_PRIOR || key == VK_NEXT)
      choose(inMonth((key == VK_PRIOR ? -1 : 1) * (shift.Contains(ssCtrl) ? 12 : 1)));
    else if (key == VK_HOME)
      choose(day_ - (dayOfMonth - 1));
    else if (key == VK_END)
      choose(day_ + (daysInMonth(year, month) - dayOfMonth));
    else
      return false;
    return true;
  }

private:
  struct Layout {
    int cellW, cellH, titleH, gridTop, width, height;
    TRect prev, next;
  };

  Layout layout() const {
    const TFont& font = picker_.Font();
    int w = MeasureText(font, "00").cx;
    for (const std::string& name : FormatSettings().ShortDayNames)
      w = std::max(w, MeasureText(font, firstChars(name, 2)).cx);
    const int h = LineHeight(font);
    Layout l{};
    l.cellW = w + 8;
    l.cellH = h + 4;
    l.titleH = h + 8;
    l.gridTop = 1 + l.titleH + l.cellH + 2;
    l.width = 7 * l.cellW + 8;
    l.height = l.gridTop + 6 * l.cellH + 4;
    const int a = l.titleH - 4;
    l.prev = TRect{3, 3, 3 + a, 3 + a};
    l.next = TRect{l.width - 3 - a, 3, l.width - 3, 3 + a};
    return l;
  }

  // The Monday on or before the first of the shown month: the first cell.
  TDate firstCell() const {
    const TDate first = static_cast<TDate>(DaysFromCivil(year_, month_, 1));
    return first - (DayOfWeek(first) + 5) % 7;
  }

  TRect cellRect(const Layout& l, int index) const {
    const int x = 4 + (index % 7) * l.cellW, y = l.gridTop + (index / 7) * l.cellH;
    return TRect{x, y, x + l.cellW, y + l.cellH};
  }

  // The day under a point of the window, if any.
  std::optional<TDate> dayAt(TPoint p) const {
    const Layout l = layout();
    for (int i = 0; i < 42; ++i)
      if (PtInRect(cellRect(l, i), p)) return firstCell() + i;
    return std::nullopt;
  }

  void choose(TDate day) {
    int year, month, dayOfMonth;
    DecodeDate(std::clamp(std::floor(day), -693593.0, 2958465.0), year, month, dayOfMonth);
    day_ = static_cast<TDate>(DaysFromCivil(year, month, dayOfMonth));
    year_ = year;
    month_ = month;
    if (window_) InvalidateRect(window_, nullptr, false);
  }

  LRESULT handle(HWND h, UINT msg, WPARAM w, LPARAM lp) {
    const TPoint p{loWord(static_cast<uint64_t>(lp)), hiWord(static_cast<uint64_t>(lp))};
    switch (msg) {
    case WM_PAINT:
      PaintPopup(h, [this](TCanvas& c) { paint(c); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      const Layout l = layout();
      if (!PtInRect(TRect{0, 0, l.width, l.height}, p)) {
        picker_.closeUp(false); // a click elsewhere leaves the calendar
      } else if (PtInRect(l.prev, p) || PtInRect(l.next, p)) {
        key(PtInRect(l.prev, p) ? VK_PRIOR : VK_NEXT, TShiftState{});
      } else if (const auto d = dayAt(p)) {
        pressed_ = true;
        choose(*d);
      }
      return 0;
    }
    case WM_MOUSEMOVE:
      if (const auto d = dayAt(p); pressed_ && d && *d != day_) choose(*d);
      return 0;
    case WM_LBUTTONUP:
      if (std::exchange(pressed_, false))
        if (const auto d = dayAt(p)) {
          choose(*d);
          picker_.closeUp(true);
        }
      return 0;
    case WM_RBUTTONDOWN:
      if (!PtInRect(TRect{0, 0, layout().width, layout().height}, p)) picker_.closeUp(false);
      return 0;
    case WM_CAPTURECHANGED:
      if (open_ && static_cast<HWND>(lp) != h) picker_.closeUp(false);
      return 0;
    case WM_DESTROY:
      window_ = 0;
      open_ = pressed_ = false;
      return 0;
    default:
      return DefWindowProc(h, msg, w, lp);
    }
  }

  void paint(TCanvas& c) const {
    const Layout l = layout();
    const TFormatSettings& fs = FormatSettings();
    c.SetFont(picker_.Font());
    c.Brush().SetColor(clWindowFrame);
    c.FrameRect(TRect{0, 0, l.width, l.height});
    c.Brush().SetColor(clWindow);
    c.FillRect(TRect{1, 1 + l.titleH, l.width - 1, l.height - 1});
    c.Brush().SetColor(clActiveCaption);
    c.FillRect(TRect{1, 1, l.width - 1, 1 + l.titleH});
    for (const Arrow a : {Arrow::left, Arrow::right}) {
      const TRect face = ButtonFace(c, a == Arrow::left ? l.prev : l.next, false, false);
      drawArrow(c, (face.Left + face.Right) / 2, (face.Top + face.Bottom) / 2 - 1, a, clBtnText);
    }
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.Font().SetColor(clCaptionText);
    DrawCaption(c, TRect{l.prev.Right, 1, l.next.Left, 1 + l.titleH},
                fs.LongMonthNames[month_ - 1] + " " + std::to_string(year_),
                dcCenter | dcVCenter | dcNoPrefix, true);
    c.Font().SetColor(clActiveCaption);
    for (int i = 0; i < 7; ++i) {
      const TRect r = cellRect(l, i);
      DrawCaption(c, TRect{r.Left, 1 + l.titleH, r.Right, 1 + l.titleH + l.cellH},
                  firstChars(fs.ShortDayNames[(i + 1) % 7], 2), dcCenter | dcVCenter | dcNoPrefix, true);
    }
    c.Pen().SetColor(clBtnShadow);
    c.MoveTo(4, 1 + l.titleH + l.cellH);
    c.LineTo(l.width - 4, 1 + l.titleH + l.cellH);
    const TDate first = firstCell(), today = std::floor(Now());
    for (int i = 0; i < 42; ++i) {
      const TDate d = first + i;
      const TRect r = cellRect(l, i);
      int year, month, dayOfMonth;
      DecodeDate(d, year, month, dayOfMonth);
      c.Font().SetColor(month == month_ ? clWindowText : clGrayText);
      if (d == day_) {
        c.Brush().SetStyle(TBrushStyle::bsSolid);
        c.Brush().SetColor(clHighlight);
        c.FillRect(r);
        c.Brush().SetStyle(TBrushStyle::bsClear);
        c.Font().SetColor(clHighlightText);
      }
      DrawCaption(c, r, std::to_string(dayOfMonth), dcCenter | dcVCenter | dcNoPrefix, true);
      if (d == today) {
        c.Brush().SetColor(clRed);
        c.FrameRect(r);
        c.Brush().SetStyle(TBrushStyle::bsClear);
      }
    }
  }

  TDateTimePicker& picker_;
  HWND window_ = 0;
  bool open_ = false, pressed_ = false;
  TDate day_ = 0;
  int year_ = 1899, month_ = 12;
};

// ---- the picker

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
          .With(published::TabStopOn)
          .With(published::Visible)
          .Event("OnChange", &P::OnChange)
          .With(published::OnClick)
          .With(published::KeyEvents)
          .Build();
  return info;
}

TDateTimePicker::TDateTimePicker(TComponent* AOwner)
    : TCustomControl(AOwner), dateTime_(Now()), calendar_(std::make_unique<CalendarDropDown>(*this)) {
  SetBounds(0, 0, 186, 21);
  SetColor(clWindow);
  SetParentColor(false);
  SetTabStop(true);
}

TDateTimePicker::~TDateTimePicker() = default;

void TDateTimePicker::CreateParams(TCreateParams& Params) {
  TCustomControl::CreateParams(Params);
  AddClientFrame(Params);
}

void TDateTimePicker::SetDateTime(TDateTime Value) {
  if (!std::isfinite(Value)) throw EConvertError("Invalid date and time");
  if (!storeChange(dateTime_, Value)) return;
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
  selectField(0);
  Invalidate();
}
void TDateTimePicker::SetDateFormat(TDTDateFormat Value) {
  dateFormat_ = Value;
  selectField(0);
  Invalidate();
}
void TDateTimePicker::SetChecked(bool Value) {
  if (!storeChange(checked_, Value)) return;
  Invalidate();
  Change();
}
void TDateTimePicker::SetShowCheckbox(bool Value) { invalidateOnChange(showCheckbox_, Value); }

void TDateTimePicker::Change() { OnChange(this); }

bool TDateTimePicker::DroppedDown() const { return calendar_ && calendar_->isOpen(); }

TDateTimePicker::Shown TDateTimePicker::shown(bool WithTyped) const {
  const TFormatSettings& fs = FormatSettings();
  const std::string& format = kind_ == TDateTimeKind::dtkTime        ? fs.LongTimeFormat
                              : dateFormat_ == TDTDateFormat::dfLong ? fs.LongDateFormat
                                                                     : fs.ShortDateFormat;
  Shown s;
  s.text = formatDateTimeFields(format, dateTime_, fs, s.fields);
  if (WithTyped && !typed_.empty() && !typedTaken_ && field_ < static_cast<int>(s.fields.size())) {
    DateTimeField& f = s.fields[static_cast<size_t>(field_)];
    s.text.replace(f.start, f.length, typed_);
    const size_t old = f.length;
    f.length = typed_.size();
    for (DateTimeField& g : s.fields)
      if (g.start > f.start) g.start = g.start - old + f.length;
  }
  return s;
}

std::string TDateTimePicker::DisplayText() const { return shown().text; }

void TDateTimePicker::selectField(int Index) {
  takeTyped();
  const int n = static_cast<int>(shown().fields.size());
  field_ = std::clamp(Index, 0, std::max(0, n - 1));
  Invalidate();
}

void TDateTimePicker::setPart(DateTimePart Part, int Value) {
  Parts p = partsOf(Date(), Time());
  p[at(Part)] = Value;
  // A day that the new month lacks becomes its last day (31 January to February: 28 or 29).
  const int year = p[at(DateTimePart::year)], month = p[at(DateTimePart::month)];
  const int day = std::min(p[at(DateTimePart::day)], daysInMonth(year, month));
  TDateTime date;
  if (!TryEncodeDate(year, month, day, date)) return;
  SetDateTime(date + EncodeTime(p[at(DateTimePart::hour)], p[at(DateTimePart::minute)],
                                p[at(DateTimePart::second)], p[6]));
}

void TDateTimePicker::takeTyped() {
  if (typed_.empty()) return;
  const std::string digits = std::exchange(typed_, std::string());
  if (std::exchange(typedTaken_, false)) return;
  const auto fields = shown().fields;
  if (field_ >= static_cast<int>(fields.size())) return;
  const DateTimePart part = fields[static_cast<size_t>(field_)].part;
  int value = std::stoi(digits);
  if (part == DateTimePart::year && digits.size() <= 2) value = fullYear(value);
  const PartRange range = typedRange(part, partsOf(Date(), Time()));
  if (value >= range.min && value <= range.max) setPart(part, value);
  Invalidate();
}

void TDateTimePicker::typeDigit(int Digit) {
  const auto fields = shown(false).fields;
  if (fields.empty()) return;
  field_ = std::clamp(field_, 0, static_cast<int>(fields.size()) - 1);
  const DateTimeField f = fields[static_cast<size_t>(field_)];
  const PartRange range = typedRange(f.part, partsOf(Date(), Time()));
  // A field shown with two year digits takes two.
  const size_t digits = f.part == DateTimePart::year && f.length <= 2 ? 2 : range.digits;
  typed_ += static_cast<char>('0' + Digit);
  if (std::stoi(typed_) > range.max) typed_ = std::string(1, static_cast<char>('0' + Digit));
  const int value = std::stoi(typed_);
  const bool full = typed_.size() >= digits || value * 10 > range.max;
  typedTaken_ = false;
  if (f.part != DateTimePart::year && value >= range.min) {
    setPart(f.part, value);
    typedTaken_ = true;
  }
  if (full) selectField(field_ + 1 < static_cast<int>(fields.size()) ? field_ + 1 : field_);
  Invalidate();
}

void TDateTimePicker::stepField(int Delta) {
  takeTyped();
  const auto fields = shown().fields;
  if (field_ >= static_cast<int>(fields.size())) return;
  const DateTimePart part = fields[static_cast<size_t>(field_)].part;
  const Parts p = partsOf(Date(), Time());
  const PartRange range = rangeOf(part, p);
  const int value = p[at(part)] + Delta;
  // Years stop at the calendar's ends; every other field goes round its range.
  if (part == DateTimePart::year)
    setPart(part, std::clamp(value, range.min, range.max));
  else
    setPart(part,
            range.min + ((value - range.min) % (range.max - range.min + 1) + (range.max - range.min + 1)) %
                            (range.max - range.min + 1));
}

void TDateTimePicker::dropDown() {
  if (kind_ != TDateTimeKind::dtkDate || DroppedDown() || !HandleAllocated()) return;
  takeTyped();
  calendar_->open(Date());
  Invalidate();
}

void TDateTimePicker::closeUp(bool Take) {
  if (!DroppedDown()) return;
  const TDate chosen = calendar_->day();
  calendar_->close();
  Invalidate();
  if (Take) SetDate(chosen);
}

TRect TDateTimePicker::checkRect() const {
  const int h = ClientHeight();
  const int size = std::min(13, std::max(h - 4, 0));
  const int top = (h - size) / 2;
  return TRect{2, top, 2 + size, top + size};
}

TRect TDateTimePicker::buttonRect() const {
  if (kind_ != TDateTimeKind::dtkDate) return TRect{};
  const TRect client = ClientRect();
  return TRect{client.Right - GetSystemMetrics(SM_CXVSCROLL), client.Top, client.Right, client.Bottom};
}

int TDateTimePicker::textLeft() const { return showCheckbox_ ? checkRect().Right + 3 : 2; }

void TDateTimePicker::Paint() {
  TCanvas& c = Canvas();
  const TRect client = ClientRect();
  c.Brush().SetStyle(TBrushStyle::bsSolid);
  c.Brush().SetColor(Enabled() ? Color() : clBtnFace);
  c.FillRect(client);
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
  }
  int right = client.Right;
  if (kind_ == TDateTimeKind::dtkDate) {
    // The drop button, as a combo box has it; pressed while the calendar is open.
    const TRect btn = buttonRect();
    right = btn.Left;
    const TRect content = ButtonFace(c, btn, DroppedDown(), false);
    drawArrow(c, (content.Left + content.Right) / 2, (content.Top + content.Bottom) / 2, Arrow::down,
              Enabled() ? clBtnText : clGrayText);
  }
  c.SetFont(Font());
  const bool active = Enabled() && (checked_ || !showCheckbox_);
  c.Font().SetColor(active ? Font().Color() : clGrayText);
  c.Brush().SetStyle(TBrushStyle::bsClear);
  const Shown s = shown();
  const int th = c.TextHeight("W"), top = (client.Height() - th) / 2, left = textLeft();
  const TRect area{left, client.Top, right, client.Bottom};
  c.TextRect(area, left, top, s.text);
  // The selected field stands out while the picker has the focus.
  if (Focused() && active && field_ < static_cast<int>(s.fields.size())) {
    const DateTimeField& f = s.fields[static_cast<size_t>(field_)];
    const int x = left + c.TextWidth(s.text.substr(0, f.start));
    const std::string text = s.text.substr(f.start, f.length);
    c.Brush().SetStyle(TBrushStyle::bsSolid);
    c.Brush().SetColor(clHighlight);
    c.FillRect(IntersectRects(TRect{x, top, x + c.TextWidth(text), top + th}, area));
    c.Brush().SetStyle(TBrushStyle::bsClear);
    c.Font().SetColor(clHighlightText);
    c.TextRect(area, x, top, text);
  }
  c.Brush().SetStyle(TBrushStyle::bsSolid);
}

void TDateTimePicker::KeyDown(uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  if (DroppedDown()) {
    if (Key == VK_RETURN || Key == VK_F4 || (Shift.Contains(ssAlt) && (Key == VK_UP || Key == VK_DOWN)))
      closeUp(true);
    else if (Key == VK_ESCAPE)
      closeUp(false);
    else if (!calendar_->key(Key, Shift))
      return;
    Key = 0;
    return;
  }
  if (Key == VK_F4 || (Shift.Contains(ssAlt) && Key == VK_DOWN)) {
    dropDown();
    Key = 0;
    return;
  }
  switch (Key) {
  case VK_UP:
    stepField(1);
    break;
  case VK_DOWN:
    stepField(-1);
    break;
  case VK_LEFT:
    selectField(field_ - 1);
    break;
  case VK_RIGHT:
    selectField(field_ + 1);
    break;
  case VK_SPACE:
    if (showCheckbox_) SetChecked(!checked_);
    break;
  default:
    return;
  }
  Key = 0;
}

void TDateTimePicker::KeyPress(char& Key) {
  TCustomControl::KeyPress(Key);
  if (DroppedDown() || Key == 0) return;
  if (Key >= '0' && Key <= '9') {
    typeDigit(Key - '0');
    Key = 0;
    return;
  }
  // A separator ends the field and moves on to the next.
  const TFormatSettings& fs = FormatSettings();
  if (Key == fs.DateSeparator || Key == fs.TimeSeparator || Key == '.' || Key == '/' || Key == '-' ||
      Key == ':' || Key == ',') {
    if (!typed_.empty()) selectField(field_ + 1);
    Key = 0;
  }
}

void TDateTimePicker::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) {
    if (CanFocus() && !Focused()) SetFocus();
    if (showCheckbox_ && PtInRect(checkRect(), TPoint{X, Y})) SetChecked(!checked_);
    if (PtInRect(buttonRect(), TPoint{X, Y})) {
      dropDown();
    } else if (X >= textLeft()) {
      // A click on the text selects the field under it (or the nearest one before it).
      const Shown s = shown();
      int index = 0;
      for (int i = 0; i < static_cast<int>(s.fields.size()); ++i)
        if (X >=
            textLeft() + MeasureText(Font(), s.text.substr(0, s.fields[static_cast<size_t>(i)].start)).cx)
          index = i;
      selectField(index);
    }
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
}

void TDateTimePicker::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_GETDLGCODE) {
    // Enter and Escape belong to the open calendar, not to the form's buttons.
    Message.Result = DLGC_WANTARROWS | (DroppedDown() ? DLGC_WANTALLKEYS : 0);
    return;
  }
  if (Message.Msg == WM_KILLFOCUS) {
    takeTyped();
    closeUp(false);
  }
  if (!DispatchEditFrame(Message)) TCustomControl::Dispatch(Message);
}

void RegisterDateTimePicker() { RegisterClasses({&TDateTimePicker::StaticClassInfo()}); }

} // namespace kv::platform
