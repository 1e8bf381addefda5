// A key is held exactly while its line is on, on every backend: random bursts of bouncing edges,
// with random gaps (around the poll interval and the settle times among them), random settle times
// and polarities, made from another thread through the real backend while the window runs. After
// each burst and a quiet time longer than every settle time, each handler's flag is its line's
// level after polarity, its indicator shows it, and its key is held exactly when the flag is on.
//
// The seeds are fixed; VELNOR_SEED=<n> runs that one alone. A failure names its seed and burst.

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <QCoreApplication>
#include <QTest>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "fake_modem_driver.h"
#include "main_window/main_form.h"
#include "platform/loopback/loopback_port.h"
#include "serial_line/line_filter.h"
#include "signal_actions/signal_handler.h"
#include "support/scoped_env.h"
#include "test_window.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Waiting = FakeModemDriver::Waiting;

struct Backend {
    const char* name;
    std::optional<Waiting> modem;  // none: the loopback port
    int seeds;

    friend void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }
};

// Counts each key's presses less its releases.
class HeldKeys final : public InputSink {
  public:
    void key(int virtualKey, bool down) override { held[virtualKey] += down ? 1 : -1; }
    void mouseButton(MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}

    std::map<int, int> held;
};

struct WatchedLine {
    const char* name;
    int bit;
    std::unique_ptr<SignalHandler> MainForm::*handler;
    std::unique_ptr<LineFilter> MainForm::*filter;
    int key;  // the default emulated key
};

constexpr WatchedLine kLines[] = {
    {"DSR", TIOCM_DSR, &MainForm::dsrHandler, &MainForm::dsrFilter, 16},
    {"CTS", TIOCM_CTS, &MainForm::ctsHandler, &MainForm::ctsFilter, 18},
    {"CD", TIOCM_CD, &MainForm::cdHandler, &MainForm::cdFilter, 17},
};

// One burst: the lines' levels after each gap, and perhaps a last change that the driver's wait
// misses.
struct Burst {
    struct Edge {
        std::chrono::microseconds gap;
        int levels;
    };
    std::vector<Edge> edges;
    std::optional<int> unannounced;
    std::string text;  // for the failure message
};

Burst randomBurst(std::mt19937& random, int levels, const std::array<int, 3>& settle,
                  bool waiting) {
    const auto pick = [&random](auto... values) {
        const std::array choices{values...};
        return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random)];
    };
    Burst burst;
    std::ostringstream text;
    const int runs = std::uniform_int_distribution(1, 4)(random);
    for (int run = 0; run < runs; ++run) {
        const int line = std::uniform_int_distribution(0, 2)(random);
        const int bounces = std::uniform_int_distribution(0, 15)(random);
        const bool last = std::bernoulli_distribution(0.5)(random);
        text << kLines[line].name << (last ? "+" : "-") << bounces << ":";
        for (int edge = 0; edge <= bounces; ++edge) {
            const bool on = edge == bounces ? last : ((levels & kLines[line].bit) == 0);
            levels = on ? levels | kLines[line].bit : levels & ~kLines[line].bit;
            // Gaps inside a bounce and between runs; around the poll interval (5 ms) and the
            // line's settle time among them.
            const int s = settle[line];
            const int us = edge == 0 ? pick(0, 3000, 20'000)
                                     : pick(0, 50, 100, 200, 300, 500, 1000, 2000, 4500, 5000, 5500,
                                            s * 1000 - 500, s * 1000 + 500);
            burst.edges.push_back({std::chrono::microseconds(std::max(us, 0)), levels});
            text << " " << us;
        }
        text << "; ";
    }
    if (waiting && std::bernoulli_distribution(0.3)(random)) {
        burst.unannounced = levels ^ kLines[std::uniform_int_distribution(0, 2)(random)].bit;
        text << "unannounced " << *burst.unannounced;
    }
    burst.text = text.str();
    return burst;
}

class LineInvariant : public ::testing::TestWithParam<Backend> {
  protected:
    void SetUp() override {
        if (GetParam().modem) {
            terminal.emplace();
            modem.emplace(terminal->path(), *GetParam().modem);
            com1.emplace("VELNOR_COM1", terminal->path().toLocal8Bit());
        } else {
            com1.emplace("VELNOR_COM1", "loopback");
        }
        form.emplace(input, "-port=com1");
        form->Form_Load();
        ASSERT_TRUE(form->MSComm1.PortOpen()) << logMessages(*form).join('\n').toStdString();
        // The polled fallback begins once the driver has refused its first wait.
        if (GetParam().modem == Waiting::Unsupported) {
            ASSERT_TRUE(processEventsUntil([&] { return form->MSComm1.settleTime() == 5ms; }));
        }
    }

