// A key is held exactly while its line is on: every way a port closes switches the lines that are
// on off through their handlers first, a port that opens follows the lines already on, and the
// key released is the one pressed. With recorded input, and through XTest into a real X window.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include "key_names/key_names.h"
#include "platform/loopback/loopback_port.h"
#include "platform/x11/xtest_input.h"
#include "signal_actions/signal_handler.h"
#include "support/x_server.h"
#include "test_window.h"

namespace velnor {
namespace {

using Step = std::function<void(TestWindow&)>;

void expectAllOff(const MainForm& form) {
    for (const SignalHandler* handler :
         {form.dsrHandler.get(), form.ctsHandler.get(), form.cdHandler.get()}) {
        EXPECT_FALSE(handler->flag());
        EXPECT_EQ(handler->box()->fillColor(), kIndicatorOff);
    }
}

TEST(HeldKeys, EveryWayOfClosingThePortReleasesTheKeysOfItsLines) {
    const struct {
        const char* how;
        Step close;
    } cases[] = {
        {"None", [](TestWindow& window) { window.select(&MainForm::optComNone); }},
        {"another port", [](TestWindow& window) { window.select(&MainForm::optCom2); }},
        {"a missing port", [](TestWindow& window) { window.select(&MainForm::optCom3); }},
        {"unload",
         [](TestWindow& window) {
             int cancel = 0;
             window.form.Form_Unload(cancel);
         }},
        {"unplug",
         [](TestWindow& window) {
             window.ports.open->listener.gone("unplugged");
             QCoreApplication::processEvents();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        TestWindow window;
        window.ports.levelsAtOpen = {.cts = true, .cd = true};
        window.select(&MainForm::optCom1);
        EXPECT_EQ(window.input.events, (QStringList{"key 18 down", "key 17 down"}))
            << "lines already on at the open come on at once";
        window.ports.levelsAtOpen = {};
        window.input.events.clear();

        c.close(window);
        EXPECT_EQ(window.input.events, (QStringList{"key 18 up", "key 17 up"}));
        expectAllOff(window.form);
    }
}

TEST(HeldKeys, ALineOnAtBothPortsComesOnAgainAtTheNewOne) {
    TestWindow window;
    window.ports.levelsAtOpen.cts = true;
    window.select(&MainForm::optCom1);
    window.ports.levelsAtOpen.dsr = true;
    window.select(&MainForm::optCom2);
    EXPECT_EQ(window.input.events,
              (QStringList{"key 18 down", "key 18 up", "key 16 down", "key 18 down"}));
    EXPECT_TRUE(window.form.dsrHandler->flag() && window.form.ctsHandler->flag());
}

TEST(HeldKeys, APolarityChangeIsFollowedAtOnceWhileAPortIsOpen) {
    TestWindow window;
    window.form.ProcessArguments("-cdPolarity=inverted");
    EXPECT_TRUE(window.input.events.isEmpty()) << "no port: nothing to follow";
    window.select(&MainForm::optCom1);
    EXPECT_EQ(window.input.events, QStringList{"key 17 down"}) << "CD off reads as on";
    window.form.ProcessArguments("-cdPolarity=normal");
    EXPECT_EQ(window.input.events, (QStringList{"key 17 down", "key 17 up"}));
}

// The program's window on COM1 and COM2, both loopback ports, injecting through XTest into a
// window of the test's own; DSR holds "a".
class HeldKeysOnX : public test::OnXvfb {
  protected:
    void SetUp() override {
        OnXvfb::SetUp();
        auto opened = openXTestInput(test::xvfbDisplay().c_str());
        ASSERT_TRUE(opened) << opened.error().toStdString();
        sink = std::move(*opened);
        form.emplace(*sink, "-dsrEmulateKey=vbKeyA -port=com1");
        form->Form_Load();
        setDsr(true);
        ASSERT_EQ(window->takeEvents(1), QStringList{"press a"});
    }
    void setDsr(bool on) {
        form->MSComm1.loopbackPort()->setLine(LoopbackPort::Line::Dsr, on);
        QCoreApplication::processEvents();
    }

    ScopedEnv com1{"VELNOR_COM1", "loopback"};
    ScopedEnv com2{"VELNOR_COM2", "loopback"};
    std::unique_ptr<InputSink> sink;
    std::optional<MainForm> form;
};

TEST_F(HeldKeysOnX, TheKeyPressedIsReleasedAndStaysReleased) {
    const struct {
        const char* situation;
        std::function<void(MainForm&)> act;
        bool lineGoesOff;  // the line goes off after the act
    } cases[] = {
        {"None chosen", [](MainForm& form) { form.optComNone->setChecked(true); }, false},
        {"another port chosen", [](MainForm& form) { form.optCom2->setChecked(true); }, false},
        {"mode changed", [](MainForm& form) { form.optDSRSendKeys->setChecked(true); }, true},
        {"key changed", [](MainForm& form) { SelectKeyByName(*form.cboDSREmulateKey, "vbKeyB"); },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        if (!form->MSComm1.PortOpen()) form->optCom1->setChecked(true);
        form->optDSREmulateKey->setChecked(true);
        SelectKeyByName(*form->cboDSREmulateKey, "vbKeyA");
        if (!form->dsrHandler->flag()) {
            setDsr(true);
            ASSERT_EQ(window->takeEvents(1), QStringList{"press a"});
        }
        c.act(*form);
        if (c.lineGoesOff) setDsr(false);
        EXPECT_EQ(window->takeEvents(1), QStringList{"release a"});
        QTest::qWait(50);
        EXPECT_EQ(window->takeEvents(0), QStringList{}) << "nothing pressed again";
        EXPECT_TRUE(window->held().isEmpty()) << window->held().join(", ").toStdString();
    }
}

}  // namespace
}  // namespace velnor
