#include "platform/uinput/uinput_input.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QThread>

namespace velnor {
namespace {

QString describe(const input_event& record) {
    if (record.type == EV_SYN && record.code == SYN_REPORT && record.value == 0) return "syn";
    if (record.type == EV_KEY) return QString("key %1 %2").arg(record.code).arg(record.value);
    return QString("type %1 code %2 value %3").arg(record.type).arg(record.code).arg(record.value);
}

TEST(UinputRecords, AKeyChangeIsTheChangeThenAReport) {
    const auto press = keyRecords(KEY_LEFTSHIFT, true);
    EXPECT_EQ(describe(press[0]), "key 42 1");
    EXPECT_EQ(describe(press[1]), "syn");
    EXPECT_EQ(press[0].time.tv_sec, 0);
    EXPECT_EQ(press[0].time.tv_usec, 0);
    EXPECT_EQ(describe(keyRecords(BTN_MIDDLE, false)[0]), "key 274 0");
}

TEST(UinputRecords, UsLayoutPlacesEveryPrintableAsciiCharacter) {
    for (char32_t c = 0x20; c < 0x7f; ++c) EXPECT_TRUE(usLayoutKey(c)) << char(c);
    const struct {
        char32_t character;
        uint16_t code;
        bool shift;
    } rows[] = {
        {U'a', KEY_A, false},        {U'A', KEY_A, true},          {U'1', KEY_1, false},
        {U'!', KEY_1, true},         {U')', KEY_0, true},          {U'~', KEY_GRAVE, true},
        {U'|', KEY_BACKSLASH, true}, {U'"', KEY_APOSTROPHE, true}, {U'?', KEY_SLASH, true},
        {U' ', KEY_SPACE, false},    {U'\n', KEY_ENTER, false},    {U'\t', KEY_TAB, false},
    };
    for (const auto& row : rows) {
        const auto key = usLayoutKey(row.character);
        ASSERT_TRUE(key) << char(row.character);
        EXPECT_EQ(key->code, row.code) << char(row.character);
        EXPECT_EQ(key->shift, row.shift) << char(row.character);
    }
    for (const char32_t c : {U'é', U'€', U'\x01', U'\x7f'}) EXPECT_FALSE(usLayoutKey(c));
}

// The sink writes to a pipe here, so what it would hand the kernel can be read back.
class UinputOverPipe : public ::testing::Test {
  protected:
    UinputOverPipe() {
        EXPECT_EQ(pipe2(fds_, O_NONBLOCK), 0);
        sink = std::make_unique<UinputInput>(fds_[1]);
    }
    ~UinputOverPipe() override {
        sink.reset();
        close(fds_[0]);
    }

    // Everything written so far, one line per record, reports left out.
    std::string written() {
        QStringList lines;
        input_event record;
        while (read(fds_[0], &record, sizeof record) == sizeof record) {
            if (describe(record) != "syn") lines.append(describe(record));
        }
        return lines.join(", ").toStdString();
    }

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
    const struct {
        void (*act)(InputSink&);
        const char* records;
    } rows[] = {
        {[](InputSink& s) { s.key(65, true); }, "key 30 1"},
        {[](InputSink& s) { s.key(65, false); }, "key 30 0"},
        {[](InputSink& s) { s.key(124, true); }, "key 183 1"},  // F13
        {[](InputSink& s) { s.key(43, true); }, ""},            // Execute: no Linux key
        {[](InputSink& s) { s.key(1, true); }, ""},             // not a key
        {[](InputSink& s) { s.mouseButton(MouseButton::Left, true); }, "key 272 1"},
        {[](InputSink& s) { s.mouseButton(MouseButton::Right, false); }, "key 273 0"},
        {[](InputSink& s) { s.typeCharacter(U'x'); }, "key 45 1, key 45 0"},
        {[](InputSink& s) { s.typeCharacter(U'X'); }, "key 42 1, key 45 1, key 45 0, key 42 0"},
        {[](InputSink& s) { s.typeCharacter(U'é'); }, ""},
    };
    for (const auto& row : rows) {
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

TEST_F(UinputDevice, DeliversItsEventsToTheKernelAndGoesWithTheSink) {
    auto opened = openUinputInput();
    ASSERT_TRUE(opened) << opened.error().toStdString();
    EXPECT_EQ(devices().count("Name=\"Velnor virtual input\""), 1);
    const QString node = eventNode();
    ASSERT_FALSE(node.isEmpty());
    const int reader = open(node.toLocal8Bit(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0) << strerror(errno);

    (*opened)->key(16, true);
    (*opened)->typeCharacter(U'a');
    (*opened)->mouseButton(MouseButton::Left, true);
    QStringList received;
    input_event record;
    while (read(reader, &record, sizeof record) == sizeof record) {
        if (describe(record) != "syn") received.append(describe(record));
    }
    EXPECT_EQ(received.join(", ").toStdString(), "key 42 1, key 30 1, key 30 0, key 272 1");

    opened->reset();
    close(reader);
    EXPECT_EQ(devices().count("Name=\"Velnor virtual input\""), 0);
}

TEST(UinputOpen, SaysWhyItCannotBeCreated) {
    const auto missing = openUinputInput("/nonexistent/uinput");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().toStdString(),
              "uinput cannot inject input: /nonexistent/uinput does not exist (load the module: "
              "sudo modprobe uinput)");
    const auto notDevice = openUinputInput("/dev/null");
    ASSERT_FALSE(notDevice);
    EXPECT_TRUE(
        notDevice.error().startsWith("uinput cannot inject input: /dev/null refused to "
                                     "create a device ("))
        << notDevice.error().toStdString();
}

}  // namespace
}  // namespace velnor
