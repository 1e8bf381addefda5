#include "platform/linux/synthetic_input.h"

#include <QStringList>

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

// The keyboard layout uinput types on: the one VELNOR_XKB_LAYOUT names, else the X server's (in a
// Wayland session XWayland's, which follows the compositor's), else US English. Where it came from
// goes to `told`.
Result<XkbLayout> typingLayout(QStringList& told) {
    const auto typesOn = [&told](const XkbLayout& layout, const QString& source) {
        told << QString("uinput types on the %1 keyboard layout (%2)")
                    .arg(QString::fromStdString(layout.name()), source);
    };
    if (const QString named = qEnvironmentVariable("VELNOR_XKB_LAYOUT"); !named.isEmpty()) {
        auto layout = XkbLayout::named(named.toStdString(),
                                       qEnvironmentVariable("VELNOR_XKB_VARIANT").toStdString());
        if (!layout)
            return std::unexpected(Problem{
                layout.error().kind,
                u"uinput cannot inject input: " + layout.error().reason + u" (VELNOR_XKB_LAYOUT)"});
        typesOn(*layout, "VELNOR_XKB_LAYOUT");
        return layout;
    }
    if (qEnvironmentVariableIsSet("DISPLAY")) {
        auto read = XkbLayout::ofXServer();
        if (read) {
            typesOn(*read, "the X server's");
            return read;
        }
        told << QString::fromStdU16String(read.error().reason);
    }
    auto us = XkbLayout::named("us");
    if (us) typesOn(*us, "no other was found; VELNOR_XKB_LAYOUT names one");
    return us;
}

const Candidate kX11 = {u"x11", [](EventLoop& loop, QStringList&) { return openXTestInput(loop); }};
const Candidate kUinput = {u"uinput",
                           [](EventLoop&, QStringList& told) -> Result<std::unique_ptr<InputSink>> {
                               auto layout = typingLayout(told);
                               if (!layout) return std::unexpected(layout.error());
                               return openUinputInput(std::move(*layout));
                           }};

bool waylandSession() {
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

}  // namespace

InputBackend openInputBackend(EventLoop& loop) {
    QString choice = qEnvironmentVariable("VELNOR_INPUT", "auto");
    QStringList problems;
    if (choice != "auto" && choice != "x11" && choice != "uinput" && choice != "none") {
        problems << QString(
                        "VELNOR_INPUT=%1 is not one of auto, x11, uinput, none; choosing "
                        "automatically")
                        .arg(choice);
        choice = "auto";
    }
    if (choice == "none") {
        return {std::make_unique<NullInputSink>(), u"none",
                u"Synthetic input is off (VELNOR_INPUT=none): key and mouse events are dropped"};
    }

    // XTest reaches only X clients, so a Wayland session prefers uinput, which reaches all.
    std::vector<Candidate> candidates;
    if (choice == "x11") candidates = {kX11};
    if (choice == "uinput") candidates = {kUinput};
    if (choice == "auto") {
        if (qEnvironmentVariableIsSet("DISPLAY") && !waylandSession())
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
