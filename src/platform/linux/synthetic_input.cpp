#include "platform/linux/synthetic_input.h"

#include <QDBusConnection>
#include <QStringList>

#include "platform/linux/typing_layout.h"
#include "platform/portal/portal_input.h"
#include "platform/uinput/uinput_input.h"
#include "platform/x11/xtest_input.h"

namespace velnor {
namespace {

// Opens a backend; what the log should hear of a backend that opened goes to `told`.
using Opener = Result<std::unique_ptr<InputSink>> (*)(EventLoop&, QStringList& told);

struct Candidate {
    const char16_t* name;
    Opener open;
};

const Candidate kX11 = {u"x11", [](EventLoop& loop, QStringList&) { return openXTestInput(loop); }};
const Candidate kUinput = {u"uinput",
                           [](EventLoop&, QStringList& told) -> Result<std::unique_ptr<InputSink>> {
                               auto typing = typingLayout(told);
                               if (!typing) return std::unexpected(typing.error());
                               auto opened = openUinputInput(std::move(typing->layout));
                               if (!opened) return std::unexpected(opened.error());
                               if (typing->feed) (*opened)->follow(std::move(typing->feed));
                               return std::move(*opened);
                           }};
const Candidate kPortal = {u"portal", [](EventLoop&, QStringList& told) {
                               return openPortalInput(QDBusConnection::sessionBus(), told);
                           }};

}  // namespace

InputBackend openInputBackend(EventLoop& loop) {
    QString choice = qEnvironmentVariable("VELNOR_INPUT", "auto");
    QStringList problems;
    if (!QStringList{"auto", "x11", "uinput", "portal", "none"}.contains(choice)) {
        problems << QString(
                        "VELNOR_INPUT=%1 is not one of auto, x11, uinput, portal, none; choosing "
                        "automatically")
                        .arg(choice);
        choice = "auto";
    }
    if (choice == "none") {
        return {std::make_unique<NullInputSink>(), u"none",
                u"Synthetic input is off (VELNOR_INPUT=none): key and mouse events are dropped"};
    }

    // XTest reaches only X clients, so a Wayland session prefers uinput, which reaches all, and
    // then the desktop's portal, which asks the user first; only a Wayland desktop offers that.
    std::vector<Candidate> candidates;
    if (choice == "x11") candidates = {kX11};
    if (choice == "uinput") candidates = {kUinput};
    if (choice == "portal") candidates = {kPortal};
    if (choice == "auto") {
        if (waylandSession())
            candidates = {kUinput, kPortal, kX11};
        else if (qEnvironmentVariableIsSet("DISPLAY"))
            candidates = {kX11, kUinput};
        else
            candidates = {kUinput, kX11};
    }
    for (const Candidate& candidate : candidates) {
        QStringList told;
        auto opened = candidate.open(loop, told);
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
