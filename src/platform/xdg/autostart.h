#pragma once

// Start at login: an XDG autostart entry that starts Velnor with given arguments.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velnor::xdg {

// The Exec value of a desktop entry that runs `program` with `arguments`, each one word: quoted
// and escaped by the entry's rules, so that any argument comes back exactly as it was.
std::string execLine(const std::vector<std::string>& command);

// The words of an Exec value, read by the same rules; nothing when it is malformed (an open
// quote, a reserved character outside quotes, a field code).
std::optional<std::vector<std::string>> parseExecLine(const std::string& exec);

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path configHome();

// $XDG_CONFIG_HOME/autostart/org.velnor.Velnor.desktop, or under ~/.config.
std::filesystem::path autostartFile();

// Writes the entry that starts `program` with `arguments` at login; false when it cannot be
// written.
bool writeAutostart(const std::filesystem::path& file, const std::string& program,
                    const std::vector<std::string>& arguments);

// The command of the entry in `file`, when there is one.
std::optional<std::vector<std::string>> readAutostart(const std::filesystem::path& file);

}  // namespace velnor::xdg
