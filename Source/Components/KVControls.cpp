#include "KVControls.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace KVControls {

using namespace kv::platform;

namespace {

// The table of a tagged control: its base control's, with the registry tag's two properties.
template <class T, class Base> const TClassInfo& taggedClassInfo(const char* name) {
  static const TClassInfo info =
      TClassBuilder<T, Base>(name)
          .Bool("SaveToRegistry", &TRegistryTag::SaveToRegistry, &TRegistryTag::SetSaveToRegistry, NoDefault)
          .Str("RegValueName", &TRegistryTag::GetRegValueName, &TRegistryTag::SetRegValueName, std::string())
          .Build();
  return info;
}

// The value of a typed number as the field reads it: digits with the locale's decimal
// separator. The thousands separator (in a '.' or ',' locale the other of the two) is taken
// only in the exact text the field itself writes for the value, so that a value shown reads
// back as itself (1.234,56) while "0,125" pasted in a '.' locale is no number rather than 125.
bool parseFieldNumber(const std::string& Text, int Digits, double& Value) {
  const TFormatSettings& fs = FormatSettings();
  const char dec = fs.DecimalSeparator, thou = fs.ThousandSeparator;
  std::string plain = Text;
  if (thou != dec) plain.erase(std::remove(plain.begin(), plain.end(), thou), plain.end());
  if (dec != '.' && plain.find('.') != std::string::npos) return false;
  std::replace(plain.begin(), plain.end(), dec, '.');
  double v = 0;
  if (!TryStrToFloat(plain, v) || !std::isfinite(v)) return false;
  if (plain.size() != Text.size() && Text != FloatToStrF(v, ffNumber, 18, Digits)) return false;
  Value = v;
  return true;
}

// The whole number a field keeps for a value already multiplied by its factor, or -1, the
// field's "no value", where no 32-bit number stands for it: the saturated end of the range or
// the 0 of a value that is no number would be a value nobody entered.
std::int32_t scaledOrNoValue(double Scaled) {
  const double whole = std::nearbyint(Scaled);
  if (!(whole >= std::numeric_limits<std::int32_t>::min() &&
        whole <= std::numeric_limits<std::int32_t>::max()))
    return -1;
  return RoundToInt(Scaled);
}

// Passes backspace, '*', the digits and (while the text has none) the decimal separator.
void filterKey(const std::string& TextBefore, char& Key) {
  const char sep = FormatSettings().DecimalSeparator;
  const bool hasSep = TextBefore.find(sep) != std::string::npos;
  const bool pass = Key == '\b' || Key == '*' || (Key >= '0' && Key <= '9') || (!hasSep && Key == sep);
  if (!pass) Key = 0;
}

// The edit applies a key inside its own KeyPress, after OnKeyPress; the fields judge the key
// between the two. So OnKeyPress runs once, before the filter, and while the edit then applies
// what passed, the event is held aside.
bool judgeKey(TWinControl& Edit, char& Key) {
  const std::string before = Edit.Text();
  Edit.OnKeyPress(&Edit, Key);
  if (Key == 0) return false;
  filterKey(before, Key);
  return Key != 0;
}

class KeyPressAside {
public:
  explicit KeyPressAside(TWinControl& Edit) : slot_(Edit.OnKeyPress), saved_(Edit.OnKeyPress) {
    slot_.Clear();
  }
  ~KeyPressAside() { slot_ = saved_; }

private:
  TKeyPressEvent& slot_;
  TKeyPressEvent saved_;
};

} // namespace

std::string TRegistryTag::GetRegValueName() const {
  return regValueName_.empty() ? self_->Name() : regValueName_;
}

// ---- tagged controls

const TClassInfo& TKVCheckBox::StaticClassInfo() {
  return taggedClassInfo<TKVCheckBox, TCheckBox>("TKVCheckBox");
}
TKVCheckBox::TKVCheckBox(TComponent* AOwner) : TCheckBox(AOwner), TRegistryTag(this) {}

const TClassInfo& TKVDateTimePicker::StaticClassInfo() {
  return taggedClassInfo<TKVDateTimePicker, TDateTimePicker>("TKVDateTimePicker");
}
TKVDateTimePicker::TKVDateTimePicker(TComponent* AOwner) : TDateTimePicker(AOwner), TRegistryTag(this) {}

const TClassInfo& TKVEdit::StaticClassInfo() { return taggedClassInfo<TKVEdit, TEdit>("TKVEdit"); }
TKVEdit::TKVEdit(TComponent* AOwner) : TEdit(AOwner), TRegistryTag(this) {}

const TClassInfo& TKVRadioButton::StaticClassInfo() {
  return taggedClassInfo<TKVRadioButton, TRadioButton>("TKVRadioButton");
}
TKVRadioButton::TKVRadioButton(TComponent* AOwner) : TRadioButton(AOwner), TRegistryTag(this) {}

// ---- density field

const TClassInfo& TDensityEdit::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TDensityEdit, TKVEdit>("TDensityEdit").Build();
  return info;
}

TDensityEdit::TDensityEdit(TComponent* AOwner) : TKVEdit(AOwner) { SetMaxLength(4); }

