// Small controls of the family's input forms: standard inputs tagged for saving in the registry
// (the host form reads and writes the registry; the controls only carry the tag), numeric fields
// with fixed decimals that keep their value as a scaled integer, and a speed button that repeats
// its click while it is held down.
#pragma once

#include "Platform/Rtl/Sets.h"
#include "Platform/Ui/Buttons.h"
#include "Platform/Ui/DateTimePicker.h"
#include "Platform/Ui/ExtCtrls.h"
#include "Platform/Ui/StdCtrls.h"

#include <cstdint>
#include <string>

namespace KVControls {

using kv::platform::TComponent;
using kv::platform::TMouseButton;
using kv::platform::TShiftState;

// The registry tag shared by the tagged controls.
class TRegistryTag {
public:
  bool SaveToRegistry() const { return saveToRegistry_; }
  void SetSaveToRegistry(bool Value) { saveToRegistry_ = Value; }
  // The stored value name, or the control's name while none is stored.
  std::string GetRegValueName() const;
  void SetRegValueName(const std::string& Value) { regValueName_ = Value; }

protected:
  explicit TRegistryTag(const TComponent* Self) : self_(Self) {}

private:
  const TComponent* self_;
  bool saveToRegistry_ = true;
  std::string regValueName_;
};

class TKVCheckBox : public kv::platform::TCheckBox, public TRegistryTag {
  KV_CLASS_INFO(TKVCheckBox)
public:
  explicit TKVCheckBox(TComponent* AOwner);
};

class TKVDateTimePicker : public kv::platform::TDateTimePicker, public TRegistryTag {
  KV_CLASS_INFO(TKVDateTimePicker)
public:
  explicit TKVDateTimePicker(TComponent* AOwner);
};

class TKVEdit : public kv::platform::TEdit, public TRegistryTag {
  KV_CLASS_INFO(TKVEdit)
public:
  explicit TKVEdit(TComponent* AOwner);
};

class TKVRadioButton : public kv::platform::TRadioButton, public TRegistryTag {
  KV_CLASS_INFO(TKVRadioButton)
public:
  explicit TKVRadioButton(TComponent* AOwner);
};

// A density with two decimals, kept in hundredths (-1: no valid value, also for a value that no
// 32-bit count of hundredths holds).
class TDensityEdit : public TKVEdit {
  KV_CLASS_INFO(TDensityEdit)
public:
  explicit TDensityEdit(TComponent* AOwner);
  std::int32_t DensityVal() const { return GetDensityVal(); }
  std::int32_t GetDensityVal() const { return density_; }
  // Stores the value and shows it: *,** (with the locale's separator) for -1 or less.
  void SetDensityVal(std::int32_t Value);
  double DensityValF() const { return GetDensityValF(); }
  double GetDensityValF() const { return density_ / 100.0; }
  void SetDensityValF(double X);

protected:
  void Change() override;
  void DoExit() override;
  void KeyPress(char& Key) override;

private:
  std::int32_t density_ = -1;
};

// A temperature with one decimal, kept in tenths (-1: no value, after a text that is not a
// number or a value that no 32-bit count of tenths holds).
class TTempEdit : public kv::platform::TEdit {
  KV_CLASS_INFO(TTempEdit)
public:
  explicit TTempEdit(TComponent* AOwner);
  double TempVal() const { return GetTempVal(); }
  double GetTempVal() const { return temp_ / 10.0; }
  void SetTempVal(double X);
  std::int32_t TempTenths() const { return temp_; }

protected:
  void Change() override;
  void DoExit() override;
  void KeyPress(char& Key) override;

private:
  std::int32_t temp_ = 0;
};

enum class TTimeBtnStateItem { tbFocusRect, tbAllowTimer };
using TTimeBtnState = kv::platform::TSet<TTimeBtnStateItem>;
inline constexpr auto tbFocusRect = TTimeBtnStateItem::tbFocusRect;
inline constexpr auto tbAllowTimer = TTimeBtnStateItem::tbAllowTimer;

// Clicks once 400 ms after the press and then every 100 ms while it stays pressed and captured.
class TTimedSpeedButton : public kv::platform::TSpeedButton {
  KV_CLASS_INFO(TTimedSpeedButton)
public:
  explicit TTimedSpeedButton(TComponent* AOwner);
  ~TTimedSpeedButton() override;
  TTimeBtnState TimeBtnState;
  kv::platform::TTimer* RepeatTimer() const { return repeatTimer_; }
  // Pressed: held with the pointer over it. A button of a group that stays down is not pressed
  // by that, so it does not repeat.
  bool IsDown() const { return held_; }

protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void TimerExpired(kv::platform::TObject* Sender);

private:
  kv::platform::TTimer* repeatTimer_ = nullptr;
  bool held_ = false;
};

void Register();

} // namespace KVControls
