// Global shortcuts through the desktop portal (org.freedesktop.portal.GlobalShortcuts) on
// the session bus: register the application id, create a session, bind the shortcuts, and
// turn the portal's Activated signals into posted messages.
//
// The bus connection belongs to someone else, who reads it whenever it is readable (sd-bus's
// sd_bus_process); every call here is asynchronous and nothing waits. When the portal or its
// GlobalShortcuts interface is not there, `unavailable` runs (from inside that processing),
// so that the owner can use another way. A portal that refuses, is cancelled by the user or
// never answers leaves the program as it was, with one line on standard error at most.
#pragma once

#include "os/shortcuts/shortcuts.hpp"

#include <functional>
#include <string>
#include <vector>

struct sd_bus;
struct sd_bus_slot;
struct sd_bus_message;

namespace os {

class PortalShortcuts final : public GlobalShortcuts {
public:
    static constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
    static constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

    // `app_id` is the desktop entry's name without ".desktop".
    PortalShortcuts(sd_bus* bus, std::string app_id, PostFn post,
                    std::function<void()> unavailable);
    ~PortalShortcuts() override;
    PortalShortcuts(const PortalShortcuts&) = delete;
    PortalShortcuts& operator=(const PortalShortcuts&) = delete;

    void Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
               std::uint32_t message) override;

    // What the portal answered about the bound shortcuts: "record=Ctrl+Alt+R", in its order.
    const std::vector<std::string>& Bound() const { return bound_; }

private:
    enum class Step { Idle, Registering, CreatingSession, Binding, Bound, Failed };
    struct Callbacks;
    friend struct Callbacks;

    void CreateSession();
    void Bind();
    // Subscribes to the Response of the request with this token, then returns its path.
    std::string ExpectResponse(const std::string& token);
    void Fail(const std::string& why);
    void GiveUp(); // the portal is not there: someone else's turn

    sd_bus* bus_;
    std::string app_id_;
    PostFn post_;
    std::function<void()> unavailable_;
    std::vector<Shortcut> shortcuts_;
    std::uint32_t window_ = 0;
    std::uint32_t message_ = 0;
    Step step_ = Step::Idle;
    std::string sender_; // our unique name as it appears in request paths
    std::string session_;
    std::vector<std::string> bound_;
    unsigned next_token_ = 1;
    sd_bus_slot* call_ = nullptr;
    sd_bus_slot* response_ = nullptr;
    sd_bus_slot* activated_ = nullptr;
};

} // namespace os
