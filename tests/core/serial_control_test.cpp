// SerialControl: the output settings, the open and close of a port, and the relay that carries a
// port's reports from any thread to the window's thread, at most one waiting per line.

#include "core/serial_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "support/fake_ports.h"
#include "support/manual_loop.h"
#include "support/problem_print.h"

namespace velnor {
namespace {

using Codes = std::vector<int16_t>;
using Journal = std::vector<std::u16string>;
using Losses = std::vector<std::pair<std::u16string, Problem>>;

// A control on the fake ports that records each notification and each word of the port.
class ControlTest : public ::testing::Test {
  protected:
    ControlTest() {
        control.OnComm = [this] {
            codes.push_back(control.CommEvent());
            onWindowThread = onWindowThread && std::this_thread::get_id() == windowThread;
        };
        control.onNotice = [this](const std::u16string& text) { notices.push_back(text); };
        control.onPortLost = [this](const std::u16string& device, const Problem& problem) {
            lost.emplace_back(device, problem);
        };
    }
    void open() { ASSERT_TRUE(control.setPortOpen(true)); }
    test::FakePort& port() { return *ports.open; }
    PortListener& listener() { return ports.open->listener; }
    Codes delivered() {
        loop.runPosted();
        return std::exchange(codes, {});
    }

    test::ManualLoop loop;
    test::FakePorts ports;
    SerialControl control{loop, ports.backend()};
    Codes codes;
    Journal notices;
    Losses lost;
    const std::thread::id windowThread = std::this_thread::get_id();
    bool onWindowThread = true;
};

TEST_F(ControlTest, OutputSettingsStartOffOutliveACloseAndApplyAtTheNextOpen) {
    EXPECT_FALSE(control.DTREnable());
    EXPECT_FALSE(control.RTSEnable());
    control.setDTREnable(true);
    EXPECT_FALSE(control.PortOpen());
    EXPECT_EQ(ports.journal, Journal{});
    open();
    EXPECT_EQ(control.device(), u"/dev/ttyS0");
    control.setRTSEnable(true);
    ASSERT_TRUE(control.setPortOpen(false));
    EXPECT_FALSE(control.PortOpen());
    EXPECT_EQ(control.device(), u"");
    EXPECT_TRUE(control.DTREnable());
    EXPECT_TRUE(control.RTSEnable());
    control.setCommPort(2);
    open();
    EXPECT_EQ(ports.journal,
              (Journal{u"open /dev/ttyS0", u"DTR on", u"RTS off", u"RTS on", u"close /dev/ttyS0",
                       u"open /dev/ttyS1", u"DTR on", u"RTS on"}));
    open();
    EXPECT_EQ(ports.journal.size(), 8u) << "opening an open port does nothing";
}

TEST_F(ControlTest, LevelsAndSettleTimeAreThoseOfTheOpenPort) {
    ports.levelsAtOpen = {.cts = true, .dsr = true, .cd = false};
    ports.settleTimeAtOpen = std::chrono::milliseconds(5);
    EXPECT_FALSE(control.DSRHolding()) << "no port, no levels";
    EXPECT_EQ(control.settleTime().count(), 0);
    open();
    EXPECT_TRUE(control.DSRHolding() && control.CTSHolding());
    EXPECT_FALSE(control.CDHolding());
    EXPECT_EQ(control.settleTime().count(), 5);
    ASSERT_TRUE(control.setPortOpen(false));
    EXPECT_FALSE(control.DSRHolding() || control.CTSHolding());
    EXPECT_EQ(control.settleTime().count(), 0);
}

TEST_F(ControlTest, OpeningAMissingDeviceFailsWithTheBackendsProblemAndLeavesNoPortOpen) {
    ports.refused = {u"/dev/ttyS1"};
    control.setCommPort(2);
    const auto opened = control.setPortOpen(true);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error(), (Problem{ProblemKind::Missing, u"No such file or directory"}));
    EXPECT_FALSE(control.PortOpen());
    EXPECT_EQ(control.device(), u"");
}

TEST_F(ControlTest, ANewBackendOpensTheNextPort) {
    open();
    test::FakePorts other;
    control.setBackend(other.backend());
    EXPECT_TRUE(control.PortOpen()) << "the open port stays";
    ASSERT_TRUE(control.setPortOpen(false));
    open();
    EXPECT_EQ(other.journal, (Journal{u"open /dev/ttyS0", u"DTR off", u"RTS off"}));
    EXPECT_EQ(ports.journal.back(), u"close /dev/ttyS0");
    ASSERT_TRUE(control.setPortOpen(false));  // before `other` goes
}

TEST_F(ControlTest, ChangesFromAnotherThreadArriveQueuedOnTheWindowsThread) {
    open();
    std::thread([this] { port().setLine(&ModemLevels::cd, comEvCD, true); }).join();
    EXPECT_TRUE(codes.empty()) << "delivered before the loop ran";
    EXPECT_EQ(delivered(), Codes{comEvCD});
    EXPECT_TRUE(onWindowThread);
    std::thread([this] { listener().notice(u"slow"); }).join();
    EXPECT_TRUE(notices.empty());
    loop.runPosted();
    EXPECT_EQ(notices, Journal{u"slow"});
}

TEST_F(ControlTest, EdgesThatComeWhileOneWaitsJoinItAndRingsAreCounted) {
    open();
    for (const bool on : {true, false, true}) port().setLine(&ModemLevels::dsr, comEvDSR, on);
    port().setLine(&ModemLevels::cts, comEvCTS, true);
    for (const bool on : {true, false, true}) port().setLine(&ModemLevels::ri, comEvRing, on);
    EXPECT_EQ(loop.pending(), 3u) << "one waiting notification per line";
    EXPECT_EQ(delivered(), (Codes{comEvDSR, comEvCTS, comEvRing, comEvRing, comEvRing}));
    port().setLine(&ModemLevels::dsr, comEvDSR, false);
    EXPECT_EQ(delivered(), Codes{comEvDSR}) << "an edge after the delivery waits anew";
}

TEST_F(ControlTest, CodesOfNoLineAreHandedOnOneByOne) {
    open();
    for (const int16_t code : {1001, 1001, 0, 7}) listener().lineChanged(code);
    EXPECT_EQ(delivered(), (Codes{1001, 1001, 0, 7}));
}

TEST_F(ControlTest, ReportsOfAClosedPortAreDropped) {
    open();
    port().setLine(&ModemLevels::dsr, comEvDSR, true);
    listener().notice(u"late");
    listener().gone(u"unplugged");
    ASSERT_TRUE(control.setPortOpen(false));
    EXPECT_EQ(delivered(), Codes{});
    EXPECT_EQ(notices, Journal{});
    EXPECT_EQ(lost, Losses{});

    open();
    port().setLine(&ModemLevels::cts, comEvCTS, true);
    ASSERT_TRUE(control.setPortOpen(false));
    open();
    port().setLine(&ModemLevels::cd, comEvCD, true);
    EXPECT_EQ(delivered(), Codes{comEvCD}) << "only the port open now is heard";
}

TEST_F(ControlTest, RingsStillWaitingWhenAHandlerClosesThePortAreDropped) {
    open();
    control.OnComm = [this] {
        codes.push_back(control.CommEvent());
        ASSERT_TRUE(control.setPortOpen(false));
    };
    for (const bool on : {true, false, true}) port().setLine(&ModemLevels::ri, comEvRing, on);
    EXPECT_EQ(delivered(), Codes{comEvRing});
}

// The port is named by the device it was opened on, although its number stands for another by
// the time the device goes.
TEST_F(ControlTest, AVanishedPortIsClosedAndNamed) {
    open();
    ports.deviceOf = [](int) { return u"/dev/ttyUSB0"; };
    control.setDTREnable(true);
    port().setLine(&ModemLevels::dsr, comEvDSR, true);
    listener().gone(u"unplugged");
    port().setLine(&ModemLevels::cts, comEvCTS, true);
    EXPECT_EQ(delivered(), Codes{comEvDSR}) << "nothing after the port is gone";
    EXPECT_EQ(lost, (Losses{{u"/dev/ttyS0", {ProblemKind::Gone, u"unplugged"}}}));
    EXPECT_FALSE(control.PortOpen());
    EXPECT_EQ(ports.journal.end()[-2], u"close /dev/ttyS0");
    EXPECT_EQ(ports.journal.back(), u"watch /dev/ttyS0") << "its device is waited for";
    EXPECT_TRUE(control.DTREnable()) << "the setting stays for the next port";
}

TEST(SerialControl, ReportsOfADestroyedControlAreDropped) {
    test::ManualLoop loop;
    test::FakePorts ports;
    int heard = 0;
    {
        SerialControl control(loop, ports.backend());
        control.OnComm = [&heard] { ++heard; };
        control.onNotice = [&heard](const std::u16string&) { ++heard; };
        ASSERT_TRUE(control.setPortOpen(true));
        ports.open->setLine(&ModemLevels::dsr, comEvDSR, true);
        ports.open->listener.lineChanged(1001);
        ports.open->listener.notice(u"late");
        ASSERT_EQ(loop.pending(), 3u);
    }
    EXPECT_EQ(ports.open, nullptr) << "the port closes with its control";
    EXPECT_EQ(loop.runPosted(), 3);
    EXPECT_EQ(heard, 0);
}

// However fast another thread flips the lines, no more than one notification per line waits, and
// once the loop has caught up each line's last change has been delivered.
TEST_F(ControlTest, AFloodFromAnotherThreadWaitsAsOneNotificationPerLine) {
    open();
    std::atomic<bool> done = false;
    size_t mostWaiting = 0;
    std::thread flipper([&] {
        const std::pair<bool ModemLevels::*, int16_t> lines[] = {{&ModemLevels::dsr, comEvDSR},
                                                                 {&ModemLevels::cts, comEvCTS},
                                                                 {&ModemLevels::cd, comEvCD}};
        bool level[3] = {};
        for (int edge = 0; edge < 20'000; ++edge) {
            const int line = (edge * 7 / 3) % 3;
            level[line] = !level[line];
            port().setLine(lines[line].first, lines[line].second, level[line]);
            mostWaiting = std::max(mostWaiting, loop.pending());
        }
        done = true;
    });
    while (!done) loop.runPosted();
    flipper.join();
    loop.runPosted();
    EXPECT_LE(mostWaiting, 3u);
    EXPECT_LE(codes.size(), 20'000u);
    EXPECT_GE(codes.size(), 3u);
    codes.clear();
    port().setLine(&ModemLevels::dsr, comEvDSR, false);
    EXPECT_EQ(delivered(), Codes{comEvDSR}) << "the relay still carries edges after the flood";
}

}  // namespace
}  // namespace velnor
