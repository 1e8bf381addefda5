#include "platform/posix/program_folder.h"

#include <limits.h>
#include <unistd.h>

namespace velnor::posix {

std::optional<std::string> besideProgram(std::initializer_list<const char*> places, int mode) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) return std::nullopt;
    std::string folder(self, size_t(length));
    folder.erase(folder.rfind('/') + 1);
    for (const char* place : places) {
        const std::string path = folder + place;
        if (::access(path.c_str(), mode) == 0) return path;
    }
    return std::nullopt;
}

}  // namespace velnor::posix
