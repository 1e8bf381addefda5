// Synthetic input through XTest into a real X server, received by an X client window of the
// benchmark's own, each figure beside what a user could use instead, timed alternately in the same
// rounds: one key press and release through our backend against a bare XTest loop; a 55-character
// SendKeys string against bare XTest typing the same events and against xdotool's whole process;
// the backend's start (its X connection and its guardian process) against a bare XTest
// connection's. Starts its own Xvfb. Each sample ends when the window has received everything.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/send_keys.h"
#include "on_xvfb.h"
#include "platform/qt/event_loop.h"
#include "samples.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

extern char** environ;

namespace {

using velnor::bench::alternate;
using velnor::bench::display;
using velnor::test::FocusWindow;

// Shifted letters and signs, digits and spaces.
constexpr char kText[] = "The Quick Brown Fox Jumps Over 13 Lazy Dogs, Says Who?!";
constexpr qsizetype kTextLength = sizeof kText - 1;

// A hand-written XTest client: one connection, events sent as they are made.
class BareXTest {
  public:
    BareXTest() : connection_(XOpenDisplay(display().c_str())) {
        shift_ = XKeysymToKeycode(connection_, XK_Shift_L);
    }
    ~BareXTest() { XCloseDisplay(connection_); }
    BareXTest(const BareXTest&) = delete;
    BareXTest& operator=(const BareXTest&) = delete;

    void pressAndRelease(KeySym keysym) {
        const KeyCode code = XKeysymToKeycode(connection_, keysym);
        key(code, true);
        key(code, false);
    }

    // The events our backend sends for the text: each character's key, Shift around those on the
    // shifted level.
    void type(const char* text) {
        for (const char* c = text; *c; ++c) {
            const KeySym keysym = static_cast<unsigned char>(*c);  // Latin-1 keysyms are the codes
            const KeyCode code = XKeysymToKeycode(connection_, keysym);
            const bool shifted = XkbKeycodeToKeysym(connection_, code, 0, 0) != keysym;
            if (shifted) key(shift_, true);
            key(code, true);
            key(code, false);
            if (shifted) key(shift_, false);
        }
    }

  private:
    void key(KeyCode code, bool down) {
        XTestFakeKeyEvent(connection_, code, down, CurrentTime);
        XFlush(connection_);
    }

    Display* connection_;
    KeyCode shift_;
};

void BM_KeyPressRelease(benchmark::State& state) {
    FocusWindow window(display());
    BareXTest bare;
    velnor::QtEventLoop loop;
    auto ours = velnor::bench::openOurXTest(loop);
    const auto arrived = [&] {
        if (!window.awaitCount(2, 1)) state.SkipWithError("events lost");
    };
    alternate(
        state,
        [&] {
            ours->key('A', true);
            ours->key('A', false);
            arrived();
        },
        [&] {
            bare.pressAndRelease(XK_a);
            arrived();
        },
        "bare_");
}
BENCHMARK(BM_KeyPressRelease)->Apply(velnor::bench::sampled<4000>);

// SendKeys as the window types it, into a focused window, until the last character arrived.
auto sendKeys(benchmark::State& state, velnor::InputSink& sink, FocusWindow& window) {
    return [&] {
        velnor::SendKeys(sink, QString::fromLatin1(kText).toStdU16String());
        if (!window.awaitCount(0, kTextLength)) state.SkipWithError("characters lost");
    };
}

void BM_SendKeysAgainstBareXTest(benchmark::State& state) {
    FocusWindow window(display());
    BareXTest bare;
    velnor::QtEventLoop loop;
    auto ours = velnor::bench::openOurXTest(loop);
    alternate(
        state, sendKeys(state, *ours, window),
        [&] {
            bare.type(kText);
            if (!window.awaitCount(0, kTextLength)) state.SkipWithError("characters lost");
        },
        "bare_");
}
BENCHMARK(BM_SendKeysAgainstBareXTest)->Apply(velnor::bench::sampled<400>);

// `xdotool type --delay 0` started as a script starts it, until its last character arrived.
void xdotoolType(benchmark::State& state, FocusWindow& window) {
    const std::string displayVariable = "DISPLAY=" + display();
    std::vector<char*> environment{const_cast<char*>(displayVariable.c_str())};
    for (char** variable = environ; *variable; ++variable)
        if (std::string_view(*variable).substr(0, 8) != "DISPLAY=")
            environment.push_back(*variable);
    environment.push_back(nullptr);
    const char* arguments[] = {"xdotool", "type", "--delay", "0", kText, nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, const_cast<char**>(arguments),
                     environment.data()) != 0)
        return state.SkipWithError("xdotool cannot start (Debian: xdotool)");
    int status = 0;
    waitpid(pid, &status, 0);
    if (!window.awaitCount(0, kTextLength)) state.SkipWithError("characters lost");
}

void BM_SendKeysAgainstXdotool(benchmark::State& state) {
    FocusWindow window(display());
    velnor::QtEventLoop loop;
    auto ours = velnor::bench::openOurXTest(loop);
    alternate(
        state, sendKeys(state, *ours, window), [&] { xdotoolType(state, window); }, "xdotool_");
}
BENCHMARK(BM_SendKeysAgainstXdotool)->Apply(velnor::bench::sampled<100>);

// What our backend's start costs beyond a bare XTest connection: mostly its guardian process.
void BM_Open(benchmark::State& state) {
    velnor::QtEventLoop loop;
    alternate(
        state, [&] { velnor::bench::openOurXTest(loop); },
        [] {
            Display* connection = XOpenDisplay(display().c_str());
            int event, error, major, minor;
            XTestQueryExtension(connection, &event, &error, &major, &minor);
            XCloseDisplay(connection);
        },
        "bare_");
}
BENCHMARK(BM_Open)->Apply(velnor::bench::sampled<200>);

}  // namespace
