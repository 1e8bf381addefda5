#include "support/x_server.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <QElapsedTimer>
#include <QStandardPaths>
#include <stdexcept>

#include "support/qt_events.h"

namespace velnor::test {

XvfbServer::XvfbServer(const std::vector<std::string>& arguments) {
    const std::string program = QStandardPaths::findExecutable("Xvfb").toStdString();
    if (program.empty()) {
        problem_ = "Xvfb is not installed (Debian package xvfb)";
        return;
    }
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        problem_ = "no pipe for Xvfb: " + QString::fromLocal8Bit(strerror(errno));
        return;
    }
    // Xvfb picks a free display itself and writes its number to the fd once it accepts
    // clients; -noreset keeps it from resetting whenever a test's last client leaves.
    // Everything the child runs before exec is async-signal-safe.
    const std::string fd = std::to_string(ready[1]);
    std::vector<const char*> argv = {"Xvfb",     "-displayfd", fd.c_str(), "-nolisten", "tcp",
                                     "-noreset", "-screen",    "0",        "640x480x24"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        fcntl(ready[1], F_SETFD, 0);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(program.c_str(), const_cast<char**>(argv.data()));
        _exit(127);
    }
    close(ready[1]);
    std::string number;
    pollfd wait = {ready[0], POLLIN, 0};
    char c;
    while (poll(&wait, 1, 10000) == 1 && read(ready[0], &c, 1) == 1 && c != '\n') number += c;
    close(ready[0]);
    if (number.empty()) {
        problem_ = "Xvfb did not start within 10 s";
        return;
    }
    display_ = ":" + number;
}

XvfbServer::~XvfbServer() {
    kill(SIGTERM);
}

void XvfbServer::kill(int signal) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

namespace {

XvfbServer& xvfb() {
    static XvfbServer server;
    return server;
}

}  // namespace

QString keysymName(unsigned long keysym) {
    const char* name = XKeysymToString(keysym);
    return name ? QString(name) : QString::number(keysym, 16);
}

const std::string& xvfbDisplay() {
    return xvfb().display();
}

const QString& xvfbProblem() {
    return xvfb().problem();
}

FocusWindow::FocusWindow(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    if (!display_) throw std::runtime_error("cannot open X display " + display);
    const int screen = DefaultScreen(display_);
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0, 320, 200, 0,
                                  BlackPixel(display_, screen), WhitePixel(display_, screen));
    XSelectInput(display_, window_,
                 KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                     PointerMotionMask | StructureNotifyMask | FocusChangeMask);
    // Like Qt and GTK, follow keymap changes through XKB: plain Xlib clients miss them.
    int opcode, error, major = XkbMajorVersion, minor = XkbMinorVersion;
    XkbQueryExtension(display_, &opcode, &xkbEventBase_, &error, &major, &minor);
    XkbSelectEvents(display_, XkbUseCoreKbd, XkbMapNotifyMask, XkbMapNotifyMask);
    XMapRaised(display_, window_);
    bool mapped = false;
    bool focused = false;
    while (!mapped || !focused) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type == MapNotify) {
            mapped = true;
            XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
            XWarpPointer(display_, None, window_, 0, 0, 0, 0, kPointerX, kPointerY);
        }
        if (event.type == FocusIn) focused = true;
    }
    XSync(display_, False);
    receive();
    events_.clear();
}

FocusWindow::~FocusWindow() {
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
}

QStringList FocusWindow::takeEvents(qsizetype count) {
    waitUntil([&] { return events_.size() >= count; });
    settle();
    text_.clear();
    return std::exchange(events_, {});
}

QString FocusWindow::takeText(qsizetype length) {
    waitUntil([&] { return text_.size() >= length; });
    settle();
    events_.clear();
    return std::exchange(text_, {});
}

