#include "platform/xdg/autostart.h"

#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/posix/small_file.h"

namespace velnor::xdg {
namespace {

constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
constexpr std::string_view kEscapedInQuotes = "\"`$\\";
constexpr std::string_view kUnreadBySystemd = "\\$`";

// What each entry holds besides its Exec line. The menu's stands in for the installed one
// (packaging/org.velnor.Velnor.desktop), so it says what that says.
struct EntryKeys {
    std::string_view beforeExec;
    std::string_view afterExec;
};

constexpr EntryKeys kAutostartKeys{
    .beforeExec =
        "Type=Application\n"
        "Name=Velnor\n"
        "Comment=Turns the lines of a serial port into keys, as set up in its window\n"
        "Icon=org.velnor.Velnor\n",
    .afterExec =
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n",
};

constexpr EntryKeys kApplicationsKeys{
    .beforeExec =
        "Type=Application\n"
        "Name=Velnor\n"
        "GenericName=Serial Line Keys\n"
        "Comment=Turn foot pedals, push buttons and switches on a serial port into keys "
        "and mouse buttons\n",
    .afterExec =
        "Icon=org.velnor.Velnor\n"
        "Terminal=false\n"
        "Categories=Utility;Accessibility;\n"
        "Keywords=serial;pedal;switch;accessibility;keyboard;DSR;CTS;\n"
        "StartupNotify=true\n",
};

// Escapes of a desktop entry's string values, applied to the whole Exec value.
std::string escapeString(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    return escaped;
}

std::optional<std::string> unescapeString(std::string_view text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            plain += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\':
                plain += '\\';
                break;
            case 's':
                plain += ' ';
                break;
            case 'n':
                plain += '\n';
                break;
            case 't':
                plain += '\t';
                break;
            case 'r':
                plain += '\r';
                break;
            default:
                return std::nullopt;
        }
    }
    return plain;
}

std::string quoteWord(const std::string& word) {
    std::string quoted;
    if (!word.empty() && word.find_first_of(kReserved) == std::string::npos) {
        quoted = word;
    } else {
        quoted = "\"";
        for (const char c : word) {
            if (kEscapedInQuotes.find(c) != std::string_view::npos) quoted += '\\';
            quoted += c;
        }
        quoted += '"';
    }
    // A percent sign starts a field code unless it is doubled.
    std::string fielded;
    for (const char c : quoted) fielded += c == '%' ? std::string("%%") : std::string(1, c);
    return fielded;
}

}  // namespace

std::filesystem::path configHome() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') return config;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/") / ".config";
}

std::string execLine(const std::vector<std::string>& command) {
    std::string line;
    for (const std::string& word : command) {
        if (!line.empty()) line += ' ';
        line += quoteWord(word);
    }
    return escapeString(line);
}

std::optional<std::vector<std::string>> parseExecLine(const std::string& exec) {
    const auto line = unescapeString(exec);
    if (!line) return std::nullopt;
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < line->size(); ++i) {
        const char c = (*line)[i];
        if (c == ' ') {
            if (inWord) words.push_back(std::exchange(word, {}));
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '%') {
            if (i + 1 < line->size() && (*line)[i + 1] == '%') {
                word += '%';
                ++i;
                continue;
            }
            return std::nullopt;  // a field code: not ours
        }
        if (c == '"') {
            for (++i;; ++i) {
                if (i >= line->size()) return std::nullopt;
                char q = (*line)[i];
                if (q == '"') break;
                if (q == '\\') {
                    if (++i >= line->size()) return std::nullopt;
                    q = (*line)[i];
                    if (kEscapedInQuotes.find(q) == std::string_view::npos) return std::nullopt;
                } else if (q == '%') {
                    if (++i >= line->size() || (*line)[i] != '%') return std::nullopt;
                }
                word += q;
            }
            continue;
        }
        if (kReserved.find(c) != std::string_view::npos) return std::nullopt;
        word += c;
    }
    if (inWord) words.push_back(word);
    return words;
}

std::filesystem::path entryFile(Entry entry) {
    constexpr char kName[] = "org.velnor.Velnor.desktop";
    if (entry == Entry::Autostart) return configHome() / "autostart" / kName;
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return std::filesystem::path(data) / "applications" / kName;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/") / ".local/share/applications" / kName;
}

std::expected<void, std::string> writeEntry(Entry entry, const std::filesystem::path& file,
                                            const std::string& program,
                                            const std::vector<std::string>& arguments,
                                            const std::vector<std::string>& environment) {
    std::vector<std::string> command;
    if (!environment.empty()) command.push_back("env");
    command.insert(command.end(), environment.begin(), environment.end());
    command.push_back(program);
    command.insert(command.end(), arguments.begin(), arguments.end());
    const std::string cannot = file.string() + " cannot be written: ";
    if (entry == Entry::Autostart)
        for (const std::string& word : command)
            if (word.find_first_of(kUnreadBySystemd) != std::string::npos)
                return std::unexpected(cannot + word +
                                       " holds \\, $ or `, which a session started by " +
                                       "systemd would not read back");
    const EntryKeys& keys = entry == Entry::Autostart ? kAutostartKeys : kApplicationsKeys;
    const std::string text = "[Desktop Entry]\n" + std::string(keys.beforeExec) +
                             "Exec=" + execLine(command) + "\n" + std::string(keys.afterExec);
    if (auto written = posix::replaceFile(file, text); !written)
        return std::unexpected(cannot + written.error());
    return {};
}

std::optional<std::vector<std::string>> readEntry(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (line.starts_with('[')) inEntry = line == "[Desktop Entry]";
        if (inEntry && line.starts_with("Exec=")) return parseExecLine(line.substr(5));
    }
    return std::nullopt;
}

}  // namespace velnor::xdg
