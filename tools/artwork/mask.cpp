// The window's region from its skin.
#include "mask.hpp"

namespace art {

fw::Region RegionFromImage(const fw::DibImage& image, std::uint32_t background) {
    std::vector<fw::TRect> spans;
    for (std::int32_t y = 0; y < image.height; ++y) {
        std::int32_t x = 0;
        while (x < image.width) {
            while (x < image.width && image.ColorAt(x, y) == background)
                ++x;
            const std::int32_t start = x;
            while (x < image.width && image.ColorAt(x, y) != background)
                ++x;
            if (x > start) spans.push_back({start, y, x, y + 1});
        }
    }
    return fw::Region::FromRects(spans);
}

std::vector<std::byte> MaskRecord(const fw::Region& region) {
    const std::vector<std::byte> data = region.Data();
    std::vector<std::byte> record;
    const auto n = static_cast<std::uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        record.push_back(static_cast<std::byte>(n >> (8 * i) & 0xFF));
    record.insert(record.end(), data.begin(), data.end());
    return record;
}

} // namespace art
