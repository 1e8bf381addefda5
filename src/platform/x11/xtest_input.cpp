#include "platform/x11/xtest_input.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/key_map.h"
#include "platform/x11/held_state.h"

extern char** environ;

namespace velnor {
namespace {

// Xlib's default handlers end the process, on an error and when the connection breaks; an event
// the server refuses, or an X server that goes away, must not. Errors on other connections of the
// process go to whatever handler was there before.
std::vector<Display*> ownDisplays;
XErrorHandler previousErrorHandler = nullptr;
XIOErrorHandler previousIOErrorHandler = nullptr;

bool own(Display* display) {
    return std::ranges::find(ownDisplays, display) != ownDisplays.end();
}

int ignoreOwnErrors(Display* display, XErrorEvent* error) {
    if (own(display)) return 0;
    return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

// Returning lets Xlib go on to the connection's exit handler, which for ours does not exit.
int surviveOwnBrokenConnections(Display* display) {
    if (own(display)) return 0;
    return previousIOErrorHandler ? previousIOErrorHandler(display) : 0;
}

void adoptDisplay(Display* display) {
    if (ownDisplays.empty()) {
        previousErrorHandler = XSetErrorHandler(ignoreOwnErrors);
        previousIOErrorHandler = XSetIOErrorHandler(surviveOwnBrokenConnections);
    }
    ownDisplays.push_back(display);
}

void releaseDisplay(Display* display) {
    std::erase(ownDisplays, display);
    if (ownDisplays.empty()) {
        XSetErrorHandler(previousErrorHandler);
        XSetIOErrorHandler(previousIOErrorHandler);
    }
}

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
constexpr int kGuardianStartMs = 2000;

// velnor-guardian beside the running program, or where the build put it.
std::string guardianProgram() {
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        std::string beside(self, size_t(length));
        beside.erase(beside.rfind('/') + 1);
        beside += "velnor-guardian";
        if (::access(beside.c_str(), X_OK) == 0) return beside;
    }
    return VELNOR_GUARDIAN_BUILT;
}

// The guardian process of one XTest connection and the HeldState it reads (held_state.h). Without
// a guardian the state is kept all the same, in memory of our own.
class Guardian {
  public:
    explicit Guardian(const char* displayName) {
        const int memory = ::memfd_create("velnor-held", MFD_CLOEXEC);
        int sockets[2] = {-1, -1};
        if (memory < 0 || ::ftruncate(memory, sizeof(HeldState)) != 0 ||
            ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
            problem_ = QStringLiteral("no shared memory or socket: %1").arg(std::strerror(errno));
        } else if (void* shared = ::mmap(nullptr, sizeof(HeldState), PROT_READ | PROT_WRITE,
                                         MAP_SHARED, memory, 0);
                   shared == MAP_FAILED) {
            problem_ = QStringLiteral("no shared memory: %1").arg(std::strerror(errno));
        } else {
            state_ = static_cast<HeldState*>(shared);
            shared_ = true;
            socket_ = std::exchange(sockets[0], -1);
            start(displayName, memory, sockets[1]);
        }
        for (const int fd : {memory, sockets[0], sockets[1]})
            if (fd >= 0) ::close(fd);
        if (!state_) state_ = new HeldState{};
    }
    ~Guardian() {
        if (socket_ >= 0) ::close(socket_);  // the guardian sees the end, finds nothing held
        if (shared_)
            ::munmap(state_, sizeof(HeldState));
        else
            delete state_;
    }
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;

    HeldState& state() { return *state_; }
    // Why no guardian runs, or empty.
    const QString& problem() const { return problem_; }

  private:
    void start(const char* displayName, int memory, int socket) {
        // Above the descriptors the guardian gets, so that moving them cannot clash.
        const int memoryFd = ::fcntl(memory, F_DUPFD_CLOEXEC, 10);
        const int socketFd = ::fcntl(socket, F_DUPFD_CLOEXEC, 10);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, memoryFd, kGuardianStateFd);
        posix_spawn_file_actions_adddup2(&actions, socketFd, kGuardianSocketFd);
        posix_spawn_file_actions_addclosefrom_np(&actions, kGuardianStateFd + 1);
        const std::string program = guardianProgram();
        char* argv[] = {const_cast<char*>("velnor-guardian"), const_cast<char*>(displayName),
                        nullptr};
        pid_t pid = -1;
        const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(memoryFd);
        ::close(socketFd);
        if (spawned != 0) {
            problem_ = QStringLiteral("%1 cannot start: %2")
                           .arg(QString::fromStdString(program), std::strerror(spawned));
            return;
        }
        ::waitpid(pid, nullptr, 0);  // it hands over to a child of its own at once
        pollfd ready = {socket_, POLLIN, 0};
        char answer = 0;
        if (::poll(&ready, 1, kGuardianStartMs) != 1 || ::read(socket_, &answer, 1) != 1 ||
            answer != 'y')
            problem_ = QStringLiteral("%1 did not start").arg(QString::fromStdString(program));
    }

