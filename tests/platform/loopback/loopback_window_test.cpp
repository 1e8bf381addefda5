// The whole road on the loopback port: buttons, port, notifications, monitor, line actions,
// injected input. Default modes: "Emulate a key" with Shift on DSR, Alt on CTS, Control on CD.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <thread>

#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/qt_print.h"
#include "support/recording_input_sink.h"
#include "support/scoped_env.h"

namespace velnor {
namespace {

class LoopbackWindowTest : public ::testing::Test {
  protected:
    LoopbackWindowTest() : form(input, "") { form.Form_Load(); }

    // The input injected since the last call, once the queued notifications are handled.
    QStringList injected() {
        QCoreApplication::processEvents();
        return std::exchange(input.events, {});
    }

    ScopedEnv com1{"VELNOR_COM1", "loopback"};
    RecordingInputSink input;
    LinuxForm form;
};

TEST_F(LoopbackWindowTest, DtrAndRtsDriveTheActionsOfTheLinesTheyLoopTo) {
    form.optCom1.setValue(true);
    form.optDTROn.setValue(true);
    EXPECT_EQ(injected(), (QStringList{"key 16 down", "key 17 down"}));
    EXPECT_EQ(form.boxDSR.fillColor(), kIndicatorOn);
    EXPECT_EQ(form.boxCD.fillColor(), kIndicatorOn);

    form.optRTSOn.setValue(true);
    EXPECT_EQ(injected(), QStringList{"key 18 down"});
    EXPECT_TRUE(form.ringState);

    form.optDTROff.setValue(true);
    EXPECT_EQ(injected(), (QStringList{"key 16 up", "key 17 up"}));
    form.optRTSOff.setValue(true);
    EXPECT_EQ(injected(), QStringList{"key 18 up"});
    EXPECT_FALSE(form.ringState);
    EXPECT_EQ(form.boxCTS.fillColor(), kIndicatorOff);

    EXPECT_EQ(logMessages(form), (QStringList{"SetComPort 1", "optDTROn_Click", "optRTSOn_Click",
                                              "optDTROff_Click", "optRTSOff_Click"}));
}

TEST_F(LoopbackWindowTest, InputLinesSetFromAnotherThreadAreFollowed) {
    form.optCom1.setValue(true);
    LoopbackPort& port = *loopbackPort(form);
    std::thread([&] {
        port.setLine(LoopbackPort::Line::Cd, true);
        port.setLine(LoopbackPort::Line::Cts, true);
        port.setLine(LoopbackPort::Line::Cd, false);
    }).join();
    // The CD notifications find CD already off again: neither acts.
    EXPECT_EQ(injected(), QStringList{"key 18 down"});
    EXPECT_FALSE(form.cdHandler.flag());
}

TEST_F(LoopbackWindowTest, AnUnplugLeavesNoPortOpenAndSaysSo) {
    form.optCom1.setValue(true);
    form.optRTSOn.setValue(true);
    const int logged = logMessages(form).size();
    loopbackPort(form)->unplug();
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.MSComm1.PortOpen());
    EXPECT_TRUE(form.optComNone.value());
    EXPECT_TRUE(form.optRTSOff.value());
    EXPECT_FALSE(form.MSComm1.RTSEnable());
    EXPECT_EQ(logMessages(form).mid(logged),
              (QStringList{
                  "COM1 (loopback) is gone: the loopback port was unplugged; the port is released",
                  "SetComPort none", "optRTSOff_Click"}));
}

}  // namespace
}  // namespace velnor
