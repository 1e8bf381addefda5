#pragma once

// Desktop entries that start Velnor with given arguments: at login (XDG autostart), and from the
// desktop's menu.

#include <expected>
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

// The entries that start Velnor with given arguments.
enum class Entry {
    Autostart,     // starts it at login
    Applications,  // the user's own, which the desktop's menu shows instead of the installed one
};

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
std::filesystem::path configHome();

// Where `entry` lies: $XDG_CONFIG_HOME/autostart/org.velnor.Velnor.desktop (or under ~/.config),
// $XDG_DATA_HOME/applications/org.velnor.Velnor.desktop (or under ~/.local/share).
std::filesystem::path entryFile(Entry entry);

// Writes `entry` to `file`, starting `program` with `arguments` in `environment` (assignments
// "NAME=value", given through env(1)); fails with a sentence that names the file. For an autostart
// entry a word that holds \, $ or ` is refused: systemd-xdg-autostart-generator, which starts the
// entries of sessions that systemd runs (KDE Plasma), reads such a word differently from the
// desktop entry rules (a backslash once more as an escape; $ and ` escaped in a way that systemd
// keeps).
std::expected<void, std::string> writeEntry(Entry entry, const std::filesystem::path& file,
                                            const std::string& program,
                                            const std::vector<std::string>& arguments,
                                            const std::vector<std::string>& environment = {});

// The command of the entry in `file`, when there is one.
std::optional<std::vector<std::string>> readEntry(const std::filesystem::path& file);

}  // namespace velnor::xdg
