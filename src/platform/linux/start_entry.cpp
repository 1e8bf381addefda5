#include "platform/linux/start_entry.h"

#include <QCoreApplication>
#include <QString>
#include <filesystem>

#include "platform/posix/serial_devices.h"

namespace velnor {

bool XdgStartEntry::enabled() {
    return std::filesystem::exists(xdg::entryFile(entry_));
}

std::u16string XdgStartEntry::place() {
    return QString::fromStdString(xdg::entryFile(entry_).string()).toStdU16String();
}

Result<> XdgStartEntry::enable(const std::vector<std::u16string>& arguments) {
    std::vector<std::string> words;
    for (const std::u16string& argument : arguments)
        words.push_back(QString::fromStdU16String(argument).toStdString());
    // The devices VELNOR_COMn names now are those of this configuration: a start from the
    // session or the desktop's menu would not have them otherwise.
    const auto written = xdg::writeEntry(entry_, xdg::entryFile(entry_),
                                         QCoreApplication::applicationFilePath().toStdString(),
                                         words, posix::comPortVariables());
    if (written) return {};
    return std::unexpected(
        Problem{ProblemKind::Other, QString::fromStdString(written.error()).toStdU16String()});
}

Result<> XdgStartEntry::disable() {
    std::error_code error;
    std::filesystem::remove(xdg::entryFile(entry_), error);
    if (!error) return {};
    return std::unexpected(Problem{
        error == std::errc::permission_denied ? ProblemKind::Permission : ProblemKind::Other,
        place() + u" cannot be removed: " +
            QString::fromLocal8Bit(error.message()).toStdU16String()});
}

}  // namespace velnor
