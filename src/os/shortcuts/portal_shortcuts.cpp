// The portal's global shortcuts over sd-bus, one asynchronous step after the other.
#include "os/shortcuts/portal_shortcuts.hpp"

#include <systemd/sd-bus.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace os {

namespace {

constexpr const char* kShortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";
constexpr const char* kRegistryInterface = "org.freedesktop.host.portal.Registry";
// Long enough for a busy desktop; a portal that does not answer a method by then is stuck.
constexpr std::uint64_t kCallTimeoutUs = 10'000'000;

// Errors that mean: nobody offers this here. Anything else is a portal that refused.
bool Absent(const sd_bus_error* e) {
    return sd_bus_error_has_names(e, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER,
                                  SD_BUS_ERROR_UNKNOWN_METHOD, SD_BUS_ERROR_UNKNOWN_INTERFACE,
                                  SD_BUS_ERROR_UNKNOWN_OBJECT);
}

// Reads an a{sv}, giving each key and the message positioned on its variant to `on`, which
// reads the variant or leaves it (then it is skipped). False when it is not an a{sv}.
template <class F> bool ReadDict(sd_bus_message* m, F&& on) {
    if (sd_bus_message_enter_container(m, 'a', "{sv}") <= 0) return false;
    for (;;) {
        const int r = sd_bus_message_enter_container(m, 'e', "sv");
        if (r == 0) break;
        if (r < 0) return false;
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0 || !key) return false;
        if (!on(std::string(key)) && sd_bus_message_skip(m, "v") < 0) return false;
        if (sd_bus_message_exit_container(m) < 0) return false;
    }
    return sd_bus_message_exit_container(m) >= 0;
}

// A string variant's value, or nothing; consumes the variant when it is one.
bool ReadStringVariant(sd_bus_message* m, std::string& out) {
    if (sd_bus_message_enter_container(m, 'v', "s") <= 0) return false;
    const char* s = nullptr;
    if (sd_bus_message_read(m, "s", &s) < 0 || !s) return false;
    out = s;
    return sd_bus_message_exit_container(m) >= 0;
}

// The requests' and sessions' path part for a unique name: ":1.42" -> "1_42".
std::string SenderPart(const char* unique) {
    std::string out = unique && unique[0] == ':' ? unique + 1 : (unique ? unique : "");
    for (char& c : out)
        if (c == '.') c = '_';
    return out;
}

int AppendString(sd_bus_message* m, const char* key, const std::string& value) {
    int r = sd_bus_message_open_container(m, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(m, "s", key);
    if (r >= 0) r = sd_bus_message_append(m, "v", "s", value.c_str());
    if (r >= 0) r = sd_bus_message_close_container(m);
    return r;
}

} // namespace

struct PortalShortcuts::Callbacks {
    static int OnRegistered(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* p = static_cast<PortalShortcuts*>(self);
        p->call_ = sd_bus_slot_unref(p->call_);
        const sd_bus_error* e = sd_bus_message_get_error(m);
        // Older portals have no registry: they need no application id, so go on.
        if (e && sd_bus_error_has_names(e, SD_BUS_ERROR_SERVICE_UNKNOWN,
                                        SD_BUS_ERROR_NAME_HAS_NO_OWNER)) {
            p->GiveUp();
            return 0;
        }
        p->sender_ = SenderPart(sd_bus_message_get_destination(m));
        p->CreateSession();
        return 0;
    }

    static int OnCalled(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* p = static_cast<PortalShortcuts*>(self);
        p->call_ = sd_bus_slot_unref(p->call_);
        const sd_bus_error* e = sd_bus_message_get_error(m);
        if (!e) return 0; // the answer comes as the request's Response
        if (p->step_ == Step::CreatingSession && Absent(e))
            p->GiveUp();
        else
            p->Fail(e->message ? e->message : e->name);
        return 0;
    }

    static int OnResponse(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* p = static_cast<PortalShortcuts*>(self);
        p->response_ = sd_bus_slot_unref(p->response_);
        std::uint32_t response = 2;
        if (sd_bus_message_read(m, "u", &response) < 0) response = 2;
        if (response != 0) {
            p->Fail(response == 1 ? "cancelled" : "refused");
            return 0;
        }
        if (p->step_ == Step::CreatingSession) {
            ReadDict(m, [&](const std::string& key) {
                return key == "session_handle" && ReadStringVariant(m, p->session_);
            });
            if (p->session_.empty() || !sd_bus_object_path_is_valid(p->session_.c_str())) {
                p->Fail("no session");
                return 0;
            }
            p->Bind();
            return 0;
        }
        if (p->step_ == Step::Binding) {
            p->step_ = Step::Bound;
            ReadDict(m, [&](const std::string& key) {
                if (key != "shortcuts") return false;
                if (sd_bus_message_enter_container(m, 'v', "a(sa{sv})") <= 0 ||
                    sd_bus_message_enter_container(m, 'a', "(sa{sv})") <= 0)
                    return false;
                while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
                    const char* id = nullptr;
                    std::string trigger;
                    if (sd_bus_message_read(m, "s", &id) < 0 || !id) break;
                    ReadDict(m, [&](const std::string& k) {
                        return k == "trigger_description" && ReadStringVariant(m, trigger);
                    });
                    sd_bus_message_exit_container(m);
                    p->bound_.push_back(std::string(id) + "=" + trigger);
                    std::fprintf(stderr, "mirelo: global shortcut %s: %s\n", id,
                                 trigger.empty() ? "(none set)" : trigger.c_str());
                }
                sd_bus_message_exit_container(m);
                sd_bus_message_exit_container(m);
                return true;
            });
        }
        return 0;
    }

    static int OnActivated(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* p = static_cast<PortalShortcuts*>(self);
        const char* session = nullptr;
        const char* id = nullptr;
        if (sd_bus_message_read(m, "os", &session, &id) < 0 || !session || !id) return 0;
        if (p->session_ != session) return 0;
        for (std::size_t i = 0; i < p->shortcuts_.size(); ++i)
            if (p->shortcuts_[i].id == id && p->post_) p->post_(p->window_, p->message_, i, 0);
        return 0;
    }
};

