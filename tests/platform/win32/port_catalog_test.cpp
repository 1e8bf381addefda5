#include "platform/win32/port_catalog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/main_form.h"
#include "core/support/menu_text.h"
#include "core/text.h"
#include "platform/win32/port_backend.h"
#include "test_text.h"
#include "win32_form.h"

namespace velnor {
namespace {

constexpr wchar_t kSerialComm[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Names COM ports in the prefix's SERIALCOMM, as a serial driver does, and takes them back.
class SerialCommPorts {
  public:
    SerialCommPorts(std::initializer_list<std::pair<std::wstring, std::wstring>> ports)
        : ports_(ports) {
        for (const auto& [device, name] : ports_)
            EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kSerialComm, device.c_str(), REG_SZ,
                                      name.c_str(), DWORD((name.size() + 1) * sizeof(wchar_t))),
                      ERROR_SUCCESS);
    }
    ~SerialCommPorts() {
        for (const auto& [device, name] : ports_)
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kSerialComm, device.c_str());
    }

  private:
    std::vector<std::pair<std::wstring, std::wstring>> ports_;
};

// The tests' own assignments, none at the start and none left behind.
class PortCatalogTest : public ::testing::Test {
  protected:
    PortCatalogTest() { RegDeleteTreeW(HKEY_CURRENT_USER, Win32Form::kPortsKey); }
    ~PortCatalogTest() override { RegDeleteTreeW(HKEY_CURRENT_USER, Win32Form::kPortsKey); }

    static void setValue(int port, DWORD type, const void* data, DWORD size) {
        const std::wstring name = L"COM" + std::to_wstring(port);
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, Win32Form::kPortsKey, name.c_str(), type, data,
                                  size),
                  ERROR_SUCCESS);
    }

    Win32PortCatalog catalog{Win32Form::kPortsKey};
};

int numberOf(const std::u16string& path) {
    const size_t digits = path.find_first_of(u"0123456789");
    return digits == std::u16string::npos ? -1 : std::stoi(narrow(path.substr(digits)));
}

TEST_F(PortCatalogTest, ListsThePortsTheSerialDriversNameOnceEachInTheOrderOfTheirNumbers) {
    // Two drivers naming one port, and numbers whose text sorts otherwise (COM10 before COM2).
    const SerialCommPorts named{{L"\\Device\\VelnorTest0", L"COM10"},
                                {L"\\Device\\VelnorTest1", L"COM2"},
                                {L"\\Device\\VelnorTest2", L"COM31"},
                                {L"\\Device\\VelnorTest3", L"COM2"}};
    const std::vector<PortCatalog::Device> devices = catalog.devices();
    std::vector<std::u16string> paths;
    for (const PortCatalog::Device& device : devices) paths.push_back(device.path);
    for (const std::u16string path : {u"\\\\.\\COM2", u"\\\\.\\COM10", u"\\\\.\\COM31"}) {
        SCOPED_TRACE(narrow(path));
        EXPECT_EQ(std::count(paths.begin(), paths.end(), path), 1);
        EXPECT_EQ(catalog.describe(path), path.substr(4)) << "as the driver names it";
    }
    EXPECT_TRUE(std::is_sorted(paths.begin(), paths.end(), [](const auto& a, const auto& b) {
        return numberOf(a) < numberOf(b);
    }));
    EXPECT_EQ(catalog.describe(u"\\\\.\\COM77"), u"\\\\.\\COM77 (not present)");
}

TEST_F(PortCatalogTest, AnAssignmentIsKeptForTheNextRunUntilAnEmptyOneTakesItBack) {
    EXPECT_EQ(catalog.assigned(2), std::nullopt);
    ASSERT_TRUE(catalog.assign(2, u"\\\\.\\COM7"));
    ASSERT_TRUE(catalog.assign(4, u"loopback"));
    EXPECT_EQ(Win32PortCatalog(Win32Form::kPortsKey).assigned(2), u"\\\\.\\COM7");
    EXPECT_EQ(Win32PortCatalog(Win32Form::kPortsKey).assigned(4), u"loopback");
    EXPECT_EQ(Win32PortCatalog(Win32Form::kPortsKey).assigned(1), std::nullopt);

    ASSERT_TRUE(catalog.assign(2, u""));
    EXPECT_EQ(Win32PortCatalog(Win32Form::kPortsKey).assigned(2), std::nullopt);
    EXPECT_EQ(catalog.assigned(2), std::nullopt);
    EXPECT_TRUE(catalog.assign(3, u"")) << "taking back what is not there";
    EXPECT_EQ(catalog.settingsProblem(), std::nullopt);
}

