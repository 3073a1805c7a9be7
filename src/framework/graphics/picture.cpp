// TPicture: holding, copying and storing a graphic.
#include "framework/graphics/picture.hpp"

#include <string>
#include <utility>

namespace fw {

const TClassInfo* FindGraphicClass(std::string_view name) {
    for (const TClassInfo* known : {&TBitmap::StaticClassInfo(), &TIcon::StaticClassInfo()})
        if (SameIdent(known->Name(), name)) return known;
    const TClassInfo* info = GetClass(name);
    if (info && info->InheritsFrom(TGraphic::StaticClassInfo()) && info->CanCreate() &&
        !info->IsComponentClass())
        return info;
    return nullptr;
}

namespace {

std::unique_ptr<TGraphic> CreateGraphic(const TClassInfo& info) {
    std::unique_ptr<TPersistent> made = info.CreatePersistent();
    auto* graphic = dynamic_cast<TGraphic*>(made.get());
    if (!graphic) throw EInvalidGraphic("Cannot create a graphic of class " + info.Name());
    made.release();
    return std::unique_ptr<TGraphic>(graphic);
}

} // namespace

TPicture::TPicture() = default;

TPicture::~TPicture() = default;

void TPicture::Assign(const TPersistent& source) {
    if (const auto* picture = dynamic_cast<const TPicture*>(&source)) {
        if (picture != this) SetGraphic(picture->Graphic());
        return;
    }
    if (const auto* graphic = dynamic_cast<const TGraphic*>(&source)) {
        SetGraphic(graphic);
        return;
    }
    TPersistent::Assign(source);
}

void TPicture::AssignTo(TPersistent& dest) const {
    if (graphic_ && dynamic_cast<TGraphic*>(&dest)) {
        dest.Assign(*graphic_);
        return;
    }
    TPersistent::AssignTo(dest);
}

void TPicture::SetGraphic(const TGraphic* graphic) {
    if (graphic && graphic == graphic_.get()) return;
    std::unique_ptr<TGraphic> copy;
    if (graphic) {
        const TClassInfo& info = graphic->ClassInfo();
        if (!info.CanCreate())
            throw EInvalidGraphic("Cannot create a graphic of class " + info.Name());
        copy = CreateGraphic(info);
        copy->Assign(*graphic);
    }
    Adopt(std::move(copy));
    Changed();
}

void TPicture::Adopt(std::unique_ptr<TGraphic> graphic) {
    graphic_ = std::move(graphic);
    if (graphic_) graphic_->OnChange = Bind<&TPicture::GraphicChanged>(this);
}

void TPicture::GraphicChanged(TObject*) {
    Changed();
}

void TPicture::Changed() {
    if (OnChange) OnChange(this);
}

void TPicture::DefineProperties(TFiler& filer) {
    TPersistent::DefineProperties(filer);
    bool has_data = graphic_ && !graphic_->Empty();
    if (!filer.IsReading())
        if (const auto* ancestor = dynamic_cast<const TPicture*>(filer.Ancestor())) {
            const TGraphic* theirs = ancestor->Graphic();
            has_data = graphic_ ? !theirs || !graphic_->Equals(*theirs) : theirs != nullptr;
        }
    filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); },
        has_data);
}

void TPicture::ReadData(TStream& stream) {
    const std::int64_t left = stream.Remaining();
    if (left < 1) throw EInvalidGraphic("Picture data: no class name");
    std::uint8_t length = 0;
    stream.ReadBuffer(&length, 1);
    if (length > left - 1)
        throw EInvalidGraphic("Picture data: class name of " + std::to_string(length) +
                              " bytes, but only " + std::to_string(left - 1) + " follow");
    std::string name(length, '\0');
    stream.ReadBuffer(name.data(), length);
    if (name.empty()) {
        Adopt(nullptr);
        Changed();
        return;
    }
    if (!IsValidIdent(name))
        throw EInvalidGraphic("Picture data: the class name of " + std::to_string(length) +
                              " bytes is not an identifier");
    const TClassInfo* info = FindGraphicClass(name);
    if (!info) throw EInvalidGraphic("Picture data: '" + name + "' is not a graphic class");
    std::unique_ptr<TGraphic> graphic = CreateGraphic(*info);
    graphic->ReadData(stream);
    Adopt(std::move(graphic));
    Changed();
}

void TPicture::WriteData(TStream& stream) const {
    const std::string name = graphic_ ? std::string(graphic_->ClassName()) : std::string();
    const auto length = static_cast<std::uint8_t>(name.size());
    stream.WriteBuffer(&length, 1);
    stream.WriteBuffer(name.data(), name.size());
    if (graphic_) graphic_->WriteData(stream);
}

} // namespace fw