PortalShortcuts::PortalShortcuts(sd_bus* bus, std::string app_id, PostFn post,
                                 std::function<void()> unavailable)
    : bus_(sd_bus_ref(bus)), app_id_(std::move(app_id)), post_(std::move(post)),
      unavailable_(std::move(unavailable)) {}

PortalShortcuts::~PortalShortcuts() {
    sd_bus_slot_unref(call_);
    sd_bus_slot_unref(response_);
    sd_bus_slot_unref(activated_);
    // The session ends with our connection; closing it here would be a call to wait for.
    sd_bus_unref(bus_);
}

void PortalShortcuts::Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
                            std::uint32_t message) {
    shortcuts_ = std::move(shortcuts);
    window_ = window;
    message_ = message;
    if (shortcuts_.empty()) return;
    step_ = Step::Registering;
    // Before any other call: from this the portal knows which desktop entry we are.
    const int r = sd_bus_call_method_async(bus_, &call_, kPortalName, kPortalPath,
                                           kRegistryInterface, "Register", Callbacks::OnRegistered,
                                           this, "sa{sv}", app_id_.c_str(), 0);
    if (r < 0) Fail(std::strerror(-r));
}

std::string PortalShortcuts::ExpectResponse(const std::string& token) {
    const std::string path = std::string(kPortalPath) + "/request/" + sender_ + "/" + token;
    sd_bus_slot_unref(response_);
    response_ = nullptr;
    // Asked before the call: the daemon handles our messages in order, so the answer
    // cannot pass the subscription.
    sd_bus_match_signal_async(bus_, &response_, kPortalName, path.c_str(), kRequestInterface,
                              "Response", Callbacks::OnResponse, nullptr, this);
    return path;
}

void PortalShortcuts::CreateSession() {
    step_ = Step::CreatingSession;
    const std::string token =
        "mirelo" + std::to_string(getpid()) + "_" + std::to_string(next_token_++);
    ExpectResponse(token);
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(bus_, &m, kPortalName, kPortalPath, kShortcutsInterface,
                                           "CreateSession");
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r >= 0) r = AppendString(m, "handle_token", token);
    if (r >= 0) r = AppendString(m, "session_handle_token", token);
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_call_async(bus_, &call_, m, Callbacks::OnCalled, this, kCallTimeoutUs);
    sd_bus_message_unref(m);
    if (r < 0) Fail(std::strerror(-r));
}

void PortalShortcuts::Bind() {
    step_ = Step::Binding;
    // Presses may follow the answer at once: listen first.
    sd_bus_match_signal_async(bus_, &activated_, kPortalName, kPortalPath, kShortcutsInterface,
                              "Activated", Callbacks::OnActivated, nullptr, this);
    const std::string token =
        "mirelo" + std::to_string(getpid()) + "_" + std::to_string(next_token_++);
    ExpectResponse(token);
    sd_bus_message* m = nullptr;
    int r = sd_bus_message_new_method_call(bus_, &m, kPortalName, kPortalPath, kShortcutsInterface,
                                           "BindShortcuts");
    if (r >= 0) r = sd_bus_message_append(m, "o", session_.c_str());
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "(sa{sv})");
    for (const Shortcut& s : shortcuts_) {
        if (r >= 0) r = sd_bus_message_open_container(m, 'r', "sa{sv}");
        if (r >= 0) r = sd_bus_message_append(m, "s", s.id.c_str());
        if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
        if (r >= 0) r = AppendString(m, "description", s.description);
        if (r >= 0) r = AppendString(m, "preferred_trigger", PortalTrigger(s.keys));
        if (r >= 0) r = sd_bus_message_close_container(m);
        if (r >= 0) r = sd_bus_message_close_container(m);
    }
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "s", "");
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "{sv}");
    if (r >= 0) r = AppendString(m, "handle_token", token);
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_call_async(bus_, &call_, m, Callbacks::OnCalled, this, kCallTimeoutUs);
    sd_bus_message_unref(m);
    if (r < 0) Fail(std::strerror(-r));
}

void PortalShortcuts::Fail(const std::string& why) {
    if (step_ == Step::Failed) return;
    step_ = Step::Failed;
    call_ = sd_bus_slot_unref(call_);
    response_ = sd_bus_slot_unref(response_);
    activated_ = sd_bus_slot_unref(activated_);
    std::fprintf(stderr, "mirelo: no global shortcuts from the desktop portal (%s)\n", why.c_str());
}

void PortalShortcuts::GiveUp() {
    step_ = Step::Failed;
    call_ = sd_bus_slot_unref(call_);
    response_ = sd_bus_slot_unref(response_);
    if (unavailable_) unavailable_();
}

} // namespace os
