// Shared by the main window's tests: the committed artwork files and a main window shown
// on the simulated display.
#pragma once

#include "../read_file.hpp"
#include "app/Unit1.hpp"
#include "framework/application.hpp"
#include "framework/graphics/bmp.hpp"
#include "os/sim_platform.hpp"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace apptest {

inline std::vector<std::byte> ReadSourceFile(const std::string& relative) {
    const std::string bytes = tests::ReadFile(std::string(MIRELO_SOURCE_DIR) + "/" + relative);
    std::vector<std::byte> out(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<std::byte>(bytes[i]);
    return out;
}

inline fw::DibImage ReadArtwork(const std::string& name) {
    return fw::ReadBmp(ReadSourceFile("src/app/artwork/" + name));
}

inline constexpr std::uint32_t kBackground = 0x5E5E5E;
inline constexpr int kSkinWidth = 167, kSkinHeight = 170;

struct ButtonFile {
    const char* name;
    const char* file;
    int left, top, width, height;
};
inline const ButtonFile kButtonFiles[] = {
    {"PlayButton", "play.bmp", 8, 59, 105, 52},   {"RecButton", "rec.bmp", 8, 112, 103, 50},
    {"OffButton", "off.bmp", 100, 25, 57, 58},    {"MinButton", "min.bmp", 52, 10, 43, 43},
    {"StopButton", "stop.bmp", 112, 116, 50, 50},
};

// The main window created from its description, on a simulated screen.
struct MainWindow {
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    app::TForm1* form = nullptr;

    // `setup` prepares the platform (settings, devices) before the window is created.
    explicit MainWindow(const std::function<void(os::SimPlatform&)>& setup = {}) {
        if (setup) setup(platform);
        platform.Screen().SetBackground(0x3366AA);
        app::RegisterUnit1();
        fw::Application->Initialize();
        fw::Application->SetTitle("Mirelo");
        fw::Application->CreateForm(app::Form1);
        form = app::Form1;
        form->Show();
        Settle();
    }
    ~MainWindow() { app::Form1 = nullptr; }
    void Settle() { runtime.Loop().RunFor(std::chrono::milliseconds(30)); }
    os::PixelBuffer Shot() { return platform.Screen().Screenshot(); }
    // Screen coordinates of a window point.
    int X(int x) const { return form->Left() + x; }
    int Y(int y) const { return form->Top() + y; }
};

} // namespace apptest
