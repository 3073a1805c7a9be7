// The window calls that the program's modules make by their platform names: showing,
// painting and activating windows, and those that bring a window to the front the way the
// platform's programs do (the window's style bits, its thread, attached input and the
// system's minimise animation). All of the program's windows live on the one
// user-interface thread.
#pragma once

#include "framework/graphics/geometry.hpp"
#include "framework/message_loop.hpp"
#include "framework/platform_access.hpp"
#include "os/display/display.hpp"

#include <cstdint>

namespace fw {

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_RESTORE = 9;
inline constexpr int SW_SHOWDEFAULT = 10;
bool ShowWindow(HWND window, int command);
bool IsWindowVisible(HWND window);
bool IsIconic(HWND window);
// Windows are enabled unless they are a disabled form.
bool IsWindowEnabled(HWND window);
// What a window does with a message it does not handle itself: nothing.
LRESULT DefWindowProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
// Painting the application's window: its minimised picture, all of it, background first.
struct PAINTSTRUCT {
    os::PixelBuffer* surface = nullptr;
    bool fErase = false;
    TRect rcPaint;
};
bool BeginPaint(HWND window, PAINTSTRUCT& paint);
void EndPaint(HWND window, const PAINTSTRUCT& paint);
HWND GetForegroundWindow();
bool SetForegroundWindow(HWND window);
HWND SetActiveWindow(HWND window);

inline constexpr int GWL_STYLE = -16;
inline constexpr std::uint32_t WS_MINIMIZE = 0x20000000;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000;
// The style bits of a window: WS_VISIBLE while shown, WS_MINIMIZE while minimised. 0 for
// an index other than GWL_STYLE or a window that is not ours.
std::int32_t GetWindowLong(HWND window, int index);

// The thread that runs the window's messages (0 for none), and the calling thread.
std::uint32_t GetWindowThreadProcessId(HWND window, std::uint32_t* process_id);
std::uint32_t GetCurrentThreadId();
// Shares input state between two threads; with every window on one thread there is nothing
// to share, so it answers whether both threads are known.
bool AttachThreadInput(std::uint32_t attach, std::uint32_t to, bool on);

inline constexpr unsigned SPI_GETANIMATION = 0x48;
inline constexpr unsigned SPI_SETANIMATION = 0x49;
struct ANIMATIONINFO {
    std::uint32_t cbSize = sizeof(ANIMATIONINFO);
    std::int32_t iMinAnimate = 0;
};
// Only the minimise animation: SPI_GETANIMATION fills an ANIMATIONINFO, SPI_SETANIMATION
// takes one. The setting is the session's, kept by the framework (the desktop's window
// manager animates as it likes). False for anything else.
bool SystemParametersInfo(unsigned action, unsigned param, void* value, unsigned win_ini);

// Controls of the new style: the platform hides a minimised application's taskbar entry.
bool NewStyleControls();

} // namespace fw
