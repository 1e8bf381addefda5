#include "platform/win32/port_catalog.h"

#include <windows.h>
// The GUIDs of devguid.h are defined here, not only declared.
#include <initguid.h>
// After windows.h and initguid.h.
#include <devguid.h>
#include <setupapi.h>

#include <climits>
#include <cwctype>
#include <utility>

#include "core/text.h"
#include "platform/win32/system_text.h"

namespace velnor {
namespace {

// GUID_DEVINTERFACE_COMPORT, whose header (ntddser.h) wants the driver kit's types.
constexpr GUID kComPortInterface{
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

std::wstring valueName(int port) {
    return L"COM" + std::to_wstring(port);
}

// A text value of `key`, or why not: ERROR_FILE_NOT_FOUND where there is none,
// ERROR_UNSUPPORTED_TYPE where it holds no text.
std::pair<LSTATUS, std::wstring> textValue(HKEY key, const wchar_t* subkey, const wchar_t* name) {
    for (;;) {
        DWORD size = 0;
        LSTATUS status = RegGetValueW(key, subkey, name, RRF_RT_REG_SZ, nullptr, nullptr, &size);
        if (status != ERROR_SUCCESS) return {status, {}};
        std::wstring text(size / sizeof(wchar_t), L'\0');
        status = RegGetValueW(key, subkey, name, RRF_RT_REG_SZ, nullptr, text.data(), &size);
        // Written again between the two reads, longer: once more.
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS) return {status, {}};
        text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
        return {status, text};
    }
}

// The ports found, each once by name, in the order of their numbers ("COM2" before "COM10"),
// names without one ("CNCA0") last.
class FoundPorts {
  public:
    void add(std::wstring name, std::wstring description) {
        size_t digits = name.size();
        while (digits > 0 && std::iswdigit(name[digits - 1])) --digits;
        const int number = digits < name.size() && name.size() - digits < 9
                               ? std::stoi(name.substr(digits))
                               : INT_MAX;
        if (description.empty()) description = name;
        ports_.try_emplace({number, name},
                           PortCatalog::Device{.path = utf16Text(L"\\\\.\\" + name),
                                               .description = utf16Text(description)});
    }
    std::vector<PortCatalog::Device> list() && {
        std::vector<PortCatalog::Device> devices;
        for (auto& [name, device] : ports_) devices.push_back(std::move(device));
        return devices;
    }

  private:
    std::map<std::pair<int, std::wstring>, PortCatalog::Device> ports_;
};

// The present devices of a SetupAPI class or interface that name a COM port, with the name
// Device Manager shows.
void addSetupPorts(const GUID& guid, DWORD flags, FoundPorts& found) {
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof info;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &info); ++index) {
        HKEY key = SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::wstring name = textValue(key, nullptr, L"PortName").second;
        RegCloseKey(key);
        // The ports class holds the printer ports too.
        if (name.empty() || name.starts_with(L"LPT")) continue;
        wchar_t friendly[256] = {};
        SetupDiGetDeviceRegistryPropertyW(set, &info, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof(wchar_t), nullptr);
        found.add(name, friendly);
    }
    SetupDiDestroyDeviceInfoList(set);
}

// The ports the serial drivers list, those SetupAPI does not know among them: Wine's and those of
// virtual port drivers.
void addSerialComm(FoundPorts& found) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];  // the longest a value's name can be
        DWORD nameLength = 16384;
        wchar_t port[256] = {};
        DWORD type = 0;
        DWORD size = sizeof port - sizeof(wchar_t);
        const LSTATUS status = RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                             reinterpret_cast<BYTE*>(port), &size);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status == ERROR_SUCCESS && type == REG_SZ && port[0]) found.add(port, {});
    }
    RegCloseKey(key);
}

}  // namespace

std::vector<PortCatalog::Device> Win32PortCatalog::devices() {
    FoundPorts found;
    addSetupPorts(kComPortInterface, DIGCF_DEVICEINTERFACE, found);
    addSetupPorts(GUID_DEVCLASS_PORTS, 0, found);
    addSerialComm(found);
    return std::move(found).list();
}

std::u16string Win32PortCatalog::describe(const std::u16string& device) {
    if (device == u"loopback") return u"the built-in loopback plug";
    for (Device& known : devices())
        if (known.path == device) return std::move(known.description);
    return device + u" (not present)";
}

std::u16string Win32PortCatalog::defaultDevice(int port) {
    return u"\\\\.\\COM" + toU16(port);
}

std::optional<std::u16string> Win32PortCatalog::assigned(int port) {
    if (const auto made = unkept_.find(port); made != unkept_.end())
        return made->second.empty() ? std::nullopt : std::optional(made->second);
    if (settingsProblem()) return std::nullopt;
    const auto [status, device] =
        textValue(HKEY_CURRENT_USER, key_.c_str(), valueName(port).c_str());
    if (status != ERROR_SUCCESS || device.empty()) return std::nullopt;
    return utf16Text(device);
}

Result<> Win32PortCatalog::assign(int port, const std::u16string& device) {
    if (auto problem = settingsProblem()) {
        unkept_[port] = device;
        return std::unexpected(std::move(*problem));
    }
    const std::wstring name = valueName(port);
    const std::wstring value = wideText(device);
    const LSTATUS status =
        device.empty()
            ? RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name.c_str())
            : RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), name.c_str(), REG_SZ, value.c_str(),
                              DWORD((value.size() + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS || (device.empty() && status == ERROR_FILE_NOT_FOUND)) {
        unkept_.erase(port);
        return {};
    }
    unkept_[port] = device;
    return std::unexpected(registryProblem(
        place() + u"\\" + utf16Text(name) + u" cannot be written, so it holds for this run only",
        status));
}

std::optional<Problem> Win32PortCatalog::settingsProblem() {
    for (int port = 1; port <= 4; ++port) {
        const std::wstring name = valueName(port);
        if (textValue(HKEY_CURRENT_USER, key_.c_str(), name.c_str()).first ==
            ERROR_UNSUPPORTED_TYPE)
            return Problem{ProblemKind::Other,
                           place() + u" holds " + utf16Text(name) +
                               u" as another type than text, so the port assignments there are "
                               u"neither read nor changed"};
    }
    return std::nullopt;
}

std::u16string Win32PortCatalog::place() const {
    return u"HKEY_CURRENT_USER\\" + utf16Text(key_);
}

}  // namespace velnor
