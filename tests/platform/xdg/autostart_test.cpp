#include "platform/xdg/autostart.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "support/temp_dir.h"

namespace velnor::xdg {
namespace {

namespace fs = std::filesystem;

using Words = std::vector<std::string>;

TEST(AutostartTest, ExecLineQuotesOnlyWhatItMustAndEveryWordComesBack) {
    const struct {
        Words command;
        std::string exec;
    } cases[] = {
        {{"/usr/bin/velnor", "-port=com1", "-dtr"}, "/usr/bin/velnor -port=com1 -dtr"},
        {{"velnor", "-dsrSendKeys=%{TAB}"}, "velnor -dsrSendKeys=%%{TAB}"},
        {{"velnor", "-cdSendKeys=^c~"}, R"(velnor "-cdSendKeys=^c~")"},
        {{"velnor", "-dsrSendKeys=\"$`\\"}, R"(velnor "-dsrSendKeys=\\"\\$\\`\\\\")"},
        {{"/opt/my velnor/velnor", ""}, R"("/opt/my velnor/velnor" "")"},
        {{"velnor", "-dsrGenerateKeys=vbKeyA,vbKeyB;(x)"},
         R"x(velnor "-dsrGenerateKeys=vbKeyA,vbKeyB;(x)")x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(execLine(c.command), c.exec);
        EXPECT_EQ(parseExecLine(c.exec), c.command) << c.exec;
    }
}

TEST(AutostartTest, RefusesWhatTheRulesDoNotAllow) {
    for (const std::string exec : {"velnor %U", R"(velnor "open)", "velnor a~b", R"(velnor "\q")",
                                   R"(velnor \x)", "velnor \"50%\""})
        EXPECT_EQ(parseExecLine(exec), std::nullopt) << exec;
}

TEST(AutostartFileTest, WrittenEntryIsValidAndGivesBackTheCommand) {
    const test::TempDir root;
    const fs::path file = root.path() / "autostart/org.velnor.Velnor.desktop";
    const Words arguments = {"-minimize", "-port=com2", "-dsrSendKeys%=Hello%20World",
                             "-ctsSendKeys=\"quoted\"$HOME", "-cdSendKeys=%{F4}~"};
    ASSERT_TRUE(writeAutostart(file, "/usr/bin/velnor", arguments));
    Words command{"/usr/bin/velnor"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(readAutostart(file), command);
    EXPECT_FALSE(fs::exists(file.string() + ".new"));
    if (::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(::system(("desktop-file-validate " + file.string()).c_str()), 0);
    }
}

TEST(AutostartFolderTest, FollowsXdgConfigHome) {
    ::setenv("XDG_CONFIG_HOME", "/home/u/cfg", 1);
    EXPECT_EQ(autostartFile(), "/home/u/cfg/autostart/org.velnor.Velnor.desktop");
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(autostartFile(), "/home/u/.config/autostart/org.velnor.Velnor.desktop");
}

}  // namespace
}  // namespace velnor::xdg
