// The notification area on a desktop with a StatusNotifierWatcher: on a private session bus,
// a small watcher of our own (sd-bus, on a thread of its own) takes the item's registration,
// reads its properties and calls it as a host does; when the watcher goes the icon docks
// into trayer through XEmbed, when it comes back the item registers again, and when the bus
// itself goes the icon docks into trayer once more, until an Add finds a bus again. And the
// program: minimised, it shows an item, whose Activate brings the window back in front. GoogleTest
// first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include "desktop.hpp"
#include "e2e_support.hpp"
#include "x11_query.hpp"

#include "os/notify/sni_notify.hpp"
#include "os/notify/tray_notify.hpp"
#include "os/notify/xembed_notify.hpp"
#include "os/real_platform.hpp"

#include <X11/Xlib.h>
#include <systemd/sd-bus.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kOwner = 52, kId = 1, kCallback = 0xB054;
constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";

// A bus connection to `address`, retried while the daemon is starting; null after 10 s.
sd_bus* OpenBus(const std::string& address) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    do {
        sd_bus* bus = nullptr;
        const char* unique = nullptr;
        if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, address.c_str()) >= 0 &&
            sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
            sd_bus_get_unique_name(bus, &unique) >= 0)
            return bus;
        sd_bus_unref(bus);
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
}

// What a host reads from an item.
struct ItemView {
    std::string title, tooltip_title;
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};

// org.kde.StatusNotifierWatcher, just enough of it: records the items registered while their
// names are owned, and the signals of items, and runs host calls on its own thread so that the
// item's side (the test's thread) can answer them.
class TestWatcher {
public:
    explicit TestWatcher(const std::string& address) : bus_(OpenBus(address)) {
        static const sd_bus_vtable kVtable[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", OnRegister, 0),
            SD_BUS_SIGNAL("StatusNotifierItemRegistered", "s", 0),
            SD_BUS_VTABLE_END,
        };
        if (!bus_ ||
            sd_bus_add_object_vtable(bus_, nullptr, "/StatusNotifierWatcher",
                                     os::SniNotifyArea::kWatcherName, kVtable, this) < 0 ||
            sd_bus_add_match(bus_, nullptr, "type='signal',interface='org.kde.StatusNotifierItem'",
                             OnSignal, this) < 0 ||
            sd_bus_match_signal(bus_, nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameOwnerChanged", OnNameOwner,
                                this) < 0 ||
            sd_bus_request_name(bus_, os::SniNotifyArea::kWatcherName, 0) < 0)
            throw std::runtime_error("the test watcher cannot start");
        thread_ = std::thread([this] { Run(); });
    }
    ~TestWatcher() {
        stop_ = true;
        thread_.join();
        sd_bus_flush_close_unref(bus_);
    }

    std::vector<std::string> Items() {
        std::lock_guard lock(mutex_);
        return items_;
    }
    std::vector<std::string> Signals() {
        std::lock_guard lock(mutex_);
        return signals_;
    }

    // Runs `task` with the watcher's connection on its thread.
    template <class T> std::future<T> Do(std::function<T(sd_bus*)> task) {
        auto job = std::make_shared<std::packaged_task<T(sd_bus*)>>(std::move(task));
        std::lock_guard lock(mutex_);
        tasks_.push_back([job](sd_bus* bus) { (*job)(bus); });
        return job->get_future();
    }

