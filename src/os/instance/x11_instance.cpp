// The instance claim as an X selection: taking it under a server grab, asking its owner to
// activate, and the owner's side of both.
#include "os/instance/x11_instance.hpp"

#include "os/display/x11_display.hpp"
#include "os/display/x11_errors.hpp"

#include <X11/Xatom.h>

#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace os {

X11InstanceClaim::X11InstanceClaim(X11Display& display, PostFn post)
    : display_(display), dpy_(display.Connection()), post_(std::move(post)) {
    const int screen = DefaultScreen(dpy_);
    std::string selection = "_MIRELO_INSTANCE_S" + std::to_string(screen);
    char* names[] = {selection.data(),
                     const_cast<char*>("_MIRELO_ACTIVATE"),
                     const_cast<char*>("_MIRELO_TIMESTAMP"),
                     const_cast<char*>("_MIRELO_COMMAND"),
                     const_cast<char*>("_MIRELO_ANSWER"),
                     const_cast<char*>("UTF8_STRING")};
    Atom atoms[6] = {};
    XInternAtoms(dpy_, names, 6, False, atoms);
    selection_ = atoms[0];
    activate_ = atoms[1];
    stamp_ = atoms[2];
    command_ = atoms[3];
    answer_ = atoms[4];
    utf8_ = atoms[5];
    // Never mapped, never managed: it only owns the selection and receives requests.
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.event_mask = PropertyChangeMask;
    window_ = XCreateWindow(dpy_, RootWindow(dpy_, screen), -1, -1, 1, 1, 0, 0, InputOnly,
                            CopyFromParent, CWOverrideRedirect | CWEventMask, &attrs);
    XStoreName(dpy_, window_, "mirelo instance");
    const long pid = static_cast<long>(getpid());
    XChangeProperty(dpy_, window_, XInternAtom(dpy_, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
    display_.AddEventFilter(this, [this](XEvent& ev) { return Filter(ev); });
    XFlush(dpy_);
}

X11InstanceClaim::~X11InstanceClaim() {
    display_.RemoveEventFilter(this);
    XDestroyWindow(dpy_, window_);
    XFlush(dpy_);
}

Time X11InstanceClaim::ServerTime() {
    XChangeProperty(dpy_, window_, stamp_, XA_INTEGER, 8, PropModeAppend, nullptr, 0);
    XEvent ev;
    // Events of other windows read meanwhile stay queued for the display.
    XIfEvent(
        dpy_, &ev,
        [](::Display*, XEvent* e, XPointer arg) -> Bool {
            const auto* self = reinterpret_cast<const X11InstanceClaim*>(arg);
            return e->type == PropertyNotify && e->xproperty.window == self->window_ &&
                   e->xproperty.atom == self->stamp_;
        },
        reinterpret_cast<XPointer>(this));
    return ev.xproperty.time;
}

bool X11InstanceClaim::Claim() {
    if (claimed_) return true;
    // Under a grab, nobody can take the selection between our look and our take: of two
    // starts at the same moment exactly one becomes the owner.
    XGrabServer(dpy_);
    const Time now = ServerTime();
    if (XGetSelectionOwner(dpy_, selection_) == None)
        XSetSelectionOwner(dpy_, selection_, window_, now);
    claimed_ = XGetSelectionOwner(dpy_, selection_) == window_;
    XUngrabServer(dpy_);
    XFlush(dpy_);
    return claimed_;
}

bool X11InstanceClaim::RequestActivation() {
    const ::Window owner = XGetSelectionOwner(dpy_, selection_);
    if (owner == None) return false;
    if (owner == window_) return true;
    return SendToOwner(owner, activate_);
}

bool X11InstanceClaim::SendToOwner(::Window owner, Atom message) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = owner;
    ev.xclient.message_type = message;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(ServerTime());
    ev.xclient.data.l[1] = static_cast<long>(window_);
    // The owner may have ended since we looked: its window is gone, and the send fails.
    x11::ErrorTrap trap(dpy_);
    XSendEvent(dpy_, owner, False, NoEventMask, &ev);
    return trap.Sync() == 0;
}

void X11InstanceClaim::SetActivationTarget(std::uint32_t window, std::uint32_t message) {
    target_window_ = window;
    target_message_ = message;
}

bool X11InstanceClaim::Filter(XEvent& ev) {
    if (ev.xany.window != window_) return false;
    switch (ev.type) {
    case ClientMessage:
        if (ev.xclient.message_type == command_ && ev.xclient.format == 32 && claimed_)
            ReceiveCommand(ev.xclient);
        if (ev.xclient.message_type == activate_ && ev.xclient.format == 32 && claimed_ &&
            target_window_ && post_) {
            // The server's time stamp is 32 bits wide, whatever a long holds.
            const auto stamp = static_cast<std::uintptr_t>(ev.xclient.data.l[0] & 0xFFFFFFFF);
            post_(target_window_, target_message_, stamp, 0);
        }
        break;
    case SelectionClear:
        // Taken over by someone who did not ask: we go on running, just no longer first.
        // Any client can send a SelectionClear of its own making, so only the server's
        // word counts, and only when the server agrees that the owner has changed.
        if (!ev.xany.send_event && ev.xselectionclear.selection == selection_ &&
            XGetSelectionOwner(dpy_, selection_) != window_)
            claimed_ = false;
        break;
    case SelectionRequest:
        Refuse(ev.xselectionrequest);
        break;
    default:
        break;
    }
    return true;
}

void X11InstanceClaim::Refuse(const XSelectionRequestEvent& request) {
    // The claim has no contents to convert; a requester waits for an answer, so say none.
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.property = None;
    reply.xselection.time = request.time;
    XSendEvent(dpy_, request.requestor, False, NoEventMask, &reply);
    XFlush(dpy_);
}

// ---- Commands -----------------------------------------------------------------------------

bool X11InstanceClaim::SendCommand(const std::string& command) {
    if (command.size() > kMaxCommand) return false;
    const ::Window owner = XGetSelectionOwner(dpy_, selection_);
    if (owner == None) return false;
    if (owner == window_) {
        const std::uintptr_t serial = next_serial_++;
        pending_[serial] = Pending{0, command};
        if (target_window_ && post_)
            post_(target_window_, target_message_, 0, static_cast<std::intptr_t>(serial));
        return true;
    }
    // An answer to an earlier command must not pass for this one's.
    XDeleteProperty(dpy_, window_, answer_);
    XChangeProperty(dpy_, window_, command_, utf8_, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(command.data()),
                    static_cast<int>(command.size()));
    return SendToOwner(owner, command_);
}

std::optional<InstanceClaim::Answer>
X11InstanceClaim::AwaitAnswer(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        XEvent ev;
        while (XCheckTypedWindowEvent(dpy_, window_, ClientMessage, &ev)) {
            if (ev.xclient.message_type != answer_ || ev.xclient.format != 32) continue;
            Answer answer;
            answer.status = static_cast<int>(ev.xclient.data.l[0]);
            answer.text = TakeText(window_, answer_).value_or("");
            return answer;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd fd{ConnectionNumber(dpy_), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left.count()) + 1);
    }
}

