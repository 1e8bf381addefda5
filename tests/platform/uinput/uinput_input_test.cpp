#include "platform/uinput/uinput_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/send_keys.h"
#include "support/x_server.h"

namespace velnor {
namespace {

using test::xvfbDisplay;
using test::xvfbProblem;

QString describe(const input_event& record) {
    if (record.type == EV_SYN && record.code == SYN_REPORT && record.value == 0) return "syn";
    if (record.type == EV_KEY) return QString("key %1 %2").arg(record.code).arg(record.value);
    return QString("type %1 code %2 value %3").arg(record.type).arg(record.code).arg(record.value);
}

// The records waiting on `fd`, one line each, reports left out.
std::string drain(int fd) {
    QStringList lines;
    input_event record;
    while (read(fd, &record, sizeof record) == sizeof record) {
        if (describe(record) != "syn") lines.append(describe(record));
    }
    return lines.join(", ").toStdString();
}

// Input through the sink, and the records it makes.
const struct {
    void (*act)(InputSink&);
    const char* records;
} kInputRows[] = {
    {[](InputSink& s) { s.key(65, true); }, "key 30 1"},
    {[](InputSink& s) { s.key(65, false); }, "key 30 0"},
    {[](InputSink& s) { s.key(124, true); }, "key 183 1"},  // F13
    {[](InputSink& s) { s.key(43, true); }, ""},            // Execute: no Linux key
    {[](InputSink& s) { s.key(128, true); }, "key 187 1"},  // F17
    {[](InputSink& s) { s.key(179, true); }, "key 164 1"},  // Play/Pause
    {[](InputSink& s) { s.key(179, false); }, "key 164 0"},
    {[](InputSink& s) { SendKeys(s, u"{VOLUME_DOWN}{BROWSER_BACK}"); },
     "key 114 1, key 114 0, key 158 1, key 158 0"},
    {[](InputSink& s) { s.key(1, true); }, ""},  // not a key
    {[](InputSink& s) { s.mouseButton(MouseButton::Left, true); }, "key 272 1"},
    {[](InputSink& s) { s.mouseButton(MouseButton::Left, false); }, "key 272 0"},
    {[](InputSink& s) { s.mouseButton(MouseButton::Right, true); }, "key 273 1"},
    {[](InputSink& s) { s.mouseButton(MouseButton::Right, false); }, "key 273 0"},
    {[](InputSink& s) { s.mouseButton(MouseButton::Middle, true); }, "key 274 1"},
    {[](InputSink& s) { s.mouseButton(MouseButton::Middle, false); }, "key 274 0"},
    {[](InputSink& s) { s.typeCharacter(U'x'); }, "key 45 1, key 45 0"},
    {[](InputSink& s) { s.typeCharacter(U'X'); }, "key 42 1, key 45 1, key 45 0, key 42 0"},
    {[](InputSink& s) { s.typeCharacter(U'é'); }, ""},
    {[](InputSink& s) { SendKeys(s, u"Hi +(ab)"); },
     "key 42 1, key 35 1, key 35 0, key 42 0, key 23 1, key 23 0, key 57 1, key 57 0, "
     "key 42 1, key 30 1, key 30 0, key 48 1, key 48 0, key 42 0"},
    {[](InputSink& s) { SendKeys(s, u"{TAB}~{LEFT 2}^c"); },
     "key 15 1, key 15 0, key 28 1, key 28 0, key 105 1, key 105 0, key 105 1, key 105 0, "
     "key 29 1, key 46 1, key 46 0, key 29 0"},
};

TEST(UinputRecords, AKeyChangeIsTheChangeThenAReport) {
    const auto press = keyRecords(KEY_LEFTSHIFT, true);
    EXPECT_EQ(describe(press[0]), "key 42 1");
    EXPECT_EQ(describe(press[1]), "syn");
    EXPECT_EQ(press[0].time.tv_sec, 0);
    EXPECT_EQ(press[0].time.tv_usec, 0);
    EXPECT_EQ(describe(keyRecords(BTN_MIDDLE, false)[0]), "key 274 0");
}

const std::vector<uint16_t> kNone, kShift{KEY_LEFTSHIFT}, kAltGr{KEY_RIGHTALT};

// Layouts compiled from the system's xkeyboard-config data.
const XkbLayout& layout(const std::string& name, const std::string& variant = {}) {
    static std::map<std::pair<std::string, std::string>, XkbLayout> compiled;
    auto found = compiled.find({name, variant});
    if (found == compiled.end()) {
        auto made = XkbLayout::named(name, variant);
        EXPECT_TRUE(made) << name;
        found = compiled.emplace(std::pair{name, variant}, std::move(made.value())).first;
    }
    return found->second;
}

TEST(XkbLayoutKeys, ACharacterIsTheKeyThatGivesItOnTheLayoutOrNothing) {
    const struct {
        const char* layout;
        const char* variant;
        char32_t character;
        std::optional<LayoutKey> key;
    } rows[] = {
        {"us", "", U'a', LayoutKey{KEY_A, kNone}},
        {"us", "", U'A', LayoutKey{KEY_A, kShift}},
        {"us", "", U'!', LayoutKey{KEY_1, kShift}},
        {"us", "", U'~', LayoutKey{KEY_GRAVE, kShift}},
        {"us", "", U'\n', LayoutKey{KEY_ENTER, kNone}},
        {"us", "", U'\t', LayoutKey{KEY_TAB, kNone}},
        {"us", "", U'\b', LayoutKey{KEY_BACKSPACE, kNone}},
        {"us", "", U'é', std::nullopt},
        {"us", "", U'\x01', std::nullopt},
        {"de", "", U'z', LayoutKey{KEY_Y, kNone}},
        {"de", "", U'Y', LayoutKey{KEY_Z, kShift}},
        {"de", "", U'-', LayoutKey{KEY_SLASH, kNone}},
        {"de", "", U'ß', LayoutKey{KEY_MINUS, kNone}},
        {"de", "", U'€', LayoutKey{KEY_E, kAltGr}},
        {"de", "", U'<', LayoutKey{KEY_102ND, kNone}},
        {"de", "", U'é', std::nullopt},  // a dead key and a letter, not one key
        {"fr", "", U'a', LayoutKey{KEY_Q, kNone}},
        {"fr", "", U'é', LayoutKey{KEY_2, kNone}},
        {"fr", "", U'1', LayoutKey{KEY_1, kShift}},
        {"us", "dvorak", U'z', LayoutKey{KEY_SLASH, kNone}},
        {"us", "dvorak", U'o', LayoutKey{KEY_S, kNone}},
        {"ru,us", "", U'я', LayoutKey{KEY_Z, kNone}},
        {"ru,us", "", U'z', std::nullopt},  // on the second layout only
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.layout) + "(" + row.variant + ") U+" +
                     QString::number(uint(row.character), 16).toStdString());
        const auto key = layout(row.layout, row.variant).keyFor(row.character);
        EXPECT_EQ(key.has_value(), row.key.has_value());
        if (key && row.key) {
            EXPECT_EQ(key->code, row.key->code);
            EXPECT_EQ(key->modifiers, row.key->modifiers);
        }
    }
    for (char32_t c = 0x20; c < 0x7f; ++c) EXPECT_TRUE(layout("us").keyFor(c)) << char(c);
    EXPECT_EQ(layout("de").name(), "German");
    EXPECT_FALSE(XkbLayout::named("no-such-layout"));
}

