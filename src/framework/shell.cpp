// The notification area through the platform's notify service, and icon resources.
#include "framework/shell.hpp"

#include "framework/platform_access.hpp"
#include "os/notify/notify.hpp"

#include <cstring>
#include <map>
#include <vector>

namespace fw {

namespace {

os::PixelBuffer IconPixels(const TIcon& icon) {
    const IconImage* image = icon.BestImage(16, 16);
    if (!image) return {};
    const DibImage& color = image->color;
    os::PixelBuffer out(color.width, color.height);
    // A 32-bit image with any alpha carries its own transparency; others go by the mask.
    bool alpha = false;
    if (color.bits_per_pixel == 32)
        for (std::uint32_t p : color.pixels)
            if (p >> 24) alpha = true;
    for (int y = 0; y < color.height; ++y) {
        for (int x = 0; x < color.width; ++x) {
            const auto i = static_cast<std::size_t>(y) * static_cast<std::size_t>(color.width) +
                           static_cast<std::size_t>(x);
            std::uint32_t a = image->mask[i] ? 0u : 0xFFu;
            if (alpha) a = color.pixels[i] >> 24;
            out.Set(x, y, (a << 24) | color.ColorAt(x, y));
        }
    }
    return out;
}

std::map<std::string, std::vector<std::byte>, std::less<>>& Resources() {
    // Never destroyed: registrations come from static initialisers of other modules too.
    static auto* m = new std::map<std::string, std::vector<std::byte>, std::less<>>;
    return *m;
}

} // namespace

os::NotifyIcon NotifyIconOf(const NOTIFYICONDATA& data) {
    os::NotifyIcon icon;
    icon.window = data.hWnd;
    icon.id = data.uID;
    if (data.uFlags & NIF_MESSAGE) icon.callback_message = data.uCallbackMessage;
    if ((data.uFlags & NIF_ICON) && data.hIcon) icon.picture = IconPixels(*data.hIcon);
    if (data.uFlags & NIF_TIP)
        icon.tip.assign(data.szTip, strnlen(data.szTip, sizeof data.szTip - 1));
    return icon;
}

bool Shell_NotifyIcon(UINT message, const NOTIFYICONDATA& data) {
    if (!HasDisplay() || data.cbSize != kNotifyIconDataSize) return false;
    os::NotifyArea& area = GetPlatform().GetNotify();
    switch (message) {
    case NIM_ADD: {
        const os::NotifyIcon icon = NotifyIconOf(data);
        // An icon the area could not draw is refused, as the platform refuses one.
        if (icon.picture.width == 0) return false;
        return area.Add(icon);
    }
    case NIM_MODIFY: {
        const os::NotifyIcon icon = NotifyIconOf(data);
        if (icon.picture.width == 0) return false;
        return area.Modify(icon);
    }
    case NIM_DELETE:
        return area.Delete(data.hWnd, data.uID);
    default:
        return false;
    }
}

void RegisterIconResource(std::string_view name, std::span<const std::byte> ico_file) {
    Resources()[std::string(name)] = {ico_file.begin(), ico_file.end()};
}

void LoadIcon(HINSTANCE, std::string_view name, TIcon& icon) {
    auto it = Resources().find(name);
    if (it == Resources().end()) throw EResNotFound("Resource " + std::string(name) + " not found");
    icon.LoadFromBytes(it->second);
}

} // namespace fw
