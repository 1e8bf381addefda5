#pragma once
// What users and their tools leave where a settings file should be, and how to tell afterwards
// whether the program left it alone.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

namespace velnor::test {

// Something made at a file's path, and the reason the program gives for not reading it.
struct PlantedFile {
    const char* what;
    std::function<void(const std::filesystem::path&)> make;
    std::string why;
};

// The two that a blocking, unbounded read would hang on or exhaust memory with.
inline const PlantedFile kPlantedFifo{
    "a FIFO", [](const std::filesystem::path& file) { ::mkfifo(file.c_str(), 0644); },
    "it is a FIFO, not a regular file"};
inline const PlantedFile kPlantedDevice{
    "a link to /dev/zero",
    [](const std::filesystem::path& file) { std::filesystem::create_symlink("/dev/zero", file); },
    "it is a device, not a regular file"};

// Kind, mode, a link's target and a file's content, to compare before and after.
inline std::string standing(const std::filesystem::path& path) {
    struct stat found {};
    if (::lstat(path.c_str(), &found) != 0) return "nothing";
    std::ostringstream seen;
    seen << std::oct << found.st_mode;
    if (S_ISLNK(found.st_mode)) seen << " -> " << std::filesystem::read_symlink(path).string();
    if (S_ISREG(found.st_mode)) {
        std::ifstream in(path, std::ios::binary);
        seen << ": " << std::string(std::istreambuf_iterator<char>(in), {});
    }
    return seen.str();
}

}  // namespace velnor::test
