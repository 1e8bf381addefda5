// Kept settings on Windows: the arguments of the Start menu shortcut, set and cleared through the
// shell's link object, on a shortcut the test makes in a folder of its own.
#include "platform/win32/shortcut_entry.h"

#include <gtest/gtest.h>
#include <objidl.h>
#include <shobjidl.h>

#include <string>

#include "platform/win32/copy_command_line.h"
#include "platform/win32/system_text.h"
#include "test_text.h"

namespace velnor {
namespace {

// A shortcut to `target` without arguments, as the installer makes it.
void makeShortcut(const std::wstring& path, const std::wstring& target) {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    IShellLinkW* link = nullptr;
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkW, reinterpret_cast<void**>(&link))));
    EXPECT_TRUE(SUCCEEDED(link->SetPath(target.c_str())));
    ASSERT_TRUE(SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    EXPECT_TRUE(SUCCEEDED(file->Save(path.c_str(), TRUE)));
    file->Release();
    link->Release();
    CoUninitialize();
}

std::wstring freshFolder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"velnor-shortcut-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

TEST(ShortcutEntry, IsTheInstallersShortcutInTheUsersStartMenu) {
    EXPECT_TRUE(startMenuShortcut().ends_with(L"\\Start Menu\\Programs\\Velnor.lnk"))
        << narrow(utf16Text(startMenuShortcut()));
}

TEST(ShortcutEntry, SetsAndClearsTheShortcutsArgumentsAndWritesNothingWithoutOne) {
    const std::wstring folder = freshFolder();
    const std::wstring path = folder + L"\\Velnor.lnk";
    ShortcutEntry entry(path);
    EXPECT_EQ(entry.place(), utf16Text(path));

    // A copy that was not installed.
    const auto portable = entry.enable({u"-port=com1"});
    ASSERT_FALSE(portable);
    EXPECT_EQ(portable.error().kind, ProblemKind::Missing);
    EXPECT_NE(portable.error().reason.find(entry.place()), std::u16string::npos);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing written";
    EXPECT_FALSE(entry.enabled());
    EXPECT_TRUE(entry.disable()) << "nothing kept, nothing to clear";

    makeShortcut(path, wideText(programPath()));
    EXPECT_FALSE(entry.enabled());
    ASSERT_TRUE(entry.enable({u"-port=com1", u"-dsrSendKeys%=a%20b", u"-cdSendKeys=\u20ac"}));
    EXPECT_TRUE(entry.enabled());
    EXPECT_EQ(shortcutArguments(path), L"-port=com1 -dsrSendKeys%=a%20b -cdSendKeys=\u20ac");
    ASSERT_TRUE(entry.disable());
    EXPECT_FALSE(entry.enabled());
    EXPECT_EQ(shortcutArguments(path), L"") << "the shortcut stays, without arguments";

    DeleteFileW(path.c_str());

    // What stands there cannot be written (read-only files are no obstacle to root, under which
    // Wine may run): the system's reason is told.
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    const auto refused = entry.enable({u"-dtr"});
    ASSERT_FALSE(refused);
    EXPECT_TRUE(refused.error().reason.starts_with(entry.place() + u" cannot be written: "))
        << narrow(refused.error().reason);
    EXPECT_FALSE(entry.enabled());
    RemoveDirectoryW(path.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace velnor