// The X server's keymap, as setxkbmap leaves it, at its active layout.
TEST(XkbLayoutOfXServer, IsTheServersKeymap) {
    ASSERT_FALSE(xvfbDisplay().empty()) << xvfbProblem().toStdString();
    const QString display = QString::fromStdString(xvfbDisplay());
    const struct {
        const char* layouts;
        const char* name;
        uint16_t z;
    } rows[] = {{"de,us", "German", KEY_Y}, {"us", "English (US)", KEY_Z}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.layouts);
        ASSERT_EQ(QProcess::execute("setxkbmap", {"-display", display, row.layouts}), 0);
        const auto read = XkbLayout::ofXServer(xvfbDisplay().c_str());
        ASSERT_TRUE(read) << QString::fromStdU16String(read.error().reason).toStdString();
        EXPECT_EQ(read->name(), row.name);
        EXPECT_EQ(read->keyFor(U'z'), (LayoutKey{row.z, kNone}));
    }
    EXPECT_FALSE(XkbLayout::ofXServer(":65000"));
}

// The sink writes to a pipe here, so what it would hand the kernel can be read back.
class UinputOverPipe : public ::testing::Test {
  protected:
    UinputOverPipe() {
        EXPECT_EQ(pipe2(fds_, O_NONBLOCK), 0);
        sink = std::make_unique<UinputInput>(fds_[1], layout("us"));
    }
    ~UinputOverPipe() override {
        sink.reset();
        close(fds_[0]);
    }

