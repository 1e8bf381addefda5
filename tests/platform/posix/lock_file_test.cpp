// The lock files of serial ports against what anyone may put into the lock folder: odd files,
// binary process ids, and several processes taking over one stale lock file at once.

#include "platform/posix/lock_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <optional>

#include "platform/posix/posix_serial_port.h"
#include "racing_processes.h"
#include "recording_listener.h"
#include "support/fake_modem_driver.h"
#include "support/problem_print.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;

// A problem of the lock files, whose sentences are ASCII here.
Problem problem(ProblemKind kind, const std::string& sentence) {
    return {kind, std::u16string(sentence.begin(), sentence.end())};
}

std::string binaryPid(int32_t pid) {
    std::string content(sizeof pid, '\0');
    std::memcpy(content.data(), &pid, sizeof pid);
    return content;
}

TEST(LockFileHolder, ReadsTextAndBinaryProcessIds) {
    const struct {
        std::string content;
        std::optional<pid_t> holder;
    } cases[] = {
        {"      1234\n", 1234},
        {"1234\n", 1234},
        {"1234", 1234},
        {"  42 ", 42},
        {binaryPid(1234), 1234},
        {binaryPid(4194303), 4194303},
        {"", {}},
        {"\n", {}},
        {"12 34\n", {}},
        {"-5\n", {}},
        {"0\n", {}},
        {"abc\n", {}},
        {binaryPid(4194305), {}},
        {binaryPid(0), {}},
        {binaryPid(-7), {}},
        {"99999999999\n", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(posix::lockFileHolder(c.content), c.holder) << '"' << c.content << '"';
}

class LockFolder : public ::testing::Test {
  protected:
    std::string path() const { return (dir.path() + "/LCK..ttyS9").toStdString(); }
    void write(const std::string& content) {
        QFile file(QString::fromStdString(path()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content.data(), qint64(content.size()));
    }
    std::string content() const {
        QFile file(QString::fromStdString(path()));
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
    static pid_t deadProcess() {
        const pid_t child = ::fork();
        if (child == 0) ::_exit(0);
        ::waitpid(child, nullptr, 0);
        return child;
    }

    QTemporaryDir dir;
};

const std::string ownContent() {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", int(::getpid()));
    return text;
}

TEST_F(LockFolder, ALiveHolderInTextOrBinaryMakesThePortBusyAndKeepsItsFile) {
    for (const std::string& content :
         {std::to_string(::getppid()) + "\n", binaryPid(int32_t(::getppid()))}) {
        write(content);
        const auto taken = posix::takeLockFile(path());
        ASSERT_FALSE(taken);
        EXPECT_EQ(taken.error(), problem(ProblemKind::Busy, "busy, held by process " +
                                                                std::to_string(::getppid()) +
                                                                " (lock file " + path() + ")"));
        EXPECT_EQ(this->content(), content);
    }
}

TEST_F(LockFolder, AStaleLockInTextOrBinaryIsReplacedAndOursGoesWithUs) {
    for (const std::string& content : {std::to_string(deadProcess()) + "\n",
                                       binaryPid(int32_t(deadProcess())), std::string("junk")}) {
        write(content);
        {
            auto taken = posix::takeLockFile(path());
            ASSERT_TRUE(taken) << taken.error();
            EXPECT_EQ(this->content(), ownContent());
        }
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path())));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList())
        << "no temporary file is left behind";
}

TEST_F(LockFolder, ALockFileReplacedByAnotherProgramStaysWhenWeClose) {
    auto taken = posix::takeLockFile(path());
    ASSERT_TRUE(taken);
    std::optional<posix::LockFile> held(std::move(*taken));
    ASSERT_EQ(::unlink(path().c_str()), 0);
    write(std::to_string(::getppid()) + "\n");
    held.reset();
    EXPECT_EQ(content(), std::to_string(::getppid()) + "\n");
}

// Each kind of file planted under the lock's name is refused at once with a sentence, and left
// where it is; nothing is opened through a link, and nothing waits for a FIFO's writer.
TEST_F(LockFolder, APlantedFileOfAnyOtherKindIsRefusedAtOnce) {
    const PseudoTerminal terminal;
    const std::string fifo = (dir.path() + "/fifo").toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const struct {
        const char* kind;
        std::function<bool(const std::string&)> plant;
    } rows[] = {
        {"a FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0666) == 0; }},
        {"a symbolic link",
         [&](const std::string& p) { return ::symlink(fifo.c_str(), p.c_str()) == 0; }},
        {"a symbolic link",
         [&](const std::string& p) {
             return ::symlink(terminal.path().toLocal8Bit().constData(), p.c_str()) == 0;
         }},
        {"a directory", [](const std::string& p) { return ::mkdir(p.c_str(), 0755) == 0; }},
        {"a device",
         [](const std::string& p) {
             return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         }},
        {"a socket",
         [](const std::string& p) {
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             std::strncpy(address.sun_path, p.c_str(), sizeof address.sun_path - 1);
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             const bool bound =
                 ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
             ::close(fd);
             return bound;
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        if (!row.plant(path())) {
            if (errno == EPERM) continue;  // only root makes device nodes
            ADD_FAILURE() << "cannot plant " << row.kind << ": " << std::strerror(errno);
            continue;
        }
        auto attempt = std::async(std::launch::async, [&] { return posix::takeLockFile(path()); });
        if (attempt.wait_for(5s) != std::future_status::ready) {
            // Let the blocked open of the FIFO go, so the test can end.
            ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
            ::close(::open(path().c_str(), O_WRONLY | O_NONBLOCK));
            FAIL() << "waited on the planted file";
        }
        const auto taken = attempt.get();
        ASSERT_FALSE(taken);
        EXPECT_EQ(taken.error(),
                  problem(ProblemKind::Other,
                          "the lock file " + path() + " is " + row.kind +
                              ", not a regular file; remove it if no program uses the port"));
        struct stat still {};
        EXPECT_EQ(::lstat(path().c_str(), &still), 0) << "the planted file stays";
        ::rmdir(path().c_str());
        ::unlink(path().c_str());
    }
}

// Processes that find one stale lock file at the same moment: exactly one takes it each round.
TEST_F(LockFolder, OfProcessesTakingOverOneStaleLockExactlyOneHoldsIt) {
    for (int round = 0; round < 50; ++round) {
        write(std::to_string(deadProcess()) + "\n");
        const int won = racersThatWon(4, [this](const std::function<void(bool)>& report) {
            const auto taken = posix::takeLockFile(path());
            report(taken.has_value());
        });
        EXPECT_EQ(won, 1) << "round " << round;
        EXPECT_FALSE(QFile::exists(QString::fromStdString(path())));
    }
}

// The port refuses a planted FIFO as it refuses a busy port, through the serial backend.
TEST(PlantedLockFile, TheSerialBackendSaysCannotAndGoesOn) {
    const QTemporaryDir lockDir;
    const PseudoTerminal terminal;
    const FakeModemDriver modem(terminal.path());
    const QString lock = lockDir.path() + "/LCK.." + terminal.path().mid(5).replace('/', '_');
    ASSERT_EQ(::mkfifo(QFile::encodeName(lock).constData(), 0666), 0);
    RecordingListener listener;
    auto opening = std::async(std::launch::async, [&] {
        return posix::openPort(terminal.path().toStdU16String(), listener,
                               lockDir.path().toStdU16String());
    });
    if (opening.wait_for(5s) != std::future_status::ready) {
        ::close(::open(QFile::encodeName(lock).constData(), O_WRONLY | O_NONBLOCK));
        FAIL() << "the open waited on the planted FIFO";
    }
    const OpenResult opened = opening.get();
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, ProblemKind::Other);
    EXPECT_EQ(toQString(opened.error().reason),
              "the lock file " + lock +
                  " is a FIFO, not a regular file; remove it if no "
                  "program uses the port");
}

}  // namespace
}  // namespace velnor
