// Regions in banded form: a sweep from top to bottom turns any set of rectangles, or two
// regions and a combining rule, into bands of merged spans.
#include "framework/graphics/region.hpp"

#include "framework/graphics/byte_reader.hpp"

#include <algorithm>
#include <limits>
#include <string>

namespace fw {

namespace {

struct Span {
    std::int32_t left;
    std::int32_t right;
    bool operator==(const Span&) const = default;
};

struct Band {
    std::int32_t top;
    std::int32_t bottom;
    std::vector<Span> spans;
};

// A rectangle and the operand (0 or 1) it belongs to.
struct Tagged {
    TRect rect;
    int operand;
};

bool Keep(RegionCombine mode, bool in_a, bool in_b) {
    switch (mode) {
    case RGN_AND:
        return in_a && in_b;
    case RGN_OR:
        return in_a || in_b;
    case RGN_XOR:
        return in_a != in_b;
    case RGN_DIFF:
        return in_a && !in_b;
    case RGN_COPY:
        return in_a;
    }
    return false;
}

// Merges spans sorted by their left edge, in place, into disjoint, non-touching ones.
void Merge(std::vector<Span>& spans) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (kept > 0 && spans[i].left <= spans[kept - 1].right)
            spans[kept - 1].right = std::max(spans[kept - 1].right, spans[i].right);
        else
            spans[kept++] = spans[i];
    }
    spans.resize(kept);
}

// The edges of merged spans in order, left and right alternating.
std::vector<std::int32_t> Edges(const std::vector<Span>& spans) {
    std::vector<std::int32_t> xs;
    xs.reserve(2 * spans.size());
    for (const Span& s : spans) {
        xs.push_back(s.left);
        xs.push_back(s.right);
    }
    return xs;
}

// `a` and `b` are merged spans.
std::vector<Span> CombineSpans(const std::vector<Span>& a, const std::vector<Span>& b,
                               RegionCombine mode) {
    // One side alone (reading, copying, or a band only one operand reaches) is kept whole
    // or dropped whole; this is the common case.
    if (b.empty()) return Keep(mode, true, false) ? a : std::vector<Span>{};
    if (a.empty()) return Keep(mode, false, true) ? b : std::vector<Span>{};
    const std::vector<std::int32_t> xa = Edges(a), xb = Edges(b);
    std::vector<std::int32_t> xs(xa.size() + xb.size());
    std::merge(xa.begin(), xa.end(), xb.begin(), xb.end(), xs.begin());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    std::vector<Span> out;
    std::size_t ia = 0, ib = 0;
    for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
        std::int32_t x0 = xs[i], x1 = xs[i + 1];
        while (ia < a.size() && a[ia].right <= x0)
            ++ia;
        while (ib < b.size() && b[ib].right <= x0)
            ++ib;
        bool in_a = ia < a.size() && a[ia].left <= x0;
        bool in_b = ib < b.size() && b[ib].left <= x0;
        if (!Keep(mode, in_a, in_b)) continue;
        if (!out.empty() && out.back().right == x0)
            out.back().right = x1;
        else
            out.push_back({x0, x1});
    }
    return out;
}

