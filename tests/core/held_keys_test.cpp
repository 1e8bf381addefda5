// A key is held exactly while its line is on: every way a port closes switches the lines that are
// on off through their handlers first, a port that opens follows the lines already on, and the
// key released is the one pressed.

#include <gtest/gtest.h>

#include "core/key_names.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using Events = std::vector<std::string>;
using Step = std::function<void(test::TestForm&)>;

void expectAllOff(const MainForm& form) {
    for (const SignalHandler* handler : {&form.dsrHandler, &form.ctsHandler, &form.cdHandler}) {
        EXPECT_FALSE(handler->flag());
        EXPECT_EQ(handler->box()->fillColor(), kIndicatorOff);
    }
}

TEST(HeldKeys, EveryWayOfClosingThePortReleasesTheKeysOfItsLines) {
    const struct {
        const char* how;
        Step close;
    } cases[] = {
        {"None", [](test::TestForm& window) { window.select(&MainForm::optComNone); }},
        {"another port", [](test::TestForm& window) { window.select(&MainForm::optCom2); }},
        {"a missing port", [](test::TestForm& window) { window.select(&MainForm::optCom3); }},
        {"unload",
         [](test::TestForm& window) {
             int cancel = 0;
             window.form.Form_Unload(cancel);
         }},
        {"unplug",
         [](test::TestForm& window) {
             window.ports.open->listener.gone(u"unplugged");
             window.loop.runPosted();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        test::TestForm window;
        window.ports.levelsAtOpen = {.cts = true, .cd = true};
        window.select(&MainForm::optCom1);
        EXPECT_EQ(window.input.events, (Events{"key 18 down", "key 17 down"}))
            << "lines already on at the open come on at once";
        window.ports.levelsAtOpen = {};
        window.input.events.clear();

        c.close(window);
        EXPECT_EQ(window.input.events, (Events{"key 18 up", "key 17 up"}));
        expectAllOff(window.form);
    }
}

TEST(HeldKeys, ALineOnAtBothPortsComesOnAgainAtTheNewOne) {
    test::TestForm window;
    window.ports.levelsAtOpen.cts = true;
    window.select(&MainForm::optCom1);
    window.ports.levelsAtOpen.dsr = true;
    window.select(&MainForm::optCom2);
    EXPECT_EQ(window.input.events,
              (Events{"key 18 down", "key 18 up", "key 16 down", "key 18 down"}));
    EXPECT_TRUE(window.form.dsrHandler.flag() && window.form.ctsHandler.flag());
}

// A text answers a press, not a port opening on a line that is on: switching ports or a replug
// shows the line on and plays nothing; the next press plays the text once.
TEST(HeldKeys, ALineFoundOnAtAnOpenPlaysNoText) {
    for (const std::u16string_view mode :
         {u"-dsrMode=sendKeys -dsrSendKeys=x", u"-dsrMode=generateKeys -dsrGenerateKeys=vbKeyX"}) {
        SCOPED_TRACE(testing::PrintToString(std::u16string(mode)));
        test::TestForm window({.commandLine = std::u16string(mode)});
        window.ports.levelsAtOpen.dsr = true;
        window.select(&MainForm::optCom1);
        window.select(&MainForm::optCom2);
        window.ports.open->listener.gone(u"unplugged");
        window.loop.runPosted();
        window.ports.comeBack();
        window.loop.runPosted();
        EXPECT_TRUE(window.input.events.empty());
        EXPECT_TRUE(window.form.dsrHandler.flag());
        EXPECT_EQ(window.form.boxDSR.fillColor(), kIndicatorOn);

        window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, false);
        window.loop.runPosted();
        window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, true);
        window.loop.runPosted();
        EXPECT_FALSE(window.input.events.empty()) << "a press after the open plays its text";
    }
}

TEST(HeldKeys, APolarityChangeIsFollowedAtOnceWhileAPortIsOpen) {
    test::TestForm window;
    window.form.ProcessArguments(u"-cdPolarity=inverted");
    EXPECT_TRUE(window.input.events.empty()) << "no port: nothing to follow";
    window.select(&MainForm::optCom1);
    EXPECT_EQ(window.input.events, Events{"key 17 down"}) << "CD off reads as on";
    window.form.ProcessArguments(u"-cdPolarity=normal");
    EXPECT_EQ(window.input.events, (Events{"key 17 down", "key 17 up"}));
}

// DSR holds "A" on port 1; whatever changes, the key comes up once and is not pressed again.
TEST(HeldKeys, TheKeyPressedIsReleasedAndStaysReleased) {
    const struct {
        const char* situation;
        Step act;
        bool lineGoesOff;  // the line goes off after the act
    } cases[] = {
        {"None chosen", [](test::TestForm& window) { window.select(&MainForm::optComNone); },
         false},
        {"another port chosen", [](test::TestForm& window) { window.select(&MainForm::optCom2); },
         false},
        {"mode changed", [](test::TestForm& window) { window.select(&MainForm::optDSRSendKeys); },
         true},
        {"key changed",
         [](test::TestForm& window) { SelectKeyByName(window.form.cboDSREmulateKey, u"vbKeyB"); },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        test::TestForm window({.commandLine = u"-dsrEmulateKey=vbKeyA -port=com1"});
        window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, true);
        window.loop.runPosted();
        ASSERT_EQ(window.input.events, Events{"key 65 down"});
        window.input.events.clear();

        c.act(window);
        if (c.lineGoesOff) {
            window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, false);
            window.loop.advance(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(window.input.events, Events{"key 65 up"});
        window.loop.advance(std::chrono::milliseconds(50));
        EXPECT_EQ(window.input.events, Events{"key 65 up"}) << "nothing pressed again";
    }
}

}  // namespace
}  // namespace velnor
