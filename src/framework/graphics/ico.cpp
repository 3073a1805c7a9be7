// Icon files: the directory, and for each image its bitmap header, colour rows and mask.
#include "framework/graphics/ico.hpp"

#include "framework/graphics/dib_codec.hpp"

#include <map>
#include <string>
#include <utility>

namespace fw {

namespace {

using std::to_string;

constexpr std::uint32_t kDirectorySize = 6;
constexpr std::uint32_t kEntrySize = 16;
constexpr std::uint16_t kTypeIcon = 1;
constexpr std::uint16_t kTypeCursor = 2;

ErrorContext IconErrors(const std::string& prefix) {
    return ErrorContext(ErrorContext::Kind::Icon, prefix);
}

std::string Size(std::int32_t w, std::int32_t h) {
    return to_string(w) + " x " + to_string(h);
}

bool IsPng(std::span<const std::byte> data) {
    static const unsigned char signature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data.size() < sizeof signature) return false;
    for (std::size_t i = 0; i < sizeof signature; ++i)
        if (static_cast<unsigned char>(data[i]) != signature[i]) return false;
    return true;
}

// A directory entry whose bitmap header has been read and checked.
struct Entry {
    ErrorContext errors;
    std::span<const std::byte> data;
    dib::InfoHeader header;
    std::size_t palette_at = 0;
};

Entry ReadEntry(ByteReader& directory, std::span<const std::byte> file, std::uint16_t index,
                std::size_t directory_end) {
    // Colour count, planes and bit count are hints; the bitmap header says what is there.
    std::int32_t width = directory.U8("entry width");
    std::int32_t height = directory.U8("entry height");
    directory.Skip(6, "entry");
    std::uint32_t size = directory.U32("entry size");
    std::uint32_t offset = directory.U32("entry offset");
    if (width == 0) width = 256;
    if (height == 0) height = 256;
    Entry entry{IconErrors("ICO: image " + to_string(index) + ": "), {}, {}};
    if (offset < directory_end)
        entry.errors.Fail("offset " + to_string(offset) +
                          " lies inside the directory, which ends at " + to_string(directory_end));
    if (offset > file.size() || size > file.size() - offset)
        entry.errors.Fail(to_string(size) + " bytes at offset " + to_string(offset) +
                          " run past the end of the file (" + to_string(file.size()) + " bytes)");
    entry.data = file.subspan(offset, size);
    if (IsPng(entry.data)) entry.errors.Fail("PNG-compressed images are not supported");
    ByteReader in(entry.data, entry.errors);
    entry.header = dib::ReadInfoHeader(in, true);
    entry.palette_at = in.Position();
    if (entry.header.width != width || entry.header.height != height)
        in.Fail("the directory lists " + Size(width, height) + " but the bitmap is " +
                Size(entry.header.width, entry.header.height));
    return entry;
}

// What an entry's image takes in memory once read: colours, one mask byte per pixel.
std::uint64_t DecodedBytes(const Entry& entry) {
    const auto pixels = static_cast<std::uint64_t>(entry.header.width) *
                        static_cast<std::uint64_t>(entry.header.height);
    return sizeof(IconImage) + dib::DecodedBytes(entry.header) + pixels;
}

IconImage ReadImage(const Entry& entry) {
    ByteReader in(entry.data, entry.errors);
    in.Seek(entry.palette_at, "palette");
    IconImage image;
    image.color = dib::ReadImage(in, entry.header);

    const std::size_t stride = dib::RowStride(entry.header.width, 1);
    const auto w = static_cast<std::size_t>(entry.header.width);
    const auto h = static_cast<std::size_t>(entry.header.height);
    auto rows = in.Bytes(stride * h, "mask");
    image.mask.resize(w * h);
    for (std::size_t r = 0; r < h; ++r)
        for (std::size_t x = 0; x < w; ++x) {
            auto byte = static_cast<unsigned>(rows[r * stride + x / 8]);
            image.mask[(h - 1 - r) * w + x] = static_cast<std::uint8_t>(byte >> (7 - x % 8) & 1);
        }
    return image;
}

void WriteMask(ByteWriter& out, const IconImage& image) {
    const std::size_t stride = dib::RowStride(image.color.width, 1);
    const auto w = static_cast<std::size_t>(image.color.width);
    const auto h = static_cast<std::size_t>(image.color.height);
    std::vector<std::byte> row(stride);
    for (std::size_t r = 0; r < h; ++r) {
        std::fill(row.begin(), row.end(), std::byte{0});
        for (std::size_t x = 0; x < w; ++x)
            if (image.mask[(h - 1 - r) * w + x] != 0)
                row[x / 8] |= static_cast<std::byte>(0x80u >> (x % 8));
        out.Bytes(row);
    }
}

std::uint64_t ImageBytes(const IconImage& image) {
    const DibImage& c = image.color;
    return dib::kInfoHeaderSize + 4 * c.palette.size() + dib::PixelBytes(c) +
           dib::RowStride(c.width, 1) * static_cast<std::uint64_t>(c.height);
}

} // namespace

