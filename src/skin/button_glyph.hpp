// The faces of the skinned buttons. TButtonGlyph owns a button's glyph strip (up to four
// equally wide cells side by side, one per visual state), cuts out and masks a state's cell
// the first time that state is drawn, and places the glyph and an optional caption in the
// button. The masked cells live in image lists shared by every button whose cells have the
// same size: one TGlyphList per size, kept by the process-wide TGlyphCache.
#pragma once

#include "framework/events.hpp"
#include "framework/graphics/bitmap.hpp"
#include "framework/graphics/bits.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/graphics/image_list.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace skin {

// A button's visual state; the ordinal is also the strip cell that shows it.
enum TCoolButtonState : std::uint8_t { cbsUp, cbsDisabled, cbsDown, cbsLatched };

// Where the glyph stands relative to the caption.
enum TButtonLayout : std::uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
FW_ENUM_IDENTS(TButtonLayout, "blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom")

inline constexpr int kMaxCells = 4;

// An image list of one cell size whose slots are handed out and given back: a released
// slot keeps its image until the next AcquireSlot reuses it, so indices stay stable.
class TGlyphList : public fw::TImageList {
    FW_CLASS(TGlyphList, fw::TImageList)
public:
    TGlyphList(int width, int height);
    ~TGlyphList() override;

    // The first free slot; a blank image is appended when every slot is in use.
    int AcquireSlot();
    // A slot holding the bitmap, with every pixel of `mask_color` transparent. Throws
    // EInvalidOperation("Unable to Replace Image") when the bitmap does not fit; the slot
    // then stays acquired.
    int AddMaskedImage(const fw::TBitmap& image, fw::TColor mask_color);
    void ReleaseSlot(int index);

    int LiveCount() const { return live_count_; }
    bool SlotUsed(int index) const {
        return index >= 0 && index < used_slots_->Size() && used_slots_->Bits(index);
    }

private:
    std::unique_ptr<fw::TBits> used_slots_;
    int live_count_ = 0;
};

// The glyph lists of the process, one per cell size.
class TGlyphCache : public fw::TObject {
public:
    TGlyphCache();
    ~TGlyphCache() override;
    TGlyphCache(const TGlyphCache&) = delete;
    TGlyphCache& operator=(const TGlyphCache&) = delete;

    // The list for that cell size, made on first request.
    TGlyphList* ListForSize(int width, int height);
    // Frees the list once no image in it is live any more.
    void ReleaseList(TGlyphList* list);
    bool IsEmpty() const { return lists_.empty(); }
    int Count() const { return static_cast<int>(lists_.size()); }

private:
    std::vector<std::unique_ptr<TGlyphList>> lists_;
};

// The one cache, or nullptr while no button has made it (or after the last one went).
TGlyphCache* SharedGlyphCache();

// Where a face's parts go inside a button, in the button's client coordinates.
struct TFaceLayout {
    fw::TPoint Glyph;
    fw::TRect Text;
};

class TButtonGlyph : public fw::TObject {
public:
    TButtonGlyph();
    ~TButtonGlyph() override;
    TButtonGlyph(const TButtonGlyph&) = delete;
    TButtonGlyph& operator=(const TButtonGlyph&) = delete;

    fw::TBitmap& Strip() const { return *strip_; }
    // Takes a copy of the bitmap (nullptr empties the strip) and, for a strip of square
    // cells, guesses the cell count from its proportions.
    void SetStrip(const fw::TBitmap* bitmap);
    int CellCount() const { return cell_count_; }
    // 1 to 4; anything else is ignored.
    void SetCellCount(int count);
    fw::TColor TransparentColor() const { return transparent_color_; }
    TGlyphList* CellImages() const { return cell_images_; }
    int ImageIndex(TCoolButtonState state) const { return image_index_[state]; }

    // Called after the strip or the cell count changed.
    fw::TNotifyEvent ChangeCallback;

    // Gives every built image back; the next draw builds them again.
    void DropImages();
    // The slot of the state's image in CellImages, built on first use; -1 when the strip
    // has nothing to cut a cell from.
    int BuildStateImage(TCoolButtonState state);

    // Lays out, draws the glyph and the caption; returns the caption's rectangle.
    fw::TRect DrawFace(fw::TCanvas& canvas, const fw::TRect& rect, const std::string& caption,
                       TButtonLayout layout, int margin, int spacing, TCoolButtonState state);
    // The caption is measured on the canvas; the results are moved by the rectangle's origin.
    TFaceLayout ComputeLayout(fw::TCanvas& canvas, const fw::TRect& rect,
                              const std::string& caption, TButtonLayout layout, int margin,
                              int spacing) const;
    // The arithmetic of ComputeLayout for a client of `client` size, a glyph and a caption
    // of the given sizes; positions relative to the client's top-left corner.
    static TFaceLayout PlaceFace(fw::TPoint client, fw::TPoint glyph, fw::TPoint text,
                                 TButtonLayout layout, int margin, int spacing);
    void DrawStateImage(fw::TCanvas& canvas, fw::TPoint position, TCoolButtonState state);
    void DrawCaption(fw::TCanvas& canvas, const std::string& caption, const fw::TRect& text_rect,
                     TCoolButtonState state) const;

private:
    void StripChanged(fw::TObject* sender);

    std::unique_ptr<fw::TBitmap> strip_;
    TGlyphList* cell_images_ = nullptr; // shared, from the cache
    std::array<int, kMaxCells> image_index_{-1, -1, -1, -1};
    fw::TColor transparent_color_ = fw::clOlive;
    std::uint8_t cell_count_ = 1;
};

} // namespace skin
