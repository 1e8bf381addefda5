#pragma once

// Small values kept for the user between runs, each in a file of its own under the user's
// configuration folder ($XDG_CONFIG_HOME/velnor/<name>): the keyboard layout picked in the window,
// the desktop's token that spares a permission dialog at the next start.

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velnor::posix {

std::filesystem::path userValueFile(std::string_view name);

// The value kept under `name`, without the line's end; nothing when none is kept or its file
// cannot be read (a value is only ever a convenience: the program goes on without it).
std::optional<std::string> userValue(std::string_view name);

// Keeps `value` under `name`, replacing the file in one step; an empty value forgets it. Fails
// with the reason in the system's words.
std::expected<void, std::string> keepUserValue(std::string_view name, std::string_view value);

}  // namespace velnor::posix
