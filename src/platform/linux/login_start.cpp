#include "platform/linux/login_start.h"

#include <QCoreApplication>
#include <QString>
#include <filesystem>

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
    if (xdg::writeAutostart(xdg::autostartFile(),
                            QCoreApplication::applicationFilePath().toStdString(), words))
        return {};
    return std::unexpected(Problem{ProblemKind::Other, place() + u" cannot be written"});
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
