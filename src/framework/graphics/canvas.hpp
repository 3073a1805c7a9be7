// TCanvas: drawing on a window's pixels or on a bitmap. A canvas has an origin (where its
// (0, 0) lies on the target) and a clip region in target coordinates, so a windowless
// control can be handed its parent's pixels translated to its position and clipped to it.
// Colours are drawn as the platform draws them: system colours are looked up, a
// palette-relative value paints its RGB on true-colour targets and the nearest palette entry
// on paletted ones. Text is rasterised through the font's face and blended by coverage.
#pragma once

#include "framework/classes.hpp"
#include "framework/events.hpp"
#include "framework/graphics/font_brush.hpp"
#include "framework/graphics/geometry.hpp"
#include "framework/graphics/region.hpp"
#include "framework/graphics/surface.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace fw {

class TGraphic;

// DrawText formats. Word wrapping is not done: lines break only at '\n'.
inline constexpr unsigned DT_TOP = 0x0;
inline constexpr unsigned DT_LEFT = 0x0;
inline constexpr unsigned DT_CENTER = 0x1;
inline constexpr unsigned DT_RIGHT = 0x2;
inline constexpr unsigned DT_VCENTER = 0x4;
inline constexpr unsigned DT_BOTTOM = 0x8;
inline constexpr unsigned DT_SINGLELINE = 0x20;
inline constexpr unsigned DT_NOCLIP = 0x100;
inline constexpr unsigned DT_CALCRECT = 0x400;
inline constexpr unsigned DT_NOPREFIX = 0x800;

// DrawEdge lines and sides.
inline constexpr unsigned BDR_RAISEDOUTER = 0x1;
inline constexpr unsigned BDR_SUNKENOUTER = 0x2;
inline constexpr unsigned BDR_RAISEDINNER = 0x4;
inline constexpr unsigned BDR_SUNKENINNER = 0x8;
inline constexpr unsigned BDR_OUTER = BDR_RAISEDOUTER | BDR_SUNKENOUTER;
inline constexpr unsigned BDR_INNER = BDR_RAISEDINNER | BDR_SUNKENINNER;
inline constexpr unsigned EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
inline constexpr unsigned EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
inline constexpr unsigned EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
inline constexpr unsigned EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
inline constexpr unsigned BF_LEFT = 0x1;
inline constexpr unsigned BF_TOP = 0x2;
inline constexpr unsigned BF_RIGHT = 0x4;
inline constexpr unsigned BF_BOTTOM = 0x8;
inline constexpr unsigned BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
inline constexpr unsigned BF_MIDDLE = 0x800;
inline constexpr unsigned BF_ADJUST = 0x2000;
inline constexpr unsigned BF_FLAT = 0x4000;
inline constexpr unsigned BF_MONO = 0x8000;

// What reading a pixel outside the target or the clip gives.
inline constexpr TColor kInvalidColor = -1;

class TCanvas : public TPersistent {
    FW_CLASS(TCanvas, TPersistent)
public:
    TCanvas();
    explicit TCanvas(os::PixelBuffer& target, TPoint origin = {},
                     std::optional<Region> clip = std::nullopt);
    explicit TCanvas(DibImage& image);
    ~TCanvas() override;
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    // `clip` is in target coordinates; none means the whole target. The target must outlive
    // the attachment.
    void Attach(os::PixelBuffer& target, TPoint origin = {},
                std::optional<Region> clip = std::nullopt);
    void Attach(DibImage& image);
    void Detach();
    bool HandleAllocated() const { return surface_.Valid(); }

    TPoint Origin() const { return origin_; }
    // The bounds of what may be drawn, in canvas coordinates.
    TRect ClipRect() const;
    // Narrows the clip to a rectangle in canvas coordinates.
    void IntersectClipRect(const TRect& rect);

    TFont& Font() { return *font_; }
    const TFont& Font() const { return *font_; }
    void SetFont(const TFont& font) { font_->Assign(font); }
    TBrush& Brush() { return *brush_; }
    const TBrush& Brush() const { return *brush_; }
    void SetBrush(const TBrush& brush) { brush_->Assign(brush); }
    TPen& Pen() { return *pen_; }
    const TPen& Pen() const { return *pen_; }
    void SetPen(const TPen& pen) { pen_->Assign(pen); }

