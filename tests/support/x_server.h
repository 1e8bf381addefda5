#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/event_loop.h"
#include "platform/x11/xtest_input.h"

struct _XDisplay;

namespace velnor::test {

// An Xvfb of its own on a free display, ended with the object.
class XvfbServer {
  public:
    // `arguments` come after the usual ones ("-auth", a file).
    explicit XvfbServer(const std::vector<std::string>& arguments = {});
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Its display name (":3"), or "" when it could not start; then problem() says why.
    const std::string& display() const { return display_; }
    const QString& problem() const { return problem_; }
    // Ends the server at once with `signal`, as a crash or a logout ends it.
    void kill(int signal);

  private:
    pid_t pid_ = -1;
    std::string display_;
    QString problem_;
};

// The X server of this test program, shared by its tests: started on first use and ended with
// the program. Returns its display name (":3"), or "" when it cannot start; then xvfbProblem()
// says why.
const std::string& xvfbDisplay();
const QString& xvfbProblem();

// The name X gives a keysym ("Shift_L", "braceleft").
QString keysymName(unsigned long keysym);

// A window on its own connection to `display` that owns the keyboard focus and has the pointer
// inside it, at kPointerX, kPointerY. It records every key, button and motion event that reaches
// it as one line each:
//   "press Shift_L", "release H"                (the keysym as the key's state resolves it)
//   "button 1 press at 40,30", "button 3 release at 40,30"
//   "motion to 41,30"
// and the characters its key presses type (Return types "\n"). It follows keymap changes as Qt
// and GTK do, through XKB map notifications.
class FocusWindow {
  public:
    static constexpr int kPointerX = 40;
    static constexpr int kPointerY = 30;

    explicit FocusWindow(const std::string& display);
    ~FocusWindow();
    FocusWindow(const FocusWindow&) = delete;
    FocusWindow& operator=(const FocusWindow&) = delete;

    // Waits until at least `count` lines have arrived (at most 5 s) and a moment longer for any
    // stray extra event, then returns all lines so far and forgets them.
    QStringList takeEvents(qsizetype count);
    // As takeEvents, until `length` characters have been typed; returns them and forgets them.
    QString takeText(qsizetype length);
    // For measurements: waits only until at least `events` lines and `characters` characters
    // have arrived (at most 5 s), with no moment longer, and forgets them. False on time-out.
    bool awaitCount(qsizetype events, qsizetype characters);
    // What the server reports as held right now, by any client: key symbols ("Shift_L") and
    // buttons ("button 1").
    QStringList held();
    // Whether some keycode of the server's keymap carries `keysym`.
    bool keymapHas(unsigned long keysym);

  private:
    bool waitUntil(const std::function<bool()>& done);
    void settle();
    void receive();

    _XDisplay* display_;
    unsigned long window_;
    int xkbEventBase_ = -1;
    QStringList events_;
    QString text_;
};

// Makes the X server close the connection of the client whose top-level window belongs to
// process `pid` (_NET_WM_PID), as xkill does. False when no such window is found within 10 s.
bool killClientOfProcess(const std::string& display, qint64 pid);

// Base of tests that need a real X server: a fresh focused window for each test.
class OnXvfb : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(xvfbDisplay().empty()) << xvfbProblem().toStdString();
        window.emplace(xvfbDisplay());
    }

    std::optional<FocusWindow> window;
};

// Base of tests that inject through the XTest backend into that window.
class XTestOnXvfb : public OnXvfb {
  protected:
    void SetUp() override {
        OnXvfb::SetUp();
        auto opened = openXTestInput(loop, xvfbDisplay().c_str());
        ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
        sink = std::move(*opened);
    }

    QtEventLoop loop;
    std::unique_ptr<InputSink> sink;
};

}  // namespace velnor::test
