// For the tray tests: a simulated platform with its runtime, icons of one colour, and a
// recorder of the events that the components raise.
#pragma once

#include "framework/application.hpp"
#include "framework/graphics/icon.hpp"
#include "os/sim_platform.hpp"
#include "tray/register.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace traytest {

// A w x h icon of one colour (0x00RRGGBB) whose top-left pixel is transparent.
inline std::unique_ptr<fw::TIcon> SolidIcon(std::uint32_t rgb, int w = 16, int h = 16) {
    fw::IconImage image;
    image.color = fw::DibImage::TrueColor(w, h, 24);
    std::fill(image.color.pixels.begin(), image.color.pixels.end(), rgb);
    image.mask.assign(static_cast<std::size_t>(w * h), 0);
    image.mask[0] = 1;
    auto icon = std::make_unique<fw::TIcon>();
    icon->SetImages({image});
    return icon;
}

// The colour the notification area shows in the middle of a picture, alpha dropped.
inline std::uint32_t Middle(const os::PixelBuffer& p) {
    return p.At(p.width / 2, p.height / 2) & 0xFFFFFF;
}

inline std::string ShiftText(fw::TShiftState s) {
    std::string out;
    const char* names[] = {"Shift", "Alt", "Ctrl", "Left", "Right", "Middle", "Double"};
    for (int i = 0; i < 7; ++i)
        if (s.contains(static_cast<fw::TShiftStateItem>(i)))
            out += std::string(out.empty() ? "" : "+") + names[i];
    return out;
}

inline const char* ButtonText(fw::TMouseButton b) {
    return b == fw::mbLeft ? "left" : b == fw::mbRight ? "right" : "middle";
}

// Writes what it is told into `seen`, one line per event.
struct Recorder : fw::TObject {
    std::vector<std::string> seen;
    fw::TPoint last;
    std::function<void()> on_click; // extra work of the click handler

    void Click(fw::TObject*, fw::TMouseButton b, fw::TShiftState s, int x, int y) {
        seen.push_back(std::string("click ") + ButtonText(b) + " " + ShiftText(s));
        last = {x, y};
        if (on_click) on_click();
    }
    void DblClick(fw::TObject*) { seen.push_back("dblclick"); }
    void Down(fw::TObject*, fw::TMouseButton b, fw::TShiftState s, int x, int y) {
        seen.push_back(std::string("down ") + ButtonText(b) + " " + ShiftText(s));
        last = {x, y};
    }
    void Up(fw::TObject*, fw::TMouseButton b, fw::TShiftState s, int, int) {
        seen.push_back(std::string("up ") + ButtonText(b) + " " + ShiftText(s));
    }
    void Move(fw::TObject*, fw::TShiftState s, int, int) { seen.push_back("move " + ShiftText(s)); }
    void Item(fw::TObject* sender) {
        seen.push_back("item " + static_cast<fw::TComponent*>(sender)->Name());
    }
    void Note(const std::string& what) { seen.push_back(what); }
};

class TrayTestBase : public ::testing::Test {
protected:
    TrayTestBase() { tray::Register(); }

    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimNotifyArea& area = platform.Notify();
    os::SimDisplay& screen = platform.Screen();

    // Delivers what is queued, as the loop does between two waits.
    void Pump() { runtime.Loop().RunFor(std::chrono::milliseconds(1)); }

    // For the animation worker, which runs on real time: handles messages until `done`
    // holds or `limit` of real time has passed; false on time-out.
    bool PumpUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        for (;;) {
            // One message at a time, so that no frame passes unseen.
            while (runtime.Loop().ProcessOne())
                if (done()) return true;
            if (done()) return true;
            if (std::chrono::steady_clock::now() >= end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
};

} // namespace traytest
