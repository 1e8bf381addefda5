#pragma once

// The COM ports of this machine, named as Device Manager names them, and the user's assignments
// of COM1 to COM4: values COM1..COM4 of HKEY_CURRENT_USER\Software\Velnor\Ports. The registry
// rather than a file: each value is written in one step, there is nothing to lock or parse, the
// user's own hive needs no administrator, and no other program can leave it half-written.

#include <map>
#include <string>

#include "core/port_catalog.h"

namespace velnor {

class Win32PortCatalog final : public PortCatalog {
  public:
    static constexpr wchar_t kUserKey[] = L"Software\\Velnor\\Ports";

    // `key` under HKEY_CURRENT_USER; tests use one of their own.
    explicit Win32PortCatalog(std::wstring key = kUserKey) : key_(std::move(key)) {}

    std::vector<Device> devices() override;
    std::u16string describe(const std::u16string& device) override;
    std::u16string defaultDevice(int port) override;
    std::optional<std::u16string> assigned(int port) override;
    Result<> assign(int port, const std::u16string& device) override;
    std::optional<Problem> settingsProblem() override;

  private:
    std::u16string place() const;

    std::wstring key_;
    // Assignments of this run that could not be kept, by port; an empty one takes it back.
    std::map<int, std::u16string> unkept_;
};

}  // namespace velnor
