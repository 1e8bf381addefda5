#include "platform/x11/xtest_input.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/send_keys.h"
#include "core/text.h"
#include "platform/linux/key_map.h"
#include "platform/qt/event_loop.h"
#include "platform/qt/text.h"
#include "support/x_server.h"

// Xlib's macros break Qt headers included after them.
#include <X11/Xlib.h>

namespace velnor {
namespace {

class XTestInput : public test::XTestOnXvfb {
  protected:
    std::string events(qsizetype count) {
        return window->takeEvents(count).join(", ").toStdString();
    }
};

// Keys missing from the server's keymap (F13, Clear, the keypad digits on their own level) come
// through a keycode bound for the moment.
TEST_F(XTestInput, EveryMappedKeyArrivesAsItsKeysym) {
    QStringList expected;
    for (const auto& entry : keyMap()) {
        const QString name = test::keysymName(entry.keysym);
        // Lock keys toggle: twice leaves the lock as it was for the keys after them.
        const bool lock = entry.keysym == XK_Caps_Lock || entry.keysym == XK_Num_Lock ||
                          entry.keysym == XK_Scroll_Lock;
        for (int i = 0; i < (lock ? 2 : 1); ++i) {
            sink->key(entry.virtualKey, true);
            sink->key(entry.virtualKey, false);
            expected << "press " + name << "release " + name;
        }
    }
    EXPECT_EQ(events(expected.size()), expected.join(", ").toStdString());
    EXPECT_TRUE(window->held().isEmpty());
}

TEST_F(XTestInput, UnknownCodesSendNothing) {
    sink->key(0, true);
    sink->key(200, true);
    sink->key(-1, true);
    sink->key(65, true);
    sink->key(65, false);
    EXPECT_EQ(events(2), "press a, release a");
}

struct Typed {
    const char16_t* keys;
    const char* events;
};

const Typed kTypedEvents[] = {
    {u"+(abc)d",
     "press Shift_L, press A, release A, press B, release B, press C, release C, release Shift_L, "
     "press d, release d"},
    {u"{LEFT 3}", "press Left, release Left, press Left, release Left, press Left, release Left"},
    {u"%{TAB}", "press Alt_L, press Tab, release Tab, release Alt_L"},
    {u"^v", "press Control_L, press v, release v, release Control_L"},
    {u"{{}x{}}",
     "press Shift_L, press braceleft, release braceleft, release Shift_L, press x, release x, "
     "press Shift_L, press braceright, release braceright, release Shift_L"},
    {u"+1", "press Shift_L, press exclam, release exclam, release Shift_L"},
    {u"~", "press Return, release Return"},
    {u"{F17}{MEDIA_PLAY_PAUSE}{volume_up}{Browser_Back}",
     "press F17, release F17, press XF86AudioPlay, release XF86AudioPlay, press "
     "XF86AudioRaiseVolume, release XF86AudioRaiseVolume, press XF86Back, release XF86Back"},
};

TEST_F(XTestInput, SendKeysArrivesAsExactlyTheseEvents) {
    for (const auto& row : kTypedEvents) {
        const QString keys = QString::fromUtf16(row.keys);
        ASSERT_EQ(SendKeys(*sink, u16View(keys)), std::nullopt);
        const qsizetype count = QString(row.events).count(',') + 1;
        EXPECT_EQ(events(count), row.events) << keys.toStdString();
    }
}

TEST_F(XTestInput, SendKeysArrivesAsThisText) {
    const char16_t* const texts[] = {
        u"Hello, World!~",
        u"The quick brown fox jumps over the lazy dog 0123456789 "
        u"`-=[]\\;',./~!@#$%^&*()_+{}|:\"<>?",
        u"é€жÀÉ",  // outside the keymap, upper case included
    };
    for (const char16_t* text : texts) {
        const QString expected = QString::fromUtf16(text);
        QString keys;
        for (const QChar c : expected) {
            const bool special = QStringLiteral("+^%~(){}[]").contains(c);
            keys += special ? QString("{%1}").arg(c) : QString(c);
        }
        ASSERT_EQ(SendKeys(*sink, u16View(keys)), std::nullopt) << keys.toStdString();
        EXPECT_EQ(window->takeText(expected.size()).toStdString(), expected.toStdString());
    }
    EXPECT_TRUE(window->held().isEmpty());
}

// Symbols outside the keymap borrow free keycodes; once all are taken, the longest unused is
// bound anew, after the window has read what was typed with it.
TEST_F(XTestInput, TypesMoreForeignCharactersThanThereAreFreeKeycodes) {
    // Three rounds of twelve, 36 in all: Xvfb's keymap has 19 free keycodes.
    const QString rounds[] = {u"αβγδεζηθικλμ"_qs, u"АБВГДЕЖЗИЙКЛ"_qs, u"νξοπρστυφχψω"_qs};
    for (const QString& text : rounds) {
        ASSERT_EQ(SendKeys(*sink, u16View(text)), std::nullopt);
        EXPECT_EQ(window->takeText(text.size()).toStdString(), text.toStdString());
    }
}

// A held key keeps its keycode: once every free keycode holds one, a key the keymap lacks cannot
// go down, and the log names each such key once.
TEST_F(XTestInput, AKeyLeftWithoutAFreeKeycodeIsToldOnce) {
    std::vector<std::u16string> told;
    sink->setProblemReporter([&told](const std::u16string& problem) { told.push_back(problem); });
    std::vector<int> keys;  // 22 keys the keymap lacks: the keypad digits, then F13 to F24
    for (int key = 96; key <= 105; ++key) keys.push_back(key);
    for (int key = 124; key <= 135; ++key) keys.push_back(key);
    for (const int key : keys) sink->key(key, true);
    sink->key(135, false);
    sink->key(135, true);
    EXPECT_EQ(window->takeEvents(19).size(), 19);  // Xvfb's keymap has 19 free keycodes
    std::vector<std::u16string> expected;
    for (const auto& [code, keysym] : {std::pair{133, u"F22"}, {134, u"F23"}, {135, u"F24"}}) {
        expected.push_back(u"XTest cannot press {" + std::u16string(keysym) +
                           u"} (virtual-key code " + toU16(code) + u"): the X keymap lacks " +
                           keysym + u", and no free keycode is left to bind it to");
    }
    EXPECT_EQ(told, expected);
}

TEST_F(XTestInput, ReleasesWhatItHoldsAndItsKeymapEntriesWhenDestroyed) {
    sink->key(16, true);
    sink->key(124, true);  // F13, on a temporarily bound keycode
    sink->mouseButton(MouseButton::Right, true);
    sink->typeCharacter(U'ж');
    window->takeText(1);
    EXPECT_EQ(window->held().join(", ").toStdString(), "F13, Shift_L, button 3");
    EXPECT_TRUE(window->keymapHas(XK_F13));
    sink.reset();
    EXPECT_EQ(window->held().join(", ").toStdString(), "");
    EXPECT_FALSE(window->keymapHas(XK_F13));
    EXPECT_FALSE(window->keymapHas(XK_Cyrillic_zhe));
    EXPECT_TRUE(window->keymapHas(XK_a));
}

TEST(XTestInputOpen, SaysWhyItCannotStart) {
    QtEventLoop loop;
    const auto missing = openXTestInput(loop, ":4711");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, ProblemKind::Missing);
    EXPECT_EQ(missing.error().reason,
              u"XTest cannot inject input: cannot open the X display \":4711\" (check DISPLAY and "
              u"XAUTHORITY)");

    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const auto unset = openXTestInput(loop);
    if (!display.isNull()) qputenv("DISPLAY", display);
    ASSERT_FALSE(unset);
    EXPECT_EQ(unset.error().kind, ProblemKind::Missing);
    const QString reason = QString::fromStdU16String(unset.error().reason);
    EXPECT_TRUE(reason.contains("DISPLAY is not set")) << reason.toStdString();
}

// Readied beside the window system's start but never used (the program ended first, or another
// backend was chosen): the connection goes, with the window it made for its guardian.
TEST(XTestInputOpen, AConnectionReadiedButNeverTakenOverLetsGoOfTheServer) {
    ASSERT_FALSE(test::xvfbDisplay().empty()) << test::xvfbProblem().toStdString();
    Display* observer = XOpenDisplay(test::xvfbDisplay().c_str());
    ASSERT_NE(observer, nullptr);
    const auto topWindows = [observer] {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XQueryTree(observer, DefaultRootWindow(observer), &root, &parent, &children, &count);
        if (children) XFree(children);
        return count;
    };
    const unsigned before = topWindows();
    auto readied = prepareXTestInput(test::xvfbDisplay().c_str());
    ASSERT_TRUE(readied);
    EXPECT_EQ(topWindows(), before + 1);
    readied->reset();
    // The server tidies up a closed connection once it reads its end.
    for (int i = 0; i < 200 && topWindows() != before; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(topWindows(), before);
    XCloseDisplay(observer);
}

}  // namespace
}  // namespace velnor