    // A host's look at an item: its title, tooltip title and first pixmap.
    static ItemView Read(sd_bus* bus, const std::string& item) {
        ItemView v;
        sd_bus_error error{};
        char* title = nullptr;
        if (sd_bus_get_property_string(bus, item.c_str(), os::SniNotifyArea::kItemPath,
                                       kItemInterface, "Title", &error, &title) >= 0)
            v.title = title;
        free(title);
        sd_bus_message* reply = nullptr;
        const char *icon_name = nullptr, *tip = nullptr, *text = nullptr;
        if (sd_bus_get_property(bus, item.c_str(), os::SniNotifyArea::kItemPath, kItemInterface,
                                "ToolTip", &error, &reply, "(sa(iiay)ss)") >= 0 &&
            sd_bus_message_enter_container(reply, 'r', "sa(iiay)ss") >= 0 &&
            sd_bus_message_read(reply, "s", &icon_name) >= 0 &&
            sd_bus_message_skip(reply, "a(iiay)") >= 0 &&
            sd_bus_message_read(reply, "ss", &tip, &text) >= 0)
            v.tooltip_title = tip;
        reply = sd_bus_message_unref(reply);
        const void* bytes = nullptr;
        std::size_t size = 0;
        if (sd_bus_get_property(bus, item.c_str(), os::SniNotifyArea::kItemPath, kItemInterface,
                                "IconPixmap", &error, &reply, "a(iiay)") >= 0 &&
            sd_bus_message_enter_container(reply, 'a', "(iiay)") > 0 &&
            sd_bus_message_enter_container(reply, 'r', "iiay") > 0 &&
            sd_bus_message_read(reply, "ii", &v.width, &v.height) >= 0 &&
            sd_bus_message_read_array(reply, 'y', &bytes, &size) >= 0) {
            const auto* b = static_cast<const std::uint8_t*>(bytes);
            v.pixels.assign(b, b + size);
        }
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
        return v;
    }

    static bool Call(sd_bus* bus, const std::string& item, const char* method) {
        sd_bus_error error{};
        const int r = sd_bus_call_method(bus, item.c_str(), os::SniNotifyArea::kItemPath,
                                         kItemInterface, method, &error, nullptr, "ii", 5, 5);
        sd_bus_error_free(&error);
        return r >= 0;
    }

    // How many connections the process `pid` has to the bus.
    static int Connections(sd_bus* bus, pid_t pid) {
        char** names = nullptr;
        int count = 0;
        if (sd_bus_list_names(bus, &names, nullptr) < 0) return -1;
        for (char** n = names; *n; ++n) {
            std::uint32_t owner = 0;
            sd_bus_message* reply = nullptr;
            if (**n == ':' &&
                sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus", "GetConnectionUnixProcessID", nullptr,
                                   &reply, "s", *n) >= 0 &&
                sd_bus_message_read(reply, "u", &owner) >= 0 && owner == std::uint32_t(pid))
                ++count;
            sd_bus_message_unref(reply);
            free(*n);
        }
        free(names);
        return count;
    }

    static bool Owned(sd_bus* bus, const std::string& name) {
        sd_bus_message* reply = nullptr;
        int owned = 0;
        if (sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "NameHasOwner", nullptr, &reply, "s",
                               name.c_str()) >= 0)
            sd_bus_message_read(reply, "b", &owned);
        sd_bus_message_unref(reply);
        return owned != 0;
    }

private:
    void Run() {
        while (!stop_) {
            std::deque<std::function<void(sd_bus*)>> tasks;
            {
                std::lock_guard lock(mutex_);
                tasks.swap(tasks_);
            }
            for (auto& t : tasks)
                t(bus_);
            const int r = sd_bus_process(bus_, nullptr);
            if (r < 0) return; // the bus is gone
            if (r == 0) sd_bus_wait(bus_, 20'000);
        }
    }

    static int OnRegister(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* w = static_cast<TestWatcher*>(self);
        if (w->mute_registrations) return 1; // answered never
        const char* service = nullptr;
        if (sd_bus_message_read(m, "s", &service) < 0) return -EINVAL;
        {
            std::lock_guard lock(w->mutex_);
            w->items_.push_back(service);
        }
        sd_bus_emit_signal(w->bus_, "/StatusNotifierWatcher", os::SniNotifyArea::kWatcherName,
                           "StatusNotifierItemRegistered", "s", service);
        return sd_bus_reply_method_return(m, nullptr);
    }

    // As hosts do, an item whose name loses its owner is forgotten.
    static int OnNameOwner(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* w = static_cast<TestWatcher*>(self);
        const char *name = nullptr, *old_owner = nullptr, *new_owner = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) < 0 || *new_owner)
            return 0;
        std::lock_guard lock(w->mutex_);
        std::erase(w->items_, std::string(name));
        return 0;
    }

    static int OnSignal(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* w = static_cast<TestWatcher*>(self);
        std::lock_guard lock(w->mutex_);
        w->signals_.push_back(sd_bus_message_get_member(m));
        return 0;
    }

