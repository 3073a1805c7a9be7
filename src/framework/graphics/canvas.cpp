// TCanvas: attachment, clipping, pixels, fills, lines, copies and 3D edges. Text is in
// canvas_text.cpp.
#include "framework/graphics/canvas.hpp"

#include "framework/graphics/graphic.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace fw {

TRect IntersectRect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
            std::min(a.Bottom, b.Bottom)};
    return r.IsEmpty() ? TRect{} : r;
}

TRect OffsetRect(const TRect& r, int dx, int dy) {
    return {r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy};
}

TCanvas::TCanvas()
    : font_(std::make_unique<TFont>()), brush_(std::make_unique<TBrush>()),
      pen_(std::make_unique<TPen>()) {}

TCanvas::TCanvas(os::PixelBuffer& target, TPoint origin, std::optional<Region> clip) : TCanvas() {
    Attach(target, origin, std::move(clip));
}

TCanvas::TCanvas(DibImage& image) : TCanvas() {
    Attach(image);
}

TCanvas::~TCanvas() = default;

void TCanvas::Attach(os::PixelBuffer& target, TPoint origin, std::optional<Region> clip) {
    surface_ = detail::Surface(target);
    origin_ = origin;
    clip_ = std::move(clip);
}

void TCanvas::Attach(DibImage& image) {
    surface_ = detail::Surface(image);
    origin_ = {};
    clip_.reset();
}

void TCanvas::Detach() {
    surface_ = {};
    origin_ = {};
    clip_.reset();
}

TRect TCanvas::ClipRect() const {
    if (!HandleAllocated()) return {};
    TRect r = surface_.Bounds();
    if (clip_) r = IntersectRect(r, clip_->Bounds());
    return r.IsEmpty() ? TRect{} : OffsetRect(r, -origin_.X, -origin_.Y);
}

void TCanvas::IntersectClipRect(const TRect& rect) {
    const Region narrowed(OffsetRect(rect, origin_.X, origin_.Y));
    clip_ = clip_ ? *clip_ & narrowed : narrowed;
}

template <class F> void TCanvas::ForEachVisible(const TRect& target_rect, F&& f) const {
    const TRect r = IntersectRect(target_rect, surface_.Bounds());
    if (r.IsEmpty()) return;
    if (!clip_) {
        f(r);
        return;
    }
    for (const TRect& c : clip_->Rects()) {
        const TRect part = IntersectRect(r, c);
        if (!part.IsEmpty()) f(part);
    }
}

bool TCanvas::Visible(int tx, int ty) const {
    return surface_.Bounds().Contains(tx, ty) && (!clip_ || clip_->Contains(tx, ty));
}

void TCanvas::Changed() {
    if (OnChange) OnChange(this);
}

TColor TCanvas::Pixels(int x, int y) const {
    const int tx = x + origin_.X, ty = y + origin_.Y;
    if (!HandleAllocated() || !Visible(tx, ty)) return kInvalidColor;
    return static_cast<TColor>(PixelToColorRef(surface_.Get(tx, ty)));
}

TColor TCanvas::SetPixel(int x, int y, TColor color) {
    const int tx = x + origin_.X, ty = y + origin_.Y;
    if (!HandleAllocated() || !Visible(tx, ty)) return kInvalidColor;
    const detail::Ink ink = surface_.Resolve(color);
    surface_.Put(tx, ty, ink);
    Changed();
    return static_cast<TColor>(PixelToColorRef(ink.rgb));
}

void TCanvas::FillTarget(const TRect& target_rect, TColor color) {
    const detail::Ink ink = surface_.Resolve(color);
    ForEachVisible(target_rect, [&](const TRect& part) {
        for (int y = part.Top; y < part.Bottom; ++y)
            for (int x = part.Left; x < part.Right; ++x)
                surface_.Put(x, y, ink);
    });
}

void TCanvas::FillRect(const TRect& rect) {
    if (!HandleAllocated() || brush_->Style() == bsClear) return;
    FillTarget(OffsetRect(rect, origin_.X, origin_.Y), brush_->Color());
    Changed();
}

void TCanvas::FrameRect(const TRect& rect) {
    if (!HandleAllocated() || rect.IsEmpty() || brush_->Style() == bsClear) return;
    const TRect r = OffsetRect(rect, origin_.X, origin_.Y);
    const TColor c = brush_->Color();
    FillTarget({r.Left, r.Top, r.Right, r.Top + 1}, c);
    FillTarget({r.Left, r.Bottom - 1, r.Right, r.Bottom}, c);
    FillTarget({r.Left, r.Top, r.Left + 1, r.Bottom}, c);
    FillTarget({r.Right - 1, r.Top, r.Right, r.Bottom}, c);
    Changed();
}

void TCanvas::Rectangle(const TRect& rect) {
    if (!HandleAllocated() || rect.IsEmpty()) return;
    const TRect r = OffsetRect(rect, origin_.X, origin_.Y);
    if (brush_->Style() != bsClear)
        FillTarget({r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1}, brush_->Color());
    const TPoint saved = pen_pos_;
    MoveTo(rect.Left, rect.Top);
    LineTo(rect.Right - 1, rect.Top);
    LineTo(rect.Right - 1, rect.Bottom - 1);
    LineTo(rect.Left, rect.Bottom - 1);
    LineTo(rect.Left, rect.Top);
    pen_pos_ = saved;
    Changed();
}

