#include "platform/win32/comm_port.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/win32/system_text.h"
#include "test_text.h"

namespace velnor {
namespace {

class IgnoringListener final : public PortListener {
  public:
    void lineChanged(int16_t) override {}
    void notice(const std::u16string&) override {}
    void gone(const std::u16string&) override {}
};

// A COM port number that no prefix links to a device.
constexpr char16_t kMissingPort[] = u"\\\\.\\COM199";

TEST(CommPort, MissingPortIsNamedAsSuch) {
    IgnoringListener listener;
    const OpenResult opened = CommPort::open(kMissingPort, listener);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().device, kMissingPort);
    EXPECT_TRUE(opened.error().reason.starts_with(u"no such port ("))
        << narrow(opened.error().reason);
}

// scripts/test-windows links COM8 of its prefix to /dev/null.
TEST(CommPort, DeviceThatIsNoSerialPortIsRefused) {
    IgnoringListener listener;
    const OpenResult opened = CommPort::open(u"\\\\.\\COM8", listener);
    ASSERT_FALSE(opened);
    EXPECT_TRUE(opened.error().reason.starts_with(u"not a serial port ("))
        << narrow(opened.error().reason);
}

TEST(Win32PortBackend, PortNumbersNameComPortsUnlessTheEnvironmentSaysOtherwise) {
    const PortBackend backend = win32PortBackend();
    SetEnvironmentVariableW(L"VELNOR_COM3", nullptr);
    EXPECT_EQ(backend.deviceOf(3), u"\\\\.\\COM3");
    EXPECT_EQ(backend.deviceOf(12), u"\\\\.\\COM12");
    SetEnvironmentVariableW(L"VELNOR_COM3", L"\\\\.\\COM17");
    EXPECT_EQ(backend.deviceOf(3), u"\\\\.\\COM17");
    EXPECT_EQ(backend.deviceOf(4), u"\\\\.\\COM4");
    SetEnvironmentVariableW(L"VELNOR_COM3", nullptr);
}

}  // namespace
}  // namespace velnor
