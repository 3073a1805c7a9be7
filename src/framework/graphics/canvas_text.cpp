// TCanvas text: measuring and drawing lines through the font's rasterised face, with
// DrawText's alignment, clipping and '&' underlines.
#include "framework/graphics/canvas.hpp"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace fw {

namespace {

using Underlines = std::vector<std::pair<std::size_t, std::size_t>>; // byte offset, length

struct TextLine {
    std::string text;
    Underlines underlined;
};

// Splits at '\n' (not for a single line; '\r' is dropped) and turns "&x" into an underlined
// x and "&&" into "&" unless prefixes are off.
std::vector<TextLine> SplitLines(std::string_view text, unsigned format) {
    std::vector<TextLine> lines;
    if (text.empty()) return lines;
    const bool prefixes = (format & DT_NOPREFIX) == 0;
    const bool single = (format & DT_SINGLELINE) != 0;
    lines.emplace_back();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\r') continue;
        if (ch == '\n') {
            if (!single) lines.emplace_back();
            continue;
        }
        TextLine& line = lines.back();
        if (prefixes && ch == '&') {
            if (i + 1 >= text.size()) break;
            if (text[i + 1] == '&') {
                line.text += '&';
                ++i;
                continue;
            }
            if (text[i + 1] == '\n' || text[i + 1] == '\r') continue;
            std::size_t next = i + 1;
            NextCodePoint(text, next);
            line.underlined.emplace_back(line.text.size(), next - (i + 1));
            line.text.append(text.substr(i + 1, next - (i + 1)));
            i = next - 1;
            continue;
        }
        line.text += ch;
    }
    return lines;
}

} // namespace

std::shared_ptr<FontFace> TCanvas::Face() const {
    const FontKey key = font_->Key();
    if (!face_ || key != face_key_) {
        face_ = FontFace::Get(key);
        face_key_ = key;
    }
    return face_;
}

std::shared_ptr<FontFace> TCanvas::DeviceFace(int scale) const {
    if (scale == 1) return Face();
    // The font's height times the scale: text rasterised sharp on the logical layout rather
    // than enlarged. Kept like the logical face, so a line does not load it again.
    FontKey key = font_->Key();
    key.height = (key.height == 0 ? -kDefaultFontPixels : key.height) * scale;
    if (!device_face_ || key != device_face_key_) {
        device_face_ = FontFace::Get(key);
        device_face_key_ = key;
    }
    return device_face_;
}

int TCanvas::TextWidth(std::string_view text) const {
    return Face()->TextWidth(text);
}

int TCanvas::TextHeight(std::string_view) const {
    return Face()->LineHeight();
}

void TCanvas::DrawLine(int x, int y, std::string_view text, int width,
                       const Underlines& underlined) {
    const std::shared_ptr<FontFace> face = Face();
    const int ox = origin_.X, oy = origin_.Y;
    const int baseline = y + face->Ascent();
    if (brush_->Style() != bsClear)
        FillTarget({x + ox, y + oy, x + width + ox, y + face->LineHeight() + oy}, brush_->Color());

    // Measured before drawing: the face is busy while it draws.
    std::vector<std::pair<int, int>> spans; // left, right in canvas coordinates
    const TFontStyles style = font_->Style();
    if (style.contains(fsUnderline)) spans.emplace_back(x, x + width);
    for (const auto& [pos, len] : underlined) {
        const int left = x + face->TextWidth(text.substr(0, pos));
        spans.emplace_back(left, left + face->TextWidth(text.substr(pos, len)));
    }

    const detail::Ink ink = surface_.Resolve(font_->Color());
    // Pen and plot in device pixels: the same as the target's at scale 1.
    const int s = surface_.Scale();
    DeviceFace(s)->Draw(text, (x + ox) * s, (baseline + oy) * s,
                        [&](int dx, int dy, std::uint8_t coverage) {
                            if (dx < 0 || dy < 0 || !Visible(dx / s, dy / s)) return;
                            if (coverage == 255)
                                surface_.PutDevice(dx, dy, ink);
                            else
                                surface_.BlendDevice(dx, dy, ink.rgb, coverage);
                        });
    for (const auto& [left, right] : spans)
        FillTarget({left + ox, baseline + 1 + oy, right + ox, baseline + 2 + oy}, font_->Color());
    if (style.contains(fsStrikeOut)) {
        const int at = baseline - face->Ascent() / 3;
        FillTarget({x + ox, at + oy, x + width + ox, at + 1 + oy}, font_->Color());
    }
}

void TCanvas::TextOut(int x, int y, std::string_view text) {
    if (!HandleAllocated()) return;
    const int width = TextWidth(text);
    DrawLine(x, y, text, width, {});
    pen_pos_ = {x + width, y};
    Changed();
}

int TCanvas::DrawText(std::string_view text, TRect& rect, unsigned format) {
    const std::vector<TextLine> lines = SplitLines(text, format);
    const std::shared_ptr<FontFace> face = Face();
    const int line_height = face->LineHeight();
    std::vector<int> widths;
    for (const TextLine& line : lines)
        widths.push_back(face->TextWidth(line.text));
    const int max_width = widths.empty() ? 0 : *std::ranges::max_element(widths);
    const int total = static_cast<int>(lines.size()) * line_height;
    if (format & DT_CALCRECT) {
        rect.Right = rect.Left + max_width;
        rect.Bottom = rect.Top + total;
        return total;
    }
    if (!HandleAllocated()) return 0;

    int top = rect.Top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect.Top + (rect.Height() - line_height) / 2;
        else if (format & DT_BOTTOM)
            top = rect.Bottom - line_height;
    }
    const std::optional<Region> saved_clip = clip_;
    if (!(format & DT_NOCLIP)) IntersectClipRect(rect);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        int left = rect.Left;
        if (format & DT_CENTER)
            left = rect.Left + (rect.Width() - widths[i]) / 2;
        else if (format & DT_RIGHT)
            left = rect.Right - widths[i];
        DrawLine(left, top + static_cast<int>(i) * line_height, lines[i].text, widths[i],
                 lines[i].underlined);
    }
    clip_ = saved_clip;
    Changed();
    return top - rect.Top + total;
}

} // namespace fw
