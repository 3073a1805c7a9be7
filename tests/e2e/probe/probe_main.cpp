// The probe program: the probe form on the real display, logging to standard output.
#include "framework/application.hpp"
#include "os/real_platform.hpp"
#include "probe_form.hpp"

#include <cstdio>
#include <exception>

int main() {
    std::unique_ptr<os::RealPlatform> platform;
    try {
        platform = os::RealPlatform::Open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    fw::Runtime runtime(*platform);
    fw::Application->SetTitle("Probe");
    probe::CreateProbeForm([](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    fw::Application->Run();
    std::printf("exit\n");
    return 0;
}
