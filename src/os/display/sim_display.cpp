// The simulated display's windows: their state, stacking, focus and the composed screen.
// Input injection lives in sim_input.cpp.
#include "os/display/sim_display.hpp"

#include "os/display/png.hpp"

#include <algorithm>
#include <stdexcept>

namespace os {

namespace {

Rect ClampSize(Rect r) {
    if (r.right < r.left + 1) r.right = r.left + 1;
    if (r.bottom < r.top + 1) r.bottom = r.top + 1;
    return r;
}

// Copies `area` (coordinates of `from`) of one buffer to `to` at an offset. The caller
// has clipped `area` to both buffers.
void CopyArea(const PixelBuffer& from, const Rect& area, PixelBuffer& to, int dx, int dy) {
    for (int y = area.top; y < area.bottom; ++y) {
        const auto* src = from.pixels.data() + static_cast<std::size_t>(y) * from.width;
        auto* dst = to.pixels.data() + static_cast<std::size_t>(y + dy) * to.width + dx;
        std::copy(src + area.left, src + area.right, dst + area.left);
    }
}

} // namespace

bool SimWindow::Covers(int x, int y) const {
    if (x < 0 || y < 0 || x >= bounds.Width() || y >= bounds.Height()) return false;
    if (!shape) return true;
    return std::any_of(shape->begin(), shape->end(),
                       [&](const Rect& r) { return r.Contains(x, y); });
}

SimDisplay::SimDisplay(const Clock& clock, Size screen) : clock_(clock), screen_(screen) {
    if (screen.width < 1 || screen.height < 1)
        throw std::invalid_argument("display: screen size " + std::to_string(screen.width) + "x" +
                                    std::to_string(screen.height) + " is empty");
}

void SimDisplay::SetMonitors(std::vector<Rect> monitors) {
    for (const Rect& m : monitors) {
        if (m.Empty() || m.left < 0 || m.top < 0)
            throw std::invalid_argument("display: a monitor must be a non-empty rectangle "
                                        "inside the screen");
        screen_.width = std::max(screen_.width, m.right);
        screen_.height = std::max(screen_.height, m.bottom);
    }
    monitors_ = std::move(monitors);
}

Size SimDisplay::ScreenSize() const {
    if (monitors_.empty()) return screen_;
    return {monitors_.front().Width(), monitors_.front().Height()};
}

std::vector<Rect> SimDisplay::Monitors() const {
    if (monitors_.empty()) return {{0, 0, screen_.width, screen_.height}};
    return monitors_;
}

SimWindow* SimDisplay::Find(WindowId w) {
    auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : &it->second;
}

const SimWindow* SimDisplay::Find(WindowId w) const {
    auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : &it->second;
}

const SimWindow& SimDisplay::Window(WindowId w) const {
    if (const SimWindow* win = Find(w)) return *win;
    throw std::out_of_range("display: no window " + std::to_string(w));
}

WindowId SimDisplay::CreateWindow(const WindowParams& params) {
    SimWindow win;
    win.id = next_id_++;
    win.bounds = ClampSize(params.bounds);
    win.title = params.title;
    win.topmost = params.topmost;
    win.undecorated = params.undecorated;
    win.skip_taskbar = params.skip_taskbar;
    win.wants_double_clicks = params.wants_double_clicks;
    win.pixels = PixelBuffer(win.bounds.Width(), win.bounds.Height());
    windows_.emplace(win.id, std::move(win));
    raise_order_.push_back(next_id_ - 1);
    return next_id_ - 1;
}

void SimDisplay::DestroyWindow(WindowId w) {
    if (!Find(w)) return;
    windows_.erase(w);
    raise_order_.erase(std::remove(raise_order_.begin(), raise_order_.end(), w),
                       raise_order_.end());
    for (WindowId* held : {&active_, &capture_, &grab_, &hover_})
        if (*held == w) *held = kNoWindow;
    if (move_ && move_->window == w) move_.reset();
    if (last_press_ && last_press_->window == w) last_press_.reset();
    // Nobody can act on events of a window that is gone.
    for (auto* queue : {&sent_, &events_})
        std::erase_if(*queue, [w](const DisplayEvent& e) { return e.window == w; });
    UpdateHover();
}

void SimDisplay::SetBounds(WindowId w, const Rect& bounds) {
    SimWindow* win = Find(w);
    if (!win) return;
    const Rect r = ClampSize(bounds);
    const bool resized = r.Width() != win->bounds.Width() || r.Height() != win->bounds.Height();
    win->bounds = r;
    if (resized) {
        PixelBuffer kept(r.Width(), r.Height());
        const Rect overlap = Rect{0, 0, r.Width(), r.Height()}.Intersect(
            {0, 0, win->pixels.width, win->pixels.height});
        CopyArea(win->pixels, overlap, kept, 0, 0);
        win->pixels = std::move(kept);
        if (win->Drawn()) Post(EventKind::Exposed, w);
    }
    UpdateHover();
}

Rect SimDisplay::GetBounds(WindowId w) const {
    const SimWindow* win = Find(w);
    return win ? win->bounds : Rect{};
}

void SimDisplay::Show(WindowId w, bool visible) {
    SimWindow* win = Find(w);
    if (!win || win->visible == visible) return;
    win->visible = visible;
    if (visible) {
        RaiseToTop(w);
        if (win->Drawn()) Post(EventKind::Exposed, w);
    } else {
        Withdraw(w);
    }
    UpdateHover();
}

bool SimDisplay::IsVisible(WindowId w) const {
    const SimWindow* win = Find(w);
    return win && win->visible;
}

void SimDisplay::SetTopmost(WindowId w, bool topmost) {
    if (SimWindow* win = Find(w)) {
        win->topmost = topmost;
        UpdateHover();
    }
}

void SimDisplay::SetShape(WindowId w, const std::optional<std::vector<Rect>>& shape) {
    if (SimWindow* win = Find(w)) {
        win->shape = shape;
        UpdateHover();
    }
}

void SimDisplay::SetTitle(WindowId w, const std::string& title) {
    if (SimWindow* win = Find(w)) win->title = title;
}

void SimDisplay::SetSkipTaskbar(WindowId w, bool skip) {
    if (SimWindow* win = Find(w)) win->skip_taskbar = skip;
}

void SimDisplay::SetIcon(WindowId w, const IconPixels& icon) {
    CheckIcon(icon);
    if (SimWindow* win = Find(w)) win->icon = icon;
}

void SimDisplay::SetIcons(WindowId w, const std::vector<IconPixels>& icons) {
    Display::SetIcons(w, icons);
    if (SimWindow* win = Find(w))
        win->larger_icons.assign(icons.empty() ? icons.end() : icons.begin() + 1, icons.end());
}

void SimDisplay::Iconify(WindowId w) {
    SimWindow* win = Find(w);
    if (!win || win->iconic) return;
    win->iconic = true;
    Withdraw(w);
    Post(EventKind::Iconified, w);
    UpdateHover();
}

void SimDisplay::Restore(WindowId w) {
    SimWindow* win = Find(w);
    if (!win || !win->iconic) return;
    win->iconic = false;
    Post(EventKind::Restored, w);
    if (win->visible) {
        RaiseToTop(w);
        Post(EventKind::Exposed, w);
    }
    UpdateHover();
}

bool SimDisplay::IsIconic(WindowId w) const {
    const SimWindow* win = Find(w);
    return win && win->iconic;
}

void SimDisplay::Activate(WindowId w) {
    const SimWindow* win = Find(w);
    if (!win || !win->Drawn()) return;
    RaiseToTop(w);
    SetFocus(w);
    UpdateHover();
}

void SimDisplay::Raise(WindowId w) {
    if (!Find(w)) return;
    RaiseToTop(w);
    UpdateHover();
}

void SimDisplay::SetCursor(WindowId w, PointerCursor shape) {
    if (SimWindow* win = Find(w)) win->cursor = shape;
}

void SimDisplay::Present(WindowId w, const PixelBuffer& pixels, const Rect& damaged) {
    if (!pixels.Consistent())
        throw std::invalid_argument("display: pixel buffer " + std::to_string(pixels.width) + "x" +
                                    std::to_string(pixels.height) + " holds " +
                                    std::to_string(pixels.pixels.size()) + " pixels");
    SimWindow* win = Find(w);
    if (!win) return;
    const Rect area = damaged.Intersect({0, 0, pixels.width, pixels.height})
                          .Intersect({0, 0, win->pixels.width, win->pixels.height});
    CopyArea(pixels, area, win->pixels, 0, 0);
}

WindowId SimDisplay::WindowAt(Point p) const {
    const std::vector<WindowId> order = StackingOrder();
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        const SimWindow& win = windows_.at(*it);
        if (win.Drawn() && win.Covers(p.x - win.bounds.left, p.y - win.bounds.top)) return *it;
    }
    return kNoWindow;
}

