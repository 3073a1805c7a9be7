// The timer component.
#include "framework/timer.hpp"

#include "framework/exception_guard.hpp"

namespace fw {

void TTimer::Describe(TClassBuilder<TTimer>& c) {
    c.Prop("Enabled", &TTimer::Enabled, &TTimer::SetEnabled, true);
    c.Prop("Interval", &TTimer::Interval, &TTimer::SetInterval, 1000u);
    c.Prop("OnTimer", &TTimer::OnTimer, &TTimer::SetOnTimer);
}

TTimer::TTimer(TComponent* owner)
    : TComponent(owner), handle_(MessageLoop::Current().AllocateHandle(this)) {}

TTimer::~TTimer() {
    enabled_ = false;
    UpdateTimer();
    MessageLoop::Current().DestroyHandle(handle_);
}

void TTimer::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    UpdateTimer();
}

void TTimer::SetInterval(unsigned value) {
    if (value == interval_) return;
    interval_ = value;
    UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent value) {
    on_timer_ = value;
    UpdateTimer();
}

void TTimer::UpdateTimer() {
    auto& loop = MessageLoop::Current();
    loop.KillTimer(handle_, 1);
    if (enabled_ && interval_ != 0 && on_timer_.Assigned()) loop.SetTimer(handle_, 1, interval_);
}

[[gnu::hot]] void TTimer::WndProc(TMessage& message) {
    if (message.Msg != WM_TIMER) return;
    Guarded(this, [this] { Timer(); });
}

[[gnu::hot]] void TTimer::Timer() {
    if (on_timer_.Assigned()) on_timer_(this);
}

} // namespace fw
