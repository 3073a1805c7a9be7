// TCoolForm: the skin of a borderless window. Dropped on a form, it fills the client area
// with its picture, strips the form's frame, cuts the window to the region mask stored
// with the form ("Mask2", made when the skin was designed) and lets a left press anywhere
// on the skin drag the whole window. TRegionType holds the region.
#pragma once

#include "framework/image.hpp"
#include "framework/regions.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace skin {

class TCoolForm;

class TRegionType : public fw::TPersistent {
    FW_CLASS(TRegionType, fw::TPersistent)
public:
    // None (0) when there is no mask. Once given to the window the region is the window's.
    fw::HRGN RegionHandle = 0;
    TCoolForm* OwnerControl = nullptr;
};

class TCoolForm : public fw::TImage {
    FW_CLASS(TCoolForm, fw::TImage)
public:
    explicit TCoolForm(fw::TComponent* owner);
    ~TCoolForm() override;
    static void Describe(fw::TClassBuilder<TCoolForm>& c);

    TRegionType* Mask() const { return mask_.get(); }
    // Makes the holder the current one, releasing the old holder's region unless the window
    // owns it; nullptr is ignored.
    void SetMask(std::unique_ptr<TRegionType> holder);
    // Whether a left press drags the window.
    bool Draggable = true;

    // The stored position is always the parent's client origin.
    virtual void SetTop(int value);
    virtual void SetLeft(int value);
    virtual void SetWidth(int value);
    virtual void SetHeight(int value);

    void SetParent(fw::TWinControl* parent) override;
    void DefineProperties(fw::TFiler& filer) override;

    // The Mask2 record as it was read while loading.
    const std::vector<std::byte>& MaskData() const { return mask_data_; }
    std::uint32_t MaskDataSize() const { return static_cast<std::uint32_t>(mask_data_.size()); }

protected:
    void MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) override;

private:
    void ReadMask(fw::TStream& stream);
    void ReleaseRegion();
    void WriteMask(fw::TStream& stream) const;
    // Replaces the picture control's own change handling.
    void SkinChanged(fw::TObject* sender);
    bool Designing() const { return ComponentState().contains(fw::csDesigning); }

    std::unique_ptr<TRegionType> mask_;
    std::vector<std::byte> mask_data_;
    // The region handed to the window, which owns it from then on.
    fw::HRGN given_region_ = 0;
};

} // namespace skin
