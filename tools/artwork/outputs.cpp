// Turns the drawn artwork into the stored images and files.
#include "outputs.hpp"

#include "mask.hpp"
#include "quantize.hpp"

#include "os/display/png.hpp"

namespace art {

namespace {

fw::DibImage Reduce(const TrueColorImage& img, std::uint32_t reserved) {
    return Quantize(img.width, img.height, img.pixels, {reserved}, 8);
}

} // namespace

fw::IconFile MakeIcon(const IconArt& icon, unsigned bits) {
    // Transparent pixels are black in the colour image, as icon files keep them.
    std::vector<std::uint32_t> pixels = icon.pixels;
    fw::IconImage image;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const bool opaque = icon.alpha[i] >= 128;
        image.mask.push_back(opaque ? 0 : 1);
        if (!opaque)
            pixels[i] = 0;
        else if (pixels[i] == 0)
            pixels[i] = 0x010101;
    }
    image.color = Quantize(icon.size, icon.size, pixels, {0x000000}, bits);
    fw::IconFile file;
    file.images.push_back(std::move(image));
    return file;
}

os::IconPixels MakeThemeIcon(const IconArt& icon) {
    os::IconPixels out;
    out.width = out.height = icon.size;
    for (std::size_t i = 0; i < icon.pixels.size(); ++i)
        out.argb.push_back(std::uint32_t{icon.alpha[i]} << 24 | icon.pixels[i]);
    return out;
}

std::string ThemeIconPath(int size) {
    return "artwork/hicolor/mirelo-" + std::to_string(size) + ".png";
}

StoredArtwork MakeStoredArtwork(const Artwork& art) {
    StoredArtwork stored;
    stored.skin = Reduce(art.skin, kBackground);
    for (const auto& strip : art.strips)
        stored.strips.push_back(Reduce(strip, kKeyColor));
    stored.mask = MaskRecord(RegionFromImage(stored.skin, kBackground));
    stored.app_icon = MakeIcon(DrawAppIcon(), 8);
    stored.tray_icon = MakeIcon(DrawTrayIcon(), 4);
    for (int size : kThemeIconSizes)
        stored.theme_icons.push_back(MakeThemeIcon(DrawAppIcon(size)));
    return stored;
}

std::vector<OutputFile> ArtworkFiles(const StoredArtwork& stored) {
    std::vector<OutputFile> files;
    files.push_back({"artwork/skin.bmp", fw::WriteBmp(stored.skin)});
    for (std::size_t i = 0; i < kButtons.size(); ++i)
        files.push_back(
            {std::string("artwork/") + kButtons[i].file, fw::WriteBmp(stored.strips[i])});
    files.push_back({"artwork/mirelo.ico", fw::WriteIcon(stored.app_icon)});
    files.push_back({"artwork/tray.ico", fw::WriteIcon(stored.tray_icon)});
    for (std::size_t i = 0; i < kThemeIconSizes.size(); ++i)
        files.push_back(
            {ThemeIconPath(kThemeIconSizes[i]), os::EncodeIconPng(stored.theme_icons[i])});
    return files;
}

} // namespace art
