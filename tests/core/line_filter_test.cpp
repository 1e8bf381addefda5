// How a line is followed, on a clock the test moves by hand: the debounce, the port's settle time,
// the polarity, and opening and closing the port. Each case is a script of the line's changes and
// what the handler was told, with the time of each.

#include "core/line_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/manual_loop.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

// A change of the line with its notification, without one, a notification of another line, or
// the port opening (one that does not report the line at all, as cdc-acm's CTS) or closing.
enum class Change { Rise, Fall, QuietRise, QuietFall, Heard, Open, OpenNotReporting, Close };

struct Step {
    int at;  // ms
    Change change;
};

struct Case {
    const char* name;
    int settle;      // the debounce's settle time, ms
    int portSettle;  // the port's, ms
    bool inverted;
    std::vector<Step> steps;
    Events expected;  // "on 0", "off 30": what the handler was told, and when
    int timersLate = 0;
};

// A port's line and a handler's flag, as plain values.
Events follow(const Case& c) {
    test::ManualLoop time{LineFilter::Duration(c.timersLate)};
    bool level = false;
    bool reported = true;
    bool flag = false;
    Events told;
    const auto note = [&](const char* what) {
        told.push_back(what + (" " + std::to_string(time.now().count())));
    };
    const auto tell = [&](const char* what, bool on) {
        flag = on;
        note(what);
    };
    LineFilter filter(
        {.level = [&] { return level; },
         .reported = [&] { return reported; },
         .showReported = [&](bool shown) { note(shown ? "reported" : "not reported"); },
         .portSettleTime = [&] { return LineFilter::Duration(c.portSettle); },
         .flag = [&] { return flag; },
         .on = [&] { tell("on", true); },
         .foundOn = [&] { tell("found on", true); },
         .off = [&] { tell("off", false); },
         .lost =
             [&] {
                 if (flag) tell("off", false);
             }},
        time);
    filter.setSettleTime(LineFilter::Duration(c.settle));
    filter.setInverted(c.inverted);
    for (const Step& step : c.steps) {
        time.advance(LineFilter::Duration(step.at) - time.now());
        switch (step.change) {
            case Change::Rise:
            case Change::Fall:
                level = step.change == Change::Rise;
                filter.notified();
                break;
            case Change::QuietRise:
            case Change::QuietFall:
                level = step.change == Change::QuietRise;
                break;
            case Change::Heard:
                filter.portHeard();
                break;
            case Change::Open:
            case Change::OpenNotReporting:
                reported = step.change == Change::Open;
                filter.portOpened();
                break;
            case Change::Close:
                filter.portClosed();
                break;
        }
    }
    time.advance(5s);
    EXPECT_FALSE(filter.lookPending()) << c.name;
    return told;
}

constexpr auto Rise = Change::Rise;
constexpr auto Fall = Change::Fall;
constexpr auto Open = Change::Open;

TEST(LineFilter, Debounce) {
    const Case cases[] = {
        {"a settle time of 0 keeps every edge",
         0,
         0,
         false,
         {{0, Open}, {0, Rise}, {1, Fall}, {2, Rise}, {3, Fall}, {4, Rise}},
         {"on 0", "off 1", "on 2", "off 3", "on 4"}},
        {"a bounce shorter than the settle time acts once, at its first edge",
         30,
         0,
         false,
         {{0, Open}, {5, Rise}, {6, Fall}, {7, Rise}, {9, Fall}, {12, Rise}},
         {"on 5"}},
        {"a press shorter than the settle time acts once and is followed by its release",
         30,
         0,
         false,
         {{0, Open}, {5, Rise}, {15, Fall}},
         {"on 5", "off 35"}},
        {"a release that bounces after a long press acts once, at once",
         30,
         0,
         false,
         {{0, Open}, {0, Rise}, {100, Fall}, {101, Rise}, {103, Fall}},
         {"on 0", "off 100"}},
        {"a line that goes on bouncing is followed once per settle time",
         10,
         0,
         false,
         {{0, Open}, {0, Rise}, {4, Fall}, {12, Rise}, {13, Fall}, {18, Rise}, {21, Fall}},
         {"on 0", "off 10", "on 20", "off 30"}},
        {"an edge after the settle time acts at once",
         30,
         0,
         false,
         {{0, Open}, {0, Rise}, {40, Fall}},
         {"on 0", "off 40"}},
        {"the look owed at the end of the settle time is kept when its timer is late",
         10,
         0,
         false,
         {{0, Open}, {0, Rise}, {5, Fall}, {11, Change::Heard}},
         {"on 0", "off 13"},
         2},
    };
    for (const Case& c : cases) EXPECT_EQ(follow(c), c.expected) << c.name;
}

TEST(LineFilter, PortSettleTimeAndPolarity) {
    const Case cases[] = {
        {"a change the port did not report is found once its settle time has passed",
         0,
         100,
         false,
         {{0, Open}, {10, Rise}, {50, Change::QuietFall}},
         {"on 10", "off 110"}},
        {"each notification puts the look off, and a change found asks for another look",
         0,
         100,
         false,
         {{0, Open}, {10, Rise}, {80, Fall}, {120, Change::QuietRise}, {200, Change::QuietFall}},
         {"on 10", "off 80", "on 180", "off 280"}},
        {"the look waits for the end of the settle time",
         150,
         100,
         false,
         {{0, Open}, {10, Rise}, {20, Fall}},
         {"on 10", "off 160"}},
        {"a line already on when the port opens is found on at once, as no edge",
         30,
         0,
         false,
         {{0, Change::QuietRise}, {5, Open}},
         {"found on 5"}},
        {"inverted, a line that is off at the open is on, and rising turns it off",
         0,
         0,
         true,
         {{0, Open}, {10, Rise}, {20, Fall}},
         {"found on 0", "off 10", "on 20"}},
        {"closing turns the line off, and nothing is followed until the next open",
         30,
         100,
         false,
         {{0, Open}, {5, Rise}, {10, Change::Close}, {20, Fall}, {40, Rise}, {300, Open}},
         {"on 5", "off 10", "found on 300"}},
        {"a line the port does not report is not followed, whatever its level or polarity",
         0,
         100,
         true,
         {{0, Change::QuietRise}, {5, Change::OpenNotReporting}, {10, Fall}, {20, Rise}},
         {"not reported 5"}},
        {"the next port that reports the line follows it again",
         0,
         0,
         false,
         {{0, Change::QuietRise},
          {5, Change::OpenNotReporting},
          {10, Change::Close},
          {20, Open},
          {30, Fall}},
         {"not reported 5", "reported 10", "found on 20", "off 30"}},
    };
    for (const Case& c : cases) EXPECT_EQ(follow(c), c.expected) << c.name;
}

TEST(LineFilter, APolarityChangeIsFollowedOnlyWhileAPortIsOpen) {
    test::ManualLoop time;
    bool flag = false;
    int told = 0;
    LineFilter filter({.level = [] { return false; },
                       .reported = [] { return true; },
                       .showReported = [](bool) {},
                       .portSettleTime = [] { return LineFilter::Duration(0); },
                       .flag = [&] { return flag; },
                       .on = [&] { flag = true, ++told; },
                       .foundOn = [&] { flag = true, ++told; },
                       .off = [&] { flag = false, ++told; },
                       .lost = [] {}},
                      time);
    filter.setInverted(true);
    EXPECT_EQ(told, 0);
    filter.portOpened();
    EXPECT_TRUE(flag);
    filter.setInverted(false);
    EXPECT_FALSE(flag);
    EXPECT_EQ(told, 2);
}

}  // namespace
}  // namespace velnor
