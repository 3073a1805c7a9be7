// The notification area of a real desktop: a StatusNotifierItem where a watcher is on the
// session bus, else the XEmbed system tray of the X display. An icon moves between the two
// when the watcher comes or goes, or when the bus goes away; a bus that is missing is
// looked for again at an Add, at most once a minute.
#pragma once

#include "os/notify/notify.hpp"
#include "os/post.hpp"

#include <list>
#include <memory>

namespace os {

class SessionBus;
class SniNotifyArea;
class X11Display;
class XEmbedNotifyArea;

class TrayNotifyArea final : public NotifyArea {
public:
    // `bus` is the program's session bus connection, shared with other clients.
    TrayNotifyArea(X11Display& display, SessionBus& bus, PostFn post);
    ~TrayNotifyArea() override;
    TrayNotifyArea(const TrayNotifyArea&) = delete;
    TrayNotifyArea& operator=(const TrayNotifyArea&) = delete;

    // False when neither a watcher nor a tray host takes the icon. Once added, an icon is
    // ours until Delete, and is shown wherever a host for it appears.
    bool Add(const NotifyIcon& icon) override;
    bool Modify(const NotifyIcon& icon) override;
    bool Delete(std::uint32_t window, std::uint32_t id) override;

    enum class Host { Nowhere, XEmbed, StatusNotifier };
    // Where an icon is shown now.
    Host Where(std::uint32_t window, std::uint32_t id) const;
    XEmbedNotifyArea& XEmbed() { return *xembed_; }
    // The session bus side while connected, else null.
    SniNotifyArea* Sni();

private:
    struct Icon {
        NotifyIcon data;
        Host host = Host::Nowhere;
    };

    void MoveAll();
    // Shows the icon on the StatusNotifier side when a watcher is there, else through XEmbed.
    void Place(Icon& icon);
    Icon* Find(std::uint32_t window, std::uint32_t id);

    SessionBus& bus_;
    std::unique_ptr<XEmbedNotifyArea> xembed_;
    std::unique_ptr<SniNotifyArea> sni_;
    std::list<Icon> icons_;
};

} // namespace os
