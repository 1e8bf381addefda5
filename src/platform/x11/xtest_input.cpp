#include "platform/x11/xtest_input.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/key_map.h"
#include "platform/x11/error_registry.h"
#include "platform/x11/guardian.h"

namespace velnor {
namespace {

KeySym keysymOfCharacter(char32_t character) {
    if (character == U'\n') return XK_Return;
    return xkb_utf32_to_keysym(character);
}

unsigned xButton(MouseButton button) {
    switch (button) {
        case MouseButton::Left:
            return Button1;
        case MouseButton::Middle:
            return Button2;
        case MouseButton::Right:
            return Button3;
    }
    return Button1;
}

using Clock = std::chrono::steady_clock;
constexpr auto kRebindAfter = std::chrono::milliseconds(50);
// How long the window's thread types waiting strokes before it looks at its other events.
constexpr auto kSlice = std::chrono::milliseconds(5);
// At most this many keycodes are bound per kRebindAfter: every X client, the window's own among
// them, reads the keymap anew after each change, which costs a Qt window milliseconds.
constexpr size_t kBindingsPerRound = 6;
// How far ahead waiting characters are looked at for symbols to bind in one go.
constexpr size_t kLookAhead = 512;

class XTestInput final : public InputSink {
  public:
    explicit XTestInput(Display* display)
        : display_(display), guardian_(DisplayString(display)), held_(guardian_.state()) {
        x11::adoptDisplay(display_);
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] { drain(); });
        // Once the connection is gone every request is dropped, so nothing is sent any more.
        XSetIOErrorExitHandler(
            display_, [](Display*, void* sink) { static_cast<XTestInput*>(sink)->lost_ = true; },
            this);
        int opcode, error, major = XkbMajorVersion, minor = XkbMinorVersion;
        if (XkbQueryExtension(display_, &opcode, &xkbEventBase_, &error, &major, &minor)) {
            const unsigned events = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
            XkbSelectEvents(display_, XkbUseCoreKbd, events, events);
        }
        XDisplayKeycodes(display_, &minKeycode_, &maxKeycode_);
        readKeymap();
        for (int code = minKeycode_; code <= maxKeycode_; ++code) {
            if (std::ranges::all_of(row(code), [](KeySym s) { return s == NoSymbol; }))
                spares_.push_back({KeyCode(code)});
        }
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
            for (const Spare& spare : spares_) {
                const KeySym none = NoSymbol;
                if (spare.bound != NoSymbol) bindRun(spare.code, {&none, 1});
            }
            XSync(display_, False);
            // Released here; on a lost connection the guardian still tries with its own.
            for (auto& key : held_.keys) key = 0;
            for (auto& button : held_.buttons) button = 0;
        }
        XCloseDisplay(display_);
        x11::releaseDisplay(display_);
    }

    void key(int virtualKey, bool down) override { submit({Stroke::Key, virtualKey, down, 0}); }

    void mouseButton(MouseButton button, bool down) override {
        submit({Stroke::Button, int(xButton(button)), down, 0});
    }

    void typeCharacter(char32_t character) override {
        submit({Stroke::Character, 0, false, character});
    }

  private:
    struct Place {
        KeyCode code;
        int level;  // 0 unshifted, 1 with Shift
    };
    // A keycode without symbols in the server's keymap, which we bind for the moment to symbols
    // the keymap lacks. Bindings stay until the slot is needed again, so a client that reads the
    // keymap late still finds the symbol, and are undone when the sink goes.
    struct Spare {
        KeyCode code;
        KeySym bound = NoSymbol;
        Clock::time_point lastUse = {};
    };
    // One injection as it was asked for.
    struct Stroke {
        enum Kind { Key, Button, Character } kind;
        int code;  // Key: virtual-key code; Button: X button number
        bool down;
        char32_t character;
    };
    // A keycode for a symbol, or none; `wait` when a slot will be free once kRebindAfter has
    // passed since its last use.
    struct Slot {
        KeyCode code = 0;
        bool wait = false;
    };

    // Injects at once, unless earlier strokes still wait for a keymap slot: then it waits behind
    // them, so that everything arrives in the order asked for. Nothing ever sleeps here; the
    // waiting strokes go out from the window's event loop.
    void submit(const Stroke& stroke) {
        if (!pending_.empty() || !perform(stroke)) {
            pending_.push_back(stroke);
            if (pending_.size() == 1) schedule();
        }
    }

    // Sends the strokes that wait, a slice of time at a time so that the window's thread stays
    // free (and a long text can be cut short by ending the program), until one has to wait again.
    void drain() {
        const auto until = Clock::now() + kSlice;
        for (int count = 1; !pending_.empty(); ++count) {
            if (pending_.front().kind == Stroke::Character) bindAhead();
            if (!perform(pending_.front())) break;
            pending_.pop_front();
            if (count % 64 == 0 && Clock::now() >= until) {
                wakeAt_ = {};
                break;
            }
        }
        if (!pending_.empty()) schedule();
    }

    void schedule() {
        const auto wait = std::max(Clock::duration::zero(), wakeAt_ - Clock::now());
        timer_.start(std::chrono::ceil<std::chrono::milliseconds>(wait));
    }

    // One stroke, unless the connection is gone (then it is dropped, and the loss told once);
    // false when it has to wait for a keymap slot.
    bool perform(const Stroke& stroke) {
        if (lost_) return true;
        bool done = true;
        switch (stroke.kind) {
            case Stroke::Key:
                done = pressOrRelease(stroke.code, stroke.down);
                break;
            case Stroke::Button:
                fakeButton(unsigned(stroke.code), stroke.down);
                break;
            case Stroke::Character:
                done = type(stroke.character);
                break;
        }
        if (lost_)
            injectionFailed(
                QStringLiteral("XTest cannot inject input any more: the connection to the X "
                               "display \"%1\" was lost; key and mouse events are dropped")
                    .arg(QString::fromLocal8Bit(DisplayString(display_)))
                    .toStdU16String());
        return done;
    }

    bool pressOrRelease(int virtualKey, bool down) {
        const KeyMapEntry* entry = findKey(virtualKey);
        if (!entry) return true;
        followKeymapChanges();
        // A release goes to the keycode that went down, even if the keymap changed in between.
        KeyCode code = 0;
        if (const auto pressed = pressedKeys_.find(virtualKey);
            !down && pressed != pressedKeys_.end()) {
            code = pressed->second;
            pressedKeys_.erase(pressed);
        } else {
            const auto place = find(entry->keysym, 0);
            const Slot slot = place ? Slot{place->code} : spareFor(entry->keysym);
            if (slot.wait) return false;
            code = slot.code;
            if (!code) return true;
            if (down) pressedKeys_[virtualKey] = code;
        }
        fakeKey(code, down);
        return true;
    }

    bool type(char32_t character) {
        const KeySym keysym = keysymOfCharacter(character);
        if (keysym == NoSymbol) return true;
        followKeymapChanges();
        const auto shift = find(XK_Shift_L, 0);
        auto place = find(keysym, shift ? 1 : 0);
        if (!place) {
            const Slot slot = spareFor(keysym);
            if (slot.wait) return false;
            if (!slot.code) return true;
            place = Place{slot.code, 0};
        }
        // With Shift already held (SendKeys "+"), the character comes shifted, as it would
        // from the keyboard.
        const bool addShift = place->level == 1 && !heldKeys_[shift->code];
        if (addShift) fakeKey(shift->code, true);
        fakeKey(place->code, true);
        fakeKey(place->code, false);
        if (addShift) fakeKey(shift->code, false);
        return true;
    }

    void fakeButton(unsigned number, bool down) {
        if (down) {
            guardian_.confirm();
            held_.buttons[number] = 1;
        }
        XTestFakeButtonEvent(display_, number, down, CurrentTime);
        XFlush(display_);
        if (!down) held_.buttons[number] = 0;
        heldButtons_[number] = down;
    }

    std::span<KeySym> row(int code) {
        return std::span(keymap_).subspan(size_t(code - minKeycode_) * perKeycode_, perKeycode_);
    }

    // Without an answer (the server went away) the last keymap stays as it was.
    void readKeymap() {
        int count = maxKeycode_ - minKeycode_ + 1;
        int perKeycode = 0;
        KeySym* symbols = XGetKeyboardMapping(display_, KeyCode(minKeycode_), count, &perKeycode);
        if (!symbols) return;
        perKeycode_ = perKeycode;
        keymap_.assign(symbols, symbols + size_t(count) * size_t(perKeycode));
        XFree(symbols);
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
            const auto spare = [&](int code) {
                return std::ranges::any_of(spares_,
                                           [&](const Spare& spare) { return spare.code == code; });
            };
            bool ours = true;
            for (int i = 0; i < xkb.map.num_key_syms; ++i)
                ours = ours && spare(xkb.map.first_key_sym + i);
            changed = changed || !ours;
        }
        if (!changed) return;
        readKeymap();
        std::erase_if(spares_, [this](const Spare& spare) {
            return !heldKeys_[spare.code] && !std::ranges::all_of(row(spare.code), [&](KeySym s) {
                return s == NoSymbol || s == spare.bound;
            });
        });
    }

    std::optional<Place> find(KeySym keysym, int maxLevel) {
        for (int level = 0; level <= std::min(maxLevel, perKeycode_ - 1); ++level) {
            for (int code = minKeycode_; code <= maxKeycode_; ++code) {
                if (row(code)[level] != keysym) continue;
                touch(KeyCode(code));
                return Place{KeyCode(code), level};
            }
        }
        return std::nullopt;
    }

    void touch(KeyCode code) {
        for (Spare& spare : spares_) {
            if (spare.code == code) spare.lastUse = Clock::now();
        }
    }

    // A client reads the keymap only when it handles the key event, so a slot typed a moment ago
    // is rebound only after kRebindAfter; until then its old symbol may still be looked up.
    bool ready(const Spare& spare, Clock::time_point now) const {
        return !heldKeys_[spare.code] &&
               (spare.bound == NoSymbol || spare.lastUse + kRebindAfter <= now);
    }

    // Binds the ready slot longest unused to `keysym`. No slot when every one is held; a wait
    // (with wakeAt_ set) while those not held were used too recently.
    Slot spareFor(KeySym keysym) {
        const auto now = Clock::now();
        Spare* chosen = nullptr;
        std::optional<Clock::time_point> firstReady;
        for (Spare& spare : spares_) {
            if (heldKeys_[spare.code]) continue;
            const auto readyAt = spare.lastUse + kRebindAfter;
            if (!firstReady || readyAt < *firstReady) firstReady = readyAt;
            if (ready(spare, now) && (!chosen || spare.lastUse < chosen->lastUse)) chosen = &spare;
        }
        if (!firstReady) return {};
        if (!chosen || bindingsLeft(now) == 0) {
            wakeAt_ = chosen ? roundStart_ + kRebindAfter : *firstReady;
            return {0, true};
        }
        ++boundThisRound_;
        bindRun(chosen->code, {&keysym, 1});
        chosen->bound = keysym;
        chosen->lastUse = now;
        return {chosen->code};
    }

    // Binds the symbols the next waiting characters need and the keymap lacks, as many as slots
    // are ready, with one keymap change per run of neighbouring keycodes: each change is a
    // notification to every X client.
    void bindAhead() {
        const auto now = Clock::now();
        std::vector<Spare*> free;
        for (Spare& spare : spares_)
            if (ready(spare, now)) free.push_back(&spare);
        if (free.size() < 2) return;
        std::ranges::sort(free, {}, &Spare::code);
        free.resize(std::min(free.size(), bindingsLeft(now)));
        const int shiftLevel = find(XK_Shift_L, 0) ? 1 : 0;
        std::vector<KeySym> wanted;
        for (size_t i = 0; i < pending_.size() && i < kLookAhead && wanted.size() < free.size();
             ++i) {
            if (pending_[i].kind != Stroke::Character) continue;
            const KeySym keysym = keysymOfCharacter(pending_[i].character);
            if (keysym == NoSymbol || std::ranges::find(wanted, keysym) != wanted.end() ||
                find(keysym, shiftLevel))
                continue;
            wanted.push_back(keysym);
        }
        if (wanted.size() < 2) return;
        size_t start = 0;
        for (size_t i = 1; i <= wanted.size(); ++i) {
            if (i < wanted.size() && free[i]->code == free[i - 1]->code + 1) continue;
            bindRun(free[start]->code, std::span(wanted).subspan(start, i - start));
            start = i;
        }
        for (size_t i = 0; i < wanted.size(); ++i) {
            free[i]->bound = wanted[i];
            free[i]->lastUse = now;
        }
        boundThisRound_ += wanted.size();
    }

    // How many keycodes may still be bound in the present round of kRebindAfter.
    size_t bindingsLeft(Clock::time_point now) {
        if (now >= roundStart_ + kRebindAfter) {
            roundStart_ = now;
            boundThisRound_ = 0;
        }
        return kBindingsPerRound - boundThisRound_;
    }

    // Binds keycodes from `first` on to `keysyms`, one each, on both levels, so that Shift or
    // Caps Lock cannot turn one into another symbol; NoSymbol undoes a binding.
    void bindRun(KeyCode first, std::span<const KeySym> keysyms) {
        std::vector<KeySym> symbols;
        for (size_t i = 0; i < keysyms.size(); ++i) {
            symbols.insert(symbols.end(), {keysyms[i], keysyms[i]});
            if (keysyms[i] != NoSymbol) held_.bound[first + i] = uint32_t(keysyms[i]);
        }
        XChangeKeyboardMapping(display_, first, 2, symbols.data(), int(keysyms.size()));
        for (size_t i = 0; i < keysyms.size(); ++i) {
            const int code = first + int(i);
            if (keysyms[i] == NoSymbol) held_.bound[code] = 0;
            std::ranges::fill(row(code), NoSymbol);
            if (keysyms[i] != NoSymbol) std::ranges::fill(row(code).first(2), keysyms[i]);
        }
    }

    void fakeKey(KeyCode code, bool down) {
        if (down) {
            guardian_.confirm();
            held_.keys[code] = 1;
        }
        XTestFakeKeyEvent(display_, code, down, CurrentTime);
        XFlush(display_);
        if (!down) held_.keys[code] = 0;
        heldKeys_[code] = down;
    }

    Display* display_;
    x11::Guardian guardian_;
    HeldState& held_;
    int xkbEventBase_ = -1;
    int minKeycode_ = 0;
    int maxKeycode_ = 0;
    int perKeycode_ = 0;
    std::vector<KeySym> keymap_;  // the core keymap, perKeycode_ symbols per keycode
    std::vector<Spare> spares_;
    std::bitset<256> heldKeys_;
    std::bitset<Button3 + 1> heldButtons_;
    std::map<int, KeyCode> pressedKeys_;  // virtual-key code -> keycode it went down on
    bool lost_ = false;                   // the connection broke; nothing is sent any more
    std::deque<Stroke> pending_;          // strokes waiting for a keymap slot, and those after
    Clock::time_point wakeAt_ = {};       // when the first waiting stroke can go
    Clock::time_point roundStart_ = {};   // of the present round of bindings
    size_t boundThisRound_ = 0;
    QTimer timer_;
};

}  // namespace

std::expected<std::unique_ptr<InputSink>, QString> openXTestInput(const char* displayName) {
    const char* name = displayName ? displayName : std::getenv("DISPLAY");
    if (!name || !*name) {
        return std::unexpected(QStringLiteral(
            "XTest cannot inject input: DISPLAY is not set (run Velnor inside an X11 or XWayland "
            "session, or use VELNOR_INPUT=uinput)"));
    }
    Display* display = XOpenDisplay(name);
    if (!display) {
        return std::unexpected(
            QStringLiteral("XTest cannot inject input: cannot open the X display \"%1\" (check "
                           "DISPLAY and XAUTHORITY)")
                .arg(QString::fromLocal8Bit(name)));
    }
    int event, error, major, minor;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        return std::unexpected(
            QStringLiteral("XTest cannot inject input: the X display \"%1\" lacks the XTEST "
                           "extension")
                .arg(QString::fromLocal8Bit(name)));
    }
    // Fake input must reach the focused window even while another client grabs the server.
    XTestGrabControl(display, True);
    return std::make_unique<XTestInput>(display);
}

}  // namespace velnor
