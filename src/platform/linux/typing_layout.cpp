#include "platform/linux/typing_layout.h"

namespace velnor {

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

}  // namespace velnor
