// A display at a whole-number device scale: the program works in the window's own logical
// pixels and the device display under it in device pixels, `scale` of them to a logical one.
// Sizes, places and shapes are multiplied on the way down, pointer positions and reported
// areas divided on the way back; pixels are enlarged by whole pixels (nearest neighbour), so
// the skin stays crisp. At scale 1 every call passes through unchanged.
#pragma once

#include "os/display/display.hpp"

#include <map>
#include <optional>
#include <string_view>

namespace os {

constexpr int kMinScale = 1;
constexpr int kMaxScale = 4;

// The device scale from what the desktop says, first found wins: the stored setting (0 or
// absent is automatic), the GDK_SCALE variable when it holds a whole number from 1 to 4,
// Xft.dpi in the X resources (`resources` as the root window holds them) rounded to the
// nearest multiple of 96, else 1. Values out of bounds count as absent.
int ChooseScale(std::optional<std::int32_t> setting, const char* gdk_scale,
                std::string_view resources);

// The picture `factor` times as wide and high, each pixel a factor x factor block.
PixelBuffer Enlarged(const PixelBuffer& picture, int factor);

class ScaledDisplay final : public Display {
public:
    // `device` must outlive this. `scale` is brought within kMinScale..kMaxScale.
    ScaledDisplay(Display& device, int scale);

    int Scale() const override { return scale_; }

    WindowId CreateWindow(const WindowParams& params) override;
    void DestroyWindow(WindowId w) override;
    void SetBounds(WindowId w, const Rect& bounds) override;
    Rect GetBounds(WindowId w) const override;
    void Show(WindowId w, bool visible) override { device_.Show(w, visible); }
    bool IsVisible(WindowId w) const override { return device_.IsVisible(w); }
    void SetTopmost(WindowId w, bool topmost) override { device_.SetTopmost(w, topmost); }
    void SetShape(WindowId w, const std::optional<std::vector<Rect>>& shape) override;
    void SetTitle(WindowId w, const std::string& title) override { device_.SetTitle(w, title); }
    void SetSkipTaskbar(WindowId w, bool skip) override { device_.SetSkipTaskbar(w, skip); }
    void SetIcon(WindowId w, const IconPixels& icon) override { device_.SetIcon(w, icon); }
    // The first icon, and of the larger ones those up to 32 x scale pixels: at scale 1 the
    // taskbar gets what it always got.
    void SetIcons(WindowId w, const std::vector<IconPixels>& icons) override;
    void Iconify(WindowId w) override { device_.Iconify(w); }
    void Restore(WindowId w) override { device_.Restore(w); }
    bool IsIconic(WindowId w) const override { return device_.IsIconic(w); }
    void Activate(WindowId w) override { device_.Activate(w); }
    WindowId ActiveWindow() const override { return device_.ActiveWindow(); }
    void Raise(WindowId w) override { device_.Raise(w); }
    void SetCursor(WindowId w, PointerCursor shape) override { device_.SetCursor(w, shape); }
    void Present(WindowId w, const PixelBuffer& pixels, const Rect& damaged) override;
    void SetCapture(WindowId w) override { device_.SetCapture(w); }
    void ReleaseCapture() override { device_.ReleaseCapture(); }
    void StartMove(WindowId w) override { device_.StartMove(w); }
    WindowId WindowAt(Point screen) const override;
    Point PointerPosition() const override;
    std::uint32_t ModifierState() const override { return device_.ModifierState(); }
    Size ScreenSize() const override;
    std::vector<Rect> Monitors() const override;

    // Device to logical: a point by whole logical pixels (rounding down), an area as the
    // logical pixels it touches, a window's bounds keeping its logical size.
    int Down(int v) const;
    Rect Covering(const Rect& device) const;
    Rect BoundsDown(const Rect& device) const;
    Rect Up(const Rect& logical) const;

protected:
    // The device's events, which it reads as it is told; positions divided back.
    bool TakeReceived(DisplayEvent& event) override;
    void ReadConnection() override {}

private:
    // An event from the device in logical pixels.
    void ScaleDown(DisplayEvent& event) const;
    Display& device_;
    int scale_;
    // The last image presented to each window, enlarged: only damaged parts are redone.
    std::map<WindowId, PixelBuffer> enlarged_;
};

} // namespace os