IconFile ReadIcon(std::span<const std::byte> file) {
    ByteReader in(file, IconErrors("ICO: "));
    std::uint16_t reserved = in.U16("directory");
    std::uint16_t type = in.U16("directory");
    std::uint16_t count = in.U16("directory");
    if (reserved != 0) in.Fail("reserved field " + to_string(reserved) + ", expected 0");
    if (type == kTypeCursor) in.Fail("cursor files are not supported");
    if (type != kTypeIcon) in.Fail("type " + to_string(type) + ", expected 1 (icon)");
    if (count == 0) in.Fail("the directory lists no images");
    const std::size_t directory_end = kDirectorySize + std::size_t{count} * kEntrySize;
    in.Require(std::size_t{count} * kEntrySize, "directory entries");

    // Entries may share one image's bytes, so the file's size alone does not bound what
    // they decode to: every header is read and the total checked before any pixel.
    std::vector<Entry> entries;
    entries.reserve(count);
    DecodeBudget budget(file.size());
    for (std::uint16_t i = 0; i < count; ++i) {
        entries.push_back(ReadEntry(in, file, i, directory_end));
        const std::uint64_t bytes = DecodedBytes(entries.back());
        if (!budget.Take(bytes)) entries.back().errors.Fail("its image " + budget.Overrun(bytes));
    }
    // Entries with the same bytes give the same image: it is decoded once and copied.
    IconFile icon;
    icon.images.reserve(count);
    std::map<std::pair<const std::byte*, std::size_t>, std::size_t> decoded;
    for (const Entry& entry : entries) {
        const auto [at, first] =
            decoded.try_emplace({entry.data.data(), entry.data.size()}, icon.images.size());
        icon.images.push_back(first ? ReadImage(entry) : icon.images[at->second]);
    }
    return icon;
}

std::vector<std::byte> WriteIcon(const IconFile& icon) {
    if (icon.images.empty()) IconErrors("ICO writer: ").Fail("an icon file needs an image");
    if (icon.images.size() > 0xFFFF) IconErrors("ICO writer: ").Fail("too many images");
    for (std::size_t i = 0; i < icon.images.size(); ++i) {
        const IconImage& image = icon.images[i];
        ErrorContext errors = IconErrors("ICO writer: image " + to_string(i) + ": ");
        dib::Validate(image.color, errors);
        if (image.color.width > kMaxIconDimension || image.color.height > kMaxIconDimension)
            errors.Fail("size " + Size(image.color.width, image.color.height) +
                        " exceeds 256 x 256");
        if (image.mask.size() != image.color.indices.size() + image.color.pixels.size())
            errors.Fail(to_string(image.mask.size()) + " mask entries for " +
                        Size(image.color.width, image.color.height) + " pixels");
    }

    ByteWriter out;
    out.U16(0);
    out.U16(kTypeIcon);
    out.U16(static_cast<std::uint16_t>(icon.images.size()));
    auto offset = static_cast<std::uint32_t>(kDirectorySize + icon.images.size() * kEntrySize);
    for (const IconImage& image : icon.images) {
        const DibImage& c = image.color;
        auto size = static_cast<std::uint32_t>(ImageBytes(image));
        out.U8(static_cast<std::uint8_t>(c.width)); // 256 wraps to 0, as the format wants
        out.U8(static_cast<std::uint8_t>(c.height));
        out.U8(c.IsPaletted() && c.bits_per_pixel < 8 ? static_cast<std::uint8_t>(c.palette.size())
                                                      : 0);
        out.U8(0);
        out.U16(1);
        out.U16(c.bits_per_pixel);
        out.U32(size);
        out.U32(offset);
        offset += size;
    }
    for (const IconImage& image : icon.images) {
        const DibImage& c = image.color;
        auto bits_size = static_cast<std::uint32_t>(ImageBytes(image) - dib::kInfoHeaderSize -
                                                    4 * c.palette.size());
        dib::WriteInfoHeader(out, c, c.height * 2, bits_size);
        dib::WritePalette(out, c);
        dib::WritePixels(out, c);
        WriteMask(out, image);
    }
    return out.Take();
}

} // namespace fw
