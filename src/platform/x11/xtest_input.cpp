#include "platform/x11/xtest_input.h"

#include <QString>
#include <algorithm>
#include <atomic>
#include <bitset>
#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/virtual_keys.h"
#include "platform/linux/key_map.h"
#include "platform/x11/error_registry.h"
#include "platform/x11/guardian.h"
#include "platform/x11/keymap_slots.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace velnor {
namespace {

using Duration = EventLoop::Duration;

// A mark in the memory the guardian shares (held_state.h), stored whole.
template <typename Field>
void mark(Field& field, std::type_identity_t<Field> value) {
    std::atomic_ref(field).store(value);
}

// A window of the sink's own connection, never shown. The server destroys it as it closes the
// connection, once it has handled every request the connection sent: the guardian waits for that.
Window connectionMarker(Display* display) {
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    const Window window = XCreateWindow(display, DefaultRootWindow(display), -1, -1, 1, 1, 0, 0,
                                        InputOnly, CopyFromParent, CWOverrideRedirect, &attributes);
    XSync(display, False);  // there before the guardian looks for it
    return window;
}

// The server's core keymap as last read: perKeycode symbols for each keycode from minKeycode on.
struct CoreKeymap {
    int minKeycode = 0;
    int maxKeycode = 0;
    int perKeycode = 0;
    std::vector<KeySym> symbols;

    std::span<KeySym> row(int code) {
        return std::span(symbols).subspan(size_t(code - minKeycode) * perKeycode, perKeycode);
    }

    // Without an answer (the server went away) the keymap stays as it was.
    void read(Display* display) {
        int count = maxKeycode - minKeycode + 1;
        int per = 0;
        KeySym* read = XGetKeyboardMapping(display, KeyCode(minKeycode), count, &per);
        if (!read) return;
        perKeycode = per;
        symbols.assign(read, read + size_t(count) * size_t(per));
        XFree(read);
    }
};

}  // namespace

struct XTestConnection {
    Display* display = nullptr;
    bool lost = false;  // it broke while being readied
    std::unique_ptr<x11::Guardian> guardian;
    int xkbEventBase = -1;
    CoreKeymap keymap;
};

void XTestConnectionDeleter::operator()(XTestConnection* connection) const {
    if (connection->display) XCloseDisplay(connection->display);
    delete connection;
}

namespace {

// How long the window's thread types waiting strokes before it looks at its other events.
constexpr Duration kSlice{5};
// How far ahead waiting characters are looked at for symbols to bind in one go.
constexpr size_t kLookAhead = 512;

class XTestInput final : public InputSink {
  public:
    XTestInput(XTestConnection& connection, EventLoop& loop)
        : display_(std::exchange(connection.display, nullptr)),
          loop_(loop),
          timer_(loop.createTimer([this] { drain(); })),
          guardian_(std::move(connection.guardian)),
          held_(guardian_->state()),
          xkbEventBase_(connection.xkbEventBase),
          keymap_(std::move(connection.keymap)),
          lost_(connection.lost) {
        x11::adoptDisplay(display_);
        // The sink hears of a broken connection from here on.
        XSetIOErrorExitHandler(
            display_, [](Display*, void* sink) { static_cast<XTestInput*>(sink)->lost_ = true; },
            this);
        std::vector<x11::Keycode> spares;
        for (int code = keymap_.minKeycode; code <= keymap_.maxKeycode; ++code) {
            if (std::ranges::all_of(keymap_.row(code), [](KeySym s) { return s == NoSymbol; }))
                spares.push_back(x11::Keycode(code));
        }
        slots_ = x11::KeymapSlots(std::move(spares));
    }

    ~XTestInput() override {
        if (!lost_) {
            for (int code = 0; code < int(heldKeys_.size()); ++code) {
                if (heldKeys_[code]) XTestFakeKeyEvent(display_, code, False, CurrentTime);
            }
            for (unsigned button = Button1; button <= Button3; ++button) {
                if (heldButtons_[button])
                    XTestFakeButtonEvent(display_, button, False, CurrentTime);
            }
            for (const x11::Keycode code : slots_.bound()) {
                const x11::Keysym none = NoSymbol;
                bindRun(code, {&none, 1});
            }
            XSync(display_, False);
            // Released here; on a lost connection the guardian still tries with its own.
            for (auto& key : held_.keys) mark(key, 0);
            for (auto& button : held_.buttons) mark(button, 0);
        }
        XCloseDisplay(display_);
        x11::releaseDisplay(display_);
    }

