// The files the generator writes, as bytes with their paths relative to the program's
// source folder: the skin, the five strips and the two icons; the form description is
// added by form_description.hpp.
#pragma once

#include "artwork.hpp"

#include "framework/graphics/bmp.hpp"
#include "framework/graphics/ico.hpp"

#include <cstddef>
#include <string>
#include <vector>

namespace art {

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
};

StoredArtwork MakeStoredArtwork(const Artwork& art);
fw::IconFile MakeIcon(const IconArt& icon, unsigned bits);
std::vector<OutputFile> ArtworkFiles(const StoredArtwork& stored);

} // namespace art