    // Everything written so far.
    std::string written() { return drain(fds_[0]); }

    int fds_[2];
    std::unique_ptr<UinputInput> sink;
};

TEST_F(UinputOverPipe, EveryEventIsOneChangeAndOneReport) {
    sink->key(16, true);
    input_event records[3];
    EXPECT_EQ(read(fds_[0], records, sizeof records), ssize_t(2 * sizeof(input_event)));
    EXPECT_EQ(describe(records[0]), "key 42 1");
    EXPECT_EQ(describe(records[1]), "syn");
}

TEST_F(UinputOverPipe, KeysButtonsAndCharacters) {
    for (const auto& row : kInputRows) {
        row.act(*sink);
        EXPECT_EQ(written(), row.records);
    }
}

TEST_F(UinputOverPipe, ShiftHeldAlreadyIsNotPressedAgain) {
    sink->key(16, true);
    sink->typeCharacter(U'X');
    sink->key(16, false);
    EXPECT_EQ(written(), "key 42 1, key 45 1, key 45 0, key 42 0");
}

// Letters and digits held, and characters typed, are the keys that give them on the layout: on a
// German one Z is where a US keyboard has Y and € is AltGr with E; on a French one A is where a
// US keyboard has Q, and the digit 1 is the key that gives it with Shift.
TEST(UinputOnALayout, LettersDigitsAndCharactersAreTheLayoutsKeys) {
    const struct {
        const char* layout;
        void (*act)(InputSink&);
        const char* records;
    } rows[] = {
        {"de",
         [](InputSink& s) {
             s.key('Z', true);
             s.key('Z', false);
             s.typeCharacter(U'€');
         },
         "key 21 1, key 21 0, key 100 1, key 18 1, key 18 0, key 100 0"},
        {"fr",
         [](InputSink& s) {
             s.key('A', true);
             s.key('A', false);
             s.key('1', true);
             s.key('1', false);
         },
         "key 16 1, key 16 0, key 2 1, key 2 0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.layout);
        int fds[2];
        ASSERT_EQ(pipe2(fds, O_NONBLOCK), 0);
        {
            UinputInput sink(fds[1], layout(row.layout));
            row.act(sink);
            EXPECT_EQ(drain(fds[0]), row.records);
        }
        close(fds[0]);
    }
}

TEST_F(UinputOverPipe, ACharacterTheLayoutLacksIsToldWithTheLayoutsName) {
    std::vector<std::u16string> told;
    sink->setProblemReporter([&told](const std::u16string& problem) { told.push_back(problem); });
    SendKeys(*sink, u"€x");
    EXPECT_EQ(written(), "key 45 1, key 45 0");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NE(told[0].find(u"\"€\": no key of the English (US) keyboard layout"),
              std::u16string::npos);
}

// The key goes out all the same: a program reading key codes gets it.
TEST_F(UinputOverPipe, AKeyTheLayoutReadsAsAnotherOrLinuxLacksIsToldOnce) {
    if (std::ranges::count(layout("us").keysymsOf(KEY_F17), XKB_KEY_F17))
        GTEST_SKIP() << "this xkeyboard-config reads the F17 key as F17 (most read XF86Launch8)";
    std::vector<std::u16string> told;
    sink->setProblemReporter([&told](const std::u16string& problem) { told.push_back(problem); });
    for (const int key : {128, 179, 43, 128, 112, 43}) {
        sink->key(key, true);
        sink->key(key, false);
    }
    EXPECT_EQ(
        written(),
        "key 187 1, key 187 0, key 164 1, key 164 0, key 187 1, key 187 0, key 59 1, key 59 0");
    ASSERT_EQ(told.size(), 2u);
    EXPECT_TRUE(told[0].starts_with(
        u"uinput presses {F17} (virtual-key code 128) as the Linux key 187, which the English "
        u"(US) keyboard layout does not read as F17"))
        << QString::fromStdU16String(told[0]).toStdString();
    EXPECT_EQ(told[1],
              u"uinput cannot press vbKeyExecute (virtual-key code 43): Linux has no such key");
}

TEST_F(UinputOverPipe, ReleasesWhatIsStillHeldWhenDestroyed) {
    sink->key(17, true);
    sink->mouseButton(MouseButton::Middle, true);
    sink->key(65, true);
    sink->key(65, false);
    written();
    sink.reset();
    EXPECT_EQ(written(), "key 29 0, key 274 0");
}

// Where the kernel has uinput (scripts/vm-run provides one), the records reach an event node.
class UinputDevice : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access("/dev/uinput", W_OK) != 0)
            GTEST_SKIP() << "/dev/uinput is not writable here (" << strerror(errno)
                         << "); scripts/vm-run runs this test against a real one";
    }

    static QString devices() {
        QFile list("/proc/bus/input/devices");
        return list.open(QIODevice::ReadOnly) ? QString(list.readAll()) : QString();
    }

    // The event node the kernel made for the device, once it is there (at most 5 s).
    static QString eventNode() {
        QElapsedTimer timer;
        timer.start();
        do {
            for (const QString& node : QDir("/sys/class/input").entryList({"event*"})) {
                QFile name("/sys/class/input/" + node + "/device/name");
                if (name.open(QIODevice::ReadOnly) &&
                    name.readAll().trimmed() == "Velnor virtual input" &&
                    QFile::exists("/dev/input/" + node))
                    return "/dev/input/" + node;
            }
            QThread::msleep(10);
        } while (timer.elapsed() < 5000);
        return {};
    }
};