    void key(int virtualKey, bool down) override { submit({Stroke::Key, virtualKey, down, 0}); }

    void mouseButton(MouseButton button, bool down) override {
        submit({Stroke::Button, int(findButton(button).xButton), down, 0});
    }

    void typeCharacter(char32_t character) override {
        submit({Stroke::Character, 0, false, character});
    }
    bool sending() const override { return !pending_.empty(); }

  private:
    struct Place {
        KeyCode code;
        int level;  // 0 unshifted, 1 with Shift
    };
    // One injection as it was asked for.
    struct Stroke {
        enum Kind { Key, Button, Character } kind;
        int code;  // Key: virtual-key code; Button: X button number
        bool down;
        char32_t character;
    };
    // When a stroke that waits for a keymap slot can be tried again; nothing once it is done.
    using Retry = std::optional<Duration>;

    // Injects at once, unless earlier strokes still wait for a keymap slot: then it waits behind
    // them, so that everything arrives in the order asked for. Nothing ever sleeps here; the
    // waiting strokes go out from the event loop.
    void submit(const Stroke& stroke) {
        if (pending_.empty()) {
            const Retry retry = perform(stroke);
            if (!retry) return;
            schedule(*retry);
        }
        pending_.push_back(stroke);
    }

    // Sends the strokes that wait, a slice of time at a time so that the window's thread stays
    // free (and a long text can be cut short by ending the program), until one has to wait again.
    void drain() {
        const Duration until = loop_.now() + kSlice;
        for (int count = 1; !pending_.empty(); ++count) {
            if (pending_.front().kind == Stroke::Character) bindAhead();
            if (const Retry retry = perform(pending_.front())) return schedule(*retry);
            pending_.pop_front();
            // Past its slice: on at once, after the window's other events.
            if (count % 64 == 0 && loop_.now() >= until) return schedule(until);
        }
    }

    void schedule(Duration at) { timer_->start(std::max(Duration::zero(), at - loop_.now())); }

    // One stroke, unless the connection is gone (then it is dropped, and the loss told once).
    Retry perform(const Stroke& stroke) {
        if (lost_) return {};
        Retry retry;
        switch (stroke.kind) {
            case Stroke::Key:
                retry = pressOrRelease(stroke.code, stroke.down);
                break;
            case Stroke::Button:
                fakeButton(unsigned(stroke.code), stroke.down);
                break;
            case Stroke::Character:
                retry = type(stroke.character);
                break;
        }
        if (lost_)
            injectionFailed(
                QStringLiteral("XTest cannot inject input any more: the connection to the X "
                               "display \"%1\" was lost; key and mouse events are dropped")
                    .arg(QString::fromLocal8Bit(DisplayString(display_)))
                    .toStdU16String());
        return retry;
    }

    Retry pressOrRelease(int virtualKey, bool down) {
        const KeyMapEntry* entry = findKey(virtualKey);
        if (!entry) return {};
        followKeymapChanges();
        // A release goes to the keycode that went down, even if the keymap changed in between.
        KeyCode code = 0;
        if (const auto pressed = pressedKeys_.find(virtualKey);
            !down && pressed != pressedKeys_.end()) {
            code = pressed->second;
            pressedKeys_.erase(pressed);
        } else {
            const auto place = find(entry->keysym, 0);
            const x11::KeymapSlots::Slot slot =
                place ? x11::KeymapSlots::Slot{place->code} : spareFor(entry->keysym);
            if (slot.retryAt) return slot.retryAt;
            code = slot.code;
            if (!code) {
                if (down) keyWithoutKeycode(virtualKey, entry->keysym);
                return {};
            }
            if (down) pressedKeys_[virtualKey] = code;
        }
        fakeKey(code, down);
        return {};
    }

    // Every free keycode is held already, or the server has none.
    void keyWithoutKeycode(int virtualKey, KeySym keysym) {
        const char* name = XKeysymToString(keysym);
        keyUnavailable(virtualKey,
                       u"XTest cannot press " + keyLogName(virtualKey) + u": the X keymap lacks " +
                           QString::fromLatin1(name ? name : "its keysym").toStdU16String() +
                           u", and no free keycode is left to bind it to");
    }

