// A burst of Execute calls from another process: every command applied, in order, with the
// running copy's memory and event log bounded.

#include <gtest/gtest.h>

#include <QDBusPendingCall>
#include <vector>

#include "support/qt_print.h"
#include "support/session_bus.h"
#include "support/velnor_process.h"

namespace velnor::test {
namespace {

QString command(int number) {
    return QStringLiteral("-dsrSendKeys=%1").arg(number);
}

// Sends Execute with the commands first ... first + count - 1 without waiting, then collects
// the answers; the number of calls refused.
int burst(int first, int count) {
    std::vector<QDBusPendingCall> calls;
    calls.reserve(count);
    for (int number = first; number < first + count; ++number)
        calls.push_back(testBus().asyncCall(executeCall(command(number)), 60000));
    int refused = 0;
    for (QDBusPendingCall& call : calls) {
        call.waitForFinished();
        refused += call.isError();
    }
    return refused;
}

TEST(ExecuteBurst, TenThousandCallsAreAppliedInOrderWithMemoryAndLogBounded) {
    ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
    // Under AddressSanitizer freed memory waits in a quarantine of up to 256 MB on purpose;
    // without it resident memory tells the program's own use.
    QProcessEnvironment environment;
    environment.insert("ASAN_OPTIONS",
                       qEnvironmentVariable("ASAN_OPTIONS") + ":quarantine_size_mb=0");
    VelnorProcess velnor({}, environment);
    ASSERT_TRUE(waitForRunningCopy());
    const qint64 pid = velnor.process().processId();
    // First the log grows to its bound, so what follows measures a program in its steady state.
    ASSERT_EQ(burst(1, 1000), 0);
    const double residentBefore = residentMegabytes(pid);

    constexpr int kCalls = 10000;
    EXPECT_EQ(burst(1001, kCalls), 0);
    const int last = 1000 + kCalls;
    const double grown = residentMegabytes(pid) - residentBefore;
    EXPECT_LT(grown, 20.0) << "resident memory grew by " << grown << " MB";

    // The log keeps its newest lines: the last commands, each as its two lines, in order.
    const QStringList log = runningCopyLog();
    ASSERT_GE(log.size(), 100);
    EXPECT_LE(log.size(), 1000);
    QStringList expected;
    for (int number = last; expected.size() < log.size(); --number) {
        expected.prepend("arg(1) = " + command(number));
        expected.prepend("DDE LinkExecute:  " + command(number));
    }
    expected = expected.mid(expected.size() - log.size());
    EXPECT_EQ(log, expected);
    EXPECT_EQ(velnor.process().state(), QProcess::Running);
}

}  // namespace
}  // namespace velnor::test
