#include "platform/posix/serial_devices.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/posix/driver_facts.h"
#include "support/temp_dir.h"

namespace velnor::posix {
namespace {

namespace fs = std::filesystem;

// A device tree of its own, laid out as udev and sysfs lay it out, links relative.
class FakeTree {
  public:
    const fs::path& root() const { return root_; }

    void file(const fs::path& path, const std::string& text = {}) {
        fs::create_directories((root_ / path).parent_path());
        std::ofstream(root_ / path) << text;
    }
    void link(const fs::path& path, const fs::path& target) {
        fs::create_directories((root_ / path).parent_path());
        fs::create_symlink(target, root_ / path);
    }
    // A USB serial adapter: its node, its sysfs device with names, and a by-id link if named.
    void usbAdapter(const std::string& node, const std::string& byId,
                    const std::string& manufacturer, const std::string& product) {
        const std::string usb = "sys/devices/pci0000:00/usb1/1-" + node;
        file("dev/" + node);
        file(usb + "/idVendor", "0403\n");
        file(usb + "/idProduct", "6001\n");
        if (!manufacturer.empty()) file(usb + "/manufacturer", manufacturer + "\n");
        if (!product.empty()) file(usb + "/product", product + "\n");
        fs::create_directories(root_ / usb / "1-1:1.0" / node);
        link("sys/class/tty/" + node + "/device",
             "../../../devices/pci0000:00/usb1/1-" + node + "/1-1:1.0/" + node);
        if (!byId.empty()) link("dev/serial/by-id/" + byId, "../../" + node);
    }
    // The driver bound to an adapter's tty device, on its bus ("usb", "usb-serial").
    void driver(const std::string& node, const std::string& bus, const std::string& name) {
        link("sys/devices/pci0000:00/usb1/1-" + node + "/1-1:1.0/" + node + "/driver",
             "../../../../../../bus/" + bus + "/drivers/" + name);
    }

