// TImage: a windowless control that shows a picture, at its natural size from the top-left
// corner, centred, or stretched to the control.
#pragma once

#include "framework/controls.hpp"
#include "framework/graphics/picture.hpp"

#include <memory>

namespace fw {

class TImage : public TGraphicControl {
    FW_CLASS(TImage, TGraphicControl)
public:
    explicit TImage(TComponent* owner);
    ~TImage() override;
    static void Describe(TClassBuilder<TImage>& c);

    TPicture& Picture() const { return *picture_; }
    void SetPicture(const TPicture& value) { picture_->Assign(value); }
    bool AutoSize() const { return auto_size_; }
    void SetAutoSize(bool value);
    bool Center() const { return center_; }
    void SetCenter(bool value);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool value);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool value);

protected:
    void Paint() override;
    // The picture's change notice: sizes the control (AutoSize), decides whether it is
    // opaque, and invalidates it.
    virtual void PictureChanged(TObject* sender);
    // Where the picture is drawn, in client coordinates.
    TRect DestRect() const;

private:
    std::unique_ptr<TPicture> picture_;
    bool auto_size_ = false;
    bool center_ = false;
    bool stretch_ = false;
    bool transparent_ = false;
};

} // namespace fw