    Retry type(char32_t character) {
        const KeySym keysym = characterKeysym(character);
        if (keysym == NoSymbol) return {};
        followKeymapChanges();
        const auto shift = find(XK_Shift_L, 0);
        auto place = find(keysym, shift ? 1 : 0);
        if (!place) {
            const x11::KeymapSlots::Slot slot = spareFor(keysym);
            if (!slot.code) return slot.retryAt;
            place = Place{slot.code, 0};
        }
        // With Shift already held (SendKeys "+"), the character comes shifted, as it would
        // from the keyboard.
        const bool addShift = place->level == 1 && !heldKeys_[shift->code];
        if (addShift) fakeKey(shift->code, true);
        fakeKey(place->code, true);
        fakeKey(place->code, false);
        if (addShift) fakeKey(shift->code, false);
        return {};
    }

    // Once the guardian is known to be missing or unable to act, the event log says so; a guardian
    // that ended with the X server is no news, the sink tells that loss itself.
    void confirmGuardian() {
        if (const auto problem = guardian_->confirm(); problem && !lost_) tell(*problem);
    }

    void fakeButton(unsigned number, bool down) {
        if (down) {
            confirmGuardian();
            mark(held_.buttons[number], 1);
        }
        XTestFakeButtonEvent(display_, number, down, CurrentTime);
        XFlush(display_);
        if (!down) mark(held_.buttons[number], 0);
        heldButtons_[number] = down;
    }

    // Re-reads the keymap when another client changed it (a new layout, xmodmap), and forgets
    // slots that another client took over.
    void followKeymapChanges() {
        bool changed = false;
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type != xkbEventBase_) continue;
            const auto& xkb = reinterpret_cast<const XkbEvent&>(event);
            if (xkb.any.xkb_type == XkbNewKeyboardNotify) changed = true;
            if (xkb.any.xkb_type != XkbMapNotify || !(xkb.map.changed & XkbKeySymsMask)) continue;
            bool ours = true;
            for (int i = 0; i < xkb.map.num_key_syms; ++i)
                ours = ours && slots_.isSlot(x11::Keycode(xkb.map.first_key_sym + i));
            changed = changed || !ours;
        }
        if (!changed) return;
        keymap_.read(display_);
        slots_.forgetTaken([this](x11::Keycode code, x11::Keysym bound) {
            return !std::ranges::all_of(keymap_.row(code),
                                        [&](KeySym s) { return s == NoSymbol || s == bound; });
        });
    }

    std::optional<Place> find(KeySym keysym, int maxLevel) {
        for (int level = 0; level <= std::min(maxLevel, keymap_.perKeycode - 1); ++level) {
            for (int code = keymap_.minKeycode; code <= keymap_.maxKeycode; ++code) {
                if (keymap_.row(code)[level] == keysym) return Place{KeyCode(code), level};
            }
        }
        return std::nullopt;
    }

    // A slot for a symbol the keymap lacks, bound in the server's keymap too.
    x11::KeymapSlots::Slot spareFor(KeySym keysym) {
        const auto symbol = x11::Keysym(keysym);
        const x11::KeymapSlots::Slot slot = slots_.bind(symbol, loop_.now());
        if (slot.code) bindRun(slot.code, {&symbol, 1});
        return slot;
    }

    // Binds the symbols the next waiting characters need and the keymap lacks, as many as the
    // slots allow, before they are typed: fewer keymap changes than one each.
    void bindAhead() {
        const Duration now = loop_.now();
        const size_t room = slots_.roomAhead(now);
        if (room == 0) return;
        const int shiftLevel = find(XK_Shift_L, 0) ? 1 : 0;
        std::vector<x11::Keysym> wanted;
        for (size_t i = 0; i < pending_.size() && i < kLookAhead && wanted.size() < room; ++i) {
            if (pending_[i].kind != Stroke::Character) continue;
            const auto keysym = x11::Keysym(characterKeysym(pending_[i].character));
            if (keysym == NoSymbol || std::ranges::find(wanted, keysym) != wanted.end()) continue;
            // A slot that holds a symbol about to be typed is kept for it.
            if (const auto place = find(keysym, shiftLevel))
                slots_.used(place->code, now);
            else
                wanted.push_back(keysym);
        }
        for (const x11::KeymapSlots::Run& run : slots_.bindAhead(wanted, now))
            bindRun(run.first, run.keysyms);
    }

    // Binds keycodes from `first` on to `keysyms`, one each, on both levels, so that Shift or
    // Caps Lock cannot turn one into another symbol; NoSymbol undoes a binding. The guardian is
    // told before the server, and the request goes out at once, so that the symbol it replaces
    // has always reached the server (held_state.h).
    void bindRun(KeyCode first, std::span<const x11::Keysym> keysyms) {
        std::vector<KeySym> symbols;
        for (size_t i = 0; i < keysyms.size(); ++i) {
            symbols.insert(symbols.end(), 2, keysyms[i]);
            mark(held_.replaced[first + i], held_.bound[first + i]);
            mark(held_.bound[first + i], keysyms[i]);
        }
        XChangeKeyboardMapping(display_, first, 2, symbols.data(), int(keysyms.size()));
        XFlush(display_);
        for (size_t i = 0; i < keysyms.size(); ++i) {
            const int code = first + int(i);
            std::ranges::fill(keymap_.row(code), NoSymbol);
            if (keysyms[i] != NoSymbol) std::ranges::fill(keymap_.row(code).first(2), keysyms[i]);
        }
    }

    void fakeKey(KeyCode code, bool down) {
        if (down) {
            confirmGuardian();
            mark(held_.keys[code], 1);
        }
        XTestFakeKeyEvent(display_, code, down, CurrentTime);
        XFlush(display_);
        if (!down) mark(held_.keys[code], 0);
        heldKeys_[code] = down;
        // The clock is read for a slot only: a key of the keymap pays nothing for the pacing.
        if (slots_.isSlot(code)) slots_.pressed(code, down, loop_.now());
    }

    Display* display_;
    EventLoop& loop_;
    std::unique_ptr<EventLoop::Timer> timer_;  // drains the waiting strokes
    std::unique_ptr<x11::Guardian> guardian_;
    HeldState& held_;
    int xkbEventBase_;
    CoreKeymap keymap_;
    x11::KeymapSlots slots_;
    std::bitset<256> heldKeys_;
    std::bitset<Button3 + 1> heldButtons_;
    std::map<int, KeyCode> pressedKeys_;  // virtual-key code -> keycode it went down on
    bool lost_;                           // the connection broke; nothing is sent any more
    std::deque<Stroke> pending_;          // strokes waiting for a keymap slot, and those after
};

}  // namespace

