#include "platform/posix/device_watch.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "support/temp_dir.h"

namespace velnor::posix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class DeviceWatchTest : public ::testing::Test {
  protected:
    const test::TempDir temp_;
    const fs::path& root_ = temp_.path();
};

TEST_F(DeviceWatchTest, ReportsOnceWhenTheDeviceAndItsMissingFoldersComeBack) {
    const fs::path device = root_ / "serial/by-id/usb-pedal";
    std::atomic<int> calls = 0;
    std::promise<void> back;
    DeviceReturnWatch watch(device, [&] {
        if (++calls == 1) back.set_value();
    });
    ASSERT_TRUE(watch.watching());
    auto returned = back.get_future();
    fs::create_directories(device.parent_path());
    EXPECT_EQ(returned.wait_for(100ms), std::future_status::timeout);
    std::ofstream(root_ / "ttyUSB0").put('x');
    ::chmod((root_ / "ttyUSB0").c_str(), 0);  // as created, before udev sets its group
    fs::create_symlink(root_ / "ttyUSB0", device);
    if (::geteuid() != 0) {  // root may open it anyway
        EXPECT_EQ(returned.wait_for(100ms), std::future_status::timeout);
    }
    ::chmod((root_ / "ttyUSB0").c_str(), 0660);
    EXPECT_EQ(returned.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(calls, 1);
}

TEST_F(DeviceWatchTest, ReportsAtOnceWhenTheDeviceIsAlreadyThere) {
    std::ofstream(root_ / "ttyACM0").put('x');
    std::promise<void> back;
    DeviceReturnWatch watch(root_ / "ttyACM0", [&] { back.set_value(); });
    EXPECT_EQ(back.get_future().wait_for(5s), std::future_status::ready);
}

TEST_F(DeviceWatchTest, StopsAtOnceAndNeverReportsOnceDestroyed) {
    std::atomic<int> calls = 0;
    {
        DeviceReturnWatch watch(root_ / "later", [&] { ++calls; });
    }
    std::ofstream(root_ / "later").put('x');
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace velnor::posix
