// The skin component: its stored mask record, the region it gives the window, the parent
// it strips, and the press that drags the window.
#include "skin/cool_form.hpp"

#include "framework/forms.hpp"
#include "framework/message_loop.hpp"

#include <utility>

namespace skin {

void TCoolForm::Describe(fw::TClassBuilder<TCoolForm>& c) {
    // Lower-case names: they take the place of Left, Top, Width and Height.
    c.Prop("top", &fw::TControl::Top, &TCoolForm::SetTop).NoDefault();
    c.Prop("left", &fw::TControl::Left, &TCoolForm::SetLeft).NoDefault();
    c.Prop("width", &fw::TControl::Width, &TCoolForm::SetWidth).NoDefault();
    c.Prop("height", &fw::TControl::Height, &TCoolForm::SetHeight).NoDefault();
    // The holder has nothing of its own to store; the region travels in Mask2.
    c.Prop("Mask", &TCoolForm::Mask, &TCoolForm::SetMask);
    c.Prop("Draggable", &TCoolForm::Draggable, true);
}

TCoolForm::TCoolForm(fw::TComponent* owner) : fw::TImage(owner) {
    SetAlign(fw::alClient);
    mask_ = std::make_unique<TRegionType>();
    mask_->OwnerControl = this;
    Picture().OnChange = fw::Bind<&TCoolForm::SkinChanged>(this);
    Draggable = true;
}

TCoolForm::~TCoolForm() {
    Picture().OnChange = nullptr;
    mask_data_.clear();
    ReleaseRegion();
    mask_.reset();
}

void TCoolForm::ReleaseRegion() {
    // A region the window never took is still ours to release.
    if (mask_->RegionHandle && mask_->RegionHandle != given_region_)
        fw::DeleteObject(mask_->RegionHandle);
}

void TCoolForm::SetMask(std::unique_ptr<TRegionType> holder) {
    if (!holder) return;
    holder->OwnerControl = this;
    ReleaseRegion();
    mask_ = std::move(holder);
}

void TCoolForm::SetTop(int) {
    fw::TControl::SetTop(0);
}

void TCoolForm::SetLeft(int) {
    fw::TControl::SetLeft(0);
}

void TCoolForm::SetWidth(int value) {
    fw::TControl::SetWidth(value);
}

void TCoolForm::SetHeight(int value) {
    fw::TControl::SetHeight(value);
}

void TCoolForm::SetParent(fw::TWinControl* parent) {
    fw::TImage::SetParent(parent);
    // The skin is the window's whole face: no caption, no frame.
    if (auto* form = dynamic_cast<fw::TForm*>(parent)) form->SetBorderStyle(fw::bsNone);
    SetTop(0);
    SetLeft(0);
}

void TCoolForm::DefineProperties(fw::TFiler& filer) {
    fw::TImage::DefineProperties(filer);
    filer.DefineBinaryProperty(
        "Mask2", [this](fw::TStream& s) { ReadMask(s); }, [this](fw::TStream& s) { WriteMask(s); },
        true);
}

void TCoolForm::ReadMask(fw::TStream& stream) {
    mask_data_.clear();
    ReleaseRegion();
    mask_->RegionHandle = 0;
    const std::int64_t available = stream.Remaining();
    if (available < 4) {
        // Not even a length: treated like a record that says less than it holds.
        stream.Seek(0, fw::TSeekOrigin::End);
        return;
    }
    const std::uint32_t size = stream.ReadUInt32();
    if (size == 0) return;
    if (size > available - 4) {
        // The record claims more bytes than were stored: keep the window rectangular
        // rather than read past its end.
        stream.Seek(0, fw::TSeekOrigin::End);
        return;
    }
    mask_data_ = stream.ReadBytes(size);
    // The record is what the stated size covers; bytes stored after it mean nothing.
    stream.Seek(0, fw::TSeekOrigin::End);
    const fw::HRGN region = fw::ExtCreateRegion(nullptr, size, mask_data_.data());
    mask_->RegionHandle = region;
    if (Designing() || !region || !Parent()) return;
    if (fw::SetWindowRgn(Parent()->Handle(), region, true)) given_region_ = region;
}

void TCoolForm::WriteMask(fw::TStream& stream) const {
    std::vector<std::byte> data;
    if (const fw::HRGN region = mask_->RegionHandle) {
        const std::uint32_t size = fw::GetRegionData(region, 0, nullptr);
        if (size > 0) {
            data.resize(size);
            if (fw::GetRegionData(region, size, data.data()) != size) data.clear();
        } else if (region == given_region_) {
            // The window owns that region now and its handle no longer answers; the record
            // it was built from still describes it exactly.
            data = mask_data_;
        }
    }
    stream.WriteUInt32(static_cast<std::uint32_t>(data.size()));
    stream.WriteBytes(data);
}

void TCoolForm::SkinChanged(fw::TObject*) {
    if (!Parent()) return;
    Picture().Bitmap(); // the skin is always a bitmap
    // A new picture makes the mask meaningless; the window keeps the shape it has.
    if (!mask_->RegionHandle) return;
    const fw::HRGN region = std::exchange(mask_->RegionHandle, 0);
    if (region != given_region_) fw::DeleteObject(region);
}

void TCoolForm::MouseDown(fw::TMouseButton button, fw::TShiftState, int, int) {
    if (button != fw::mbLeft || !Draggable) return;
    fw::ReleaseCapture();
    // The window system moves the whole window with the pointer until the release; the
    // call returns after that.
    if (Parent()) fw::SendMessage(Parent()->Handle(), fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE, 0);
}

} // namespace skin
