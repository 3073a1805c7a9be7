// TPicture: holds one graphic of any kind (or none), copies what it is given, and stores it
// as "Data": a length-prefixed class name ("TBitmap": the byte 7, then the 7 characters),
// then the graphic's own record. A change of the graphic is a change of the picture.
#pragma once

#include "framework/classes.hpp"
#include "framework/events.hpp"
#include "framework/graphics/bitmap.hpp"
#include "framework/graphics/graphic.hpp"
#include "framework/graphics/icon.hpp"

#include <memory>
#include <string_view>

namespace fw {

class TPicture : public TPersistent {
    FW_CLASS(TPicture, TPersistent)
public:
    TPicture();
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // From another picture or any graphic: the picture holds a copy.
    void Assign(const TPersistent& source) override;

    TGraphic* Graphic() const { return graphic_.get(); }
    // A copy of the graphic; nullptr empties the picture.
    void SetGraphic(const TGraphic* graphic);
    // The graphic as a bitmap or an icon: a graphic of another kind (or none) is first
    // replaced by an empty one of that kind, without a change notice.
    TBitmap& Bitmap() { return ForceType<TBitmap>(); }
    TIcon& Icon() { return ForceType<TIcon>(); }

    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    void DefineProperties(TFiler& filer) override;
    // The stored record. Reading checks the class name against the bytes there are and
    // against the graphic classes; a bad record throws EInvalidGraphic.
    void ReadData(TStream& stream);
    void WriteData(TStream& stream) const;

    TNotifyEvent OnChange;

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    template <class G> G& ForceType() {
        if (auto* g = dynamic_cast<G*>(graphic_.get())) return *g;
        auto made = std::make_unique<G>();
        G& result = *made;
        Adopt(std::move(made));
        return result;
    }
    void Adopt(std::unique_ptr<TGraphic> graphic);
    void GraphicChanged(TObject* sender);
    void Changed();

    std::unique_ptr<TGraphic> graphic_;
};

// The graphic class of that name (TBitmap, TIcon, or a registered TGraphic descendant that
// can be created), or nullptr.
const TClassInfo* FindGraphicClass(std::string_view name);

} // namespace fw
