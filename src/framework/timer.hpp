// TTimer: raises OnTimer every Interval milliseconds on the user-interface thread, through
// a window handle of its own. It runs while Enabled, Interval is above 0 and OnTimer is set.
#pragma once

#include "framework/components.hpp"
#include "framework/events.hpp"
#include "framework/message_loop.hpp"

namespace fw {

class TTimer : public TComponent, private MessageTarget {
    FW_CLASS(TTimer, TComponent)
public:
    explicit TTimer(TComponent* owner);
    ~TTimer() override;
    static void Describe(TClassBuilder<TTimer>& c);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned value);
    TNotifyEvent OnTimer() const { return on_timer_; }
    void SetOnTimer(TNotifyEvent value);

protected:
    // Raises OnTimer.
    virtual void Timer();

private:
    void UpdateTimer();
    // Its own target rather than a hidden window's function: one call less on the path that
    // an idle program runs a hundred times a second.
    void WndProc(TMessage& message) override;

    bool enabled_ = true;
    unsigned interval_ = 1000;
    TNotifyEvent on_timer_;
    HWND handle_;
};

} // namespace fw
