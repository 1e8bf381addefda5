#pragma once

#include "core/start_entry.h"
#include "platform/xdg/autostart.h"

namespace velnor {

// A desktop entry (xdg/autostart.h) that runs this program: at login, or from the desktop's menu.
class XdgStartEntry final : public StartEntry {
  public:
    explicit XdgStartEntry(xdg::Entry entry) : entry_(entry) {}

    bool enabled() override;
    std::u16string place() override;
    Result<> enable(const std::vector<std::u16string>& arguments) override;
    Result<> disable() override;

  private:
    xdg::Entry entry_;
};

}  // namespace velnor
