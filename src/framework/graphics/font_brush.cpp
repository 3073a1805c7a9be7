// TFont, TBrush and TPen: values, assignment and change notices.
#include "framework/graphics/font_brush.hpp"

#include <cmath>

namespace fw {

// --- TFont ------------------------------------------------------------------------------

void TFont::Describe(TClassBuilder<TFont>& c) {
    // A stored font always carries these five, whatever their values.
    c.Prop("Charset", &TFont::Charset, &TFont::SetCharset).NoDefault().WithIdents(CharsetIdents());
    c.Prop("Color", &TFont::Color, &TFont::SetColor).NoDefault().WithIdents(ColorIdents());
    c.Prop("Height", &TFont::Height, &TFont::SetHeight).NoDefault();
    c.Prop("Name", &TFont::Name, &TFont::SetName);
    c.Prop("Pitch", &TFont::Pitch, &TFont::SetPitch, fpDefault);
    c.Prop("Size", &TFont::Size, &TFont::SetSize).Stored(false);
    c.Prop("Style", &TFont::Style, &TFont::SetStyle).NoDefault();
}

void TFont::Assign(const TPersistent& source) {
    const auto* f = dynamic_cast<const TFont*>(&source);
    if (!f) return TPersistent::Assign(source);
    if (SameAs(*f)) return;
    color_ = f->color_;
    height_ = f->height_;
    name_ = f->name_;
    style_ = f->style_;
    charset_ = f->charset_;
    pitch_ = f->pitch_;
    Changed();
}

bool TFont::SameAs(const TFont& f) const {
    return color_ == f.color_ && height_ == f.height_ && name_ == f.name_ && style_ == f.style_ &&
           charset_ == f.charset_ && pitch_ == f.pitch_;
}

int TFont::Size() const {
    // Rounded as the platform's MulDiv rounds: half away from zero.
    return static_cast<int>(-std::lround(height_ * 72.0 / kPixelsPerInch));
}

void TFont::SetSize(int points) {
    SetHeight(static_cast<int>(-std::lround(points * static_cast<double>(kPixelsPerInch) / 72.0)));
}

FontKey TFont::Key() const {
    return FontKey{name_, height_, style_.contains(fsBold), style_.contains(fsItalic)};
}

void TFont::Changed() {
    if (OnChange) OnChange(this);
}

// --- TBrush -----------------------------------------------------------------------------

void TBrush::Describe(TClassBuilder<TBrush>& c) {
    c.Prop("Color", &TBrush::Color, &TBrush::SetColor, clWhite).WithIdents(ColorIdents());
    c.Prop("Style", &TBrush::Style, &TBrush::SetStyle, bsSolid);
}

void TBrush::Assign(const TPersistent& source) {
    const auto* b = dynamic_cast<const TBrush*>(&source);
    if (!b) return TPersistent::Assign(source);
    if (color_ == b->color_ && style_ == b->style_) return;
    color_ = b->color_;
    style_ = b->style_;
    Changed();
}

void TBrush::SetColor(TColor value) {
    // Choosing a colour makes the brush paint again, as it does on the platform.
    if (color_ == value && style_ == bsSolid) return;
    color_ = value;
    style_ = bsSolid;
    Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
    if (style_ == value) return;
    style_ = value;
    Changed();
}

void TBrush::Changed() {
    if (OnChange) OnChange(this);
}

// --- TPen -------------------------------------------------------------------------------

void TPen::Describe(TClassBuilder<TPen>& c) {
    c.Prop("Color", &TPen::Color, &TPen::SetColor, clBlack).WithIdents(ColorIdents());
    c.Prop("Style", &TPen::Style, &TPen::SetStyle, psSolid);
    c.Prop("Width", &TPen::Width, &TPen::SetWidth, 1);
}

void TPen::Assign(const TPersistent& source) {
    const auto* p = dynamic_cast<const TPen*>(&source);
    if (!p) return TPersistent::Assign(source);
    if (color_ == p->color_ && style_ == p->style_ && width_ == p->width_) return;
    color_ = p->color_;
    style_ = p->style_;
    width_ = p->width_;
    Changed();
}

void TPen::SetColor(TColor value) {
    if (color_ == value) return;
    color_ = value;
    Changed();
}

void TPen::SetStyle(TPenStyle value) {
    if (style_ == value) return;
    style_ = value;
    Changed();
}

void TPen::SetWidth(int value) {
    if (value < 1) value = 1;
    if (width_ == value) return;
    width_ = value;
    Changed();
}

void TPen::Changed() {
    if (OnChange) OnChange(this);
}

} // namespace fw
