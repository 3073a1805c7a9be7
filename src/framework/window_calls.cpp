// The window calls: showing, painting and activating windows, their styles and threads, and
// the minimise animation setting.
#include "framework/window_calls.hpp"

#include "framework/application.hpp"
#include "framework/forms.hpp"

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

bool ShowWindow(HWND window, int command) {
    if (Application && window == Application->Handle()) {
        // The application window is the taskbar entry of the main form.
        Application->SetTaskbarVisible(command != SW_HIDE);
        return true;
    }
    TCustomForm* form = detail::FormOf(window);
    if (!form) return false;
    const bool was = form->Visible();
    switch (command) {
    case SW_HIDE:
        form->SetVisible(false);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        if (form->DisplayWindow()) GetDisplay().Iconify(form->DisplayWindow());
        break;
    case SW_RESTORE:
    case SW_SHOWNOACTIVATE:
        if (form->DisplayWindow()) GetDisplay().Restore(form->DisplayWindow());
        form->SetVisible(true);
        break;
    default:
        form->SetVisible(true);
    }
    return was;
}

bool IsWindowVisible(HWND window) {
    if (Application && window == Application->Handle()) return !Application->Minimized();
    TCustomForm* form = detail::FormOf(window);
    return form && form->Visible();
}

bool IsIconic(HWND window) {
    if (Application && window == Application->Handle()) return Application->Minimized();
    TCustomForm* form = detail::FormOf(window);
    return form && form->DisplayWindow() && GetDisplay().IsIconic(form->DisplayWindow());
}

bool IsWindowEnabled(HWND window) {
    TWinControl* control = FindControl(window);
    if (control) return control->Enabled();
    return IsWindow(window);
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

bool BeginPaint(HWND window, PAINTSTRUCT& paint) {
    paint = {};
    if (!Application || window != Application->Handle()) return false;
    os::PixelBuffer& surface = Application->IconSurface();
    paint.surface = &surface;
    paint.fErase = true;
    paint.rcPaint = {0, 0, surface.width, surface.height};
    return true;
}

void EndPaint(HWND, const PAINTSTRUCT&) {}

HWND GetForegroundWindow() {
    if (!HasDisplay()) return 0;
    TCustomForm* form = FindForm(GetDisplay().ActiveWindow());
    return form ? form->Handle() : 0;
}

bool SetForegroundWindow(HWND window) {
    if (Application && window == Application->Handle())
        window = Application->MainForm() ? Application->MainForm()->Handle() : 0;
    TCustomForm* form = detail::FormOf(window);
    if (!form || !form->DisplayWindow()) return false;
    GetDisplay().Activate(form->DisplayWindow());
    return true;
}

HWND SetActiveWindow(HWND window) {
    const HWND previous = GetForegroundWindow();
    SetForegroundWindow(window);
    return previous;
}

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
