// The picture control.
#include "framework/image.hpp"

#include "framework/graphics/canvas.hpp"

namespace fw {

void TImage::Describe(TClassBuilder<TImage>& c) {
    c.Prop("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize, false);
    c.Prop("Center", &TImage::Center, &TImage::SetCenter, false);
    c.Prop("Picture", &TImage::Picture);
    c.Prop("Stretch", &TImage::Stretch, &TImage::SetStretch, false);
    c.Prop("Transparent", &TImage::Transparent, &TImage::SetTransparent, false);
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner), picture_(std::make_unique<TPicture>()) {
    ControlStyle.insert(csReplicatable);
    picture_->OnChange = Bind<&TImage::PictureChanged>(this);
    SetBounds(Left(), Top(), 105, 105);
}

TImage::~TImage() {
    picture_->OnChange = nullptr;
}

void TImage::SetAutoSize(bool value) {
    auto_size_ = value;
    PictureChanged(this);
}

void TImage::SetCenter(bool value) {
    if (value == center_) return;
    center_ = value;
    PictureChanged(this);
}

void TImage::SetStretch(bool value) {
    if (value == stretch_) return;
    stretch_ = value;
    PictureChanged(this);
}

void TImage::SetTransparent(bool value) {
    if (value == transparent_) return;
    transparent_ = value;
    if (TGraphic* g = picture_->Graphic()) g->SetTransparent(value);
    PictureChanged(this);
}

void TImage::PictureChanged(TObject*) {
    TGraphic* g = picture_->Graphic();
    if (auto_size_ && g && g->Width() > 0 && g->Height() > 0)
        SetBounds(Left(), Top(), g->Width(), g->Height());
    // A picture that covers the whole control hides what lies below: the parent need not
    // paint there.
    if (g && !g->Transparent() && (stretch_ || (g->Width() >= Width() && g->Height() >= Height())))
        ControlStyle.insert(csOpaque);
    else
        ControlStyle.erase(csOpaque);
    Invalidate();
}

TRect TImage::DestRect() const {
    const TGraphic* g = picture_->Graphic();
    if (!g) return {0, 0, 0, 0};
    if (stretch_) return ClientRect();
    int x = 0, y = 0;
    if (center_) {
        x = (Width() - g->Width()) / 2;
        y = (Height() - g->Height()) / 2;
    }
    return {x, y, x + g->Width(), y + g->Height()};
}

void TImage::Paint() {
    TCanvas& c = Canvas();
    if (ComponentState().contains(csDesigning)) {
        c.Pen().SetColor(clBlack);
        c.Brush().SetStyle(bsClear);
        c.Rectangle(ClientRect());
    }
    const TGraphic* g = picture_->Graphic();
    if (!g || g->Empty()) return;
    const TRect r = DestRect();
    if (stretch_)
        c.StretchDraw(r, *g);
    else
        c.Draw(r.Left, r.Top, *g);
}

} // namespace fw
