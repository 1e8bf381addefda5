// SerialControl over the loopback port and over a pseudo-terminal with modem lines.

#include "platform/serial_control.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <QCoreApplication>
#include <QThread>
#include <thread>

#include "fake_modem_driver.h"
#include "platform/loopback/loopback_port.h"
#include "support/scoped_env.h"

namespace velnor {
namespace {

using Line = LoopbackPort::Line;
using Codes = std::vector<qint16>;

TEST(ComPortDevice, MapsPortNumbersToDevicesOrToTheirVariables) {
    const ScopedEnv com2("VELNOR_COM2", "/dev/serial/by-id/usb-adapter");
    const ScopedEnv com3("VELNOR_COM3", "loopback");
    const ScopedEnv com4("VELNOR_COM4", nullptr);
    const ScopedEnv com1("VELNOR_COM1", "");
    EXPECT_EQ(comPortDevice(1), "/dev/ttyS0");
    EXPECT_EQ(comPortDevice(2), "/dev/serial/by-id/usb-adapter");
    EXPECT_EQ(comPortDevice(3), "loopback");
    EXPECT_EQ(comPortDevice(4), "/dev/ttyS3");
}

// A control on COM1 = loopback that records each notification with the thread it came on.
class LoopbackControlTest : public ::testing::Test {
  protected:
    LoopbackControlTest() {
        QObject::connect(&control, &SerialControl::OnComm, [this] {
            codes.push_back(control.CommEvent());
            onWindowThread = onWindowThread && QThread::currentThread() == qApp->thread();
        });
    }
    void open() { ASSERT_TRUE(control.setPortOpen(true)); }
    LoopbackPort& port() { return *control.loopbackPort(); }
    Codes delivered() {
        QCoreApplication::processEvents();
        return std::exchange(codes, {});
    }

    ScopedEnv com1{"VELNOR_COM1", "loopback"};
    SerialControl control;
    Codes codes;
    bool onWindowThread = true;
};

TEST_F(LoopbackControlTest, OutputSettingsStartOffOutliveACloseAndApplyAtTheNextOpen) {
    EXPECT_FALSE(control.DTREnable());
    EXPECT_FALSE(control.RTSEnable());
    control.setDTREnable(true);
    EXPECT_FALSE(control.PortOpen());
    open();
    EXPECT_TRUE(control.DSRHolding());
    EXPECT_FALSE(control.CTSHolding());
    EXPECT_EQ(delivered(), (Codes{comEvDSR, comEvCD}));
    control.setRTSEnable(true);
    ASSERT_TRUE(control.setPortOpen(false));
    EXPECT_TRUE(control.DTREnable());
    EXPECT_TRUE(control.RTSEnable());
    EXPECT_FALSE(control.DSRHolding()) << "no port, no levels";
    open();
    EXPECT_TRUE(control.DSRHolding() && control.CTSHolding() && control.CDHolding());
}

TEST_F(LoopbackControlTest, ChangesFromAnotherThreadArriveQueuedOnTheWindowsThread) {
    open();
    std::thread([this] { port().setLine(Line::Cd, true); }).join();
    EXPECT_TRUE(codes.empty()) << "delivered before the event loop ran";
    EXPECT_EQ(delivered(), Codes{comEvCD});
    EXPECT_TRUE(onWindowThread);
}

TEST_F(LoopbackControlTest, NotificationsStillQueuedAtCloseAreDropped) {
    open();
    port().setLine(Line::Dsr, true);
    ASSERT_TRUE(control.setPortOpen(false));
    EXPECT_EQ(delivered(), Codes{});

    open();
    port().setLine(Line::Cts, true);
    ASSERT_TRUE(control.setPortOpen(false));
    open();
    port().setLine(Line::Cd, true);
    EXPECT_EQ(delivered(), Codes{comEvCD}) << "only the port open now is heard";
}

TEST_F(LoopbackControlTest, EdgesThatComeWhileOneWaitsJoinItAndRingsAreCounted) {
    open();
    for (const bool on : {true, false, true}) port().setLine(Line::Dsr, on);
    port().setLine(Line::Cts, true);
    for (const bool on : {true, false, true}) port().setLine(Line::Ri, on);
    EXPECT_EQ(delivered(), (Codes{comEvDSR, comEvCTS, comEvRing, comEvRing, comEvRing}));
    port().setLine(Line::Dsr, false);
    EXPECT_EQ(delivered(), Codes{comEvDSR}) << "an edge after the delivery waits anew";
}

TEST_F(LoopbackControlTest, RingsStillWaitingWhenAHandlerClosesThePortAreDropped) {
    open();
    QObject::connect(&control, &SerialControl::OnComm, [this] { control.setPortOpen(false); });
    for (const bool on : {true, false, true}) port().setLine(Line::Ri, on);
    EXPECT_EQ(delivered(), Codes{comEvRing});
}

TEST(SerialControl, OpeningAMissingDeviceFailsWithItsNameAndLeavesNoPortOpen) {
    const ScopedEnv com2("VELNOR_COM2", "/dev/velnor-no-such-port");
    SerialControl control;
    control.setCommPort(2);
    const auto opened = control.setPortOpen(true);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().device, "/dev/velnor-no-such-port");
    EXPECT_EQ(opened.error().reason, "No such file or directory");
    EXPECT_FALSE(control.PortOpen());
}

TEST(SerialControl, OpeningATerminalAppliesTheStoredOutputLinesAtOnce) {
    const struct {
        bool dtr, rts;
        int outputs;
    } rows[] = {
        {false, false, 0},
        {true, false, TIOCM_DTR},
        {false, true, TIOCM_RTS},
        {true, true, TIOCM_DTR | TIOCM_RTS},
    };
    for (const auto& row : rows) {
        const PseudoTerminal terminal;
        const FakeModemDriver modem(terminal.path());  // raises both lines, as the kernel does
        const ScopedEnv com1("VELNOR_COM1", terminal.path().toLocal8Bit());
        SerialControl control;
        control.setDTREnable(row.dtr);
        control.setRTSEnable(row.rts);
        const auto opened = control.setPortOpen(true);
        ASSERT_TRUE(opened) << opened.error().reason.toStdString();
        EXPECT_EQ(control.device(), terminal.path());
        EXPECT_EQ(modem.outputs(), row.outputs) << "DTR " << row.dtr << ", RTS " << row.rts;
    }
}

}  // namespace
}  // namespace velnor
