// The instance claim on an X display: the selection _MIRELO_INSTANCE_S<screen>, owned by a
// hidden window of ours. The X server gives a selection up when its owner's connection
// closes, so the claim ends with the process that held it, however it ended.
//
// A later start sends the owner window a _MIRELO_ACTIVATE client message carrying its
// server time stamp; the holder posts it to the activation target. A command travels as the
// property _MIRELO_COMMAND of the sender's window, announced by a _MIRELO_COMMAND client
// message; the answer comes back the same way as _MIRELO_ANSWER.
#pragma once

#include "os/instance/instance.hpp"
#include "os/post.hpp"

#include <X11/Xlib.h>

#include <map>

namespace os {

class X11Display;

class X11InstanceClaim final : public InstanceClaim {
public:
    // Shares the display's connection, for the display's default screen, and sees its
    // events first for as long as it lives.
    X11InstanceClaim(X11Display& display, PostFn post);
    // Destroys the owner window, which gives the claim up.
    ~X11InstanceClaim() override;
    X11InstanceClaim(const X11InstanceClaim&) = delete;
    X11InstanceClaim& operator=(const X11InstanceClaim&) = delete;

    bool Claim() override;
    bool Claimed() const override { return claimed_; }
    bool RequestActivation() override;
    void SetActivationTarget(std::uint32_t window, std::uint32_t message) override;
    bool SendCommand(const std::string& command) override;
    std::optional<Answer> AwaitAnswer(std::chrono::milliseconds limit) override;
    std::string Command(std::uintptr_t serial) const override;
    void AnswerCommand(std::uintptr_t serial, const Answer& answer) override;

    // The hidden window that owns the selection while we hold it.
    ::Window OwnerWindow() const { return window_; }

private:
    // The server's time now, read from the notification of an empty property append.
    Time ServerTime();
    // A client message from our window to the holder of the claim; false when it is gone.
    bool SendToOwner(::Window owner, Atom message);
    // True for events that concern the owner window.
    bool Filter(XEvent& ev);
    void Refuse(const XSelectionRequestEvent& request);
    void ReceiveCommand(const XClientMessageEvent& message);
    // Text of at most kMaxCommand bytes from a property of `window`, deleted as it is read;
    // nothing when the window or property is gone or not text.
    std::optional<std::string> TakeText(::Window window, Atom property);
    struct Pending {
        ::Window sender; // 0: sent to ourselves
        std::string text;
    };

    X11Display& display_;
    ::Display* dpy_;
    PostFn post_;
    Atom selection_ = None;
    Atom activate_ = None;
    Atom stamp_ = None;
    Atom command_ = None;
    Atom answer_ = None;
    Atom utf8_ = None;
    std::map<std::uintptr_t, Pending> pending_;
    std::uintptr_t next_serial_ = 1;
    ::Window window_ = 0;
    bool claimed_ = false;
    std::uint32_t target_window_ = 0;
    std::uint32_t target_message_ = 0;
};

} // namespace os
