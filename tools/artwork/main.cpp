// The artwork and form-description generator: writes the skin, the button strips, the
// icons and the main window's description into the given folder (the program's source
// folder, src/app), and with a second folder PNG previews enlarged three times.
#include "form_description.hpp"
#include "outputs.hpp"

#include "os/display/png.hpp"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>

namespace {

void WriteFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

os::PixelBuffer Enlarged(const fw::DibImage& image, int factor, std::uint32_t backdrop,
                         const std::vector<std::uint8_t>* mask = nullptr) {
    os::PixelBuffer out(image.width * factor, image.height * factor);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const int sx = x / factor, sy = y / factor;
            const bool clear = mask && (*mask)[static_cast<std::size_t>(sy * image.width + sx)];
            out.Set(x, y, clear ? backdrop : image.ColorAt(sx, sy));
        }
    return out;
}

void WritePreviews(const std::filesystem::path& dir, const art::StoredArtwork& stored) {
    std::filesystem::create_directories(dir);
    os::WritePng((dir / "skin.png").string(), Enlarged(stored.skin, 3, 0));
    for (std::size_t i = 0; i < art::kButtons.size(); ++i)
        os::WritePng((dir / (std::string(art::kButtons[i].name) + ".png")).string(),
                     Enlarged(stored.strips[i], 3, 0));
    os::WritePng(
        (dir / "mirelo_icon.png").string(),
        Enlarged(stored.app_icon.images[0].color, 8, 0xD8DCE4, &stored.app_icon.images[0].mask));
    os::WritePng(
        (dir / "tray_icon.png").string(),
        Enlarged(stored.tray_icon.images[0].color, 8, 0xD8DCE4, &stored.tray_icon.images[0].mask));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s <output folder> [<preview folder>]\n", argv[0]);
        return 2;
    }
    try {
        const art::StoredArtwork stored = art::MakeStoredArtwork(art::DrawArtwork());
        auto files = art::ArtworkFiles(stored);
        const std::string description = art::MainFormDescription(stored);
        files.push_back(
            {"Unit1.form",
             {reinterpret_cast<const std::byte*>(description.data()),
              reinterpret_cast<const std::byte*>(description.data()) + description.size()}});
        for (const auto& f : files)
            WriteFile(std::filesystem::path(argv[1]) / f.path, f.bytes);
        if (argc == 3) WritePreviews(argv[2], stored);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirelo_artwork: %s\n", e.what());
        return 1;
    }
    return 0;
}
