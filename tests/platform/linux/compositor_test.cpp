// A real compositor end to end, inside the virtual machine of scripts/vm-run: sway on its headless
// and libinput backends, as a user of its own with seatd and udev, and wev as the focused client.
// Velnor reads sway's German keymap, types through uinput, and wev must receive the very text.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <functional>

#include "core/send_keys.h"
#include "platform/linux/typing_layout.h"
#include "support/qt_print.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace velnor {
namespace {

// Polls `done` for up to 20 s, an emulated machine's pace.
template <class Done>
bool waitFor(Done done) {
    const QDeadlineTimer deadline(20000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// What wev was told each key press typed, in order; modifier keys type nothing. wev asks for a
// keyboard each time the seat's capabilities change, and each of its keyboards hears every key:
// the first one's are read.
QString typedIn(const QString& wevOutput) {
    static const QRegularExpression press(
        R"re(\[(\d+): *wl_keyboard\] key: [^\n]*state: 1 \(pressed\)\n *sym: [^\n]*, utf8: '([^\n]*)'\n)re");
    QString typed;
    QString keyboard;
    for (const auto& match : press.globalMatch(wevOutput)) {
        if (keyboard.isEmpty()) keyboard = match.captured(1);
        if (match.captured(1) == keyboard) typed += match.captured(2);
    }
    return typed;
}

// A program of the compositor's session, run as the user `nobody`.
void startAsUser(QProcess& process, const QStringList& command) {
    process.start("setpriv",
                  QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + command);
}

TEST(CompositorEndToEnd, WevReceivesTheTextTypedOnSwaysGermanKeymap) {
    for (const char* program : {"sway", "wev", "seatd", "setpriv", "stdbuf"})
        if (QStandardPaths::findExecutable(program).isEmpty())
            GTEST_SKIP() << program << " is not installed";
    if (geteuid() != 0 || access("/dev/uinput", W_OK) != 0 ||
        !QFile::exists("/lib/systemd/systemd-udevd"))
        GTEST_SKIP() << "needs the virtual machine of scripts/vm-run (root, /dev/uinput, udev)";

    // udev tells libinput of new devices, ours included; systemd's tools see the guest's chroot.
    const ScopedEnv outsideChroot("SYSTEMD_IGNORE_CHROOT", "1");
    ASSERT_EQ(QProcess::execute("/lib/systemd/systemd-udevd", {"--daemon"}), 0);
    QProcess::execute("udevadm", {"trigger", "--action=add"});
    QProcess::execute("udevadm", {"settle"});

    const test::TempDir runtime;
    ASSERT_EQ(chown(runtime.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(runtime.path().c_str(), 0700), 0);
    const QString config = QString::fromStdString((runtime.path() / "sway.cfg").string());
    {
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("input * xkb_layout de\nxwayland disable\n");
    }
    const ScopedEnv runtimeDir("XDG_RUNTIME_DIR", runtime.path().c_str());
    const ScopedEnv backends("WLR_BACKENDS", "headless,libinput");
    const ScopedEnv renderer("WLR_RENDERER", "pixman");
    const ScopedEnv noDevices("WLR_LIBINPUT_NO_DEVICES", "1");
    const ScopedEnv seat("LIBSEAT_BACKEND", "seatd");
    const ScopedEnv home("HOME", runtime.path().c_str());

    QProcess seatd, sway, wev;
    seatd.start("seatd", {"-u", "nobody", "-g", "nogroup"});
    ASSERT_TRUE(waitFor([] { return QFile::exists("/run/seatd.sock"); })) << "seatd did not start";
    startAsUser(sway, {"sway", "-c", config});
    QString display;
    ASSERT_TRUE(waitFor([&] {
        const QStringList sockets =
            QDir(runtime.path().c_str()).entryList({"wayland-*"}, QDir::System);
        for (const QString& socket : sockets)
            if (!socket.endsWith(".lock")) display = socket;
        return !display.isEmpty();
    })) << "sway did not start: "
        << sway.readAllStandardError().toStdString();
    const ScopedEnv wayland("WAYLAND_DISPLAY", display.toUtf8());
    QString received;
    // Line by line, so that what it prints arrives as it happens.
    wev.setProcessChannelMode(QProcess::MergedChannels);
    startAsUser(wev, {"stdbuf", "-oL", "wev"});
    // Waits until what wev has printed passes `done`.
    const auto wevPrinted = [&](const std::function<bool()>& done) {
        return waitFor([&] {
            wev.waitForReadyRead(100);
            received += wev.readAllStandardOutput();
            return done();
        });
    };
    ASSERT_TRUE(wevPrinted([&] { return received.contains("activated"); }))
        << "wev's window never had the focus: " << received.toStdString();

    // Where the compositor has no keyboard yet, its keymap comes with ours.
    QStringList told;
    auto typing = typingLayout(told);
    ASSERT_TRUE(typing);
    auto sink = openUinputInput(std::move(typing->layout));
    ASSERT_TRUE(sink) << QString::fromStdU16String(sink.error().reason).toStdString();
    (*sink)->setProblemReporter(
        [&told](const std::u16string& line) { told << QString::fromStdU16String(line); });
    ASSERT_TRUE(typing->feed);
    (*sink)->follow(std::move(typing->feed));
    // Typing begins once sway has taken the device on and given wev its keyboard.
    const QStringList ipc = QDir(runtime.path().c_str()).entryList({"sway-ipc.*"}, QDir::System);
    ASSERT_FALSE(ipc.isEmpty());
    const ScopedEnv swaySocket(
        "SWAYSOCK",
        QString::fromStdString((runtime.path() / ipc[0].toStdString()).string()).toUtf8());
    ASSERT_TRUE(waitFor([] {
        QProcess inputs;
        inputs.start("swaymsg", {"-t", "get_inputs"});
        inputs.waitForFinished();
        return inputs.readAllStandardOutput().contains("Velnor virtual input");
    })) << "sway never took the device on";
    ASSERT_TRUE(wevPrinted([&] { return received.contains("wl_keyboard] enter"); }))
        << "wev never had the keyboard's focus: " << received.toStdString();
    ASSERT_TRUE(waitFor([&] { return told.join("\n").contains("German keyboard layout"); }))
        << told.join("\n").toStdString();

    const std::u16string text = u"zy-ß€ Hallo, Welt! <>|@";
    SendKeys(**sink, text);
    EXPECT_TRUE(wevPrinted([&] { return typedIn(received).size() >= qsizetype(text.size()); }));
    EXPECT_EQ(typedIn(received), QString::fromStdU16String(text)) << received.toStdString();

    sink->reset();
    for (QProcess* process : {&wev, &sway, &seatd}) {
        process->terminate();
        process->waitForFinished(5000);
    }
}

}  // namespace
}  // namespace velnor
