// The wait for the device of a lost port: it is opened each time the backend finds it there, the
// attempts after a failure wait a delay that doubles up to a bound, one failure is logged per
// wait, and the wait ends when the device opens or the user chooses a port. COM2 is /dev/ttyS1.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_form.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Log = std::vector<std::u16string>;
using Times = std::vector<EventLoop::Duration>;
using Events = std::vector<std::string>;

constexpr std::u16string_view kDevice = u"/dev/ttyS1";
constexpr std::u16string_view kGone = u"COM2 (/dev/ttyS1) is gone: unplugged; the port is released";
constexpr std::u16string_view kFailed =
    u"COM2 (/dev/ttyS1) cannot be opened yet: No such file or directory; trying again until it "
    u"opens or another port is chosen";
constexpr std::u16string_view kBack = u"COM2 (/dev/ttyS1) is back; the port is opened again";

// COM2 open, DSR typing "x" when it comes on and DTR on; every attempt to open COM2's device is
// timed.
class ReconnectTest : public ::testing::Test {
  protected:
    ReconnectTest() {
        window.ports.opening = [this](const std::u16string& device) {
            if (device == kDevice) attempts.push_back(window.loop.now());
        };
        window.select(&MainForm::optCom2);
        window.select(&MainForm::optDTROn);
        window.newLog();
        attempts.clear();
    }

