#include "support/vm_guest.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <utility>

namespace velnor::test {
namespace {

QByteArray taskFile(pid_t thread, const char* name) {
    QFile file(QStringLiteral("/proc/self/task/%1/%2").arg(thread).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<pid_t> threads() {
    std::vector<pid_t> ids;
    for (const QString& entry : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs))
        if (const int id = entry.toInt(); id > 0) ids.push_back(id);
    return ids;
}

}  // namespace

bool inVmGuest() {
    return QFile::exists(QLatin1String(kGadgetPort));
}

GadgetEnd::GadgetEnd() : fd_(::open(kGadgetPort, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

void GadgetEnd::close() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
}

long contextSwitchesOfOtherThreads() {
    const pid_t caller = ::gettid();
    long total = 0;
    for (const pid_t thread : threads()) {
        if (thread == caller) continue;
        for (const QByteArray& line : taskFile(thread, "status").split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:") ||
                line.startsWith("nonvoluntary_ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    }
    return total;
}

// /proc/<pid>/task/<tid>/syscall: the number of the system call the thread is blocked in and its
// arguments in hexadecimal ("16 0x3 0x545c ..." for ioctl(3, TIOCMIWAIT, ...) on x86-64).
std::vector<pid_t> threadsInIoctl(unsigned long request) {
    const QByteArray number = QByteArray::number(qint64(__NR_ioctl));
    const QByteArray argument = "0x" + QByteArray::number(qulonglong(request), 16);
    std::vector<pid_t> waiting;
    for (const pid_t thread : threads()) {
        const QList<QByteArray> fields = taskFile(thread, "syscall").trimmed().split(' ');
        if (fields.size() > 2 && fields[0] == number && fields[2] == argument)
            waiting.push_back(thread);
    }
    return waiting;
}

bool portWatcherSleeps() {
    return threadsInIoctl(TIOCMIWAIT).size() == 1;
}

}  // namespace velnor::test
