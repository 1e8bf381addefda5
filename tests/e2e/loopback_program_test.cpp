// The whole program on the loopback port: the built binary, started with a port, a SendKeys text
// for DSR and DTR on, types that text into the focused window of a real X server.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <set>

#include "support/velnor_process.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace velnor::test {
namespace {

using LoopbackProgram = OnXvfb;

TEST_F(LoopbackProgram, DtrOnTheLoopbackPortTypesTheDsrText) {
    const QProcessEnvironment environment = loopbackOnX(xvfbDisplay());
    // CD comes on with DSR; an empty Generate Keys text keeps it from holding Control down.
    VelnorProcess velnor(
        {"-port=com1", "-dsrMode=sendKeys", "-dsrSendKeys=Hello~", "-cdMode=generateKeys", "-dtr"},
        environment);
    EXPECT_EQ(window->takeText(6), "Hello\n");
    ASSERT_TRUE(waitForRunningCopy());
    const QStringList log = runningCopyLog();
    EXPECT_TRUE(log.contains("SetComPort 1") && log.contains("optDTROn_Click"))
        << log.join(u'\n').toStdString();
    EXPECT_FALSE(log.contains("optDTROff_Click")) << "DTR was refused: the port did not open";
}

// What the server shows of the window is what the program painted: the screen gains many
// colours, where a window whose pixels never reached the server stays black or shows the root's
// two-colour weave, and the focused window is one colour.
TEST_F(LoopbackProgram, TheServerShowsTheWindowAsPainted) {
    VelnorProcess velnor({"-port=com1"}, loopbackOnX(xvfbDisplay()));
    Display* display = XOpenDisplay(xvfbDisplay().c_str());
    ASSERT_NE(display, nullptr);
    std::set<unsigned long> colours;
    QElapsedTimer timer;
    timer.start();
    while (colours.size() <= 8 && timer.elapsed() < 10000) {
        QThread::msleep(50);
        XImage* screen =
            XGetImage(display, DefaultRootWindow(display), 0, 0, unsigned(DisplayWidth(display, 0)),
                      unsigned(DisplayHeight(display, 0)), AllPlanes, ZPixmap);
        if (!screen) continue;
        colours.clear();
        for (int row = 0; row < screen->height; ++row)
            for (int column = 0; column < screen->width; ++column)
                colours.insert(XGetPixel(screen, column, row));
        XDestroyImage(screen);
    }
    XCloseDisplay(display);
    EXPECT_GT(colours.size(), 8u);
}

}  // namespace
}  // namespace velnor::test
