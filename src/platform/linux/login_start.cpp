#include "platform/linux/login_start.h"

#include <QCoreApplication>
#include <QString>
#include <filesystem>

#include "platform/posix/serial_devices.h"
#include "platform/xdg/autostart.h"

namespace velnor {

bool XdgLoginStart::enabled() {
    return std::filesystem::exists(xdg::autostartFile());
}

std::u16string XdgLoginStart::place() {
    return QString::fromStdString(xdg::autostartFile().string()).toStdU16String();
}

Result<> XdgLoginStart::enable(const std::vector<std::u16string>& arguments) {
    std::vector<std::string> words;
    for (const std::u16string& argument : arguments)
        words.push_back(QString::fromStdU16String(argument).toStdString());
    // The devices VELNOR_COMn names now are those of this configuration: a session's start would
    // not have them otherwise.
    const auto written = xdg::writeAutostart(xdg::autostartFile(),
                                             QCoreApplication::applicationFilePath().toStdString(),
                                             words, posix::comPortVariables());
    if (written) return {};
    return std::unexpected(
        Problem{ProblemKind::Other, QString::fromStdString(written.error()).toStdU16String()});
}

Result<> XdgLoginStart::disable() {
    std::error_code error;
    std::filesystem::remove(xdg::autostartFile(), error);
    if (!error) return {};
    return std::unexpected(Problem{
        error == std::errc::permission_denied ? ProblemKind::Permission : ProblemKind::Other,
        place() + u" cannot be removed: " +
            QString::fromLocal8Bit(error.message()).toStdU16String()});
}

}  // namespace velnor