bool FocusWindow::awaitCount(qsizetype events, qsizetype characters) {
    const bool arrived =
        waitUntil([&] { return events_.size() >= events && text_.size() >= characters; });
    events_.clear();
    text_.clear();
    return arrived;
}

QStringList FocusWindow::held() {
    char keys[32];
    XQueryKeymap(display_, keys);
    QStringList held;
    for (int code = 0; code < 256; ++code) {
        if (keys[code / 8] & (1 << (code % 8)))
            held.append(keysymName(XkbKeycodeToKeysym(display_, KeyCode(code), 0, 0)));
    }
    held.sort();
    Window root, child;
    int rootX, rootY, x, y;
    unsigned mask;
    XQueryPointer(display_, window_, &root, &child, &rootX, &rootY, &x, &y, &mask);
    for (int button = 1; button <= 5; ++button) {
        if (mask & (Button1Mask << (button - 1))) held.append(QString("button %1").arg(button));
    }
    return held;
}

bool FocusWindow::keymapHas(unsigned long keysym) {
    receive();
    return XKeysymToKeycode(display_, keysym) != 0;
}

bool FocusWindow::waitUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    pollfd connection = {ConnectionNumber(display_), POLLIN, 0};
    while (!done() && timer.elapsed() < 5000) {
        processQtEvents();
        poll(&connection, 1, 5);
        receive();
    }
    return done();
}

// Extra events sent with the expected ones arrive right behind them.
void FocusWindow::settle() {
    XSync(display_, False);
    pollfd connection = {ConnectionNumber(display_), POLLIN, 0};
    poll(&connection, 1, 30);
    receive();
}

void FocusWindow::receive() {
    while (XPending(display_)) {
        XEvent event;
        XNextEvent(display_, &event);
        switch (event.type) {
            case MappingNotify:
                XRefreshKeyboardMapping(&event.xmapping);
                break;
            case KeyPress:
            case KeyRelease: {
                char buffer[16];
                KeySym keysym = NoSymbol;
                XLookupString(&event.xkey, buffer, sizeof buffer, &keysym, nullptr);
                const bool press = event.type == KeyPress;
                events_.append((press ? "press " : "release ") + keysymName(keysym));
                const char32_t character =
                    keysym == XK_Return ? U'\n' : xkb_keysym_to_utf32(keysym);
                if (press && (character >= 0x20 || character == U'\n') && character != 0x7f)
                    text_.append(QString::fromUcs4(&character, 1));
                break;
            }
            case ButtonPress:
            case ButtonRelease:
                events_.append(QString("button %1 %2 at %3,%4")
                                   .arg(event.xbutton.button)
                                   .arg(event.type == ButtonPress ? "press" : "release")
                                   .arg(event.xbutton.x)
                                   .arg(event.xbutton.y));
                break;
            case MotionNotify:
                events_.append(
                    QString("motion to %1,%2").arg(event.xmotion.x).arg(event.xmotion.y));
                break;
        }
    }
}

bool killClientOfProcess(const std::string& displayName, qint64 pid) {
    Display* display = XOpenDisplay(displayName.c_str());
    if (!display) return false;
    const Atom wmPid = XInternAtom(display, "_NET_WM_PID", False);
    QElapsedTimer timer;
    timer.start();
    bool killed = false;
    while (!killed && timer.elapsed() < 10000) {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        for (unsigned int i = 0; i < count && !killed; ++i) {
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char* value = nullptr;
            if (XGetWindowProperty(display, children[i], wmPid, 0, 1, False, XA_CARDINAL, &type,
                                   &format, &items, &after, &value) == Success &&
                value && items == 1 && qint64(*reinterpret_cast<unsigned long*>(value)) == pid) {
                XKillClient(display, children[i]);
                killed = true;
            }
            if (value) XFree(value);
        }
        if (children) XFree(children);
        if (!killed) ::usleep(20000);
    }
    XSync(display, False);
    XCloseDisplay(display);
    return killed;
}

}  // namespace velnor::test
