#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <string>

namespace velnor::test {

// The built program, run as a separate process on this test program's private session bus.
class VelnorProcess {
  public:
    // `environment` adds to or overrides the defaults (offscreen platform, no input backend).
    explicit VelnorProcess(const QStringList& arguments,
                           const QProcessEnvironment& environment = {});
    ~VelnorProcess();

    QProcess& process() { return process_; }
    // Waits until the process has ended (at most `ms`); its exit code, or -1 if it still runs.
    int waitForExit(int ms = 10000);

  private:
    QProcess process_;
};

// The environment of a copy that shows its window on `display` and types into it through XTest,
// with COM1 on the loopback port.
QProcessEnvironment loopbackOnX(const std::string& display);

// A connection of the test's own to the private session bus.
QDBusConnection testBus();

// Whether a copy of the program serves the bus name; waits up to `ms` for it to appear.
bool waitForRunningCopy(int ms = 10000);

// The running copy's event log as messages, oldest first, without times (see logMessages()).
QStringList runningCopyLog();

// The message that calls Execute with `command` on the running copy.
QDBusMessage executeCall(const QString& command);

// Calls Execute on the running copy; returns the D-Bus error message, or "" on success.
QString executeOnRunningCopy(const QString& command);

// Resident memory of process `pid` (this process: QCoreApplication::applicationPid()) in MB,
// or 0 when it cannot be read.
double residentMegabytes(qint64 pid);

}  // namespace velnor::test
