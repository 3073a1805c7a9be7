// Median-cut palettes for the artwork.
#include "quantize.hpp"

#include <algorithm>
#include <map>
#include <stdexcept>

namespace art {

namespace {

using Entry = std::pair<std::uint32_t, std::uint32_t>; // colour, pixel count

int Ch(std::uint32_t c, int k) {
    return static_cast<int>(c >> (16 - 8 * k) & 0xFF);
}

struct Box {
    std::vector<Entry> colours;
    std::uint64_t pixels = 0;
    int Range(int k) const {
        int lo = 255, hi = 0;
        for (const auto& e : colours) {
            lo = std::min(lo, Ch(e.first, k));
            hi = std::max(hi, Ch(e.first, k));
        }
        return hi - lo;
    }
    // Green counts a little more than red, red more than blue, as the eye weighs them.
    int WidestChannel(int& weighted) const {
        static constexpr int kWeight[3] = {3, 4, 2};
        int best = 0;
        weighted = -1;
        for (int k = 0; k < 3; ++k) {
            const int w = Range(k) * kWeight[k];
            if (w > weighted) {
                weighted = w;
                best = k;
            }
        }
        return best;
    }
};

std::uint32_t Mean(const std::vector<Entry>& colours) {
    std::uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (const auto& e : colours) {
        for (int k = 0; k < 3; ++k)
            sum[k] += static_cast<std::uint64_t>(Ch(e.first, k)) * e.second;
        n += e.second;
    }
    std::uint32_t out = 0;
    for (int k = 0; k < 3; ++k)
        out = out << 8 | static_cast<std::uint32_t>((sum[k] + n / 2) / n);
    return out;
}

int Distance(std::uint32_t a, std::uint32_t b) {
    static constexpr int kWeight[3] = {3, 4, 2};
    int d = 0;
    for (int k = 0; k < 3; ++k) {
        const int v = Ch(a, k) - Ch(b, k);
        d += kWeight[k] * v * v;
    }
    return d;
}

std::size_t Nearest(const std::vector<std::uint32_t>& palette, std::size_t from,
                    std::uint32_t colour) {
    std::size_t best = from;
    int best_d = Distance(palette[from], colour);
    for (std::size_t i = from + 1; i < palette.size(); ++i) {
        const int d = Distance(palette[i], colour);
        if (d < best_d) {
            best_d = d;
            best = i;
        }
    }
    return best;
}

} // namespace

std::vector<std::uint32_t> MedianCut(const std::vector<Entry>& hist, std::size_t count) {
    if (hist.empty() || count == 0) return {};
    std::vector<Box> boxes(1);
    boxes[0].colours = hist;
    std::sort(boxes[0].colours.begin(), boxes[0].colours.end());
    for (const auto& e : hist)
        boxes[0].pixels += e.second;
    while (boxes.size() < count) {
        // Split the box whose widest channel, times the square root of its share of pixels,
        // is largest: big flat areas get more shades than a few scattered pixels.
        std::size_t pick = boxes.size();
        std::uint64_t pick_score = 0;
        int pick_channel = 0;
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].colours.size() < 2) continue;
            int weighted = 0;
            const int channel = boxes[i].WidestChannel(weighted);
            std::uint64_t root = 1;
            while ((root + 1) * (root + 1) <= boxes[i].pixels)
                ++root;
            const std::uint64_t score = static_cast<std::uint64_t>(weighted) * root + 1;
            if (score > pick_score) {
                pick_score = score;
                pick = i;
                pick_channel = channel;
            }
        }
        if (pick == boxes.size()) break;
        Box& box = boxes[pick];
        const int k = pick_channel;
        std::stable_sort(
            box.colours.begin(), box.colours.end(), [k](const Entry& a, const Entry& b) {
                return Ch(a.first, k) != Ch(b.first, k) ? Ch(a.first, k) < Ch(b.first, k)
                                                        : a.first < b.first;
            });
        // The cut goes where half the pixels lie on each side, never leaving a side empty.
        std::uint64_t acc = 0;
        std::size_t cut = 1;
        for (; cut < box.colours.size(); ++cut) {
            acc += box.colours[cut - 1].second;
            if (acc * 2 >= box.pixels) break;
        }
        cut = std::min(cut, box.colours.size() - 1);
        Box upper;
        upper.colours.assign(box.colours.begin() + static_cast<std::ptrdiff_t>(cut),
                             box.colours.end());
        box.colours.resize(cut);
        box.pixels = 0;
        for (const auto& e : box.colours)
            box.pixels += e.second;
        for (const auto& e : upper.colours)
            upper.pixels += e.second;
        boxes.push_back(std::move(upper));
    }
    std::vector<std::uint32_t> palette;
    for (const auto& b : boxes)
        palette.push_back(Mean(b.colours));
    // Refinement: each entry moves to the mean of the colours nearest to it.
    for (int round = 0; round < 6; ++round) {
        std::vector<std::vector<Entry>> groups(palette.size());
        for (const auto& e : hist)
            groups[Nearest(palette, 0, e.first)].push_back(e);
        for (std::size_t i = 0; i < palette.size(); ++i)
            if (!groups[i].empty()) palette[i] = Mean(groups[i]);
    }
    return palette;
}

fw::DibImage Quantize(int width, int height, const std::vector<std::uint32_t>& pixels,
                      const std::vector<std::uint32_t>& reserved, unsigned bits) {
    const std::size_t size = std::size_t{1} << bits;
    if (pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        throw std::invalid_argument("pixel count does not match the image size");
    if (reserved.size() >= size)
        throw std::invalid_argument("no room left beside the reserved colours");
    std::map<std::uint32_t, std::uint32_t> counts;
    for (std::uint32_t p : pixels) {
        p &= 0xFFFFFF;
        if (std::find(reserved.begin(), reserved.end(), p) == reserved.end()) ++counts[p];
    }
    const std::vector<Entry> hist(counts.begin(), counts.end());
    std::vector<std::uint32_t> palette = reserved;
    for (std::uint32_t c : MedianCut(hist, size - reserved.size())) {
        // A shade that happens to equal a reserved colour moves by one step of blue, so
        // that the reserved colour keeps meaning only itself.
        const std::uint32_t shade = c;
        for (std::uint32_t d = 1; std::find(reserved.begin(), reserved.end(), c) != reserved.end();
             ++d)
            c = (shade & 0xFFFF00) | ((shade & 0xFF) ^ d);
        palette.push_back(c);
    }
    palette.resize(size, 0);

    fw::DibImage image =
        fw::DibImage::Paletted(width, height, static_cast<std::uint16_t>(bits), palette);
    std::map<std::uint32_t, std::uint8_t> cache;
    const std::size_t first_free = reserved.size();
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::uint32_t p = pixels[i] & 0xFFFFFF;
        auto r = std::find(reserved.begin(), reserved.end(), p);
        if (r != reserved.end()) {
            image.indices[i] = static_cast<std::uint8_t>(r - reserved.begin());
            continue;
        }
        auto it = cache.find(p);
        if (it == cache.end())
            it = cache.emplace(p, static_cast<std::uint8_t>(Nearest(palette, first_free, p))).first;
        image.indices[i] = it->second;
    }
    return image;
}

} // namespace art