void TCanvas::LineTo(int x, int y) {
    const TPoint from = pen_pos_;
    pen_pos_ = {x, y};
    if (!HandleAllocated() || pen_->Style() == psClear) return;
    // Cosmetic pen patterns: pixels on, then off, counted along the line.
    int on = 0, period = 0;
    if (pen_->Style() == psDash) on = 18, period = 24;
    if (pen_->Style() == psDot) on = 3, period = 6;
    const detail::Ink ink = surface_.Resolve(pen_->Color());
    int cx = from.X, cy = from.Y;
    const int dx = std::abs(x - cx), sx = cx < x ? 1 : -1;
    const int dy = -std::abs(y - cy), sy = cy < y ? 1 : -1;
    int err = dx + dy;
    for (int step = 0; cx != x || cy != y; ++step) {
        const int tx = cx + origin_.X, ty = cy + origin_.Y;
        if ((period == 0 || step % period < on) && Visible(tx, ty)) surface_.Put(tx, ty, ink);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            cx += sx;
        }
        if (e2 <= dx) {
            err += dx;
            cy += sy;
        }
    }
    Changed();
}

void TCanvas::Blit(const TRect& dest, const detail::Surface& source, const TRect& source_rect,
                   const Opacity& opacity) {
    if (!HandleAllocated() || !source.Valid() || dest.IsEmpty() || source_rect.IsEmpty()) return;
    detail::Surface::Snapshot snapshot;
    const detail::Surface src = source.SameTarget(surface_) ? source.CopyInto(snapshot) : source;
    const bool same_palette = surface_.SamePalette(src);
    const TRect src_bounds = src.Bounds();
    const TRect d = OffsetRect(dest, origin_.X, origin_.Y);
    const std::int64_t dw = dest.Width(), dh = dest.Height();
    ForEachVisible(d, [&](const TRect& part) {
        for (int ty = part.Top; ty < part.Bottom; ++ty) {
            const int sy = source_rect.Top +
                           static_cast<int>((ty - d.Top) * std::int64_t{source_rect.Height()} / dh);
            for (int tx = part.Left; tx < part.Right; ++tx) {
                const int sx =
                    source_rect.Left +
                    static_cast<int>((tx - d.Left) * std::int64_t{source_rect.Width()} / dw);
                if (!src_bounds.Contains(sx, sy)) continue;
                const std::uint8_t alpha = opacity ? opacity(sx, sy) : 255;
                if (alpha == 0) continue;
                if (alpha < 255)
                    surface_.Blend(tx, ty, src.Get(sx, sy), alpha);
                else if (same_palette)
                    surface_.PutIndex(tx, ty, src.GetIndex(sx, sy));
                else
                    surface_.Put(tx, ty, surface_.Match(src.Get(sx, sy)));
            }
        }
    });
    Changed();
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& source_rect) {
    Blit(dest, source.surface_, OffsetRect(source_rect, source.origin_.X, source.origin_.Y));
}

void TCanvas::Draw(int x, int y, const TGraphic& graphic) {
    if (graphic.Empty()) return;
    graphic.Draw(*this, {x, y, x + graphic.Width(), y + graphic.Height()});
}

void TCanvas::StretchDraw(const TRect& rect, const TGraphic& graphic) {
    if (graphic.Empty()) return;
    graphic.Draw(*this, rect);
}

bool TCanvas::DrawEdge(TRect& rect, unsigned edge, unsigned flags) {
    if (!HandleAllocated()) return false;
    struct Colors {
        TColor top_left, bottom_right;
    };
    auto line = [&](bool outer) -> std::optional<Colors> {
        const unsigned bits = edge & (outer ? BDR_OUTER : BDR_INNER);
        if (bits == 0) return std::nullopt;
        if (flags & BF_MONO)
            return outer ? Colors{clWindowFrame, clWindowFrame} : Colors{clWindow, clWindow};
        if (flags & BF_FLAT)
            return outer ? Colors{clBtnShadow, clBtnShadow} : Colors{clBtnFace, clBtnFace};
        const bool raised = (bits & (BDR_RAISEDOUTER | BDR_RAISEDINNER)) != 0;
        if (outer)
            return raised ? Colors{cl3DLight, cl3DDkShadow} : Colors{clBtnShadow, clBtnHighlight};
        return raised ? Colors{clBtnHighlight, clBtnShadow} : Colors{cl3DDkShadow, cl3DLight};
    };
    TRect r = OffsetRect(rect, origin_.X, origin_.Y);
    for (bool outer : {true, false}) {
        const auto colors = line(outer);
        if (!colors || r.IsEmpty()) continue;
        // Light sides first, so the shadow sides own the two corners where they meet.
        if (flags & BF_TOP) FillTarget({r.Left, r.Top, r.Right, r.Top + 1}, colors->top_left);
        if (flags & BF_LEFT) FillTarget({r.Left, r.Top, r.Left + 1, r.Bottom}, colors->top_left);
        if (flags & BF_BOTTOM)
            FillTarget({r.Left, r.Bottom - 1, r.Right, r.Bottom}, colors->bottom_right);
        if (flags & BF_RIGHT)
            FillTarget({r.Right - 1, r.Top, r.Right, r.Bottom}, colors->bottom_right);
        if (flags & BF_TOP) ++r.Top;
        if (flags & BF_LEFT) ++r.Left;
        if (flags & BF_BOTTOM) --r.Bottom;
        if (flags & BF_RIGHT) --r.Right;
    }
    if ((flags & BF_MIDDLE) && !r.IsEmpty())
        FillTarget(r, (flags & BF_MONO) ? clWindow : clBtnFace);
    if (flags & BF_ADJUST) rect = OffsetRect(r, -origin_.X, -origin_.Y);
    Changed();
    return true;
}

void TCanvas::ReleaseResources() {
    face_.reset();
    device_face_.reset();
}

} // namespace fw
