#pragma once

// Start at login on Windows: a value of the user's Run key (HKEY_CURRENT_USER, under
// Software\Microsoft\Windows\CurrentVersion\Run) that holds the program's command line. Chosen
// over a shortcut in the Startup folder: it needs no administrator and no shell-link (COM) code,
// holds the command line as it is, and Task Manager's Startup tab lists it, where the user can
// also switch it off.

#include <string>

#include "core/start_entry.h"

namespace velnor {

class RunKeyLoginStart final : public StartEntry {
  public:
    // The value's name; tests use one of their own.
    explicit RunKeyLoginStart(std::wstring name = L"Velnor") : name_(std::move(name)) {}

    bool enabled() override;
    std::u16string place() override;
    Result<> enable(const std::vector<std::u16string>& arguments) override;
    Result<> disable() override;

  private:
    std::wstring name_;
};

}  // namespace velnor
