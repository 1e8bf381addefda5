#pragma once

#include "core/start_entry.h"

namespace velnor {

// Start at login as an XDG autostart entry (xdg/autostart.h) that runs this program.
class XdgLoginStart final : public StartEntry {
  public:
    bool enabled() override;
    std::u16string place() override;
    Result<> enable(const std::vector<std::u16string>& arguments) override;
    Result<> disable() override;
};

}  // namespace velnor
