// Pixel conversion and upload to the X server.
#include "os/display/x11_upload.hpp"

#include "os/display/x11_errors.hpp"

#include <X11/Xutil.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace os::x11 {

namespace {

constexpr std::size_t kSharedMemoryFrom = 64 * 1024;

int HostByteOrder() {
    return std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
}

} // namespace

PixelUploader::PixelUploader(::Display* dpy, bool try_shared_memory)
    : dpy_(dpy), visual_(DefaultVisual(dpy, DefaultScreen(dpy))),
      depth_(DefaultDepth(dpy, DefaultScreen(dpy))) {
    int count = 0;
    if (XPixmapFormatValues* formats = XListPixmapFormats(dpy_, &count)) {
        for (int i = 0; i < count; ++i)
            if (formats[i].depth == depth_) bits_per_pixel_ = formats[i].bits_per_pixel;
        XFree(formats);
    }
    auto channel = [](unsigned long mask) {
        return Channel{std::countr_zero(mask), std::popcount(mask)};
    };
    red_ = channel(visual_->red_mask);
    green_ = channel(visual_->green_mask);
    blue_ = channel(visual_->blue_mask);
    direct_ = bits_per_pixel_ == 32 && visual_->red_mask == 0xFF0000 &&
              visual_->green_mask == 0xFF00 && visual_->blue_mask == 0xFF &&
              ImageByteOrder(dpy_) == HostByteOrder();
    shm_usable_ = try_shared_memory && XShmQueryExtension(dpy_);
}

PixelUploader::~PixelUploader() {
    ReleaseSegment();
}

XImage PixelUploader::Header(int width, int height, char* data) const {
    XImage image{};
    image.width = width;
    image.height = height;
    image.format = ZPixmap;
    image.data = data;
    image.byte_order = ImageByteOrder(dpy_);
    image.bitmap_unit = BitmapUnit(dpy_);
    image.bitmap_bit_order = BitmapBitOrder(dpy_);
    image.bitmap_pad = 32;
    image.depth = depth_;
    image.bits_per_pixel = bits_per_pixel_;
    image.red_mask = visual_->red_mask;
    image.green_mask = visual_->green_mask;
    image.blue_mask = visual_->blue_mask;
    XInitImage(&image); // computes bytes_per_line and the access functions
    return image;
}

void PixelUploader::Fill(XImage& image, const PixelBuffer& pixels, const Rect& area) const {
    for (int y = 0; y < area.Height(); ++y) {
        const std::uint32_t* src =
            pixels.pixels.data() +
            static_cast<std::size_t>(area.top + y) * static_cast<std::size_t>(pixels.width) +
            area.left;
        if (direct_) {
            std::memcpy(image.data + static_cast<std::size_t>(y) * image.bytes_per_line, src,
                        static_cast<std::size_t>(area.Width()) * 4);
            continue;
        }
        for (int x = 0; x < area.Width(); ++x) {
            auto scale = [](std::uint32_t v8, Channel c) -> unsigned long {
                const unsigned long v = c.bits <= 8
                                            ? v8 >> (8 - c.bits)
                                            : static_cast<unsigned long>(v8) << (c.bits - 8);
                return v << c.shift;
            };
            const std::uint32_t p = src[x];
            XPutPixel(&image, x, y,
                      scale((p >> 16) & 0xFF, red_) | scale((p >> 8) & 0xFF, green_) |
                          scale(p & 0xFF, blue_));
        }
    }
}

bool PixelUploader::EnsureSegment(std::size_t bytes) {
    if (shm_size_ >= bytes) return true;
    ReleaseSegment();
    // Grow in steps, so a window that is painted piece by piece settles on one segment.
    const std::size_t size = std::max<std::size_t>(bytes, 256 * 1024);
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0) return false;
    void* addr = shmat(id, nullptr, 0);
    if (addr == reinterpret_cast<void*>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return false;
    }
    shm_.shmid = id;
    shm_.shmaddr = static_cast<char*>(addr);
    shm_.readOnly = True;
    int error = 0;
    {
        // A server in another IPC namespace (or on another host) refuses the segment.
        ErrorTrap trap(dpy_);
        XShmAttach(dpy_, &shm_);
        error = trap.Sync();
    }
    // Marked for removal now, so the segment goes away with the last user even after a crash.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(shm_.shmaddr);
        shm_ = {};
        return false;
    }
    shm_size_ = size;
    return true;
}

void PixelUploader::ReleaseSegment() {
    if (!shm_size_) return;
    XShmDetach(dpy_, &shm_);
    XSync(dpy_, False);
    shmdt(shm_.shmaddr);
    shm_ = {};
    shm_size_ = 0;
}

void PixelUploader::Put(Drawable target, GC gc, const PixelBuffer& pixels, const Rect& area) {
    if (area.Empty()) return;
    const XImage probe = Header(area.Width(), area.Height(), nullptr);
    const std::size_t bytes =
        static_cast<std::size_t>(probe.bytes_per_line) * static_cast<std::size_t>(area.Height());
    // Shared memory costs a round trip per upload; it pays only for large areas.
    const bool large = bytes >= kSharedMemoryFrom;
    if (large && shm_usable_ && !EnsureSegment(bytes)) shm_usable_ = false;
    if (large && shm_usable_) {
        XImage image = Header(area.Width(), area.Height(), shm_.shmaddr);
        image.obdata = reinterpret_cast<char*>(&shm_);
        Fill(image, pixels, area);
        XShmPutImage(dpy_, target, gc, &image, 0, 0, area.left, area.top,
                     static_cast<unsigned>(area.Width()), static_cast<unsigned>(area.Height()),
                     False);
        // The server reads the segment while it executes the request: wait for it before
        // the memory is written again.
        XSync(dpy_, False);
        return;
    }
    plain_.resize(bytes);
    XImage image = Header(area.Width(), area.Height(), plain_.data());
    Fill(image, pixels, area);
    XPutImage(dpy_, target, gc, &image, 0, 0, area.left, area.top,
              static_cast<unsigned>(area.Width()), static_cast<unsigned>(area.Height()));
}

} // namespace os::x11
