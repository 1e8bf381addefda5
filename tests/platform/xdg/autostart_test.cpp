#include "platform/xdg/autostart.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <fstream>
#include <map>
#include <sstream>

#include "core/command_line.h"
#include "support/scoped_env.h"
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
                             "-ctsSendKeys=\"quoted\"'s", "-cdSendKeys=%{F4}~"};
    ASSERT_TRUE(writeEntry(Entry::Autostart, file, "/usr/bin/velnor", arguments));
    Words command{"/usr/bin/velnor"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(readEntry(file), command);
    EXPECT_FALSE(fs::exists(file.string() + ".new"));
    if (::system("command -v desktop-file-validate >/dev/null 2>&1") == 0) {
        EXPECT_EQ(::system(("desktop-file-validate " + file.string()).c_str()), 0);
    }
}

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The generator names env(1) by its full path, print_start as the entry does.
Words withPlainEnv(Words words) {
    if (!words.empty() && fs::path(words.front()).filename() == "env") words.front() = "env";
    return words;
}

// The character a C escape that systemd writes stands for (\n for 'n'); 0 for another.
char cEscaped(char c) {
    constexpr std::string_view written = "ntr\\\"'", meant = "\n\t\r\\\"'";
    const size_t at = written.find(c);
    return at == written.npos ? 0 : meant[at];
}

// An ExecStart= value's words as systemd reads them (systemd.syntax(7)), as far as the generator
// writes them: double quotes, C escapes, %% for %; anything else fails the test.
std::optional<Words> systemdWords(std::string_view value) {
    if (value.starts_with(':')) value.remove_prefix(1);  // no variables expanded
    Words words{{}};
    bool quoted = false;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == ' ' && !quoted) {
            if (!words.back().empty()) words.emplace_back();
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c != '%' && c != '\\') {
            words.back() += c;
        } else if (++i < value.size() && (c == '%' ? value[i] == '%' : cEscaped(value[i]))) {
            words.back() += c == '%' ? '%' : cEscaped(value[i]);
        } else {
            return std::nullopt;
        }
    }
    if (quoted) return std::nullopt;
    if (words.back().empty()) words.pop_back();
    return words;
}

constexpr char kGenerator[] = "/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator";

// The command of the unit the generator makes of the entries under `configHome`.
std::optional<Words> generatedCommand(const fs::path& configHome) {
    const fs::path units = configHome / "units";
    fs::create_directories(units);
    QProcess generator;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(configHome.string()));
    environment.insert("XDG_CONFIG_DIRS", QString::fromStdString((configHome / "none").string()));
    generator.setProcessEnvironment(environment);
    const QString out = QString::fromStdString(units.string());
    generator.start(kGenerator, {out, out, out});
    if (!generator.waitForFinished(10000)) return std::nullopt;
    for (const auto& unit : fs::directory_iterator(units)) {
        if (unit.path().extension() != ".service") continue;
        std::istringstream lines(contentOf(unit.path()));
        for (std::string line; std::getline(lines, line);)
            if (line.starts_with("ExecStart=")) return systemdWords(line.substr(10));
    }
    ADD_FAILURE() << "no unit: " << generator.readAllStandardError().toStdString();
    return std::nullopt;
}

// What GLib's launcher (gio launch) starts from the entry in `file`, as print_start tells it.
std::optional<Words> glibStart(const fs::path& file) {
    const fs::path started = file.parent_path() / "started";
    QProcess gio;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VELNOR_TEST_STARTED", QString::fromStdString(started.string()));
    gio.setProcessEnvironment(environment);
    gio.start("gio", {"launch", QString::fromStdString(file.string())});
    if (!gio.waitForFinished(10000) || gio.exitCode() != 0) {
        ADD_FAILURE() << "gio launch: " << gio.readAllStandardError().toStdString();
        return std::nullopt;
    }
    QElapsedTimer waited;
    waited.start();
    while (!fs::exists(started) && waited.elapsed() < 10000) QThread::msleep(10);
    Words words;
    std::istringstream given(contentOf(started));
    for (std::string word; std::getline(given, word, '\0');) words.push_back(word);
    fs::remove(started);
    return words;
}

std::string utf8(std::u16string_view text) {
    return QString::fromUtf16(text.data(), text.size()).toStdString();
}