// `input_bytes` is the size of the operands as region data. Thin rectangles in a staircase
// cut each other into bands of many spans, so the output can grow with the square of the
// input; past os::InputBudget of the input the sweep gives up.
std::vector<TRect> Sweep(std::vector<Tagged> rects, RegionCombine mode, std::size_t input_bytes) {
    std::erase_if(rects, [](const Tagged& t) { return t.rect.IsEmpty(); });
    std::sort(rects.begin(), rects.end(),
              [](const Tagged& x, const Tagged& y) { return x.rect.Top < y.rect.Top; });
    std::vector<std::int32_t> ys;
    for (const Tagged& t : rects) {
        ys.push_back(t.rect.Top);
        ys.push_back(t.rect.Bottom);
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());

    DecodeBudget budget(input_bytes);
    std::size_t total_spans = 0;
    std::vector<Band> bands;
    std::vector<const Tagged*> active;
    std::vector<Span> parts[2];
    std::size_t next = 0;
    for (std::size_t i = 0; i + 1 < ys.size(); ++i) {
        std::int32_t y0 = ys[i], y1 = ys[i + 1];
        // The active rectangles stay sorted by left edge, so no band needs a sort.
        for (; next < rects.size() && rects[next].rect.Top <= y0; ++next) {
            auto at = std::upper_bound(
                active.begin(), active.end(), &rects[next],
                [](const Tagged* x, const Tagged* y) { return x->rect.Left < y->rect.Left; });
            active.insert(at, &rects[next]);
        }
        std::erase_if(active, [y0](const Tagged* t) { return t->rect.Bottom <= y0; });
        parts[0].clear();
        parts[1].clear();
        for (const Tagged* t : active)
            parts[t->operand].push_back({t->rect.Left, t->rect.Right});
        Merge(parts[0]);
        Merge(parts[1]);
        std::vector<Span> spans = CombineSpans(parts[0], parts[1], mode);
        if (spans.empty()) continue;
        if (!bands.empty() && bands.back().bottom == y0 && bands.back().spans == spans) {
            bands.back().bottom = y1;
            continue;
        }
        // Each span is held twice at the end: in its band and as an output rectangle.
        const std::uint64_t bytes = sizeof(Band) + spans.size() * (sizeof(Span) + sizeof(TRect));
        if (!budget.Take(bytes))
            ErrorContext(ErrorContext::Kind::Region, "region: ")
                .Fail("the band at " + std::to_string(y0) + " with " +
                      std::to_string(spans.size()) + " rectangles " + budget.Overrun(bytes));
        total_spans += spans.size();
        bands.push_back({y0, y1, std::move(spans)});
    }

    std::vector<TRect> out;
    out.reserve(total_spans);
    for (const Band& band : bands)
        for (const Span& s : band.spans)
            out.push_back({s.left, band.top, s.right, band.bottom});
    return out;
}

std::string Describe(const TRect& r) {
    return "(" + std::to_string(r.Left) + ", " + std::to_string(r.Top) + ", " +
           std::to_string(r.Right) + ", " + std::to_string(r.Bottom) + ")";
}

TRect ReadRect(ByteReader& in, const char* what) {
    TRect r;
    r.Left = in.I32(what);
    r.Top = in.I32(what);
    r.Right = in.I32(what);
    r.Bottom = in.I32(what);
    return r;
}

bool WithinLimit(const TRect& r) {
    for (std::int32_t v : {r.Left, r.Top, r.Right, r.Bottom})
        if (v < -kRegionCoordinateLimit || v > kRegionCoordinateLimit) return false;
    return true;
}

} // namespace

Region::Region(const TRect& rect) {
    if (!rect.IsEmpty()) rects_.push_back(rect);
}

Region Region::FromRects(std::span<const TRect> rects) {
    std::vector<Tagged> tagged;
    tagged.reserve(rects.size());
    for (const TRect& r : rects)
        tagged.push_back({r, 0});
    Region region;
    region.rects_ =
        Sweep(std::move(tagged), RGN_COPY, kRegionHeaderSize + rects.size() * kRegionRectSize);
    return region;
}

