// The core's window on the Windows backends.
#include "core/main_form.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/input_sink.h"
#include "platform/win32/comm_port.h"
#include "platform/win32/time_text.h"
#include "platform/win32/win32_event_loop.h"

namespace velnor {
namespace {

std::string narrow(const std::u16string& text) {
    return {text.begin(), text.end()};
}

TEST(MainFormOnWin32, MissingComPortIsLoggedAndTheSelectionReturnsToNone) {
    SetEnvironmentVariableW(L"VELNOR_COM1", L"\\\\.\\COM199");
    Win32EventLoop loop;
    NullInputSink input;
    MainForm form({.input = input,
                   .loop = loop,
                   .ports = win32PortBackend(),
                   .timeText = localTimeText,
                   .messageBox = [](const std::u16string&) {}},
                  u"");
    form.Form_Load();
    form.ProcessArguments(u"-port=com1");
    const std::u16string log = form.EventLog.caption();
    EXPECT_NE(log.find(u"COM1 (\\\\.\\COM199) cannot be opened: no such port ("),
              std::u16string::npos)
        << narrow(log);
    EXPECT_TRUE(form.optComNone.value());
    EXPECT_FALSE(form.MSComm1.PortOpen());
    int cancel = 0;
    form.Form_Unload(cancel);
    SetEnvironmentVariableW(L"VELNOR_COM1", nullptr);
}

TEST(LocalTimeText, HasTheSecondsOfTheTimeOfDay) {
    const std::u16string text = localTimeText();
    ASSERT_FALSE(text.empty());
    // Every time format of the user's locale (without TIME_NOSECONDS) writes the seconds.
    const auto digits =
        std::count_if(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
    EXPECT_GE(digits, 5) << narrow(text);
}

}  // namespace
}  // namespace velnor