// Ours, GLib's launcher and the generator of sessions systemd runs read the same command.
TEST(AutostartReadersTest, EveryReaderStartsTheSameCommand) {
    if (!fs::exists(kGenerator))
        GTEST_SKIP() << kGenerator << " is missing (Debian package systemd)";
    const std::string quoting = utf8(percentEncoded(u"C:\\dir \"q\" 'a' $HOME `x`"));
    const std::string lineBreak = utf8(percentEncoded(u"vbKeyA,\nvbKeyB"));
    const std::string longest = utf8(percentEncoded(std::u16string((32766 - 10 - 14) / 3, u'$')));
    const struct {
        const char* what;
        Words arguments;
        Words environment;
    } rows[] = {
        {"texts with \\ \" ' $ ` and a line break",
         {"-minimize", "-dsrSendKeys%=" + quoting, "-ctsGenerateKeys%=" + lineBreak,
          "-cdSendKeys=%{F4}~(^c)"},
         {}},
        {"devices named by VELNOR_COMn",
         {"-minimize", "-port=com3"},
         {"VELNOR_COM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0",
          "VELNOR_COM3=/dev/my \"odd\" port's (3);x", "VELNOR_COM4=loopback"}},
        {"settings as long as a start accepts", {"-minimize", "-dsrSendKeys%=" + longest}, {}},
    };
    const ScopedEnv noDevices[] = {{"VELNOR_COM1", nullptr},
                                   {"VELNOR_COM2", nullptr},
                                   {"VELNOR_COM3", nullptr},
                                   {"VELNOR_COM4", nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const test::TempDir config;
        const fs::path file = config.path() / "autostart/org.velnor.Velnor.desktop";
        ASSERT_TRUE(
            writeEntry(Entry::Autostart, file, PRINT_START, row.arguments, row.environment));
        Words expected = row.environment.empty() ? Words{} : Words{"env"};
        expected.insert(expected.end(), row.environment.begin(), row.environment.end());
        expected.push_back(PRINT_START);
        expected.insert(expected.end(), row.arguments.begin(), row.arguments.end());
        EXPECT_EQ(readEntry(file), expected);
        EXPECT_EQ(glibStart(file), expected);
        const auto generated = generatedCommand(config.path());
        ASSERT_TRUE(generated);
        EXPECT_EQ(withPlainEnv(*generated), expected);
    }
}

// A word the generator would read otherwise is refused, and the entry there stays.
TEST(AutostartFileTest, RefusesWhatASessionStartedBySystemdWouldNotReadBack) {
    const test::TempDir root;
    const fs::path file = root.path() / "autostart/org.velnor.Velnor.desktop";
    ASSERT_TRUE(writeEntry(Entry::Autostart, file, "/usr/bin/velnor", {"-port=com1"}));
    const std::string before = contentOf(file);
    const struct {
        std::string program;
        Words environment;
    } refused[] = {
        {"/home/ann/$bin/velnor", {}},
        {"/home/ann/`bin`/velnor", {}},
        {"/usr/bin/velnor", {"VELNOR_COM1=/dev/disk/by-label/a\\x20b"}},
    };
    for (const auto& row : refused) {
        const auto written =
            writeEntry(Entry::Autostart, file, row.program, {"-minimize"}, row.environment);
        ASSERT_FALSE(written) << row.program;
        EXPECT_TRUE(written.error().starts_with(file.string() + " cannot be written: "))
            << written.error();
        EXPECT_EQ(contentOf(file), before);
    }
}

TEST(EntryFolderTest, FollowsXdgConfigHomeAndXdgDataHome) {
    const struct {
        Entry entry;
        const char* variable;  // set to /home/u/custom, else unset
        fs::path file;
    } rows[] = {
        {Entry::Autostart, "XDG_CONFIG_HOME", "/home/u/custom/autostart/org.velnor.Velnor.desktop"},
        {Entry::Autostart, nullptr, "/home/u/.config/autostart/org.velnor.Velnor.desktop"},
        {Entry::Applications, "XDG_DATA_HOME",
         "/home/u/custom/applications/org.velnor.Velnor.desktop"},
        {Entry::Applications, nullptr,
         "/home/u/.local/share/applications/org.velnor.Velnor.desktop"},
    };
    const ScopedEnv home{"HOME", "/home/u"};
    for (const auto& row : rows) {
        const ScopedEnv config{"XDG_CONFIG_HOME", nullptr}, data{"XDG_DATA_HOME", nullptr};
        if (row.variable) ::setenv(row.variable, "/home/u/custom", 1);
        EXPECT_EQ(entryFile(row.entry), row.file);
    }
}

// The keys of the entry in `file` but its Exec line.
std::map<std::string, std::string> keysButExec(const fs::path& file) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(contentOf(file));
    for (std::string line; std::getline(lines, line);)
        if (const size_t equals = line.find('='); equals != line.npos && !line.starts_with("Exec="))
            keys[line.substr(0, equals)] = line.substr(equals + 1);
    return keys;
}

// The user's entry stands in for the installed one in the desktop's menu: it must be as valid,
// say what that says, and start the program with the kept arguments, which may hold what an
// autostart entry refuses.
TEST(ApplicationsEntryTest, IsValidLikeTheInstalledOneAndTheLauncherPassesTheArguments) {
    const test::TempDir data;
    const fs::path file = data.path() / "applications/org.velnor.Velnor.desktop";
    const Words arguments = {"-port=com2", "-dsrSendKeys%=Hello%20World", "-cdSendKeys=%{F4}~"};
    const Words environment = {"VELNOR_COM2=/dev/my \"odd\" $port's (2)"};
    ASSERT_TRUE(writeEntry(Entry::Applications, file, PRINT_START, arguments, environment));
    ASSERT_EQ(::system("command -v desktop-file-validate >/dev/null"), 0)
        << "desktop-file-validate is missing (Debian package desktop-file-utils)";
    EXPECT_EQ(::system(("desktop-file-validate " + file.string()).c_str()), 0);
    EXPECT_EQ(keysButExec(file), keysButExec(PACKAGED_ENTRY));
    Words expected = {"env"};
    expected.insert(expected.end(), environment.begin(), environment.end());
    expected.push_back(PRINT_START);
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(readEntry(file), expected);
    EXPECT_EQ(glibStart(file), expected);
}

}  // namespace
}  // namespace velnor::xdg