void TDensityEdit::Change() {
  double v = 0;
  density_ = parseFieldNumber(Text(), 2, v) ? scaledOrNoValue(v * 100) : -1;
  TKVEdit::Change();
}

void TDensityEdit::SetDensityVal(std::int32_t Value) {
  density_ = Value;
  if (Value <= -1)
    SetText(std::string("*") + FormatSettings().DecimalSeparator + "**");
  else
    SetText(FloatToStrF(Value / 100.0, ffNumber, 18, 2));
}

void TDensityEdit::SetDensityValF(double X) { SetDensityVal(scaledOrNoValue(X * 100)); }

void TDensityEdit::DoExit() {
  TKVEdit::DoExit();
  SetDensityVal(DensityVal());
}

void TDensityEdit::KeyPress(char& Key) {
  if (!judgeKey(*this, Key)) return;
  KeyPressAside aside(*this);
  TKVEdit::KeyPress(Key);
}

// ---- temperature field

const TClassInfo& TTempEdit::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TTempEdit, TEdit>("TTempEdit").Build();
  return info;
}

TTempEdit::TTempEdit(TComponent* AOwner) : TEdit(AOwner) { SetMaxLength(4); }

void TTempEdit::Change() {
  double v = 0;
  temp_ = parseFieldNumber(Text(), 1, v) ? scaledOrNoValue(v * 10) : -1;
  TEdit::Change();
}

void TTempEdit::SetTempVal(double X) {
  temp_ = scaledOrNoValue(X * 10);
  if (temp_ <= -1)
    SetText("**.*");
  else
    SetText(FloatToStrF(temp_ / 10.0, ffNumber, 18, 1));
}

void TTempEdit::DoExit() {
  TEdit::DoExit();
  SetTempVal(TempVal());
}

void TTempEdit::KeyPress(char& Key) {
  if (!judgeKey(*this, Key)) return;
  KeyPressAside aside(*this);
  TEdit::KeyPress(Key);
}

// ---- repeat button

const TClassInfo& TTimedSpeedButton::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TTimedSpeedButton, TSpeedButton>("TTimedSpeedButton").Build();
  return info;
}

TTimedSpeedButton::TTimedSpeedButton(TComponent* AOwner) : TSpeedButton(AOwner), TimeBtnState{tbAllowTimer} {}

TTimedSpeedButton::~TTimedSpeedButton() {
  TComponent::Free(repeatTimer_);
  repeatTimer_ = nullptr;
}

void TTimedSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft && Enabled()) held_ = true;
  TSpeedButton::MouseDown(Button, Shift, X, Y);
  if (TimeBtnState.Contains(tbAllowTimer)) {
    if (!repeatTimer_) repeatTimer_ = new TTimer(this);
    repeatTimer_->OnTimer.Bind([this](TObject* Sender) { TimerExpired(Sender); }, "TimerExpired");
    repeatTimer_->SetInterval(400);
    repeatTimer_->SetEnabled(true);
  }
}

void TTimedSpeedButton::MouseMove(TShiftState Shift, int X, int Y) {
  if (MouseCapture() && held_ != PtInRect(ClientRect(), TPoint{X, Y})) held_ = !held_;
  TSpeedButton::MouseMove(Shift, X, Y);
}

void TTimedSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == TMouseButton::mbLeft) held_ = false;
  TSpeedButton::MouseUp(Button, Shift, X, Y);
  if (repeatTimer_) repeatTimer_->SetEnabled(false);
}

void TTimedSpeedButton::TimerExpired(TObject*) {
  repeatTimer_->SetInterval(100);
  if (IsDown() && MouseCapture()) {
    try {
      // The plain click: a button of a group goes down or up as the user lets it go, not with
      // every repetition.
      TControl::Click();
    } catch (...) {
      repeatTimer_->SetEnabled(false);
      throw;
    }
  }
}

// ---- registration

void Register() {
  RegisterComponents("Korvalis", {&TKVCheckBox::StaticClassInfo()});
  RegisterComponents("Korvalis", {&TKVDateTimePicker::StaticClassInfo()});
  RegisterComponents("Korvalis", {&TKVEdit::StaticClassInfo()});
  RegisterComponents("Korvalis", {&TKVRadioButton::StaticClassInfo()});
  RegisterComponents("Korvalis", {&TDensityEdit::StaticClassInfo()});
  RegisterComponents("Korvalis", {&TTempEdit::StaticClassInfo()});
  RegisterComponents("Korvalis", {&TTimedSpeedButton::StaticClassInfo()});
}

namespace {
const bool classesRegistered =
    (RegisterDateTimePicker(), RegisterButtons(),
     RegisterClasses({&TKVCheckBox::StaticClassInfo(), &TKVDateTimePicker::StaticClassInfo(),
                      &TKVEdit::StaticClassInfo(), &TKVRadioButton::StaticClassInfo(),
                      &TDensityEdit::StaticClassInfo(), &TTempEdit::StaticClassInfo(),
                      &TTimedSpeedButton::StaticClassInfo()}),
     true);
} // namespace

} // namespace KVControls
