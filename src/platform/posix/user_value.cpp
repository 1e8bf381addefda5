#include "platform/posix/user_value.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

#include "platform/posix/small_file.h"
#include "platform/xdg/autostart.h"

namespace velnor::posix {
namespace {

// Far more than a layout name or a token needs.
constexpr size_t kMaxValueSize = 4096;

}  // namespace

std::filesystem::path userValueFile(std::string_view name) {
    return xdg::configHome() / "velnor" / name;
}

std::optional<std::string> userValue(std::string_view name) {
    auto content = readSmallFile(userValueFile(name), kMaxValueSize);
    if (!content) return std::nullopt;
    while (!content->empty() && (content->back() == '\n' || content->back() == '\r'))
        content->pop_back();
    if (content->empty()) return std::nullopt;
    return *content;
}

std::expected<void, std::string> keepUserValue(std::string_view name, std::string_view value) {
    const std::filesystem::path file = userValueFile(name);
    if (value.empty()) {
        std::error_code error;
        std::filesystem::remove(file, error);
        if (error) return std::unexpected(file.string() + ": " + error.message());
        return {};
    }
    // Private from the start (a token stands for the user's consent); the replacement keeps the
    // mode of the file it replaces.
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    if (const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600); fd >= 0)
        ::close(fd);
    return replaceFile(file, std::string(value) + "\n");
}

}  // namespace velnor::posix
