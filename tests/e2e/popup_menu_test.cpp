// The popup menu on a real X server with a window manager: a window the manager leaves
// alone (override-redirect), opening upwards at the bottom of the screen as a tray menu
// does, and taking the pointer, so that a click on an item chooses it and a click anywhere
// else closes it. The user's hand is xdotool, on a thread of its own while the menu's loop
// runs. GoogleTest first: Xlib's macros would break its templates.
#include <gtest/gtest.h>

#include "desktop.hpp"

#include "framework/application.hpp"
#include "framework/menus.hpp"
#include "os/real_platform.hpp"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

struct Chosen : fw::TObject {
    std::string item;
    void Click(fw::TObject* sender) { item = static_cast<fw::TComponent*>(sender)->Name(); }
};

class PopupMenuTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    std::unique_ptr<os::RealPlatform> platform = os::RealPlatform::Open(desktop.Display());
    fw::Runtime runtime{*platform};
    fw::TPopupMenu menu{nullptr};
    Chosen chosen;

    void SetUp() override {
        for (const char* name : {"Restore", "Quit"}) {
            auto* item = new fw::TMenuItem(nullptr);
            item->SetName(name);
            item->Caption = name;
            item->OnClick = fw::Bind<&Chosen::Click>(chosen);
            menu.Items()->Add(item);
        }
    }

    // Shows the menu at (x, y); once it is on the screen, `hand` runs on another thread with
    // the menu window's id. Returns what the hand said.
    std::string PopupWith(int x, int y,
                          const std::function<std::string(const std::string&)>& hand) {
        std::string said;
        std::thread user([&] {
            if (!desktop.WaitFor("xdotool search --onlyvisible --class '^Mirelo$'", 10)) {
                said = "no menu window";
                // A press in the corner closes a menu that is there but was not found.
                desktop.Run("xdotool mousemove 1 1 click 1");
                return;
            }
            const std::string id =
                desktop.Run("xdotool search --onlyvisible --class '^Mirelo$' | head -n1");
            said = hand(id.substr(0, id.find('\n')));
        });
        menu.Popup(x, y);
        user.join();
        return said;
    }
};

} // namespace

TEST_F(PopupMenuTest, AMenuAtTheScreensFootOpensUpwardsTakesThePointerAndChoosesTheItemClicked) {
    const int h = fw::GetSystemMetrics(fw::SM_CYSCREEN);
    // Items are 20 pixels high under a 2-pixel margin; opened upwards from the bottom edge,
    // "Quit" is the lowest: 2 + 20 pixels above the point.
    const std::string said = PopupWith(300, h - 1, [&](const std::string& id) {
        const std::string info = desktop.Run("xwininfo -id " + id);
        desktop.Run("xdotool mousemove 320 " + std::to_string(h - 1 - 2 - 10) + " click 1");
        return info;
    });
    EXPECT_NE(said.find("Override Redirect State: yes"), std::string::npos) << said;
    EXPECT_EQ(chosen.item, "Quit");
}

TEST_F(PopupMenuTest, AClickBesideTheMenuClosesItWithoutChoosing) {
    const std::string said = PopupWith(200, 150, [&](const std::string&) {
        desktop.Run("xdotool mousemove 600 500 click 1");
        return std::string("clicked");
    });
    EXPECT_EQ(said, "clicked");
    EXPECT_EQ(chosen.item, "");
    // The pointer is free again: nothing holds a grab.
    EXPECT_EQ(desktop.Run("xdotool mousemove 10 10 && echo moved"), "moved\n");
}
