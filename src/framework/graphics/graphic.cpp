// TGraphic: files, equality, the stored "Data" record and change notices.
#include "framework/graphics/graphic.hpp"

#include <fstream>
#include <iterator>
#include <typeinfo>
#include <vector>

namespace fw {

void TGraphic::SetTransparent(bool value) {
    if (transparent_ == value) return;
    transparent_ = value;
    Changed();
}

void TGraphic::Changed() {
    modified_ = true;
    if (OnChange) OnChange(this);
}

void TGraphic::LoadFromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EStreamError("Cannot open file \"" + path + "\"");
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw EStreamError("Cannot read file \"" + path + "\"");
    TMemoryStream stream(std::as_bytes(std::span(bytes)));
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& path) const {
    TMemoryStream stream;
    SaveToStream(stream);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto bytes = stream.Bytes();
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw EStreamError("Cannot write file \"" + path + "\"");
}

bool TGraphic::Equals(const TGraphic& other) const {
    if (typeid(*this) != typeid(other)) return false;
    if (Empty() || other.Empty()) return Empty() == other.Empty();
    TMemoryStream mine, theirs;
    SaveToStream(mine);
    other.SaveToStream(theirs);
    return std::ranges::equal(mine.Bytes(), theirs.Bytes());
}

void TGraphic::DefineProperties(TFiler& filer) {
    TPersistent::DefineProperties(filer);
    bool has_data = !Empty();
    if (!filer.IsReading())
        if (const auto* ancestor = dynamic_cast<const TGraphic*>(filer.Ancestor()))
            has_data = !Equals(*ancestor);
    filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { ReadData(s); }, [this](TStream& s) { WriteData(s); },
        has_data);
}

} // namespace fw
