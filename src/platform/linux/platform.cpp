#include "platform/linux/platform.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <algorithm>

#include "platform/linux/login_start.h"
#include "platform/linux/port_backend.h"
#include "platform/linux/port_catalog.h"
#include "platform/qt/time_text.h"

namespace velnor {
namespace {

// A word as a POSIX shell reads it back: quoted where it holds anything but plain characters.
QString shellWord(const QString& word) {
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_=+,./:@%");
    const bool quote =
        word.isEmpty() || std::ranges::any_of(word, [](QChar c) { return !plain.contains(c); });
    if (!quote) return word;
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

}  // namespace

Platform linuxPlatform(InputSink& input, EventLoop& loop, CommandChannel* channel) {
    // Both keep nothing of their own: every call learns what the files say now (the assignments
    // are read again where their file has changed).
    static LinuxPortCatalog catalog;
    static XdgLoginStart loginStart;
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
            .commandText =
                [](const std::vector<std::u16string>& arguments) {
                    QStringList words{shellWord(QCoreApplication::applicationFilePath())};
                    for (const std::u16string& argument : arguments)
                        words.append(shellWord(QString::fromStdU16String(argument)));
                    return words.join(u' ').toStdU16String();
                },
            .copyText =
                [](const std::u16string& text) {
                    QGuiApplication::clipboard()->setText(QString::fromStdU16String(text));
                }};
}

}  // namespace velnor
