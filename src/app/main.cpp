// Mirelo's entry: the real platform, the application object and the main window.
#include "Unit1.hpp"

#include "framework/application.hpp"
#include "os/real_platform.hpp"

#include <cstdio>
#include <exception>
#include <memory>

int main() {
    std::unique_ptr<os::RealPlatform> platform;
    try {
        platform = os::RealPlatform::Open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    try {
        fw::Runtime runtime(*platform);
        app::RegisterUnit1();
        fw::Application->Initialize();
        fw::Application->SetTitle("Mirelo");
        fw::Application->CreateForm(app::Form1);
        fw::Application->Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirelo: %s\n", e.what());
        return 1;
    }
    return 0;
}
