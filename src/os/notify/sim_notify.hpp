// The notification area in memory: the icons shown with their pictures and tips, a host that
// can be absent, refuse icons or restart, and mouse activity that a test injects on an icon.
// It behaves as the X11 back end does: an icon added while a host runs stays the owner's
// through a restart of the host and is shown again by the next one.
#pragma once

#include "os/display/sim_display.hpp"
#include "os/notify/mouse_messages.hpp"
#include "os/notify/notify.hpp"
#include "os/post.hpp"

#include <optional>
#include <vector>

namespace os {

class SimNotifyArea final : public NotifyArea {
public:
    // Each icon shown takes a cell of this size in a strip along the bottom edge of the
    // screen, the first one rightmost.
    static constexpr int kCell = 24;

    // `screen`, when given, is where the icons sit: injected mouse activity first moves its
    // pointer onto the icon, as the user's hand would.
    explicit SimNotifyArea(PostFn post, SimDisplay* screen = nullptr);

    bool Add(const NotifyIcon& icon) override;
    bool Modify(const NotifyIcon& icon) override;
    bool Delete(std::uint32_t window, std::uint32_t id) override;

    // The host. Without one, Add answers false; a refusing host answers false as well.
    // A host that quits hides the icons added so far without dropping them (Modify and
    // Delete still act on them), and the next host to start shows them again.
    void SetHostRunning(bool running) { host_running_ = running; }
    void SetRefuse(bool refuse) { refuse_ = refuse; }
    bool HostRunning() const { return host_running_; }

    // The icons on view now (none while no host runs), in the order they were added, with
    // their tips as shown (cut to kMaxNotifyTip characters).
    std::vector<NotifyIcon> Shown() const;
    const NotifyIcon* Find(std::uint32_t window, std::uint32_t id) const;
    // Where an icon on view sits on the screen.
    std::optional<Rect> Bounds(std::uint32_t window, std::uint32_t id) const;

    // The user's hand on an icon on view; false (and nothing posted) when it is not.
    // A click posts down, up; a double click down, up, double click, up; a move one move.
    bool Click(std::uint32_t window, std::uint32_t id, MouseButton button = MouseButton::Left);
    bool DoubleClick(std::uint32_t window, std::uint32_t id,
                     MouseButton button = MouseButton::Left);
    bool Move(std::uint32_t window, std::uint32_t id);

    // Calls of each kind so far, successful or not.
    int adds = 0, modifies = 0, deletes = 0;

private:
    std::vector<NotifyIcon>::iterator Lookup(std::uint32_t window, std::uint32_t id);
    // Moves the pointer onto the icon and posts the mouse messages; false when not on view.
    bool Report(std::uint32_t window, std::uint32_t id, std::initializer_list<std::intptr_t> msgs);

    PostFn post_;
    SimDisplay* screen_;
    bool host_running_ = true;
    bool refuse_ = false;
    std::vector<NotifyIcon> icons_; // every icon the owners hold added, in order
};

} // namespace os