  private:
    const test::TempDir temp_;
    const fs::path& root_ = temp_.path();
};

TEST(SerialDevicesTest, ListsStableNamesWithVendorAndModelThenBareUsbNodes) {
    FakeTree tree;
    tree.usbAdapter("ttyUSB0", "usb-FTDI_FT232R_USB_UART_A1-if00-port0", "FTDI", "FT232R USB UART");
    tree.usbAdapter("ttyACM0", "", "", "");  // no by-id name, no names: ids stand in
    tree.usbAdapter("ttyUSB1", "usb-Prolific-if00", "Prolific", "");
    tree.file("dev/ttyS0");
    fs::create_directories(tree.root() / "sys/class/tty/ttyS0");   // not a USB serial node
    tree.link("dev/serial/by-id/usb-gone-if00", "../../ttyUSB9");  // dangling: unplugged

    const auto devices = listSerialDevices(tree.root());
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].path, "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    EXPECT_EQ(devices[0].node, "/dev/ttyUSB0");
    EXPECT_EQ(devices[0].description(), "FTDI FT232R USB UART (/dev/ttyUSB0)");
    EXPECT_EQ(devices[1].path, "/dev/serial/by-id/usb-Prolific-if00");
    EXPECT_EQ(devices[1].description(), "Prolific (/dev/ttyUSB1)");
    EXPECT_EQ(devices[2].path, "/dev/ttyACM0");
    EXPECT_EQ(devices[2].description(), "USB 0403:6001 (/dev/ttyACM0)");
}

TEST(SerialDevicesTest, NoDeviceTreeMeansNoDevices) {
    FakeTree tree;
    EXPECT_TRUE(listSerialDevices(tree.root()).empty());
}

TEST(SerialDevicesTest, DescribesAssignedDevicesPresentOrNot) {
    FakeTree tree;
    tree.usbAdapter("ttyUSB0", "usb-FTDI-if00", "FTDI", "FT232R USB UART");
    tree.file("dev/ttyS0");
    EXPECT_EQ(describeDevice("/dev/serial/by-id/usb-FTDI-if00", tree.root()),
              "FTDI FT232R USB UART (/dev/ttyUSB0), /dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(describeDevice("/dev/ttyUSB0", tree.root()), "FTDI FT232R USB UART (/dev/ttyUSB0)");
    EXPECT_EQ(describeDevice("/dev/ttyS0", tree.root()), "/dev/ttyS0");
    EXPECT_EQ(describeDevice("/dev/ttyUSB7", tree.root()), "/dev/ttyUSB7 (not present)");
    EXPECT_EQ(describeDevice("loopback", tree.root()), "the built-in loopback plug");
}

TEST(SerialDevicesTest, NamesTheDriverOfEachTtyAndWhatItReports) {
    FakeTree tree;
    tree.usbAdapter("ttyACM0", "usb-Arduino_Uno-if00", "Arduino", "Uno");
    tree.driver("ttyACM0", "usb", "cdc_acm");
    tree.usbAdapter("ttyUSB0", "", "FTDI", "FT232R USB UART");
    tree.driver("ttyUSB0", "usb-serial", "ftdi_sio");
    tree.usbAdapter("ttyUSB3", "", "", "");  // its driver not bound (yet)
    tree.file("dev/ttyS0");
    fs::create_directories(tree.root() / "sys/class/tty/ttyS0");

    const struct {
        const char* path;
        const char* driver;
        bool cts;
        int latencyTimer;  // ms
    } rows[] = {
        {"/dev/serial/by-id/usb-Arduino_Uno-if00", "cdc_acm", false, 0},
        {"/dev/ttyACM0", "cdc_acm", false, 0},
        {"/dev/ttyUSB0", "ftdi_sio", true, 16},
        {"/dev/ttyUSB3", "", true, 0},
        {"/dev/ttyS0", "", true, 0},
        {"/dev/ttyUSB7", "", true, 0},  // not present
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        const std::string driver = ttyDriver(row.path, tree.root());
        EXPECT_EQ(driver, row.driver);
        const DriverFacts& facts = driverFacts(driver);
        EXPECT_EQ(facts.reported.cts, row.cts);
        EXPECT_TRUE(facts.reported.dsr && facts.reported.cd && facts.reported.ri);
        EXPECT_EQ(facts.latencyTimer.count(), row.latencyTimer);
    }
}

TEST(PortAssignmentsTest, KeepsAssignmentsAcrossRunsAndTakesThemBack) {
    FakeTree tree;
    const fs::path file = tree.root() / "config/velnor/ports.ini";
    {
        PortAssignments assignments(file);
        EXPECT_EQ(assignments.deviceOf(1), std::nullopt);
        EXPECT_TRUE(assignments.assign(1, "/dev/serial/by-id/usb-FTDI-if00"));
        EXPECT_TRUE(assignments.assign(3, "loopback"));
        EXPECT_TRUE(assignments.assign(4, "/dev/ttyUSB0"));
        EXPECT_TRUE(assignments.assign(4, ""));
        EXPECT_FALSE(assignments.assign(2, "/dev/x\n[other]"));
        EXPECT_FALSE(assignments.assign(5, "/dev/ttyUSB0"));
    }
    const PortAssignments again(file);
    EXPECT_EQ(again.deviceOf(1), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(again.deviceOf(2), std::nullopt);
    EXPECT_EQ(again.deviceOf(3), "loopback");
    EXPECT_EQ(again.deviceOf(4), std::nullopt);
    EXPECT_FALSE(fs::exists(file.string() + ".new"));
}

TEST(PortAssignmentsTest, ReadsOnlyItsOwnSectionAndWellFormedEntries) {
    FakeTree tree;
    tree.file(
        "ports.ini",
        "COM1=/dev/before-section\n[other]\nCOM2=/dev/elsewhere\n[ports]\r\nCOM3=/dev/ttyUSB3\r\n"
        "COM9=/dev/ttyUSB9\nCOM4\nCOM1=\n");
    const PortAssignments assignments(tree.root() / "ports.ini");
    EXPECT_EQ(assignments.deviceOf(1), std::nullopt);
    EXPECT_EQ(assignments.deviceOf(2), std::nullopt);
    EXPECT_EQ(assignments.deviceOf(3), "/dev/ttyUSB3");
    EXPECT_EQ(assignments.deviceOf(4), std::nullopt);
}

TEST(PortAssignmentsTest, EnvironmentOverridesAssignmentWhichOverridesTheDefault) {
    FakeTree tree;
    PortAssignments assignments(tree.root() / "ports.ini");
    assignments.assign(2, "/dev/ttyACM0");
    ::unsetenv("VELNOR_COM2");
    ::unsetenv("VELNOR_COM3");
    EXPECT_EQ(comPortDevice(2, assignments), "/dev/ttyACM0");
    EXPECT_EQ(comPortDevice(3, assignments), "/dev/ttyS2");
    ::setenv("VELNOR_COM2", "loopback", 1);
    EXPECT_EQ(comPortDevice(2, assignments), "loopback");
    ::unsetenv("VELNOR_COM2");
}

TEST(PortAssignmentsTest, FileFollowsTheXdgConfigFolder) {
    ::setenv("XDG_CONFIG_HOME", "/home/u/cfg", 1);
    EXPECT_EQ(PortAssignments::defaultFile(), "/home/u/cfg/velnor/ports.ini");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as the rules say
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(PortAssignments::defaultFile(), "/home/u/.config/velnor/ports.ini");
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace velnor::posix
