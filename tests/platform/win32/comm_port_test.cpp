#include "platform/win32/comm_port.h"

#include <gtest/gtest.h>

#include <string>

#include "support/problem_print.h"
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
    const OpenResult opened = win32::openPort(kMissingPort, listener);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, ProblemKind::Missing);
    EXPECT_TRUE(opened.error().reason.starts_with(u"no such port ("))
        << narrow(opened.error().reason);
}

// scripts/test-windows links COM8 of its prefix to /dev/null.
TEST(CommPort, DeviceThatIsNoSerialPortIsRefused) {
    IgnoringListener listener;
    const OpenResult opened = win32::openPort(u"\\\\.\\COM8", listener);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().kind, ProblemKind::NotSerialPort);
    EXPECT_TRUE(opened.error().reason.starts_with(u"not a serial port ("))
        << narrow(opened.error().reason);
}

}  // namespace
}  // namespace velnor