Region Region::FromData(std::span<const std::byte> data) {
    ByteReader in(data, ErrorContext(ErrorContext::Kind::Region, "region data: "));
    if (data.size() < kRegionHeaderSize)
        in.Fail(std::to_string(data.size()) + " bytes, shorter than the 32-byte header");
    std::uint32_t header_size = in.U32("header size");
    if (header_size != kRegionHeaderSize)
        in.Fail("header size " + std::to_string(header_size) + ", expected 32");
    std::uint32_t type = in.U32("type");
    if (type != 1) in.Fail("type " + std::to_string(type) + ", expected 1 (rectangles)");
    std::uint32_t count = in.U32("rectangle count");
    in.U32("size hint"); // whatever the writer's platform reported; it says nothing we need
    TRect bounds = ReadRect(in, "bounds");
    std::uint64_t needed = kRegionHeaderSize + std::uint64_t{count} * kRegionRectSize;
    if (needed != data.size())
        in.Fail(std::to_string(count) + " rectangles make " + std::to_string(needed) +
                " bytes, but the block has " + std::to_string(data.size()));
    if (bounds.Right < bounds.Left || bounds.Bottom < bounds.Top)
        in.Fail("bounds " + Describe(bounds) + " are inverted");

    std::vector<TRect> rects;
    rects.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        TRect r = ReadRect(in, "rectangle");
        std::string which = "rectangle " + std::to_string(i) + " " + Describe(r);
        if (!WithinLimit(r)) in.Fail(which + " lies beyond the coordinate range");
        if (r.IsEmpty()) in.Fail(which + " is empty or inverted");
        if (r.Left < bounds.Left || r.Top < bounds.Top || r.Right > bounds.Right ||
            r.Bottom > bounds.Bottom)
            in.Fail(which + " lies outside the bounds " + Describe(bounds));
        rects.push_back(r);
    }
    return FromRects(rects);
}

std::vector<std::byte> Region::Data(std::uint32_t size_hint) const {
    ByteWriter out;
    out.Reserve(DataSize());
    out.U32(kRegionHeaderSize);
    out.U32(1);
    out.U32(static_cast<std::uint32_t>(rects_.size()));
    out.U32(size_hint);
    TRect b = Bounds();
    for (std::int32_t v : {b.Left, b.Top, b.Right, b.Bottom})
        out.I32(v);
    for (const TRect& r : rects_)
        for (std::int32_t v : {r.Left, r.Top, r.Right, r.Bottom})
            out.I32(v);
    return out.Take();
}

TRect Region::Bounds() const {
    if (rects_.empty()) return {};
    TRect b{rects_.front().Left, rects_.front().Top, rects_.front().Right, rects_.back().Bottom};
    for (const TRect& r : rects_) {
        b.Left = std::min(b.Left, r.Left);
        b.Right = std::max(b.Right, r.Right);
    }
    return b;
}

bool Region::Contains(std::int32_t x, std::int32_t y) const {
    // Band bottoms rise through the list, so the band that can hold y starts here.
    auto it = std::partition_point(rects_.begin(), rects_.end(),
                                   [y](const TRect& r) { return r.Bottom <= y; });
    if (it == rects_.end() || it->Top > y) return false;
    for (std::int32_t top = it->Top; it != rects_.end() && it->Top == top; ++it)
        if (x >= it->Left && x < it->Right) return true;
    return false;
}

void Region::Offset(std::int32_t dx, std::int32_t dy) {
    if (rects_.empty() || (dx == 0 && dy == 0)) return;
    TRect b = Bounds();
    auto fits = [](std::int64_t v) {
        return v >= -kRegionCoordinateLimit && v <= kRegionCoordinateLimit;
    };
    if (!fits(std::int64_t{b.Left} + dx) || !fits(std::int64_t{b.Right} + dx) ||
        !fits(std::int64_t{b.Top} + dy) || !fits(std::int64_t{b.Bottom} + dy))
        throw EInvalidRegion("region: offset by (" + std::to_string(dx) + ", " +
                             std::to_string(dy) + ") leaves the coordinate range");
    for (TRect& r : rects_) {
        r.Left += dx;
        r.Right += dx;
        r.Top += dy;
        r.Bottom += dy;
    }
}

Region Region::Combine(const Region& a, const Region& b, RegionCombine mode) {
    std::vector<Tagged> tagged;
    tagged.reserve(a.rects_.size() + b.rects_.size());
    for (const TRect& r : a.rects_)
        tagged.push_back({r, 0});
    if (mode != RGN_COPY)
        for (const TRect& r : b.rects_)
            tagged.push_back({r, 1});
    Region region;
    region.rects_ = Sweep(std::move(tagged), mode, a.DataSize() + b.DataSize());
    return region;
}

} // namespace fw
