#include "platform/linux/platform.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include "platform/linux/port_backend.h"
#include "platform/linux/port_catalog.h"
#include "platform/linux/shell_command.h"
#include "platform/linux/start_entry.h"
#include "platform/posix/serial_devices.h"
#include "platform/qt/time_text.h"

namespace velnor {

Platform linuxPlatform(InputSink& input, EventLoop& loop, CommandChannel* channel) {
    // These keep nothing of their own: every call learns what the files say now (the assignments
    // are read again where their file has changed).
    static LinuxPortCatalog catalog;
    static XdgStartEntry loginStart(xdg::Entry::Autostart);
    static XdgStartEntry keptSettings(xdg::Entry::Applications);
    return {.input = input,
            .loop = loop,
            .ports = linuxPortBackend(),
            .channel = channel,
            .timeText = [] { return timeText(); },
            .messageBox =
                [](const std::u16string& text) {
                    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Velnor"),
                                    QString::fromStdU16String(text), QMessageBox::Ok);
                    box.exec();
                },
            .catalog = &catalog,
            .loginStart = &loginStart,
            .keptSettings = &keptSettings,
            .commandText =
                [](const std::vector<std::u16string>& arguments) {
                    // The devices VELNOR_COMn names belong to this configuration too.
                    return shellCommand(posix::comPortVariables(),
                                        QCoreApplication::applicationFilePath(), arguments)
                        .toStdU16String();
                },
            .copyText =
                [](const std::u16string& text) {
                    QGuiApplication::clipboard()->setText(QString::fromStdU16String(text));
                }};
}

}  // namespace velnor