    // Sets the lines from another thread, edge after edge, while this one runs the window.
    void play(const Burst& burst) {
        LoopbackPort* loopback = form->MSComm1.loopbackPort();
        QEventLoop loop;
        std::thread player([&] {
            for (const Burst::Edge& edge : burst.edges) {
                std::this_thread::sleep_for(edge.gap);
                if (loopback) {
                    for (const auto& [line, bit] : {std::pair{LoopbackPort::Line::Dsr, TIOCM_DSR},
                                                    {LoopbackPort::Line::Cts, TIOCM_CTS},
                                                    {LoopbackPort::Line::Cd, TIOCM_CD}})
                        loopback->setLine(line, (edge.levels & bit) != 0);
                } else {
                    modem->setInputs(edge.levels);
                }
            }
            if (burst.unannounced) modem->setInputsAsTheWaitBegins(*burst.unannounced);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        player.join();
    }

    int levels() {
        if (modem) return modem->inputs();
        const ModemLevels now = form->MSComm1.loopbackPort()->levels();
        return (now.dsr ? TIOCM_DSR : 0) | (now.cts ? TIOCM_CTS : 0) | (now.cd ? TIOCM_CD : 0);
    }

    void expectFollowed() {
        const int now = levels();
        for (const WatchedLine& line : kLines) {
            const SignalHandler& handler = *(*form.*line.handler);
            const bool on = ((now & line.bit) != 0) != (*form.*line.filter)->inverted();
            EXPECT_EQ(handler.flag(), on) << line.name;
            EXPECT_EQ(handler.box()->fillColor(), on ? kIndicatorOn : kIndicatorOff) << line.name;
            EXPECT_EQ(input.held[line.key], on ? 1 : 0) << line.name;
        }
    }

    std::optional<PseudoTerminal> terminal;
    std::optional<FakeModemDriver> modem;
    std::optional<ScopedEnv> com1;
    HeldKeys input;
    std::optional<MainForm> form;
};

TEST_P(LineInvariant, AfterEachBurstEveryLineIsFollowed) {
    std::vector<unsigned> seeds;
    if (const QByteArray chosen = qgetenv("VELNOR_SEED"); !chosen.isEmpty())
        seeds.push_back(chosen.toUInt());
    else
        for (int seed = 1; seed <= GetParam().seeds; ++seed) seeds.push_back(seed);
    for (const unsigned seed : seeds) {
        std::mt19937 random(seed);
        std::array<int, 3> settle{};
        for (std::size_t line = 0; line < settle.size(); ++line) {
            settle[line] = std::array{0, 0, 3, 20}[random() % 4];
            LineFilter& filter = *(*form.*kLines[line].filter);
            filter.setSettleTime(LineFilter::Duration(settle[line]));
            filter.setInverted(random() % 2 == 1);
        }
        if (random() % 6 == 0) {  // the lines that are on at a port that opens come on
            form->optComNone->setChecked(true);
            form->optCom1->setChecked(true);
        }
        const bool waiting = GetParam().modem && GetParam().modem != Waiting::Unsupported;
        const Burst burst = randomBurst(random, levels(), settle, waiting);
        SCOPED_TRACE(testing::Message()
                     << "VELNOR_SEED=" << seed << ", settle times " << settle[0] << " " << settle[1]
                     << " " << settle[2] << " ms, burst " << burst.text);
        play(burst);
        // The unannounced change comes as the watcher goes back to sleep after the burst.
        const auto portSettle = form->MSComm1.settleTime();
        QTest::qWait(static_cast<int>((2 * portSettle + 20ms + 60ms).count()));
        expectFollowed();
        if (HasFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Backends, LineInvariant,
                         ::testing::Values(Backend{"loopback", std::nullopt, 20},
                                           Backend{"waiting", Waiting::Supported, 10},
                                           Backend{"cdcAcmLike", Waiting::LikeCdcAcm, 10},
                                           Backend{"polled", Waiting::Unsupported, 20}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velnor
