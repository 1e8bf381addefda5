// Line edges on the loopback port flipped by another thread far faster than the window's thread
// acts on them: the window keeps up, nothing queues without bound, and it ends where the lines
// stand, with no key left held that its line does not hold.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <map>
#include <thread>

#include "platform/linux/synthetic_input.h"
#include "platform/loopback/loopback_port.h"
#include "support/line_flood.h"
#include "support/linux_form.h"
#include "support/scoped_env.h"
#include "support/velnor_process.h"

namespace velnor {
namespace {

using Line = LoopbackPort::Line;

// Counts how often each key went down and up; keeps no list, so its own memory stays flat.
class CountingSink final : public InputSink {
  public:
    void key(int virtualKey, bool down) override { ++(down ? downs : ups)[virtualKey]; }
    void mouseButton(MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}

    int held(int virtualKey) { return downs[virtualKey] - ups[virtualKey]; }

    std::map<int, int> downs;
    std::map<int, int> ups;
};

class LineEdgeFlood : public ::testing::Test {
  protected:
    LineEdgeFlood() : form(input, "-port=com1") {
        form.Form_Load();
        form.MSComm1.OnComm = [this, handle = form.MSComm1.OnComm] {
            ++notifications;
            handle();
        };
    }
    LoopbackPort& port() { return *loopbackPort(form); }

    ScopedEnv com1{"VELNOR_COM1", "loopback"};
    CountingSink input;
    LinuxForm form;
    int notifications = 0;
};

TEST_F(LineEdgeFlood, EdgesWhileTheWindowIsBusyWaitAsOneNotificationPerLine) {
    // The window's thread waits in join() meanwhile: every edge comes before any is handled.
    std::thread([this] {
        for (int edge = 0; edge < 100'000; ++edge) port().setLine(Line::Dsr, edge % 2 == 0);
        for (int edge = 0; edge < 100'001; ++edge) port().setLine(Line::Cts, edge % 2 == 0);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(notifications, 2);
    // DSR rose and fell back: nothing to do; CTS ends on, so Alt goes down once.
    EXPECT_FALSE(form.dsrHandler.flag());
    EXPECT_TRUE(form.ctsHandler.flag());
    EXPECT_EQ(input.downs, (std::map<int, int>{{18, 1}}));
    EXPECT_EQ(input.ups, (std::map<int, int>{}));
}

TEST_F(LineEdgeFlood, EveryRingFlipsTheIndicatorOnce) {
    std::thread([this] {
        for (int edge = 0; edge < 1001; ++edge) port().setLine(Line::Ri, edge % 2 == 0);
    }).join();
    QCoreApplication::processEvents();
    EXPECT_EQ(notifications, 1001);
    EXPECT_TRUE(form.ringState);
}

TEST_F(LineEdgeFlood, AHundredThousandEdgesWhileTheWindowRunsLeaveMemoryFlat) {
    const qint64 self = QCoreApplication::applicationPid();
    const double residentBefore = test::residentMegabytes(self);
    constexpr int kEdges = 100'000;
    test::floodLines(port(), kEdges);
    const double grown = test::residentMegabytes(self) - residentBefore;
    EXPECT_LT(grown, 20.0) << "resident memory grew by " << grown << " MB";

    EXPECT_GT(notifications, 0);
    EXPECT_LE(notifications, kEdges);
    const struct {
        SignalHandler* handler;
        bool level;
        int key;
    } followed[] = {{&form.dsrHandler, form.MSComm1.DSRHolding(), 16},
                    {&form.ctsHandler, form.MSComm1.CTSHolding(), 18},
                    {&form.cdHandler, form.MSComm1.CDHolding(), 17}};
    for (const auto& line : followed) {
        EXPECT_EQ(line.handler->flag(), line.level) << "key " << line.key;
        EXPECT_EQ(input.held(line.key), line.level ? 1 : 0) << "key " << line.key;
    }
}

}  // namespace
}  // namespace velnor
