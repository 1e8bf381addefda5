#pragma once

#include "core/port_catalog.h"

namespace velnor {

// The serial devices of this machine (posix/serial_devices.h) and the user's assignments of COM1
// to COM4, kept in ports.ini under the XDG config folder (posix::PortAssignments::ofUser(), which
// the port backend reads too).
class LinuxPortCatalog final : public PortCatalog {
  public:
    std::vector<Device> devices() override;
    std::u16string describe(const std::u16string& device) override;
    std::u16string defaultDevice(int port) override;
    std::optional<std::u16string> assigned(int port) override;
    Result<> assign(int port, const std::u16string& device) override;
    std::optional<Problem> settingsProblem() override;
};

}  // namespace velnor
