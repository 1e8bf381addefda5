// The program started on a ports.ini it cannot read comes up, tells once and leaves it as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/qt_print.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"
#include "support/velnor_process.h"

namespace velnor::test {
namespace {

namespace fs = std::filesystem;

// Kind, mode, size and a link's target.
std::string standing(const fs::path& path) {
    struct stat found {};
    if (::lstat(path.c_str(), &found) != 0) return "nothing";
    std::string seen = std::to_string(found.st_mode) + " " + std::to_string(found.st_size);
    if (S_ISLNK(found.st_mode)) seen += " -> " + fs::read_symlink(path).string();
    return seen;
}

bool waitForNoRunningCopy() {
    QElapsedTimer waited;
    waited.start();
    while (testBus().interface()->isServiceRegistered(QStringLiteral("org.velnor.Velnor"))) {
        if (waited.elapsed() > 10000) return false;
        QThread::msleep(20);
    }
    return true;
}

TEST(SettingsFileFaults, TheProgramStartsAnswersAndTellsOnce) {
    ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        QString why;
    } rows[] = {
        {"a FIFO", [](const fs::path& file) { ::mkfifo(file.c_str(), 0644); },
         "it is a FIFO, not a regular file"},
        {"a link to /dev/zero", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
         "it is a device, not a regular file"},
        {"not text",
         [](const fs::path& file) { std::ofstream(file) << std::string("[ports]\0\0\0", 10); },
         "it is not a text file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const TempDir config;
        const fs::path file = config.path() / "velnor/ports.ini";
        fs::create_directories(file.parent_path());
        row.make(file);
        const std::string before = standing(file);
        QProcessEnvironment environment;
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path().string()));
        {
            VelnorProcess velnor({"-dsrMode=sendKeys"}, environment);
            // A start that waits for what it found never comes up.
            ASSERT_TRUE(waitForRunningCopy()) << "the program did not come up";
            EXPECT_EQ(executeOnRunningCopy("-port=com2"), "");
            const QStringList told = runningCopyLog().filter("COM ports: ");
            EXPECT_EQ(told, QStringList{"COM ports: " + QString::fromStdString(file.string()) +
                                        " cannot be read: " + row.why +
                                        "; COM1 to COM4 stand for their defaults"});
        }
        ASSERT_TRUE(waitForNoRunningCopy());
        EXPECT_EQ(standing(file), before);
    }
}

}  // namespace
}  // namespace velnor::test
