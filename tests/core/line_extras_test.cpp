// What a line does beyond its mode, on a clock the test moves by the millisecond: repeat while on,
// a text on release, long press and latch, and a key beyond the key list. Each case is a script of
// what happens to DSR and the window, with every event injected stamped with its time, and the
// keys and buttons still held at the end.

#include <gtest/gtest.h>

#include <map>

#include "core/key_names.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using Events = std::vector<std::string>;

enum class Act { Rise, Fall, Close, Unplug, SendKeysMode, KeyA, LongPressOff, Busy, Idle };

struct Step {
    int at;  // ms
    Act act;
};

struct Case {
    const char* name;
    std::u16string_view arguments;
    std::vector<Step> steps;
    Events expected;  // "100 char a"
    Events held;      // "key 16": pressed and not released at the end
};

void perform(test::TestForm& window, Act act) {
    switch (act) {
        case Act::Rise:
        case Act::Fall:
            window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, act == Act::Rise);
            break;
        case Act::Close:
            window.select(&MainForm::optComNone);
            break;
        case Act::Unplug:
            window.ports.open->listener.gone(u"unplugged");
            break;
        case Act::SendKeysMode:
            window.select(&MainForm::optDSRSendKeys);
            break;
        case Act::KeyA:
            SelectKeyByName(window.form.cboDSREmulateKey, u"vbKeyA");
            break;
        case Act::LongPressOff:
            window.form.ProcessArguments(u"-dsrLongPress=off");
            break;
        case Act::Busy:
        case Act::Idle:
            window.input.busy = act == Act::Busy;
            break;
    }
    window.loop.runPosted();
}

// Runs the script to a second past its last step.
std::pair<Events, Events> run(const Case& c) {
    test::TestForm window({.commandLine = u"-port=com1 " + std::u16string(c.arguments)});
    window.input.events.clear();
    Events stamped;
    const auto stamp = [&](int at) {
        for (const std::string& event : window.input.events)
            stamped.push_back(std::to_string(at) + " " + event);
        window.input.events.clear();
    };
    for (int at = 0; at <= c.steps.back().at + 1000; ++at) {
        for (const Step& step : c.steps)
            if (step.at == at) perform(window, step.act);
        stamp(at);
        window.loop.advance(EventLoop::Duration(1));
        stamp(at + 1);
    }
    std::map<std::string, int> downs;
    for (const std::string& event : stamped) {
        const size_t state = event.rfind(' ');
        const std::string what = event.substr(event.find(' ') + 1, state - event.find(' ') - 1);
        if (what.starts_with("char")) continue;
        downs[what] += event.ends_with(" down") ? 1 : -1;
    }
    Events held;
    for (const auto& [what, count] : downs)
        if (count != 0) held.push_back(what);
    return {stamped, held};
}

using enum Act;

