// One key press and release through the desktop's RemoteDesktop portal, until the portal has
// received both, against the same through uinput, timed alternately in the same rounds. The portal
// is the tests' fake on a private session bus, served from a thread of its own as the desktop's
// process would serve it; what a real desktop does next (its dialog aside, typing the keysym) is
// left out. uinput writes into a pipe read back at once, standing for /dev/uinput where there is
// none: the kernel's part of a real device is left out.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QTest>
#include <array>
#include <memory>
#include <stdexcept>

#include "platform/portal/portal_input.h"
#include "platform/uinput/uinput_input.h"
#include "samples.h"
#include "support/fake_portal.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"

namespace {

constexpr int kLetterA = 65;

// The portal sink on its own connection to the private bus, its session started.
std::unique_ptr<velnor::InputSink> startedPortal(const QDBusConnection& bus) {
    QStringList told;
    auto opened = velnor::openPortalInput(bus, told);
    if (!opened)
        throw std::runtime_error(QString::fromStdU16String(opened.error().reason).toStdString());
    bool started = false;
    (*opened)->setProblemReporter([&](const std::u16string& line) {
        started = started || line.starts_with(u"The desktop allows input");
    });
    if (!QTest::qWaitFor([&] { return started; }))
        throw std::runtime_error("the fake portal did not start a session");
    (*opened)->setProblemReporter({});
    return std::move(*opened);
}

void BM_KeyPressReleaseAgainstUinput(benchmark::State& state) {
    const QString address = velnor::test::sessionBusAddress();
    if (address.isEmpty()) return state.SkipWithError("dbus-daemon did not start");
    const velnor::test::TempDir config;  // where the fake's token is kept
    qputenv("XDG_CONFIG_HOME", config.path().c_str());
    velnor::test::FakePortal portal(address, 2);
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("bench-portal"));
    auto ours = startedPortal(bus);

    int device[2];
    if (pipe2(device, O_CLOEXEC) != 0) return state.SkipWithError("no pipe");
    auto layout = velnor::XkbLayout::named("us");
    if (!layout) return state.SkipWithError("no US keyboard layout (package xkb-data)");
    velnor::UinputInput uinput(device[1], std::move(*layout));

    qsizetype received = 0;
    velnor::bench::alternate(
        state,
        [&] {
            const double micros = velnor::bench::timeMicros([&] {
                ours->key(kLetterA, true);
                ours->key(kLetterA, false);
                received += 2;
                if (!portal.awaitEvents(received)) state.SkipWithError("events lost");
            });
            QCoreApplication::processEvents();  // the portal's replies, outside the sample
            return micros;
        },
        [&] {
            uinput.key(kLetterA, true);
            uinput.key(kLetterA, false);
            std::array<input_event, 4> records;
            if (read(device[0], records.data(), sizeof records) != ssize_t(sizeof records))
                state.SkipWithError("records lost");
        },
        "uinput_");
    close(device[0]);
    ours.reset();
    QDBusConnection::disconnectFromBus(bus.name());
}
BENCHMARK(BM_KeyPressReleaseAgainstUinput)->Apply(velnor::bench::sampled<4000>);

}  // namespace
