// Moving 0x00RRGGBB pixel buffers to drawables of the screen's default visual: large areas
// through a shared-memory segment when the server offers MIT-SHM (and accepts our segment),
// the rest as plain XPutImage requests.
#pragma once

#include "os/display/display.hpp"

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <vector>

namespace os::x11 {

class PixelUploader {
public:
    PixelUploader(::Display* dpy, bool try_shared_memory);
    ~PixelUploader();
    PixelUploader(const PixelUploader&) = delete;
    PixelUploader& operator=(const PixelUploader&) = delete;

    bool SharedMemory() const { return shm_usable_; }
    // Copies `area` of `pixels` to the same place of `target`. The caller has clipped
    // `area` to both.
    void Put(Drawable target, GC gc, const PixelBuffer& pixels, const Rect& area);

private:
    // An image header of the server's format over `data` (null to only compute the size).
    XImage Header(int width, int height, char* data) const;
    void Fill(XImage& image, const PixelBuffer& pixels, const Rect& area) const;
    bool EnsureSegment(std::size_t bytes);
    void ReleaseSegment();

    ::Display* dpy_;
    Visual* visual_;
    int depth_;
    int bits_per_pixel_ = 32;
    // The server stores our 0x00RRGGBB words as they are: rows can be copied.
    bool direct_ = false;
    struct Channel {
        int shift = 0, bits = 0;
    };
    Channel red_, green_, blue_;

    bool shm_usable_ = false;
    XShmSegmentInfo shm_{};
    std::size_t shm_size_ = 0;
    std::vector<char> plain_; // staging memory for plain uploads
};

} // namespace os::x11
