#include "platform/linux/shell_command.h"

#include <QStringList>
#include <algorithm>

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

QString shellCommand(const std::vector<std::string>& environment, const QString& program,
                     const std::vector<std::u16string>& arguments) {
    QStringList words;
    // The name stays unquoted: a quoted one would make the shell read a command, not an assignment.
    for (const std::string& variable : environment) {
        const QString assignment = QString::fromLocal8Bit(variable);
        const qsizetype value = assignment.indexOf(u'=') + 1;
        words.append(assignment.left(value) + shellWord(assignment.mid(value)));
    }
    words.append(shellWord(program));
    for (const std::u16string& argument : arguments)
        words.append(shellWord(QString::fromStdU16String(argument)));
    return words.join(u' ');
}

}  // namespace velnor
