// Window styles, threads and the minimise animation setting.
#include "framework/window_calls.hpp"

#include "framework/application.hpp"

#include <functional>
#include <thread>

namespace fw {

namespace {
std::int32_t g_min_animate = 1;

std::uint32_t ThreadNumber(std::thread::id id) {
    // Never 0, which means "no thread".
    return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(id)) | 1u;
}
} // namespace

std::int32_t GetWindowLong(HWND window, int index) {
    if (index != GWL_STYLE || !IsWindow(window)) return 0;
    std::uint32_t style = 0;
    if (IsWindowVisible(window)) style |= WS_VISIBLE;
    if (IsIconic(window)) style |= WS_MINIMIZE;
    return static_cast<std::int32_t>(style);
}

std::uint32_t GetWindowThreadProcessId(HWND window, std::uint32_t* process_id) {
    if (process_id) *process_id = 0;
    if (!IsWindow(window)) return 0;
    if (process_id) *process_id = 1;
    return ThreadNumber(MessageLoop::Current().Thread());
}

std::uint32_t GetCurrentThreadId() {
    return ThreadNumber(std::this_thread::get_id());
}

bool AttachThreadInput(std::uint32_t attach, std::uint32_t to, bool) {
    return attach != 0 && to != 0;
}

bool SystemParametersInfo(unsigned action, unsigned param, void* value, unsigned) {
    auto* info = static_cast<ANIMATIONINFO*>(value);
    if (!info || param != sizeof(ANIMATIONINFO) || info->cbSize != sizeof(ANIMATIONINFO))
        return false;
    switch (action) {
    case SPI_GETANIMATION:
        info->iMinAnimate = g_min_animate;
        return true;
    case SPI_SETANIMATION:
        g_min_animate = info->iMinAnimate;
        return true;
    default:
        return false;
    }
}

bool NewStyleControls() {
    return true;
}

} // namespace fw
