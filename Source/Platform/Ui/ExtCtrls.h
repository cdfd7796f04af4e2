// The timer component.
#pragma once

#include "Platform/Rtl/Classes.h"
#include "Platform/Rtl/TypInfo.h"
#include "Platform/Ui/WinApi.h"

namespace kv::platform {

// Fires OnTimer every Interval milliseconds while Enabled (and OnTimer is assigned), through
// a hidden window of its own.
class TTimer : public TComponent {
  KV_CLASS_INFO(TTimer)
public:
  explicit TTimer(TComponent* AOwner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool Value);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned Value);
  TNotifyEvent OnTimer;
  void Loaded() override;

protected:
  virtual void Timer();

private:
  void updateTimer();
  HWND window_ = 0;
  bool enabled_ = true;
  unsigned interval_ = 1000;
};

} // namespace kv::platform