TEST_F(PortCatalogTest, AValueOfAnotherTypeIsAProblemThatLeavesTheKeyAsItIs) {
    const wchar_t kept[] = L"\\\\.\\COM5";
    setValue(1, REG_SZ, kept, sizeof kept);
    const DWORD number = 6;
    setValue(3, REG_DWORD, &number, sizeof number);

    const auto problem = catalog.settingsProblem();
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->reason.find(u"HKEY_CURRENT_USER\\Software\\Velnor\\Tests\\Ports"),
              std::u16string::npos)
        << narrow(problem->reason);
    EXPECT_NE(problem->reason.find(u"COM3"), std::u16string::npos) << narrow(problem->reason);
    EXPECT_EQ(catalog.assigned(1), std::nullopt) << "nothing is read from a key in doubt";

    // Holds for this run only.
    EXPECT_FALSE(catalog.assign(1, u"\\\\.\\COM8"));
    EXPECT_EQ(catalog.assigned(1), u"\\\\.\\COM8");
    wchar_t value[32] = {};
    DWORD size = sizeof value;
    ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, Win32Form::kPortsKey, L"COM1", RRF_RT_REG_SZ, nullptr,
                           value, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, kept);
}

// Each row: what the environment says, what the user assigned, the device the port stands for.
TEST_F(PortCatalogTest, APortIsTheEnvironmentsDeviceElseTheAssignedOneElseItsComPort) {
    struct Row {
        const wchar_t* environment;
        std::u16string assigned;
        std::u16string device;
    };
    const Row rows[] = {
        {nullptr, u"", u"\\\\.\\COM3"},
        {nullptr, u"\\\\.\\COM7", u"\\\\.\\COM7"},
        {L"\\\\.\\COM17", u"\\\\.\\COM7", u"\\\\.\\COM17"},
        {L"loopback", u"", u"loopback"},
    };
    const PortBackend backend = win32PortBackend(catalog);
    for (const Row& row : rows) {
        SCOPED_TRACE(narrow(row.device));
        SetEnvironmentVariableW(L"VELNOR_COM3", row.environment);
        ASSERT_TRUE(catalog.assign(3, row.assigned));
        EXPECT_EQ(backend.deviceOf(3), row.device);
        EXPECT_EQ(backend.deviceOf(12), u"\\\\.\\COM12");
    }
    SetEnvironmentVariableW(L"VELNOR_COM3", nullptr);
}

// The core's port menu on the Windows catalog: a submenu for each port that offers the machine's
// ports, and choosing one makes the port stand for it.
TEST_F(PortCatalogTest, ThePortMenuOffersTheMachinesComPortsForEachPort) {
    const SerialCommPorts named{{L"\\Device\\VelnorTest0", L"COM23"}};
    NullInputSink input;
    Win32Form window(input);
    MainForm& form = window.form;
    Menu menu = form.menuOf(form.Port);
    for (int port = 1; port <= 4; ++port) {
        const std::u16string title = u"COM" + toU16(port) + u": ";
        EXPECT_TRUE(std::any_of(menu.begin(), menu.end(), [&](const MenuEntry& entry) {
            return entry.text.starts_with(title) && entry.kind == MenuEntry::Kind::Submenu;
        })) << narrow(title);
    }
    const std::u16string com2 = menu[1].text;
    ASSERT_TRUE(com2.starts_with(u"COM2: ")) << narrow(com2);
    MenuEntry* choice = test::findEntry(menu, {com2, u"COM23"});
    ASSERT_NE(choice, nullptr) << narrow(com2);
    EXPECT_EQ(choice->toolTip, u"\\\\.\\COM23");
    choice->chosen(u"");
    EXPECT_EQ(window.catalog.assigned(2), u"\\\\.\\COM23");
    EXPECT_NE(window.log().find("COM2 now stands for \\\\.\\COM23"), std::string::npos)
        << window.log();
    EXPECT_EQ(form.menuOf(form.Port)[1].text, u"COM2: COM23");
}

}  // namespace
}  // namespace velnor
