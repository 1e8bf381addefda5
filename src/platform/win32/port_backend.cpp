#include "platform/win32/port_backend.h"

#include <windows.h>

#include <string>

#include "platform/loopback/loopback_port.h"
#include "platform/win32/comm_port.h"
#include "platform/win32/device_watch.h"
#include "platform/win32/system_text.h"

namespace velnor {

PortBackend win32PortBackend(PortCatalog& catalog) {
    return {.deviceOf =
                [&catalog](int port) {
                    const std::wstring name = L"VELNOR_COM" + std::to_wstring(port);
                    std::wstring value(32767, L'\0');
                    const DWORD length =
                        GetEnvironmentVariableW(name.c_str(), value.data(), DWORD(value.size()));
                    if (length > 0 && length < value.size())
                        return utf16Text(std::wstring_view(value.data(), length));
                    return catalog.assigned(port).value_or(catalog.defaultDevice(port));
                },
            .open = [](const std::u16string& device, PortListener& listener) -> OpenResult {
                if (device == u"loopback") return std::make_unique<LoopbackPort>(listener);
                return win32::openPort(device, listener);
            },
            .watchReturn = [](const std::u16string& device,
                              std::function<void()> back) -> std::unique_ptr<DeviceWatch> {
                // The loopback plug is never unplugged.
                if (device == u"loopback") return nullptr;
                return std::make_unique<win32::ComPortReturnWatch>(device, std::move(back));
            }};
}

}  // namespace velnor