TEST_F(UinputDevice, OneDeviceCarriesEveryEventToItsNodeAndGoesWithTheSink) {
    auto opened = openUinputInput(layout("us"));
    ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
    const QString node = eventNode();
    ASSERT_FALSE(node.isEmpty());
    const int reader = open(node.toLocal8Bit(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0) << strerror(errno);

    for (const auto& row : kInputRows) {
        row.act(**opened);
        EXPECT_EQ(drain(reader), row.records);
    }
    EXPECT_EQ(devices().count("Name=\"Velnor virtual input\""), 1);
    EXPECT_EQ(eventNode(), node);

    opened->reset();
    close(reader);
    EXPECT_EQ(devices().count("Name=\"Velnor virtual input\""), 0);
}

TEST_F(UinputDevice, ATerminationSignalReleasesWhatAnotherProcessHolds) {
    QProcess helper;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELNOR_INPUT", "uinput");
    helper.setProcessEnvironment(environment);
    helper.start(HOLD_KEY_HELPER);
    ASSERT_TRUE(helper.waitForReadyRead(10000)) << helper.readAllStandardError().toStdString();
    EXPECT_EQ(helper.readAllStandardOutput().trimmed().toStdString(), "holding");
    const QString node = eventNode();
    ASSERT_FALSE(node.isEmpty());
    const int reader = open(node.toLocal8Bit(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(reader, 0) << strerror(errno);
    unsigned char state[KEY_CNT / 8 + 1] = {};
    ASSERT_GE(ioctl(reader, EVIOCGKEY(sizeof state), state), 0) << strerror(errno);
    QStringList held;
    for (unsigned code = 0; code < KEY_CNT; ++code)
        if ((state[code / 8] >> (code % 8)) & 1) held.append(QString::number(code));
    EXPECT_EQ(held.join(", ").toStdString(), "42, 272") << "Shift and the left button held";

    // The helper removes its device right after the releases, and a node whose device is gone
    // reads nothing more. Run only when this process waits, the helper cannot get there before
    // each release has been read.
    const sched_param idle{};
    ASSERT_EQ(sched_setscheduler(pid_t(helper.processId()), SCHED_IDLE, &idle), 0)
        << strerror(errno);
    kill(pid_t(helper.processId()), SIGTERM);
    QStringList released;
    input_event record;
    for (pollfd waiting{reader, POLLIN, 0};
         poll(&waiting, 1, 10000) > 0 && read(reader, &record, sizeof record) == sizeof record;)
        released.append(describe(record));
    close(reader);
    // Each release in a report of its own; the kernel's own release of the keys of a device that
    // goes away would come in one report, marked 1.
    EXPECT_EQ(released.join(", ").toStdString(), "key 42 0, syn, key 272 0, syn");
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(helper.exitCode(), 0);
    EXPECT_EQ(devices().count("Name=\"Velnor virtual input\""), 0);
}

// What a compositor on the same layout reads from the device: each key press the kernel delivers,
// fed through an xkb_state as a compositor feeds it, gives back the text asked for.
TEST_F(UinputDevice, TextReadBackThroughTheLayoutIsTheTextAskedFor) {
    const struct {
        const char* layout;
        std::u16string text;
    } rows[] = {
        {"de", u"zy-ß€ Hallo, Welt! <>|@"},
        {"fr", u"azerty àéè€ 1234 !?"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.layout);
        auto opened = openUinputInput(layout(row.layout));
        ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
        const QString node = eventNode();
        ASSERT_FALSE(node.isEmpty());
        const int reader = open(node.toLocal8Bit(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0) << strerror(errno);
        xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        const xkb_rule_names names = {nullptr, nullptr, row.layout, nullptr, nullptr};
        xkb_keymap* keymap =
            xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
        xkb_state* state = xkb_state_new(keymap);
        std::string typed;
        // A character at a time, read before the next, so that no record waits long enough in
        // the node's buffer to be dropped.
        for (const char16_t character : row.text) {
            SendKeys(**opened, std::u16string(1, character));
            input_event record;
            while (read(reader, &record, sizeof record) == sizeof record) {
                if (record.type != EV_KEY) continue;
                const xkb_keycode_t code = record.code + 8;
                if (record.value == 1) {
                    char utf8[8] = {};
                    xkb_state_key_get_utf8(state, code, utf8, sizeof utf8);
                    typed += utf8;
                }
                xkb_state_update_key(state, code, record.value ? XKB_KEY_DOWN : XKB_KEY_UP);
            }
        }
        EXPECT_EQ(QString::fromStdString(typed), QString::fromStdU16String(row.text));
        xkb_state_unref(state);
        xkb_keymap_unref(keymap);
        xkb_context_unref(context);
        opened->reset();
        close(reader);
    }
}

TEST(UinputOpen, SaysWhyItCannotBeCreated) {
    const auto missing = openUinputInput(layout("us"), "/nonexistent/uinput");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, ProblemKind::Missing);
    EXPECT_EQ(missing.error().reason,
              u"uinput cannot inject input: /nonexistent/uinput does not exist (load the module: "
              u"sudo modprobe uinput)");
    const auto notDevice = openUinputInput(layout("us"), "/dev/null");
    ASSERT_FALSE(notDevice);
    EXPECT_EQ(notDevice.error().kind, ProblemKind::Other);
    const QString reason = QString::fromStdU16String(notDevice.error().reason);
    EXPECT_TRUE(
        reason.startsWith("uinput cannot inject input: /dev/null refused to create a device ("))
        << reason.toStdString();
}

}  // namespace
}  // namespace velnor
