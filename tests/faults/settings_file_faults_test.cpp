// The program started on a ports.ini it cannot read comes up, tells once and leaves it as it was.

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/planted_file.h"
#include "support/qt_print.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"
#include "support/velnor_process.h"

namespace velnor::test {
namespace {

namespace fs = std::filesystem;

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
    const PlantedFile rows[] = {
        kPlantedFifo,
        kPlantedDevice,
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
                                        " cannot be read: " + QString::fromStdString(row.why) +
                                        "; COM1 to COM4 stand for their defaults"});
        }
        ASSERT_TRUE(waitForNoRunningCopy());
        EXPECT_EQ(standing(file), before);
    }
}

}  // namespace
}  // namespace velnor::test