public:
    std::atomic<bool> mute_registrations{false};

private:
    sd_bus* bus_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> items_, signals_;
    std::deque<std::function<void(sd_bus*)>> tasks_;
    std::thread thread_;
};

os::PixelBuffer Picture(std::uint32_t argb) {
    os::PixelBuffer p(16, 16, 0x00FFFFFF);
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x)
            p.Set(x, y, argb);
    return p;
}

// A private session bus with the test watcher on it, named in DBUS_SESSION_BUS_ADDRESS for
// the test and the programs it starts; and a look at the X server.
class PrivateBus : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    std::string address;
    pid_t daemon = 0;
    std::unique_ptr<TestWatcher> watcher;
    std::optional<e2e::ScopedEnv> bus_address;
    ::Display* probe = nullptr;

    void SetUp() override {
        address = "unix:path=" + Socket();
        StartBus();
        bus_address.emplace("DBUS_SESSION_BUS_ADDRESS", address);
        watcher = std::make_unique<TestWatcher>(address);
        probe = XOpenDisplay(desktop.Display().c_str());
        ASSERT_NE(probe, nullptr);
    }
    void TearDown() override {
        watcher.reset();
        desktop.Stop(daemon);
        bus_address.reset();
        if (probe) XCloseDisplay(probe);
    }

    std::string Socket() const { return desktop.Scratch() + "/sni-bus"; }
    // Starts the program and waits for its window; 0 when it does not come in `limit`.
    ::Window StartMirelo(pid_t& pid, int limit = 15) {
        pid = desktop.Spawn({e2e::MireloProgram()});
        const std::string window = e2e::ShownWindow(desktop, "^Mirelo$", limit);
        return window.empty() ? 0 : std::stoul(window);
    }
    // M, then wait for the icon docked in trayer (the only window of ours on view).
    bool MinimisedToTrayer(::Window xid, std::chrono::milliseconds limit) {
        desktop.Run("xdotool windowactivate --sync " + std::to_string(xid) + " key m");
        return WaitUntil(
            [&] {
                return !Viewable(xid) &&
                       desktop.Run("xdotool search --onlyvisible --class '^Mirelo$' || true") != "";
            },
            limit);
    }
    void StartBus() {
        std::filesystem::remove(Socket());
        daemon = desktop.Spawn(
            {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
    }

    bool Viewable(::Window w) { return e2e::Viewable(probe, w); }
    ::Window Active() {
        const auto active =
            e2e::Property32(probe, DefaultRootWindow(probe),
                            XInternAtom(probe, "_NET_ACTIVE_WINDOW", False), AnyPropertyType);
        return active.size() == 1 ? active[0] : 0;
    }
    // For a program of its own: only waits.
    static bool WaitUntil(const std::function<bool()>& cond,
                          std::chrono::milliseconds limit = 10s) {
        return e2e::Eventually(cond, std::chrono::duration<double>(limit).count());
    }
};

class SniTest : public PrivateBus {
protected:
    std::unique_ptr<os::RealPlatform> platform;
    std::vector<std::intptr_t> clicks;

    void SetUp() override {
        PrivateBus::SetUp();
        platform = os::RealPlatform::Open(desktop.Display());
        platform->SetPoster(
            [this](std::uint32_t w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
                if (w == kOwner && msg == kCallback && wp == kId) clicks.push_back(lp);
                return true;
            });
    }
    void TearDown() override {
        platform.reset();
        PrivateBus::TearDown();
    }

    // Runs the platform's side (its event wait handles the bus) until `cond` holds.
    bool Eventually(const std::function<bool()>& cond, std::chrono::seconds limit = 10s) {
        return e2e::PumpUntil(*platform, cond, static_cast<double>(limit.count()), 20ms);
    }

    template <class T> T Await(std::future<T> f) {
        EXPECT_TRUE(Eventually([&] { return f.wait_for(0s) == std::future_status::ready; }));
        return f.get();
    }

    os::TrayNotifyArea& Tray() { return platform->Tray(); }
    std::string ItemName() { return Tray().Sni() ? Tray().Sni()->BusName(kOwner, kId) : ""; }

    bool Docked() { return e2e::Docked(probe, Tray().XEmbed().IconWindow(kOwner, kId)); }
    bool ShownBy(os::TrayNotifyArea::Host host) { return Tray().Where(kOwner, kId) == host; }
};

TEST_F(SniTest, RegistersAnswersTheHostAndFallsBackToXEmbedWhenTheWatcherOrBusGoes) {
    using Host = os::TrayNotifyArea::Host;
    os::NotifyIcon icon{kOwner, kId, kCallback, Picture(0xFFCC2233), "MIRELO"};
    platform->Bus().Connect();
    ASSERT_TRUE(Eventually([&] { return Tray().Sni() && Tray().Sni()->WatcherPresent(); }));
    ASSERT_TRUE(platform->GetNotify().Add(icon));
    ASSERT_TRUE(ShownBy(Host::StatusNotifier));
    const std::string item = ItemName();
    EXPECT_TRUE(item.starts_with("org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-"));
    ASSERT_TRUE(Eventually([&] { return watcher->Items() == std::vector{item}; }));
    EXPECT_EQ(Tray().XEmbed().IconWindow(kOwner, kId), 0u) << "shown twice";

    // What the host reads: the tip as title and tooltip, the picture as ARGB bytes in
    // network order.
    ItemView v =
        Await(watcher->Do<ItemView>([&](sd_bus* b) { return TestWatcher::Read(b, item); }));
    EXPECT_EQ(v.title, "MIRELO");
    EXPECT_EQ(v.tooltip_title, "MIRELO");
    EXPECT_EQ(v.width, 16);
    EXPECT_EQ(v.height, 16);
    ASSERT_EQ(v.pixels.size(), 16u * 16u * 4u);
    const std::size_t inside = (2 * 16 + 2) * 4;
    EXPECT_EQ(std::vector(v.pixels.begin() + inside, v.pixels.begin() + inside + 4),
              (std::vector<std::uint8_t>{0xFF, 0xCC, 0x22, 0x33}));
    EXPECT_EQ(v.pixels[0], 0x00) << "the margin is transparent";

    // The host's calls arrive as clicks: Activate left, ContextMenu right,
    // SecondaryActivate middle.
    for (const char* method : {"Activate", "ContextMenu", "SecondaryActivate"})
        EXPECT_TRUE(Await(watcher->Do<bool>([&](sd_bus* b) {
            return TestWatcher::Call(b, item, method);
        }))) << method;
    ASSERT_TRUE(Eventually([&] { return clicks.size() >= 6; }));
    EXPECT_EQ(clicks, (std::vector<std::intptr_t>{0x201, 0x202, 0x204, 0x205, 0x207, 0x208}));

    // A change is announced, and read anew.
    icon.picture = Picture(0xFF2244DD);
    icon.tip = "MIRELO 2";
    ASSERT_TRUE(platform->GetNotify().Modify(icon));
    ASSERT_TRUE(Eventually([&] { return watcher->Signals().size() >= 3; }));
    EXPECT_EQ(watcher->Signals(), (std::vector<std::string>{"NewIcon", "NewTitle", "NewToolTip"}));
    v = Await(watcher->Do<ItemView>([&](sd_bus* b) { return TestWatcher::Read(b, item); }));
    EXPECT_EQ(v.title, "MIRELO 2");
    ASSERT_EQ(v.pixels.size(), 16u * 16u * 4u);
    EXPECT_EQ(v.pixels[inside + 3], 0xDD);

    // The watcher goes: the icon docks into trayer as it is now.
    watcher.reset();
    ASSERT_TRUE(Eventually([&] { return ShownBy(Host::XEmbed) && Docked(); }))
        << "not docked through XEmbed after the watcher went";

    // It comes back: the item registers again and leaves the panel.
    watcher = std::make_unique<TestWatcher>(address);
    ASSERT_TRUE(Eventually([&] { return watcher->Items().size() == 1; }))
        << "no registration with the new watcher";
    EXPECT_TRUE(ShownBy(Host::StatusNotifier));
    const std::string again = ItemName();
    EXPECT_EQ(watcher->Items(), std::vector{again});
    EXPECT_EQ(Tray().XEmbed().IconWindow(kOwner, kId), 0u);
    clicks.clear();
    EXPECT_TRUE(Await(
        watcher->Do<bool>([&](sd_bus* b) { return TestWatcher::Call(b, again, "Activate"); })));
    EXPECT_TRUE(Eventually([&] { return clicks.size() >= 2; }));

    // The bus itself goes: the icon is docked again, the connection is let go.
    desktop.Stop(daemon);
    daemon = 0;
    ASSERT_TRUE(Eventually([&] { return ShownBy(Host::XEmbed) && Docked(); }))
        << "not docked through XEmbed after the bus went";
    EXPECT_EQ(Tray().Sni(), nullptr);
    EXPECT_TRUE(platform->GetNotify().Delete(kOwner, kId));
    EXPECT_EQ(Tray().XEmbed().IconWindow(kOwner, kId), 0u);

    // A bus that is back is found at the next Add.
    watcher.reset();
    StartBus();
    watcher = std::make_unique<TestWatcher>(address);
    ASSERT_TRUE(platform->GetNotify().Add(icon));
    EXPECT_TRUE(Eventually([&] { return ShownBy(Host::StatusNotifier); }));
    EXPECT_TRUE(Eventually([&] { return watcher->Items() == std::vector{ItemName()}; }));

    // A watcher that stops answering registrations: its time-out, with nothing to read on
    // the bus, moves the icon to trayer.
    watcher->mute_registrations = true;
    ASSERT_TRUE(platform->GetNotify().Delete(kOwner, kId));
    ASSERT_TRUE(platform->GetNotify().Add(icon));
    EXPECT_TRUE(Eventually([&] { return ShownBy(Host::XEmbed) && Docked(); }, 3s));
}

// The program itself: M registers its item with the watcher instead of docking into trayer,
// and the host's Activate brings the window back in front of another program's.
TEST_F(PrivateBus, TheProgramMinimisedRegistersAnItemWhoseActivateBringsItBackInFront) {
    pid_t mirelo = 0;
    const ::Window xid = StartMirelo(mirelo);
    ASSERT_NE(xid, 0u);
    desktop.Run("xdotool windowactivate --sync " + std::to_string(xid) + " key m");
    ASSERT_TRUE(WaitUntil([&] { return watcher->Items().size() == 1 && !Viewable(xid); }))
        << "no item registered on M: " << watcher->Items().size() << " items, viewable "
        << Viewable(xid);
    const std::string item = watcher->Items()[0];
    ItemView v = watcher->Do<ItemView>([&](sd_bus* b) { return TestWatcher::Read(b, item); }).get();
    EXPECT_EQ(v.title, "MIRELO");
    EXPECT_EQ(v.tooltip_title, "MIRELO");
    EXPECT_EQ(v.width, 16);
    EXPECT_EQ(v.height, 16);
    EXPECT_EQ(desktop.Run("xdotool search --onlyvisible --class '^Mirelo$' || true"), "")
        << "a window or a docked icon is on view";

    const pid_t other = desktop.Spawn({"xlogo", "-geometry", "300x300+700+420"});
    ASSERT_TRUE(WaitUntil([&] { return Active() != 0 && Active() != xid; }))
        << "xlogo did not become the active window";
    EXPECT_TRUE(
        watcher->Do<bool>([&](sd_bus* b) { return TestWatcher::Call(b, item, "Activate"); }).get());
    EXPECT_TRUE(WaitUntil([&] { return Viewable(xid) && Active() == xid; }))
        << "not back in front: active " << Active() << ", Mirelo " << xid;
    // Back from the tray, the item is gone from the bus.
    EXPECT_TRUE(WaitUntil([&] {
        return !watcher->Do<bool>([&](sd_bus* b) { return TestWatcher::Owned(b, item); }).get();
    })) << item
        << " is still on the bus";
    desktop.Stop(other);
    desktop.Stop(mirelo);
}

// Showing and hiding the item never leaves a ghost with the watcher: none while the window
// is shown, exactly one while minimised, under the same name every time.
TEST_F(PrivateBus, EachMinimiseShowsExactlyOneItemAndEachRestoreNone) {
    pid_t mirelo = 0;
    const ::Window xid = StartMirelo(mirelo);
    ASSERT_NE(xid, 0u);
    std::this_thread::sleep_for(1s); // what the start would register has had time to come
    EXPECT_EQ(watcher->Items().size(), 0u) << "items after start";
    std::set<std::string> names;
    for (int round = 0; round < 10; ++round) {
        desktop.Run("xdotool windowactivate --sync " + std::to_string(xid) + " key m");
        ASSERT_TRUE(WaitUntil([&] { return !watcher->Items().empty() && !Viewable(xid); }));
        std::this_thread::sleep_for(100ms);
        const std::vector<std::string> items = watcher->Items();
        ASSERT_EQ(items.size(), 1u) << "round " << round;
        names.insert(items[0]);
        EXPECT_TRUE(
            watcher->Do<bool>([&](sd_bus* b) { return TestWatcher::Call(b, items[0], "Activate"); })
                .get());
        ASSERT_TRUE(WaitUntil([&] { return Viewable(xid) && watcher->Items().empty(); }))
            << "round " << round << ": " << watcher->Items().size() << " items after restore";
    }
    EXPECT_EQ(names.size(), 1u) << "one bus name for the icon";
    EXPECT_EQ(
        watcher->Do<int>([&](sd_bus* b) { return TestWatcher::Connections(b, mirelo); }).get(), 1);
    desktop.Stop(mirelo);
}

// A watcher that owns its name but never answers: M docks the icon into trayer in time.
TEST_F(PrivateBus, ASilentWatcherLeavesTheIconToTrayer) {
    watcher.reset();
    sd_bus* silent = OpenBus(address);
    ASSERT_NE(silent, nullptr);
    ASSERT_GE(sd_bus_request_name(silent, os::SniNotifyArea::kWatcherName, 0), 0);
    pid_t mirelo = 0;
    const ::Window xid = StartMirelo(mirelo);
    ASSERT_NE(xid, 0u);
    EXPECT_TRUE(MinimisedToTrayer(xid, 3s)) << "no docked icon within 3 s of M";
    desktop.Stop(mirelo);
    sd_bus_close_unref(silent);
}

// A bus socket that accepts and never answers holds up neither the start nor M.
TEST_F(PrivateBus, AMuteBusSocketHoldsUpNeitherTheStartNorM) {
    const std::string path = desktop.Scratch() + "/mute-bus";
    std::filesystem::remove(path);
    const int mute = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::snprintf(at.sun_path, sizeof at.sun_path, "%s", path.c_str());
    ASSERT_EQ(bind(mute, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(mute, 16), 0); // connections wait in the backlog, unanswered
    setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
    pid_t mirelo = 0;
    const ::Window xid = StartMirelo(mirelo, 5);
    ASSERT_NE(xid, 0u) << "no window within 5 s";
    EXPECT_TRUE(MinimisedToTrayer(xid, 3s)) << "no docked icon within 3 s of M";
    desktop.Stop(mirelo);
    close(mute);
}

} // namespace
