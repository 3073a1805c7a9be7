// The files the generator writes, as bytes with their paths relative to the program's
// source folder: the skin, the five strips, the two icons and the application icon at the
// icon theme's sizes; the form description is added by form_description.hpp.
#pragma once

#include "artwork.hpp"

#include "framework/graphics/bmp.hpp"
#include "framework/graphics/ico.hpp"
#include "os/display/display.hpp"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace art {

// The sizes the application icon is installed at in the hicolor theme.
inline constexpr std::array<int, 5> kThemeIconSizes{16, 32, 48, 64, 128};

struct OutputFile {
    std::string path;
    std::vector<std::byte> bytes;
};

// Everything reduced to what is stored: 8-bit paletted images and the icons.
struct StoredArtwork {
    fw::DibImage skin;
    std::vector<fw::DibImage> strips; // in the order of kButtons
    std::vector<std::byte> mask;      // the region record
    fw::IconFile app_icon;
    fw::IconFile tray_icon;
    std::vector<os::IconPixels> theme_icons; // in the order of kThemeIconSizes
};

StoredArtwork MakeStoredArtwork(const Artwork& art);
fw::IconFile MakeIcon(const IconArt& icon, unsigned bits);
// True colour with straight alpha, as the icon theme's PNG files keep it.
os::IconPixels MakeThemeIcon(const IconArt& icon);
// "artwork/hicolor/mirelo-<size>.png"
std::string ThemeIconPath(int size);
std::vector<OutputFile> ArtworkFiles(const StoredArtwork& stored);

} // namespace art