Result<PreparedXTest> prepareXTestInput(const char* displayName) {
    const char* name = displayName ? displayName : std::getenv("DISPLAY");
    if (!name || !*name) {
        return std::unexpected(
            Problem{ProblemKind::Missing,
                    u"XTest cannot inject input: DISPLAY is not set (run Velnor inside an X11 or "
                    u"XWayland session, or use VELNOR_INPUT=uinput)"});
    }
    // `sentence` names the display as %1.
    const auto refused = [name](ProblemKind kind, const QString& sentence) {
        return std::unexpected(
            Problem{kind, sentence.arg(QString::fromLocal8Bit(name)).toStdU16String()});
    };
    PreparedXTest connection(new XTestConnection);
    connection->display = XOpenDisplay(name);
    Display* display = connection->display;
    if (!display) {
        return refused(ProblemKind::Missing,
                       QStringLiteral("XTest cannot inject input: cannot open the X display "
                                      "\"%1\" (check DISPLAY and XAUTHORITY)"));
    }
    // Once the connection is gone every request is dropped, so nothing is sent any more.
    XSetIOErrorExitHandler(
        display, [](Display*, void* ready) { static_cast<XTestConnection*>(ready)->lost = true; },
        connection.get());
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        return refused(ProblemKind::Other,
                       QStringLiteral("XTest cannot inject input: the X display \"%1\" lacks the "
                                      "XTEST extension"));
    }
    // Fake input must reach the focused window even while another client grabs the server.
    XTestGrabControl(display, True);
    int opcode, xkbMajor = XkbMajorVersion, xkbMinor = XkbMinorVersion;
    if (XkbQueryExtension(display, &opcode, &connection->xkbEventBase, &error, &xkbMajor,
                          &xkbMinor)) {
        const unsigned events = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(display, XkbUseCoreKbd, events, events);
    }
    XDisplayKeycodes(display, &connection->keymap.minKeycode, &connection->keymap.maxKeycode);
    connection->keymap.read(display);
    connection->guardian =
        std::make_unique<x11::Guardian>(DisplayString(display), connectionMarker(display));
    return connection;
}

std::unique_ptr<InputSink> openXTestInput(EventLoop& loop, PreparedXTest connection) {
    return std::make_unique<XTestInput>(*connection, loop);
}

Result<std::unique_ptr<InputSink>> openXTestInput(EventLoop& loop, const char* displayName) {
    auto connection = prepareXTestInput(displayName);
    if (!connection) return std::unexpected(connection.error());
    return openXTestInput(loop, std::move(*connection));
}

}  // namespace velnor
