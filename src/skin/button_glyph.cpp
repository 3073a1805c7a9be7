// Glyph strips: cutting and masking state cells, the shared lists they live in, and the
// placement of glyph and caption inside a button.
#include "skin/button_glyph.hpp"

#include <algorithm>
#include <utility>

namespace skin {

namespace {

std::unique_ptr<TGlyphCache> g_shared_cache;

TGlyphCache& EnsureSharedCache() {
    if (!g_shared_cache) g_shared_cache = std::make_unique<TGlyphCache>();
    return *g_shared_cache;
}

} // namespace

TGlyphCache* SharedGlyphCache() {
    return g_shared_cache.get();
}

// ---- TGlyphList --------------------------------------------------------------------

TGlyphList::TGlyphList(int width, int height)
    : fw::TImageList(width, height), used_slots_(std::make_unique<fw::TBits>()) {}

TGlyphList::~TGlyphList() = default;

int TGlyphList::AcquireSlot() {
    int index = used_slots_->OpenBit();
    if (index >= used_slots_->Size()) {
        index = AddBlank();
        used_slots_->SetSize(index + 1);
    }
    used_slots_->SetBits(index, true);
    return index;
}

int TGlyphList::AddMaskedImage(const fw::TBitmap& image, fw::TColor mask_color) {
    const int index = AcquireSlot();
    ReplaceMasked(index, image, mask_color);
    ++live_count_;
    return index;
}

void TGlyphList::ReleaseSlot(int index) {
    if (!SlotUsed(index)) return;
    --live_count_;
    used_slots_->SetBits(index, false);
}

// ---- TGlyphCache -------------------------------------------------------------------

TGlyphCache::TGlyphCache() = default;

TGlyphCache::~TGlyphCache() = default;

TGlyphList* TGlyphCache::ListForSize(int width, int height) {
    for (auto it = lists_.rbegin(); it != lists_.rend(); ++it)
        if ((*it)->Width() == width && (*it)->Height() == height) return it->get();
    lists_.push_back(std::make_unique<TGlyphList>(width, height));
    return lists_.back().get();
}

void TGlyphCache::ReleaseList(TGlyphList* list) {
    if (!list || list->LiveCount() != 0) return;
    std::erase_if(lists_, [list](const std::unique_ptr<TGlyphList>& l) { return l.get() == list; });
}

// ---- TButtonGlyph ------------------------------------------------------------------

TButtonGlyph::TButtonGlyph() : strip_(std::make_unique<fw::TBitmap>()) {
    strip_->OnChange = fw::Bind<&TButtonGlyph::StripChanged>(this);
    EnsureSharedCache();
}

TButtonGlyph::~TButtonGlyph() {
    strip_->OnChange = nullptr;
    strip_.reset();
    DropImages();
    if (g_shared_cache && g_shared_cache->IsEmpty()) g_shared_cache.reset();
}

void TButtonGlyph::DropImages() {
    for (int& index : image_index_) {
        if (index != -1 && cell_images_) cell_images_->ReleaseSlot(index);
        index = -1;
    }
    if (g_shared_cache) g_shared_cache->ReleaseList(cell_images_);
    cell_images_ = nullptr;
}

void TButtonGlyph::StripChanged(fw::TObject* sender) {
    if (sender != strip_.get()) return;
    transparent_color_ = strip_->TransparentColor();
    DropImages();
    if (ChangeCallback.Assigned()) ChangeCallback(this);
}

void TButtonGlyph::SetStrip(const fw::TBitmap* bitmap) {
    DropImages();
    if (bitmap)
        strip_->Assign(*bitmap);
    else
        strip_->Assign(fw::TBitmap());
    if (!bitmap || bitmap->Height() <= 0) return;
    transparent_color_ = bitmap->TransparentColor();
    // A strip of square cells tells how many it has.
    if (bitmap->Width() % bitmap->Height() == 0) {
        int count = bitmap->Width() / bitmap->Height();
        if (count > kMaxCells) count = 1;
        SetCellCount(count);
    }
}

void TButtonGlyph::SetCellCount(int count) {
    if (count == cell_count_ || count < 1 || count > kMaxCells) return;
    DropImages();
    cell_count_ = static_cast<std::uint8_t>(count);
    StripChanged(strip_.get());
}

int TButtonGlyph::BuildStateImage(TCoolButtonState state) {
    // Without a cell of its own the down state looks like the up one.
    if (state == cbsDown && cell_count_ < 3) state = cbsUp;
    int& slot = image_index_[state];
    if (slot != -1) return slot;
    const fw::DibImage& strip = strip_->Image();
    const int cell_width = strip.width / cell_count_;
    const int cell_height = strip.height;
    // A strip narrower than its cell count has no cell to show.
    if (cell_width <= 0 || cell_height <= 0) return -1;
    if (!cell_images_) cell_images_ = EnsureSharedCache().ListForSize(cell_width, cell_height);

    fw::DibImage cell =
        strip.IsPaletted()
            ? fw::DibImage::Paletted(cell_width, cell_height, strip.bits_per_pixel, strip.palette)
            : fw::DibImage::TrueColor(cell_width, cell_height, strip.bits_per_pixel);
    const int cell_index = state < cell_count_ ? state : 0;
    const auto left = static_cast<std::size_t>(cell_index * cell_width);
    for (int y = 0; y < cell_height; ++y) {
        const auto from =
            static_cast<std::size_t>(y) * static_cast<std::size_t>(strip.width) + left;
        const auto to = static_cast<std::size_t>(y) * static_cast<std::size_t>(cell_width);
        const auto n = static_cast<std::size_t>(cell_width);
        if (strip.IsPaletted())
            std::copy_n(strip.indices.begin() + static_cast<std::ptrdiff_t>(from), n,
                        cell.indices.begin() + static_cast<std::ptrdiff_t>(to));
        else
            std::copy_n(strip.pixels.begin() + static_cast<std::ptrdiff_t>(from), n,
                        cell.pixels.begin() + static_cast<std::ptrdiff_t>(to));
    }
    fw::TBitmap temporary;
    temporary.SetImage(std::move(cell));
    // Each cell's own bottom-left pixel decides its transparency, unless the strip fixes it.
    const fw::TColor mask_color = strip_->TransparentMode() == fw::tmFixed
                                      ? transparent_color_
                                      : temporary.TransparentColor();
    slot = cell_images_->AddMaskedImage(temporary, mask_color);
    strip_->Dormant();
    return slot;
}

fw::TRect TButtonGlyph::DrawFace(fw::TCanvas& canvas, const fw::TRect& rect,
                                 const std::string& caption, TButtonLayout layout, int margin,
                                 int spacing, TCoolButtonState state) {
    const TFaceLayout face = ComputeLayout(canvas, rect, caption, layout, margin, spacing);
    DrawStateImage(canvas, face.Glyph, state);
    DrawCaption(canvas, caption, face.Text, state);
    return face.Text;
}

TFaceLayout TButtonGlyph::ComputeLayout(fw::TCanvas& canvas, const fw::TRect& rect,
                                        const std::string& caption, TButtonLayout layout,
                                        int margin, int spacing) const {
    const fw::TPoint client{rect.Width(), rect.Height()};
    const fw::TPoint glyph{strip_->Width() / cell_count_, strip_->Height()};
    fw::TPoint text;
    if (!caption.empty()) {
        fw::TRect measured{0, 0, client.X, 0};
        canvas.DrawText(caption, measured, fw::DT_CALCRECT);
        text = {measured.Width(), measured.Height()};
    }
    TFaceLayout face = PlaceFace(client, glyph, text, layout, margin, spacing);
    face.Glyph = {face.Glyph.X + rect.Left, face.Glyph.Y + rect.Top};
    face.Text = fw::OffsetRect(face.Text, rect.Left, rect.Top);
    return face;
}

TFaceLayout TButtonGlyph::PlaceFace(fw::TPoint client, fw::TPoint glyph, fw::TPoint text,
                                    TButtonLayout layout, int margin, int spacing) {
    const int cw = client.X, ch = client.Y;
    const int gw = glyph.X, gh = glyph.Y;
    const int tw = text.X, th = text.Y;
    const bool horizontal = layout == blGlyphLeft || layout == blGlyphRight;
    fw::TPoint g, t;
    // The glyph sits flush with the cross-axis edge; the caption is centred on it.
    if (horizontal)
        t.Y = (ch - th + 1) / 2;
    else
        t.X = (cw - tw + 1) / 2;
    if (tw == 0 || gw == 0) spacing = 0;
    if (margin == -1 && spacing == -1) {
        margin = horizontal ? (cw - (gw + tw)) / 3 : (ch - (gh + th)) / 3;
        spacing = margin;
    } else if (margin == -1) {
        margin =
            horizontal ? (cw - (gw + spacing + tw) + 1) / 2 : (ch - (gh + spacing + th) + 1) / 2;
    } else if (spacing == -1) {
        spacing = horizontal ? (cw - (margin + gw) - tw) / 2 : (ch - (margin + gh) - th) / 2;
    }
    switch (layout) {
    case blGlyphLeft:
        g.X = margin;
        t.X = g.X + gw + spacing;
        break;
    case blGlyphRight:
        g.X = cw - margin - gw;
        t.X = g.X - spacing - tw;
        break;
    case blGlyphTop:
        g.Y = margin;
        t.Y = g.Y + gh + spacing;
        break;
    case blGlyphBottom:
        g.Y = ch - margin - gh;
        t.Y = g.Y - spacing - th;
        break;
    }
    return {g, {t.X, t.Y, t.X + tw, t.Y + th}};
}

void TButtonGlyph::DrawStateImage(fw::TCanvas& canvas, fw::TPoint position,
                                  TCoolButtonState state) {
    if (strip_->Width() == 0 || strip_->Height() == 0) return;
    const int index = BuildStateImage(state);
    if (index < 0) return;
    cell_images_->Draw(canvas, position.X, position.Y, index);
}

void TButtonGlyph::DrawCaption(fw::TCanvas& canvas, const std::string& caption,
                               const fw::TRect& text_rect, TCoolButtonState state) const {
    // No caption draws nothing; returning here also spares loading a font for it.
    if (caption.empty()) return;
    canvas.Brush().SetStyle(fw::bsClear);
    fw::TRect r = text_rect;
    if (state == cbsDisabled) {
        // Engraved: a light copy one pixel down and right, the shadow over it.
        r = fw::OffsetRect(text_rect, 1, 1);
        canvas.Font().SetColor(fw::clBtnHighlight);
        canvas.DrawText(caption, r, 0);
        r = text_rect;
        canvas.Font().SetColor(fw::clBtnShadow);
        canvas.DrawText(caption, r, 0);
    } else {
        canvas.DrawText(caption, r, fw::DT_CENTER | fw::DT_VCENTER | fw::DT_SINGLELINE);
    }
}

} // namespace skin