    // The adapter unplugged, its node still there but refusing to open, as after the hang-up
    // and before udev removes it.
    void unplugHungUp() {
        hungUp();
        window.ports.open->listener.gone(u"unplugged");
        window.loop.runPosted();
    }
    void hungUp() {
        window.ports.present.insert(std::u16string(kDevice));
        window.ports.refused.insert(std::u16string(kDevice));
    }
    // The node removed: a watch from now on waits.
    void removed() { window.ports.present.erase(std::u16string(kDevice)); }
    // The adapter plugged in again with `levels`: a waiting watch reports it.
    void pluggedIn(ModemLevels levels = {}) {
        window.ports.refused.erase(std::u16string(kDevice));
        window.ports.present.insert(std::u16string(kDevice));
        window.ports.levelsAtOpen = levels;
        window.ports.comeBack();
        window.loop.runPosted();
    }
    bool openOnDevice() const {
        return window.form.MSComm1.PortOpen() && window.form.MSComm1.device() == kDevice;
    }
    static Times gaps(const Times& times) {
        Times gaps;
        for (size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
        return gaps;
    }

    test::TestForm window{{.commandLine = u"-dsrMode=sendKeys -dsrSendKeys=x"}};
    Times attempts;  // of opening /dev/ttyS1, on the loop's clock
};

// A real unplug: the tty hangs up first, so the attempt made while its node is still there fails;
// the wait goes on, costs nothing while the node is away, and ends with the device open, its DTR
// as the user left it and DSR, found on, followed without typing (HeldKeys tests the presses).
TEST_F(ReconnectTest, AFailedReopenKeepsWaitingUntilTheDeviceOpens) {
    unplugHungUp();
    EXPECT_EQ(window.newLog(), (Log{std::u16string(kGone), std::u16string(kFailed)}));
    EXPECT_EQ(attempts, Times{0ms}) << "tried at once, since the node is there";
    EXPECT_FALSE(window.form.MSComm1.PortOpen());
    EXPECT_TRUE(window.form.MSComm1.waitsForLostPort());
    EXPECT_EQ(test::TestForm::selected(window.form.Port), u"optCom2");
    EXPECT_EQ(test::TestForm::selected(window.form.DTR), u"optDTROn");

    removed();
    window.loop.advance(SerialControl::kFirstRetryDelay);
    window.loop.advance(10min);
    EXPECT_EQ(attempts, Times{0ms}) << "no attempt while the backend finds no device";
    EXPECT_EQ(window.loop.pending(), 0u);
    window.ports.journal.clear();

    pluggedIn({.dsr = true});
    EXPECT_TRUE(openOnDevice());
    EXPECT_EQ(window.newLog(), Log{std::u16string(kBack)});
    EXPECT_EQ(window.ports.journal,
              (std::vector<std::u16string>{u"unwatch /dev/ttyS1", u"open /dev/ttyS1", u"DTR on",
                                           u"RTS off"}));
    EXPECT_FALSE(window.form.MSComm1.waitsForLostPort());
    EXPECT_TRUE(window.form.dsrHandler.flag()) << "followed from its present level";
    EXPECT_EQ(window.input.events, Events{}) << "a line found on at the open types nothing";
    EXPECT_EQ(test::TestForm::selected(window.form.Port), u"optCom2");
}

// A node that stays there but does not open (hung, or held by another program) is tried at once,
// then after 0.1, 0.2, 0.4 ... s, never more than kLongestRetryDelay apart; the failure is logged
// once. It opens at the first attempt after it can.
TEST_F(ReconnectTest, TheDelayBetweenFailedAttemptsDoublesUpToItsBound) {
    unplugHungUp();
    window.loop.advance(60s);
    EXPECT_EQ(gaps(attempts),
              (Times{100ms, 200ms, 400ms, 800ms, 1600ms, 3200ms, 5000ms, 5000ms, 5000ms, 5000ms,
                     5000ms, 5000ms, 5000ms, 5000ms, 5000ms, 5000ms}));
    EXPECT_EQ(window.newLog(), (Log{std::u16string(kGone), std::u16string(kFailed)}));

    window.ports.refused.erase(std::u16string(kDevice));
    window.loop.advance(SerialControl::kLongestRetryDelay);
    EXPECT_TRUE(openOnDevice());
    EXPECT_EQ(window.newLog(), Log{std::u16string(kBack)});
}

// Choosing a port, "None" included, ends the wait whatever it is doing: waiting out a delay, the
// backend looking for the device, or the backend's report of it still on its way. Choosing the
// port already selected changes nothing, as for any selected button.
TEST_F(ReconnectTest, TheUsersChoiceOfAPortEndsTheWait) {
    const struct {
        const char* choice;
        std::function<void(test::TestForm&)> choose;
        std::u16string_view port;  // selected afterwards
    } choices[] = {
        {"Com 1", [](test::TestForm& window) { window.select(&MainForm::optCom1); }, u"optCom1"},
        {"None", [](test::TestForm& window) { window.select(&MainForm::optComNone); },
         u"optComNone"},
        {"-port=com4", [](test::TestForm& window) { window.form.ProcessArguments(u"-port=com4"); },
         u"optCom4"},
        {"-port=none", [](test::TestForm& window) { window.form.ProcessArguments(u"-port=none"); },
         u"optComNone"},
        {"unload",
         [](test::TestForm& window) {
             int cancel = 0;
             window.form.Form_Unload(cancel);
         },
         u"optCom2"},
    };
    enum class Phase { Delay, Looking, ReportQueued };
    for (const Phase phase : {Phase::Delay, Phase::Looking, Phase::ReportQueued}) {
        for (const auto& c : choices) {
            SCOPED_TRACE(testing::Message() << c.choice << " in phase " << int(phase));
            test::TestForm window{{.commandLine = u"-port=com2"}};
            window.ports.present.insert(std::u16string(kDevice));
            window.ports.refused.insert(std::u16string(kDevice));
            window.ports.open->listener.gone(u"unplugged");
            window.loop.runPosted();
            if (phase != Phase::Delay) {
                window.ports.present.clear();
                window.loop.advance(SerialControl::kFirstRetryDelay);
                ASSERT_TRUE(window.form.MSComm1.waitsForLostPort());
            }
            if (phase == Phase::ReportQueued) {
                window.ports.refused.clear();
                window.ports.comeBack();  // posted, not yet run
            }
            window.ports.journal.clear();
            c.choose(window);
            window.loop.runPosted();
            EXPECT_FALSE(window.form.MSComm1.waitsForLostPort());
            window.ports.refused.clear();
            window.ports.present.insert(std::u16string(kDevice));
            window.ports.comeBack();
            window.loop.advance(60s);
            EXPECT_EQ(std::ranges::count(window.ports.journal, u"open /dev/ttyS1"), 0)
                << testing::PrintToString(window.ports.journal);
            EXPECT_EQ(test::TestForm::selected(window.form.Port), c.port);
        }
    }

    unplugHungUp();
    window.form.ProcessArguments(u"-port=com2");
    EXPECT_TRUE(window.form.MSComm1.waitsForLostPort()) << "COM2 is the port chosen already";
}

// A device that keeps coming and going: each time the wait opens it, it is lost again at once.
// The opens keep to the doubling delays, so there is at most one per kLongestRetryDelay; each is
// logged with its loss (no failure was seen). Once the device stays, it is open within the bound.
TEST_F(ReconnectTest, ADeviceThatComesAndGoesIsOpenedAtMostOncePerLongestDelay) {
    hungUp();
    window.ports.refused.clear();  // it opens whenever it is tried
    window.ports.open->listener.gone(u"unplugged");
    window.loop.runPosted();
    for (auto elapsed = 0ms; elapsed < 60s; elapsed += 5ms) {
        if (window.ports.open) window.ports.open->listener.gone(u"unplugged");
        window.loop.advance(5ms);
    }
    EXPECT_EQ(gaps(attempts),
              (Times{100ms, 200ms, 400ms, 800ms, 1600ms, 3200ms, 5000ms, 5000ms, 5000ms, 5000ms,
                     5000ms, 5000ms, 5000ms, 5000ms, 5000ms, 5000ms}));
    Log expected{std::u16string(kGone)};
    for (size_t open = 0; open < attempts.size(); ++open) {
        expected.emplace_back(kBack);
        expected.emplace_back(kGone);
    }
    EXPECT_EQ(window.newLog(), expected);

    window.loop.advance(SerialControl::kLongestRetryDelay);
    EXPECT_TRUE(openOnDevice()) << "the device stays: open within the bound";
    EXPECT_EQ(window.newLog(), Log{std::u16string(kBack)});
}

// A port open again for kSteadyTime has come back for good: its next loss begins a new wait, tried
// at once and telling its first failure.
TEST_F(ReconnectTest, APortBackForGoodStartsAFreshWaitWhenLostAgain) {
    unplugHungUp();
    removed();
    window.loop.advance(1s);
    pluggedIn();
    ASSERT_TRUE(openOnDevice());
    window.loop.advance(SerialControl::kSteadyTime);
    attempts.clear();
    window.newLog();

    unplugHungUp();
    EXPECT_EQ(attempts, Times{window.loop.now()});
    EXPECT_EQ(window.newLog(), (Log{std::u16string(kGone), std::u16string(kFailed)}));
}

}  // namespace
}  // namespace velnor
