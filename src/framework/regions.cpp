// The region table: regions made from their data, handed out by handle until a window takes
// them or they are deleted.
#include "framework/regions.hpp"

#include "framework/forms.hpp"

#include <cstring>
#include <unordered_map>

namespace fw {

namespace {
std::unordered_map<HRGN, Region>& Regions() {
    // Never destroyed: a runtime that outlives other statics may still clear it.
    static auto* m = new std::unordered_map<HRGN, Region>;
    return *m;
}
HRGN g_next_region = 1;
} // namespace

void detail::ClearRegions() {
    Regions().clear();
}

HRGN ExtCreateRegion(const void*, std::uint32_t size, const void* data) {
    if (!data) return 0;
    try {
        Region r = Region::FromData({static_cast<const std::byte*>(data), size});
        const HRGN h = g_next_region++;
        Regions().emplace(h, std::move(r));
        return h;
    } catch (...) {
        // Bad data, or data that would need more memory than there is: no region.
        return 0;
    }
}

const Region* RegionOf(HRGN region) {
    auto it = Regions().find(region);
    return it == Regions().end() ? nullptr : &it->second;
}

std::uint32_t GetRegionData(HRGN region, std::uint32_t size, void* buffer) {
    const Region* r = RegionOf(region);
    if (!r) return 0;
    const auto data = r->Data();
    if (!buffer) return static_cast<std::uint32_t>(data.size());
    if (size < data.size()) return 0;
    std::memcpy(buffer, data.data(), data.size());
    return static_cast<std::uint32_t>(data.size());
}

bool DeleteObject(HRGN region) {
    return Regions().erase(region) > 0;
}

int SetWindowRgn(HWND window, HRGN region, bool) {
    TCustomForm* form = detail::FormOf(window);
    if (!form) return 0;
    if (region == 0) {
        form->SetShape(std::nullopt);
        return 1;
    }
    const Region* r = RegionOf(region);
    if (!r) return 0;
    form->SetShape(*r);
    DeleteObject(region); // the window owns it now
    return 1;
}

} // namespace fw
