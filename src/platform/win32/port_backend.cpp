#include "platform/win32/port_backend.h"

#include <windows.h>

#include <string>

#include "core/text.h"
#include "platform/loopback/loopback_port.h"
#include "platform/win32/comm_port.h"
#include "platform/win32/system_text.h"

namespace velnor {

PortBackend win32PortBackend() {
    return {.deviceOf =
                [](int port) {
                    const std::wstring name = L"VELNOR_COM" + std::to_wstring(port);
                    std::wstring value(32767, L'\0');
                    const DWORD length =
                        GetEnvironmentVariableW(name.c_str(), value.data(), DWORD(value.size()));
                    if (length > 0 && length < value.size())
                        return utf16Text(std::wstring_view(value.data(), length));
                    return u"\\\\.\\COM" + toU16(port);
                },
            .open = [](const std::u16string& device, PortListener& listener) -> OpenResult {
                if (device == u"loopback") return std::make_unique<LoopbackPort>(listener);
                return win32::openPort(device, listener);
            },
            // A port whose adapter went away stays released until the user chooses it again.
            .watchReturn = {}};
}

}  // namespace velnor