std::vector<WindowId> SimDisplay::StackingOrder() const {
    std::vector<WindowId> order = raise_order_;
    std::stable_partition(order.begin(), order.end(),
                          [this](WindowId w) { return !windows_.at(w).topmost; });
    return order;
}

void SimDisplay::RaiseToTop(WindowId w) {
    raise_order_.erase(std::remove(raise_order_.begin(), raise_order_.end(), w),
                       raise_order_.end());
    raise_order_.push_back(w);
}

void SimDisplay::SetFocus(WindowId w) {
    if (active_ == w) return;
    if (active_) Post(EventKind::FocusLost, active_);
    active_ = w;
    if (w) Post(EventKind::FocusGained, w);
}

void SimDisplay::Withdraw(WindowId w) {
    if (active_ == w) SetFocus(kNoWindow);
    if (capture_ == w) capture_ = kNoWindow;
    if (grab_ == w) grab_ = kNoWindow;
    if (move_ && move_->window == w) move_.reset();
}

PixelBuffer SimDisplay::Screenshot() const {
    PixelBuffer shot(screen_.width, screen_.height, background_);
    for (WindowId id : StackingOrder()) {
        const SimWindow& win = windows_.at(id);
        if (!win.Drawn()) continue;
        const Rect whole{0, 0, win.bounds.Width(), win.bounds.Height()};
        // The screen in window coordinates: what of the window can be seen at all.
        const Rect visible =
            whole.Intersect({-win.bounds.left, -win.bounds.top, screen_.width - win.bounds.left,
                             screen_.height - win.bounds.top});
        const std::vector<Rect> parts = win.shape ? *win.shape : std::vector<Rect>{whole};
        for (const Rect& part : parts)
            CopyArea(win.pixels, part.Intersect(visible), shot, win.bounds.left, win.bounds.top);
    }
    return shot;
}

void SimDisplay::SavePng(const std::string& path) const {
    WritePng(path, Screenshot());
}

void SimDisplay::ReadConnection() {
    ++reads_;
    events_.insert(events_.end(), sent_.begin(), sent_.end());
    sent_.clear();
}

bool SimDisplay::TakeReceived(DisplayEvent& event) {
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

DisplayEvent* SimDisplay::Post(EventKind kind, WindowId w) {
    const SimWindow* win = Find(w);
    if (!win) return nullptr;
    DisplayEvent e;
    e.kind = kind;
    e.window = w;
    e.screen_x = pointer_.x;
    e.screen_y = pointer_.y;
    e.x = pointer_.x - win->bounds.left;
    e.y = pointer_.y - win->bounds.top;
    e.modifiers = keys_ | buttons_;
    e.time = clock_.Monotonic();
    if (kind == EventKind::Exposed) e.area = {0, 0, win->bounds.Width(), win->bounds.Height()};
    if (kind == EventKind::MoveEnded) e.area = win->bounds;
    sent_.push_back(e);
    ++readable_reports_;
    ConnectionReadable();
    if (listener_) listener_();
    return &sent_.back();
}

} // namespace os
