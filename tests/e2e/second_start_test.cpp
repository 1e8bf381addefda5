// The whole road on one machine: a running copy on the loopback port and a real X server, a
// second start that configures it, the keys it types, and closing its window.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "support/qt_print.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace velnor::test {
namespace {

// Asks the top-level window titled `title` to close, as a window manager's close button does.
bool closeWindow(const std::string& displayName, const char* title) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return false;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    bool sent = false;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned int i = 0; i < count && !sent; ++i) {
        char* name = nullptr;
        if (!XFetchName(display, children[i], &name)) continue;
        if (std::string(name) == title) {
            XEvent close = {};
            close.xclient.type = ClientMessage;
            close.xclient.window = children[i];
            close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
            close.xclient.format = 32;
            close.xclient.data.l[0] =
                static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
            close.xclient.data.l[1] = CurrentTime;
            sent = XSendEvent(display, children[i], False, NoEventMask, &close) != 0;
        }
        XFree(name);
    }
    XFree(children);
    XCloseDisplay(display);
    return sent;
}

using WholeRoad = OnXvfb;

TEST_F(WholeRoad, ASecondStartConfiguresTheRunningCopyWhichTypesUntilItsWindowCloses) {
    const QProcessEnvironment environment = loopbackOnX(xvfbDisplay());
    VelnorProcess first({}, environment);
    ASSERT_TRUE(waitForRunningCopy());

    // DTR brings DSR (SendKeys) and CD (an empty Generate Keys text) on; RTS brings CTS on,
    // which holds F12 down until the program lets go of it.
    VelnorProcess second({"-port=com1", "-dsrMode=sendKeys", "-dsrSendKeys=Hello",
                          "-cdMode=generateKeys", "-ctsEmulateKey=vbKeyF12", "-dtr", "-rts"},
                         environment);
    EXPECT_EQ(second.waitForExit(), 0);
    EXPECT_EQ(window->takeText(5), "Hello");
    EXPECT_EQ(window->held(), QStringList{"F12"});
    const QStringList log = runningCopyLog();
    ASSERT_TRUE(
        log.contains("DDE LinkExecute:  -port=com1 -dsrMode=sendKeys -dsrSendKeys=Hello "
                     "-cdMode=generateKeys -ctsEmulateKey=vbKeyF12 -dtr -rts"))
        << log.join(u'\n').toStdString();
    EXPECT_EQ(log.mid(log.indexOf("arg(1) = -port=com1")),
              (QStringList{"arg(1) = -port=com1", "SetComPort 1", "arg(2) = -dsrMode=sendKeys",
                           "arg(3) = -dsrSendKeys=Hello", "arg(4) = -cdMode=generateKeys",
                           "arg(5) = -ctsEmulateKey=vbKeyF12", "arg(6) = -dtr", "optDTROn_Click",
                           "arg(7) = -rts", "optRTSOn_Click"}));

    ASSERT_TRUE(closeWindow(xvfbDisplay(), "Velnor Control"));
    EXPECT_EQ(first.waitForExit(), 0);
    EXPECT_EQ(window->held(), QStringList());
}

}  // namespace
}  // namespace velnor::test
