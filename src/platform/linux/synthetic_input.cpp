#include "platform/linux/synthetic_input.h"

#include <QDBusConnection>
#include <QStringList>

#include "platform/linux/typing_layout.h"
#include "platform/portal/portal_input.h"
#include "platform/uinput/uinput_input.h"
#include "platform/x11/xtest_input.h"

namespace velnor {
namespace {

// Opens a backend, taking over what was readied early for it; what the log should hear of a
// backend that opened goes to `told`.
using Opener = Result<std::unique_ptr<InputSink>> (*)(EventLoop&, EarlyInput&, QStringList& told);

struct Candidate {
    const char16_t* name;
    Opener open;
};

const Candidate kX11 = {
    u"x11",
    [](EventLoop& loop, EarlyInput& early, QStringList&) -> Result<std::unique_ptr<InputSink>> {
        auto connection = early.xtest ? std::move(*early.xtest) : prepareXTestInput();
        if (!connection) return std::unexpected(connection.error());
        return openXTestInput(loop, std::move(*connection));
    }};
const Candidate kUinput = {
    u"uinput",
    [](EventLoop&, EarlyInput&, QStringList& told) -> Result<std::unique_ptr<InputSink>> {
        auto typing = typingLayout(told);
        if (!typing) return std::unexpected(typing.error());
        auto opened = openUinputInput(std::move(typing->layout));
        if (!opened) return std::unexpected(opened.error());
        if (typing->feed) (*opened)->follow(std::move(typing->feed));
        return std::move(*opened);
    }};
const Candidate kPortal = {u"portal", [](EventLoop&, EarlyInput&, QStringList& told) {
                               return openPortalInput(QDBusConnection::sessionBus(), told);
                           }};

// VELNOR_INPUT; a value it cannot be is told in `problems` and taken as auto.
QString inputChoice(QStringList& problems) {
    const QString choice = qEnvironmentVariable("VELNOR_INPUT", "auto");
    if (QStringList{"auto", "x11", "uinput", "portal", "none"}.contains(choice)) return choice;
    problems << QString(
                    "VELNOR_INPUT=%1 is not one of auto, x11, uinput, portal, none; choosing "
                    "automatically")
                    .arg(choice);
    return "auto";
}

// The backends to try for `choice`, in order. XTest reaches only X clients, so a Wayland session
// prefers uinput, which reaches all, and then the desktop's portal, which asks the user first; only
// a Wayland desktop offers that.
std::vector<Candidate> candidatesFor(const QString& choice) {
    if (choice == "x11") return {kX11};
    if (choice == "uinput") return {kUinput};
    if (choice == "portal") return {kPortal};
    if (choice == "none") return {};
    if (waylandSession()) return {kUinput, kPortal, kX11};
    if (qEnvironmentVariableIsSet("DISPLAY")) return {kX11, kUinput};
    return {kUinput, kX11};
}

}  // namespace

EarlyInput prepareInputBackend() {
    QStringList toldWhenOpened;
    const std::vector<Candidate> candidates = candidatesFor(inputChoice(toldWhenOpened));
    if (candidates.empty() || candidates.front().name != kX11.name) return {};
    return {prepareXTestInput()};
}

InputBackend openInputBackend(EventLoop& loop, EarlyInput early) {
    QStringList problems;
    const QString choice = inputChoice(problems);
    if (choice == "none") {
        return {std::make_unique<NullInputSink>(), u"none",
                u"Synthetic input is off (VELNOR_INPUT=none): key and mouse events are dropped"};
    }
    for (const Candidate& candidate : candidatesFor(choice)) {
        QStringList told;
        auto opened = candidate.open(loop, early, told);
        if (!opened) {
            problems << QString::fromStdU16String(opened.error().reason);
            continue;
        }
        problems << told;
        if (!problems.isEmpty() && candidate.name == kX11.name && waylandSession())
            problems << "using XTest, which reaches X11 (XWayland) windows only";
        return {std::move(*opened), candidate.name, problems.join("; ").toStdU16String()};
    }
    problems << "key and mouse events are dropped";
    return {std::make_unique<NullInputSink>(), u"none", problems.join("; ").toStdU16String()};
}

}  // namespace velnor
