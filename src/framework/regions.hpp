// The region calls: regions made from their data, handed out by handle until a window takes
// them or they are deleted.
#pragma once

#include "framework/graphics/region.hpp"
#include "framework/messages.hpp"

#include <cstdint>

namespace fw {

using HRGN = std::uint32_t;
// A region from its data block; 0 when the data are not a valid region.
HRGN ExtCreateRegion(const void* transform, std::uint32_t size, const void* data);
// With a null buffer, the size the data need; else copies them and returns the size
// (0 when the buffer is too small or the region unknown).
std::uint32_t GetRegionData(HRGN region, std::uint32_t size, void* buffer);
bool DeleteObject(HRGN region);
const Region* RegionOf(HRGN region);
// Gives the region to the window (the window owns it from then on); 0 makes the window
// rectangular again. The window must be a form's.
int SetWindowRgn(HWND window, HRGN region, bool redraw);

namespace detail {
// Forgets every region not yet given to a window.
void ClearRegions();
} // namespace detail

} // namespace fw