const Case kCases[] = {
    {"repeat plays again after the delay, then at the interval, through a bounce",
     u"-dsrMode=sendKeys -dsrSendKeys=a -dsrRepeat=100,30 -dsrDebounce=20",
     {{0, Rise}, {5, Fall}, {8, Rise}, {200, Fall}},
     {"0 char a", "100 char a", "130 char a", "160 char a", "190 char a"},
     {}},
    {"repeat plays a Generate Keys table too",
     u"-dsrMode=generateKeys -dsrGenerateKeys=vbKeyA -dsrRepeat=50,50",
     {{0, Rise}, {120, Fall}},
     {"0 key 65 down", "0 key 65 up", "50 key 65 down", "50 key 65 up", "100 key 65 down",
      "100 key 65 up"},
     {}},
    {"a repeat waits while the text before it is still being sent",
     u"-dsrMode=sendKeys -dsrSendKeys=a -dsrRepeat=100,30",
     {{0, Rise}, {90, Busy}, {140, Idle}, {200, Fall}},
     {"0 char a", "160 char a", "190 char a"},
     {}},
    {"repeat leaves a held key alone",
     u"-dsrRepeat=10,10",
     {{0, Rise}, {50, Fall}},
     {"0 key 16 down", "50 key 16 up"},
     {}},
    {"a closed port stops the repeat and plays no release text",
     u"-dsrMode=sendKeys -dsrSendKeys=a -dsrRepeat=100,100 -dsrRelease=b",
     {{0, Rise}, {50, Close}},
     {"0 char a"},
     {}},
    {"the release text follows the held key's release",
     u"-dsrRelease=x",
     {{0, Rise}, {50, Fall}},
     {"0 key 16 down", "50 key 16 up", "50 char x"},
     {}},
    {"a short press plays the line's text as it ends",
     u"-dsrMode=sendKeys -dsrSendKeys=a -dsrLongPress=300,b",
     {{0, Rise}, {100, Fall}},
     {"100 char a"},
     {}},
    {"a long press plays its own text once the threshold passes, through a bounce",
     u"-dsrMode=sendKeys -dsrSendKeys=a -dsrLongPress=300,b -dsrDebounce=20",
     {{0, Rise}, {10, Fall}, {12, Rise}, {500, Fall}},
     {"300 char b"},
     {}},
    {"a long press pending as the port closes plays nothing",
     u"-dsrMode=sendKeys -dsrSendKeys=a -dsrLongPress=300,b",
     {{0, Rise}, {100, Close}},
     {},
     {}},
    {"a press under way when the long press is switched off keeps its action for its end",
     u"-dsrMode=sendKeys -dsrSendKeys=a -dsrLongPress=300,b",
     {{0, Rise}, {100, LongPressOff}, {400, Fall}},
     {"400 char a"},
     {}},
    {"a short press taps the emulated key, a long one holds it from the threshold",
     u"-dsrLongPress=300,",
     {{0, Rise}, {100, Fall}, {200, Rise}, {700, Fall}},
     {"100 key 16 down", "100 key 16 up", "500 key 16 down", "700 key 16 up"},
     {}},
    {"a latch holds on one press and releases on the next, through a bounce",
     u"-dsrLatch=on -dsrDebounce=20",
     {{0, Rise}, {5, Fall}, {8, Rise}, {50, Fall}, {100, Rise}, {150, Fall}, {200, Rise}},
     {"0 key 16 down", "100 key 16 up", "200 key 16 down"},
     {"key 16"}},
    {"a latched mouse button drags until the next press",
     u"-dsrLatch=on -dsrEmulateKey=vbKeyLButton",
     {{0, Rise}, {50, Fall}, {100, Rise}},
     {"0 mouse left down", "100 mouse left up"},
     {}},
    {"a latched key is released as the port closes",
     u"-dsrLatch=on",
     {{0, Rise}, {50, Fall}, {80, Close}},
     {"0 key 16 down", "80 key 16 up"},
     {}},
    {"a latched key is released as the port goes",
     u"-dsrLatch=on",
     {{0, Rise}, {50, Fall}, {80, Unplug}},
     {"0 key 16 down", "80 key 16 up"},
     {}},
    {"a latched key is released as the mode changes",
     u"-dsrLatch=on",
     {{0, Rise}, {50, Fall}, {80, SendKeysMode}, {100, Rise}},
     {"0 key 16 down", "80 key 16 up", "100 key 18 down", "100 key 9 down", "100 key 9 up",
      "100 key 18 up"},
     {}},
    {"a latched key is released as the key changes; the next press latches the new one",
     u"-dsrLatch=on",
     {{0, Rise}, {50, Fall}, {80, KeyA}, {100, Rise}},
     {"0 key 16 down", "80 key 16 up", "100 key 65 down"},
     {"key 65"}},
    {"a short press toggles a latch as it ends",
     u"-dsrLatch=on -dsrLongPress=300,b",
     {{0, Rise}, {100, Fall}, {200, Rise}, {600, Fall}},
     {"100 key 16 down", "500 char b"},
     {"key 16"}},
    {"the other key is held instead of the list's",
     u"-dsrOtherKey=media_play_pause",
     {{0, Rise}, {50, Fall}},
     {"0 key 179 down", "50 key 179 up"},
     {}},
};

TEST(LineExtras, Scripts) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto [events, held] = run(c);
        EXPECT_EQ(events, c.expected);
        EXPECT_EQ(held, c.held);
    }
}

}  // namespace
}  // namespace velnor