std::optional<std::string> X11InstanceClaim::TakeText(::Window window, Atom property) {
    x11::ErrorTrap trap(dpy_);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(dpy_, window, property, 0, kMaxCommand / 4, True,
                                          AnyPropertyType, &type, &format, &count, &after, &data);
    std::optional<std::string> text;
    if (trap.Sync() == 0 && status == Success && data && format == 8 && after == 0 &&
        (type == utf8_ || type == XA_STRING))
        text.emplace(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    return text;
}

void X11InstanceClaim::ReceiveCommand(const XClientMessageEvent& message) {
    const auto sender = static_cast<::Window>(message.data.l[1]);
    if (!sender || !target_window_ || !post_) return;
    std::optional<std::string> text = TakeText(sender, command_);
    if (!text) return;
    const std::uintptr_t serial = next_serial_++;
    pending_[serial] = Pending{sender, std::move(*text)};
    const auto stamp = static_cast<std::uintptr_t>(message.data.l[0] & 0xFFFFFFFF);
    post_(target_window_, target_message_, stamp, static_cast<std::intptr_t>(serial));
}

std::string X11InstanceClaim::Command(std::uintptr_t serial) const {
    const auto it = pending_.find(serial);
    return it == pending_.end() ? std::string() : it->second.text;
}

void X11InstanceClaim::AnswerCommand(std::uintptr_t serial, const Answer& answer) {
    const auto it = pending_.find(serial);
    if (it == pending_.end()) return;
    const ::Window sender = it->second.sender;
    pending_.erase(it);
    if (!sender) return;
    // The sender may have given up and ended: its window is gone, and that is all.
    x11::ErrorTrap trap(dpy_);
    const std::string text = answer.text.substr(0, kMaxCommand);
    XChangeProperty(dpy_, sender, answer_, utf8_, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()),
                    static_cast<int>(text.size()));
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = sender;
    ev.xclient.message_type = answer_;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = answer.status;
    XSendEvent(dpy_, sender, False, NoEventMask, &ev);
    trap.Sync();
}

} // namespace os