    // The pixel as a COLORREF, or kInvalidColor outside the target or the clip.
    TColor Pixels(int x, int y) const;
    void SetPixels(int x, int y, TColor color) { SetPixel(x, y, color); }
    // Paints one pixel; returns the colour painted, or kInvalidColor where it is clipped.
    TColor SetPixel(int x, int y, TColor color);

    // With the brush (nothing for bsClear).
    void FillRect(const TRect& rect);
    // A one-pixel frame inside the rectangle, with the brush's colour.
    void FrameRect(const TRect& rect);
    // Outline with the pen, inside filled with the brush.
    void Rectangle(const TRect& rect);
    TPoint PenPos() const { return pen_pos_; }
    void MoveTo(int x, int y) { pen_pos_ = {x, y}; }
    // A line with the pen from the pen position up to, not including, (x, y).
    void LineTo(int x, int y);

    // Copies `source_rect` of another canvas (or this one) onto `dest`, scaled by nearest
    // neighbour when the sizes differ. Between paletted bitmaps with equal palettes the
    // indices are copied.
    void CopyRect(const TRect& dest, const TCanvas& source, const TRect& source_rect);
    // The graphic at its natural size (a bitmap with Transparent set leaves its transparent
    // colour out; an icon is drawn through its mask).
    void Draw(int x, int y, const TGraphic& graphic);
    void StretchDraw(const TRect& rect, const TGraphic& graphic);

    int TextWidth(std::string_view text) const;
    int TextHeight(std::string_view text) const;
    // One line with its top-left at (x, y); a solid brush fills the text box first.
    void TextOut(int x, int y, std::string_view text);
    // Text in a rectangle, aligned by `format`; with DT_CALCRECT only measures, setting the
    // rectangle's right and bottom. '&' marks an underlined character unless DT_NOPREFIX.
    // Returns the height of the text.
    int DrawText(std::string_view text, TRect& rect, unsigned format);

    // The platform's 3D edges in the system colours; with BF_ADJUST the rectangle becomes the
    // inside of the edge.
    bool DrawEdge(TRect& rect, unsigned edge, unsigned flags);

    // Drops the rasterised face; it is loaded again at the next text.
    void ReleaseResources();

    // The copy primitive of the graphics: source pixels of `source_rect` onto `dest`
    // (canvas coordinates), nearest-neighbour scaled. `opacity(sx, sy)` is 0 to leave the
    // destination, 255 to copy and anything between to blend; none copies everything.
    using Opacity = std::function<std::uint8_t(int, int)>;
    void Blit(const TRect& dest, const detail::Surface& source, const TRect& source_rect,
              const Opacity& opacity = {});

    // After every drawing operation.
    TNotifyEvent OnChange;

private:
    template <class F> void ForEachVisible(const TRect& target_rect, F&& f) const;
    bool Visible(int tx, int ty) const;
    void FillTarget(const TRect& target_rect, TColor color);
    void Changed();
    std::shared_ptr<FontFace> Face() const;
    // The face that draws on a target of this device scale.
    std::shared_ptr<FontFace> DeviceFace(int scale) const;
    void DrawLine(int x, int y, std::string_view text, int width,
                  const std::vector<std::pair<std::size_t, std::size_t>>& underlined);

    detail::Surface surface_;
    TPoint origin_;
    std::optional<Region> clip_;
    TPoint pen_pos_;
    std::unique_ptr<TFont> font_;
    std::unique_ptr<TBrush> brush_;
    std::unique_ptr<TPen> pen_;
    mutable std::shared_ptr<FontFace> face_;
    mutable FontKey face_key_;
    mutable std::shared_ptr<FontFace> device_face_;
    mutable FontKey device_face_key_;
};

TRect IntersectRect(const TRect& a, const TRect& b);
TRect OffsetRect(const TRect& r, int dx, int dy);

} // namespace fw
