// ports.ini as users and their tools leave it: never waited for, told, never written over.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <set>

#include "platform/posix/serial_devices.h"
#include "platform/posix/user_value.h"
#include "support/planted_file.h"
#include "support/temp_dir.h"

namespace velnor::posix {
namespace {

namespace fs = std::filesystem;
using test::PlantedFile;
using test::standing;

void write(const fs::path& file, std::string_view content) {
    std::ofstream(file, std::ios::binary) << content;
}

std::string contentOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// Runs `body` in a child free to change user or mount namespace; "" when the child failed.
std::string inChild(const std::function<std::string()>& body) {
    int ends[2];
    if (::pipe(ends) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ends[0]);
        const std::string said = body();
        const bool whole = ::write(ends[1], said.data(), said.size()) == ssize_t(said.size());
        ::_exit(whole ? 0 : 1);
    }
    ::close(ends[1]);
    std::string said;
    char buffer[4096];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) said.append(buffer, got);
    ::close(ends[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? said : std::string();
}

// Root reads whatever the mode bits say, so the attempt runs as nobody there.
TEST(SettingsFileTest, WhatCannotBeReadIsToldNeverWaitedForAndLeftAsItIs) {
    const std::string kept = "[ports]\nCOM1=/dev/ttyUSB0\n";
    const PlantedFile cases[] = {
        test::kPlantedFifo,
        test::kPlantedDevice,
        {"a link to itself",
         [](const fs::path& file) { fs::create_symlink(file.filename(), file); },
         std::strerror(ELOOP)},
        {"unreadable",
         [&](const fs::path& file) {
             write(file, kept);
             fs::permissions(file, fs::perms::none);
         },
         std::strerror(EACCES)},
        {"larger than any list of four devices",
         [&](const fs::path& file) { write(file, kept + std::string(64 * 1024, '#')); },
         "it is larger than 64 KiB"},
        {"not text", [&](const fs::path& file) { write(file, kept + std::string("\0\x01", 2)); },
         "it is not a text file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TempDir folder;
        fs::permissions(folder.path(), fs::perms::all);
        const fs::path file = folder.path() / "ports.ini";
        c.make(file);
        const std::string before = standing(file);
        const std::string said = inChild([&] {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                return std::string();
            PortAssignments assignments(file);
            const auto assigned = assignments.assign(2, "loopback");
            return assignments.problem().value_or("no problem") + "\n" +
                   (assigned ? "written" : assigned.error()) + "\n" +
                   assignments.deviceOf(1).value_or("none") + " " +
                   assignments.deviceOf(2).value_or("none");
        });
        const std::string problem = file.string() + " cannot be read: " + c.why;
        // COM2 holds for this run only.
        EXPECT_EQ(said, problem + "\n" + problem + "; it is left as it is\nnone loopback");
        EXPECT_EQ(standing(file), before);
        EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"ports.ini"});
    }
}

// No half-written file is left beside the old one.
TEST(SettingsFileTest, AFullDiskLeavesTheOldFileWhole) {
    const test::TempDir folder;
    const std::string before = "# mine\n[ports]\nCOM1=/dev/ttyUSB0\n";
    const std::string said = inChild([&]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return "skip: " + std::string(std::strerror(errno));
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", folder.path().c_str(), "tmpfs", 0, "size=16k") != 0)
            return "skip: " + std::string(std::strerror(errno));
        const fs::path file = folder.path() / "ports.ini";
        write(file, before);
        std::ofstream filler(folder.path() / "filler", std::ios::binary);
        while (filler << std::string(1024, '#') << std::flush) {
        }
        PortAssignments assignments(file);
        const auto assigned = assignments.assign(2, "loopback");
        std::string seen = assigned ? "written" : assigned.error();
        seen += "\n" + assignments.deviceOf(2).value_or("none") + "\n" + contentOf(file);
        for (const std::string& name : namesIn(folder.path())) seen += "\n" + name;
        return seen;
    });
    if (said.starts_with("skip: ")) GTEST_SKIP() << "no file system of the test's own: " << said;
    const fs::path file = folder.path() / "ports.ini";
    EXPECT_EQ(said, file.string() + " cannot be written: " + std::strerror(ENOSPC) +
                        "\nloopback\n" + before + "\nfiller\nports.ini");
}

