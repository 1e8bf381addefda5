// The core's window on the Windows backends.
#include "core/main_form.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "win32_form.h"

namespace velnor {
namespace {

TEST(MainFormOnWin32, MissingComPortIsLoggedAndTheSelectionReturnsToNone) {
    SetEnvironmentVariableW(L"VELNOR_COM1", L"\\\\.\\COM199");
    NullInputSink input;
    Win32Form window(input);
    MainForm& form = window.form;
    form.ProcessArguments(u"-port=com1");
    EXPECT_NE(window.log().find("COM1 (\\\\.\\COM199) cannot be opened: no such port ("),
              std::string::npos)
        << window.log();
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
