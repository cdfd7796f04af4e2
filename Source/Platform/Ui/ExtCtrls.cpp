#include "Platform/Ui/ExtCtrls.h"

#include "Platform/Ui/Forms.h"

namespace kv::platform {

const TClassInfo& TTimer::StaticClassInfo() {
  static const TClassInfo info = TClassBuilder<TTimer, TComponent>("TTimer")
                                     .Bool("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true)
                                     .Int("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000)
                                     .Event("OnTimer", &TTimer::OnTimer)
                                     .Build();
  return info;
}

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {
  window_ = CreateWindowEx(0, "TTimerWindow", "", WS_POPUP, 0, 0, 0, 0, 0,
                           [this](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
                             if (msg != WM_TIMER) return DefWindowProc(h, msg, w, l);
                             try {
                               Timer();
                             } catch (const std::exception& e) {
                               Application().HandleException(e);
                             }
                             return 0;
                           });
  updateTimer();
}

TTimer::~TTimer() {
  OnTimer.Clear();
  if (window_) DestroyWindow(window_);
}

void TTimer::updateTimer() {
  if (!window_) return;
  KillTimer(window_, 1);
  if (interval_ != 0 && enabled_) SetTimer(window_, 1, interval_);
}

void TTimer::SetEnabled(bool Value) {
  if (enabled_ == Value) return;
  enabled_ = Value;
  updateTimer();
}

void TTimer::SetInterval(unsigned Value) {
  if (interval_ == Value) return;
  interval_ = Value;
  updateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  updateTimer();
}

void TTimer::Timer() { OnTimer(this); }

} // namespace kv::platform
