// "Copy command line" on Linux: the line a POSIX shell runs as the command it was made of.

#include "platform/linux/shell_command.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace velnor {
namespace {

// The shell runs printf in place of the program, which prints each argument and the devices the
// assignments name: each comes back as it was, whatever the shell would otherwise take as its own.
TEST(ShellCommandTest, AShellGivesBackEveryArgumentAndAssignment) {
    const std::vector<std::string> environment = {"VELNOR_COM1=/dev/my \"odd\" port's (1)",
                                                  "VELNOR_COM2=loopback"};
    const std::vector<std::u16string> words = {u"-dsrSendKeys%=a%20b",
                                               u"-cdSendKeys=%{F4}~(^c)&|;<>*?#[a]!",
                                               u"it's",
                                               u"$HOME `x` \\",
                                               u"\u00e9\u20ac",
                                               u""};
    std::vector<std::u16string> arguments = {
        u"-c", u"printf '%s\\n' \"$VELNOR_COM1\" \"$VELNOR_COM2\" \"$@\"", u"sh"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    const QString line = shellCommand(environment, QStringLiteral("/bin/sh"), arguments);

    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), line});
    ASSERT_TRUE(shell.waitForFinished(10000));
    QString expected = QStringLiteral("/dev/my \"odd\" port's (1)\nloopback\n");
    for (const std::u16string& word : words) expected += QString::fromStdU16String(word) + u'\n';
    EXPECT_EQ(QString::fromUtf8(shell.readAllStandardOutput()), expected) << line.toStdString();
}

}  // namespace
}  // namespace velnor
