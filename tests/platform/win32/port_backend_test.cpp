#include "platform/win32/port_backend.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace velnor {
namespace {

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