// As a dotfile manager links it: the link stays, its target keeps the user's own lines.
TEST(SettingsFileTest, ALinkedFileIsUpdatedAtItsTargetWithTheUsersOwnLines) {
    const test::TempDir home;
    const fs::path kept = home.path() / "dotfiles/velnor/ports.ini";
    const fs::path link = home.path() / "config/velnor/ports.ini";
    fs::create_directories(kept.parent_path());
    fs::create_directories(link.parent_path());
    write(kept,
          "# mine\n[ports]\r\nCOM1=/dev/ttyUSB0\r\n; spare: COM9=/dev/ttyS9\n[other]\nCOM3=x");
    fs::permissions(kept, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("../../dotfiles/velnor/ports.ini", link);

    PortAssignments assignments(link);
    EXPECT_EQ(assignments.deviceOf(1), "/dev/ttyUSB0");
    ASSERT_TRUE(assignments.assign(2, "loopback"));
    ASSERT_TRUE(assignments.assign(1, ""));
    EXPECT_EQ(fs::read_symlink(link), "../../dotfiles/velnor/ports.ini");
    EXPECT_EQ(
        standing(kept),
        "100640: # mine\n[ports]\r\nCOM2=loopback\n; spare: COM9=/dev/ttyS9\n[other]\nCOM3=x");
    EXPECT_EQ(namesIn(kept.parent_path()), std::set<std::string>{"ports.ini"});
    EXPECT_EQ(namesIn(link.parent_path()), std::set<std::string>{"ports.ini"});
}

// Also a change of the same size within one tick of coarse file times (vm_settings_file).
TEST(SettingsFileTest, AChangedFileIsReadAgain) {
    const test::TempDir folder;
    const fs::path file = folder.path() / "ports.ini";
    write(file, "[ports]\nCOM1=/dev/ttyUSB0\n");
    const PortAssignments assignments(file);
    EXPECT_EQ(assignments.deviceOf(1), "/dev/ttyUSB0");
    write(file, "[ports]\nCOM1=/dev/ttyUSB1\n");
    EXPECT_EQ(assignments.deviceOf(1), "/dev/ttyUSB1");
    fs::remove(file);
    EXPECT_EQ(assignments.deviceOf(1), std::nullopt);
    EXPECT_EQ(assignments.problem(), std::nullopt) << "no file is no problem";
    ::mkfifo(file.c_str(), 0644);
    EXPECT_NE(assignments.problem(), std::nullopt);
    fs::remove(file);
    write(file, "[ports]\nCOM1=/dev/ttyACM0\n");
    EXPECT_EQ(assignments.deviceOf(1), "/dev/ttyACM0");
    EXPECT_EQ(assignments.problem(), std::nullopt);
}

}  // namespace
}  // namespace velnor::posix

namespace velnor::posix {
namespace {

// A kept value is private to the user from its first write (the portal's token stands for the
// user's consent), comes back without its line's end, and an empty one forgets it.
TEST(UserValueTest, KeptPrivatelyReadBackAndForgotten) {
    const test::TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    EXPECT_EQ(userValue("keyboard-layout"), std::nullopt);

    ASSERT_TRUE(keepUserValue("keyboard-layout", "German"));
    const fs::path file = config.path() / "velnor/keyboard-layout";
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(userValue("keyboard-layout"), "German");

    ASSERT_TRUE(keepUserValue("keyboard-layout", ""));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(userValue("keyboard-layout"), std::nullopt);
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace velnor::posix
