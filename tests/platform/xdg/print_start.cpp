// Started from an autostart entry by the tests: writes to $VELNOR_TEST_STARTED the command it was
// started with, NUL-ended words, led by env(1) and the VELNOR_COMn set, if any. Written under
// another name first, so the test never reads half of it.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char* argv[]) {
    const char* file = std::getenv("VELNOR_TEST_STARTED");
    if (!file) return 1;
    std::string given;
    for (int port = 1; port <= 4; ++port) {
        const std::string name = "VELNOR_COM" + std::to_string(port);
        if (const char* value = std::getenv(name.c_str()))
            given.append(name + "=" + value).push_back('\0');
    }
    if (!given.empty()) given.insert(0, "env\0", 4);
    for (int i = 0; i < argc; ++i) given.append(argv[i]).push_back('\0');
    const std::string partial = std::string(file) + ".partial";
    std::ofstream(partial, std::ios::binary) << given;
    return std::rename(partial.c_str(), file) == 0 ? 0 : 1;
}
