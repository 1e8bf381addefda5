// The wait for the device of a lost port: attempts when the backend finds it, doubling delays after
// a failure, one failure logged per wait, and an end when it opens or the user chooses a port.

#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_form.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Log = std::vector<std::u16string>;
using Times = std::vector<EventLoop::Duration>;

const std::u16string kDevice = u"/dev/ttyS1";
const std::u16string kGone = u"COM2 (/dev/ttyS1) is gone: unplugged; the port is released";
const std::u16string kFailed =
    u"COM2 (/dev/ttyS1) cannot be opened yet: No such file or directory; trying again until it "
    u"opens or another port is chosen";
const std::u16string kBack = u"COM2 (/dev/ttyS1) is back; the port is opened again";
const Times kDoubling{100ms,  200ms,  400ms,  800ms,  1600ms, 3200ms, 5000ms, 5000ms,
                      5000ms, 5000ms, 5000ms, 5000ms, 5000ms, 5000ms, 5000ms, 5000ms};

// COM2 open with DTR on; every attempt to open its device is timed.
struct Com2 {
    Com2() {
        window.ports.opening = [this](const std::u16string& device) {
            if (device == kDevice) attempts.push_back(window.loop.now());
        };
        window.select(&MainForm::optCom2);
        window.select(&MainForm::optDTROn);
        window.newLog();
        attempts.clear();
    }

    // Lost as a real unplug hangs the tty up: the node stays a while, refusing to open.
    void unplug(bool refuses = true) {
        window.ports.present.insert(kDevice);
        if (refuses) window.ports.refused.insert(kDevice);
        window.ports.open->listener.gone(u"unplugged");
        window.loop.runPosted();
    }
    void pluggedIn(ModemLevels levels = {}) {
        window.ports.refused.erase(kDevice);
        window.ports.present.insert(kDevice);
        window.ports.levelsAtOpen = levels;
        window.ports.comeBack();
        window.loop.runPosted();
    }
    bool openOnDevice() const {
        return window.form.MSComm1.PortOpen() && window.form.MSComm1.device() == kDevice;
    }
    Times gaps() const {
        Times gaps;
        for (size_t i = 1; i < attempts.size(); ++i) gaps.push_back(attempts[i] - attempts[i - 1]);
        return gaps;
    }

    test::TestForm window{{.commandLine = u"-dsrMode=sendKeys -dsrSendKeys=x"}};
    Times attempts;
};

// A node that refuses to open, or a device lost again as soon as it opens, is tried at the doubling
// delays; once it stays it is open within the bound.
TEST(Reconnect, AttemptsKeepToDoublingDelaysUpToTheirBound) {
    for (const bool opens : {false, true}) {
        SCOPED_TRACE(opens ? "lost again at each open" : "refuses to open");
        Com2 com2;
        com2.unplug(!opens);
        for (auto elapsed = 0ms; elapsed < 60s; elapsed += 5ms) {
            if (com2.window.ports.open) com2.window.ports.open->listener.gone(u"unplugged");
            com2.window.loop.advance(5ms);
        }
        EXPECT_EQ(com2.gaps(), kDoubling);
        Log expected{kGone, kFailed};
        if (opens) {
            expected.pop_back();
            for (size_t open = 0; open < com2.attempts.size(); ++open) {
                expected.push_back(kBack);
                expected.push_back(kGone);
            }
        }
        EXPECT_EQ(com2.window.newLog(), expected);

        com2.window.ports.refused.clear();
        com2.window.loop.advance(SerialControl::kLongestRetryDelay);
        EXPECT_TRUE(com2.openOnDevice());
        EXPECT_EQ(com2.window.newLog(), Log{kBack});
    }
}

// Choosing a port ends the wait in each of its phases; choosing the port already chosen does not.
TEST(Reconnect, TheUsersChoiceOfAPortEndsTheWait) {
    const struct {
        OptionButton FormControls::*button;
        std::u16string_view port;
    } choices[] = {{&MainForm::optCom1, u"optCom1"}, {&MainForm::optComNone, u"optComNone"}};
    enum class Phase { Delay, Looking, ReportQueued };
    for (const Phase phase : {Phase::Delay, Phase::Looking, Phase::ReportQueued}) {
        for (const auto& c : choices) {
            SCOPED_TRACE(testing::Message() << testing::PrintToString(std::u16string(c.port))
                                            << " in phase " << int(phase));
            Com2 com2;
            test::TestForm& window = com2.window;
            com2.unplug();
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
            window.select(c.button);
            window.loop.runPosted();
            EXPECT_FALSE(window.form.MSComm1.waitsForLostPort());
            com2.pluggedIn();
            window.loop.advance(60s);
            EXPECT_EQ(std::ranges::count(window.ports.journal, u"open /dev/ttyS1"), 0)
                << testing::PrintToString(window.ports.journal);
            EXPECT_EQ(test::TestForm::selected(window.form.Port), c.port);
        }
    }

    Com2 com2;
    com2.unplug();
    com2.window.form.ProcessArguments(u"-port=com2");
    EXPECT_TRUE(com2.window.form.MSComm1.waitsForLostPort());
}

// The attempt made while the hung-up node is there fails, nothing runs while it is away, and once
// the device has been back for kSteadyTime its next loss starts a fresh wait.
TEST(Reconnect, AFailedReopenWaitsForTheDeviceAndAPortBackForGoodStartsAfresh) {
    Com2 com2;
    test::TestForm& window = com2.window;
    for (int loss = 0; loss < 2; ++loss) {
        com2.attempts.clear();
        com2.unplug();
        EXPECT_EQ(com2.attempts, Times{window.loop.now()});
        EXPECT_EQ(window.newLog(), (Log{kGone, kFailed}));
        EXPECT_TRUE(window.form.MSComm1.waitsForLostPort());

        window.ports.present.erase(kDevice);
        window.loop.advance(10min);
        EXPECT_EQ(com2.attempts.size(), 1u);
        EXPECT_EQ(window.loop.pending(), 0u);

        com2.pluggedIn({.dsr = true});
        EXPECT_TRUE(com2.openOnDevice());
        EXPECT_EQ(window.newLog(), Log{kBack});
        EXPECT_TRUE(window.form.dsrHandler.flag());
        window.loop.advance(SerialControl::kSteadyTime);
    }
}

}  // namespace
}  // namespace velnor
