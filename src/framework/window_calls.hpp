// Window calls that bring a window to the front the way the platform's programs do: the
// window's style bits, its thread, attached input and the system's minimise animation. All
// of the program's windows live on the one user-interface thread.
#pragma once

#include "framework/message_loop.hpp"

#include <cstdint>

namespace fw {

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
