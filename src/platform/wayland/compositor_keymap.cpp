#include "platform/wayland/compositor_keymap.h"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/text.h"

namespace velnor {

// The globals bound and the keyboards asked for, destroyed with the connection.
struct CompositorKeymap::Objects {
    wl_registry* registry = nullptr;
    std::vector<wl_seat*> seats;
    wl_keyboard* keyboard = nullptr;  // of the first seat that has one
};

struct CompositorKeymap::Listener {
    static void global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t) {
        auto* self = static_cast<CompositorKeymap*>(data);
        if (std::strcmp(interface, wl_seat_interface.name) != 0) return;
        // The first version has all that is read here: the capabilities and the keymap.
        auto* seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
        self->objects_->seats.push_back(seat);
        wl_seat_add_listener(seat, &kSeat, self);
    }
    static void globalRemove(void*, wl_registry*, uint32_t) {}

    static void capabilities(void* data, wl_seat* seat, uint32_t capabilities) {
        auto* self = static_cast<CompositorKeymap*>(data);
        if (!(capabilities & WL_SEAT_CAPABILITY_KEYBOARD) || self->objects_->keyboard) return;
        self->objects_->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(self->objects_->keyboard, &kKeyboard, self);
    }
    static void seatName(void*, wl_seat*, const char*) {}

    static void keymap(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
        auto* self = static_cast<CompositorKeymap*>(data);
        if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
            void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            if (text != MAP_FAILED) {
                // The text ends with a null character within `size`.
                self->keymap_.assign(static_cast<const char*>(text),
                                     strnlen(static_cast<const char*>(text), size));
                self->arrived_ = true;
                munmap(text, size);
            }
        }
        close(fd);
    }
    static void enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
    static void leave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
    static void key(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void repeat(void*, wl_keyboard*, int32_t, int32_t) {}

    static constexpr wl_registry_listener kRegistry = {global, globalRemove};
    static constexpr wl_seat_listener kSeat = {capabilities, seatName};
    static constexpr wl_keyboard_listener kKeyboard = {keymap, enter,     leave,
                                                       key,    modifiers, repeat};
};

Result<std::unique_ptr<CompositorKeymap>> CompositorKeymap::connect(const char* display) {
    const char* name = display ? display : std::getenv("WAYLAND_DISPLAY");
    const auto refused = [name](const std::string& why) {
        return std::unexpected(Problem{
            ProblemKind::Missing, fromUtf8("the keymap of the Wayland compositor \"" +
                                           std::string(name ? name : "wayland-0") + "\" " + why)});
    };
    std::unique_ptr<CompositorKeymap> connection(new CompositorKeymap);
    connection->display_ = wl_display_connect(display);
    if (!connection->display_)
        return refused("cannot be read: no connection (" + std::string(std::strerror(errno)) + ")");
    connection->objects_ = std::make_unique<Objects>();
    connection->objects_->registry = wl_display_get_registry(connection->display_);
    wl_registry_add_listener(connection->objects_->registry, &Listener::kRegistry,
                             connection.get());
    // The globals, then the seats' capabilities, then the keyboard's keymap.
    for (int round = 0; round < 3 && !connection->arrived_; ++round) {
        if (wl_display_roundtrip(connection->display_) < 0)
            return refused("cannot be read: the connection was lost");
    }
    connection->arrived_ = false;
    return connection;
}

CompositorKeymap::~CompositorKeymap() {
    if (objects_) {
        if (objects_->keyboard) wl_keyboard_destroy(objects_->keyboard);
        for (wl_seat* seat : objects_->seats) wl_seat_destroy(seat);
        wl_registry_destroy(objects_->registry);
    }
    if (display_) wl_display_disconnect(display_);
}

int CompositorKeymap::fd() const {
    return wl_display_get_fd(display_);
}

bool CompositorKeymap::read() {
    if (lost_) return false;
    while (wl_display_prepare_read(display_) != 0) wl_display_dispatch_pending(display_);
    wl_display_flush(display_);
    // Called when the descriptor is readable, so this takes what is there and does not wait.
    if (wl_display_read_events(display_) < 0 || wl_display_dispatch_pending(display_) < 0) {
        lost_ = true;
        return false;
    }
    // What the events asked of us (a keyboard, once a seat has one) goes out now, not with the
    // next event, which may wait for it.
    wl_display_flush(display_);
    return std::exchange(arrived_, false);
}

}  // namespace velnor