    HeldState* state_ = nullptr;
    bool shared_ = false;
    int socket_ = -1;
    QString problem_;
};

class XTestInput final : public InputSink {
  public:
    explicit XTestInput(Display* display)
        : display_(display), guardian_(DisplayString(display)), held_(guardian_.state()) {
        if (!guardian_.problem().isEmpty())
            qWarning("XTest: keys held when Velnor is killed may stay down: %s",
                     qPrintable(guardian_.problem()));
        adoptDisplay(display_);
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
                if (spare.bound != NoSymbol) bind(spare.code, NoSymbol);
            }
            XSync(display_, False);
            // Released here; on a lost connection the guardian still tries with its own.
            for (auto& key : held_.keys) key = 0;
            for (auto& button : held_.buttons) button = 0;
        }
        XCloseDisplay(display_);
        releaseDisplay(display_);
    }

    void key(int virtualKey, bool down) override {
        inject([&] { pressOrRelease(virtualKey, down); });
    }

    void mouseButton(MouseButton button, bool down) override {
        inject([&] {
            const unsigned number = xButton(button);
            if (down) held_.buttons[number] = 1;
            XTestFakeButtonEvent(display_, number, down, CurrentTime);
            XFlush(display_);
            if (!down) held_.buttons[number] = 0;
            heldButtons_[number] = down;
        });
    }

    void typeCharacter(char32_t character) override {
        inject([&] { type(character); });
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

    // Runs one injection unless the connection is gone, and says so when it has just gone.
    template <class Injection>
    void inject(Injection injection) {
        if (lost_) return;
        injection();
        if (!lost_) return;
        injectionFailed(
            QStringLiteral("XTest cannot inject input any more: the connection to the X display "
                           "\"%1\" was lost; key and mouse events are dropped")
                .arg(QString::fromLocal8Bit(DisplayString(display_))));
    }

    void pressOrRelease(int virtualKey, bool down) {
        const KeyMapEntry* entry = findKey(virtualKey);
        if (!entry) return;
        followKeymapChanges();
        // A release goes to the keycode that went down, even if the keymap changed in between.
        KeyCode code = 0;
        if (const auto pressed = pressedKeys_.find(virtualKey);
            !down && pressed != pressedKeys_.end()) {
            code = pressed->second;
            pressedKeys_.erase(pressed);
        } else {
            const auto place = find(entry->keysym, 0);
            code = place ? place->code : bindSpare(entry->keysym);
            if (!code) return;
            if (down) pressedKeys_[virtualKey] = code;
        }
        fakeKey(code, down);
    }

    void type(char32_t character) {
        const KeySym keysym = keysymOfCharacter(character);
        if (keysym == NoSymbol) return;
        followKeymapChanges();
        const auto shift = find(XK_Shift_L, 0);
        auto place = find(keysym, shift ? 1 : 0);
        if (!place) {
            const KeyCode code = bindSpare(keysym);
            if (!code) return;
            place = Place{code, 0};
        }
        // With Shift already held (SendKeys "+"), the character comes shifted, as it would
        // from the keyboard.
        const bool addShift = place->level == 1 && !heldKeys_[shift->code];
        if (addShift) fakeKey(shift->code, true);
        fakeKey(place->code, true);
        fakeKey(place->code, false);
        if (addShift) fakeKey(shift->code, false);
    }

    std::span<KeySym> row(int code) {
        return std::span(keymap_).subspan(size_t(code - minKeycode_) * perKeycode_, perKeycode_);
    }

    void readKeymap() {
        int count = maxKeycode_ - minKeycode_ + 1;
        KeySym* symbols = XGetKeyboardMapping(display_, KeyCode(minKeycode_), count, &perKeycode_);
        keymap_.assign(symbols, symbols + size_t(count) * perKeycode_);
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
            const bool ours =
                xkb.map.num_key_syms == 1 && std::ranges::any_of(spares_, [&](const Spare& spare) {
                    return spare.code == xkb.map.first_key_sym;
                });
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

    // Binds a free slot, or the one longest unused that is not held, to `keysym`; 0 if none.
    // A client reads the keymap only when it handles the key event, so a slot typed a moment ago
    // is rebound only after kRebindAfter; until then its old symbol may still be looked up.
    KeyCode bindSpare(KeySym keysym) {
        Spare* chosen = nullptr;
        for (Spare& spare : spares_) {
            if (heldKeys_[spare.code]) continue;
            if (!chosen || spare.lastUse < chosen->lastUse) chosen = &spare;
        }
        if (!chosen) return 0;
        if (chosen->bound != NoSymbol)
            std::this_thread::sleep_until(chosen->lastUse + kRebindAfter);
        bind(chosen->code, keysym);
        chosen->bound = keysym;
        chosen->lastUse = Clock::now();
        return chosen->code;
    }

    // The symbol on both levels, so Shift or Caps Lock cannot turn it into another one.
    void bind(KeyCode code, KeySym keysym) {
        KeySym symbols[2] = {keysym, keysym};
        if (keysym != NoSymbol) held_.bound[code] = uint32_t(keysym);
        XChangeKeyboardMapping(display_, code, 2, symbols, 1);
        if (keysym == NoSymbol) held_.bound[code] = 0;
        std::ranges::fill(row(code), NoSymbol);
        if (keysym != NoSymbol) std::ranges::copy(symbols, row(code).begin());
    }

    void fakeKey(KeyCode code, bool down) {
        if (down) held_.keys[code] = 1;
        XTestFakeKeyEvent(display_, code, down, CurrentTime);
        XFlush(display_);
        if (!down) held_.keys[code] = 0;
        heldKeys_[code] = down;
    }

    Display* display_;
    Guardian guardian_;
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
