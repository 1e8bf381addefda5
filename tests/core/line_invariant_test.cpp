// A key is held exactly while its line is on, whatever the port does: random bursts of bouncing
// edges with random gaps (around the poll interval and the settle times among them), random settle
// times and polarities, on a port that reports every edge, one that is polled, and one that may
// hold a last change back. After each burst and a quiet time longer than every settle time, each
// handler's flag is its line's level after polarity, its indicator shows it, and its key is held
// exactly when the flag is on. Time is moved by hand, so every seed replays exactly.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <random>
#include <span>
#include <sstream>

#include "support/test_form.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Duration = EventLoop::Duration;

// How the port tells of its lines' changes.
enum class Reports {
    Every,     // each edge, at once (settle time 0)
    Polled,    // what a poll every 5 ms finds (settle time 5 ms)
    HeldBack,  // each edge at once, but a last change right after a report may go untold (20 ms)
};

struct Variant {
    const char* name;
    Reports reports;
    Duration portSettle;

    friend void PrintTo(const Variant& variant, std::ostream* out) { *out << variant.name; }
};

struct WatchedLine {
    const char* name;
    bool ModemLevels::*level;
    int16_t code;
    size_t index;  // in MainForm::lines
    int key;       // the default emulated key
};

constexpr WatchedLine kLines[] = {
    {"DSR", &ModemLevels::dsr, comEvDSR, 0, 16},
    {"CTS", &ModemLevels::cts, comEvCTS, 1, 18},
    {"CD", &ModemLevels::cd, comEvCD, 2, 17},
};

constexpr Duration kPollInterval = 5ms;

class LineInvariant : public ::testing::TestWithParam<Variant> {
  protected:
    LineInvariant() : window({.commandLine = u"-port=com1", .load = false}) {
        window.ports.settleTimeAtOpen = GetParam().portSettle;
        window.form.Form_Load();
        if (GetParam().reports == Reports::Polled) poller->start(kPollInterval);
    }

    test::FakePort& port() { return *window.ports.open; }

    // Sets one line as the far end does; the port tells of it as its kind does.
    void set(const WatchedLine& line, bool on, bool told = true) {
        levels.*line.level = on;
        port().setLevels(levels);
        if (told && GetParam().reports != Reports::Polled) port().listener.lineChanged(line.code);
    }

    // The polled port: each poll reports the lines that differ from what it last reported.
    void poll() {
        const ModemLevels now = port().levels();
        for (const WatchedLine& line : kLines)
            if (now.*line.level != polled.*line.level) {
                polled.*line.level = now.*line.level;
                port().listener.lineChanged(line.code);
            }
        poller->start(kPollInterval);
    }

    // One burst of runs of bouncing edges, each run on one line; returns it as text.
    std::string playBurst(std::mt19937& random, const std::array<int, 3>& settle) {
        const auto pick = [&random](std::initializer_list<int> values) {
            std::uniform_int_distribution<size_t> at(0, values.size() - 1);
            return *(values.begin() + at(random));
        };
        std::ostringstream text;
        const int runs = std::uniform_int_distribution(1, 4)(random);
        for (int run = 0; run < runs; ++run) {
            const size_t line = std::uniform_int_distribution<size_t>(0, 2)(random);
            const int bounces = std::uniform_int_distribution(0, 15)(random);
            const bool last = std::bernoulli_distribution(0.5)(random);
            text << kLines[line].name << (last ? "+" : "-") << bounces << ":";
            for (int edge = 0; edge <= bounces; ++edge) {
                const bool on = edge == bounces ? last : !(levels.*kLines[line].level);
                const int s = settle[line];
                const int gap = edge == 0 ? pick({0, 3, 20})
                                          : pick({0, 1, 2, 4, 5, 6, std::max(s - 1, 0), s + 1});
                window.loop.advance(Duration(gap));
                set(kLines[line], on);
                text << " " << gap;
            }
            text << "; ";
        }
        if (GetParam().reports == Reports::HeldBack && std::bernoulli_distribution(0.3)(random)) {
            const WatchedLine& line = kLines[std::uniform_int_distribution<size_t>(0, 2)(random)];
            set(line, !(levels.*line.level), false);
            text << "untold " << line.name;
        }
        return text.str();
    }

    void expectFollowed() {
        for (const std::string& event : std::span(window.input.events).subspan(counted)) {
            int key = 0;
            char direction[8] = {};
            if (std::sscanf(event.c_str(), "key %d %7s", &key, direction) == 2)
                held[key] += std::string(direction) == "down" ? 1 : -1;
        }
        counted = window.input.events.size();
        for (const WatchedLine& line : kLines) {
            const SignalLine& watched = window.form.lines[line.index];
            const SignalHandler& handler = watched.handler();
            const bool on = (levels.*line.level) != watched.filter().inverted();
            EXPECT_EQ(handler.flag(), on) << line.name;
            EXPECT_EQ(handler.box()->fillColor(), on ? kIndicatorOn : kIndicatorOff) << line.name;
            EXPECT_EQ(held[line.key], on ? 1 : 0) << line.name;
        }
    }

    test::TestForm window;
    ModemLevels levels;  // the far end's
    ModemLevels polled;  // what the polled port last reported
    std::unique_ptr<EventLoop::Timer> poller = window.loop.createTimer([this] { poll(); });
    std::map<int, int> held;  // presses less releases, per key
    size_t counted = 0;       // input events counted into `held`
};

TEST_P(LineInvariant, AfterEachBurstEveryLineIsFollowed) {
    ASSERT_TRUE(window.form.MSComm1.PortOpen());
    for (unsigned seed = 1; seed <= 150; ++seed) {
        std::mt19937 random(seed);
        std::array<int, 3> settle{};
        for (size_t line = 0; line < settle.size(); ++line) {
            settle[line] = std::array{0, 0, 3, 20}[random() % 4];
            window.form.lines[line].setSettleTime(Duration(settle[line]));
            window.form.lines[line].setInverted(random() % 2 == 1);
        }
        if (random() % 6 == 0) {  // the lines that are on at a port that opens come on
            window.select(&MainForm::optComNone);
            window.ports.levelsAtOpen = levels;
            window.select(&MainForm::optCom1);
            polled = levels;
        }
        const std::string burst = playBurst(random, settle);
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", settle times " << settle[0] << " "
                                        << settle[1] << " " << settle[2] << " ms, burst " << burst);
        window.loop.advance(2 * GetParam().portSettle + 20ms + 60ms);
        expectFollowed();
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Ports, LineInvariant,
                         ::testing::Values(Variant{"every", Reports::Every, 0ms},
                                           Variant{"polled", Reports::Polled, kPollInterval},
                                           Variant{"heldBack", Reports::HeldBack, 20ms}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velnor
