#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/linux/window_main.h"
#include "core/arguments.h"
#include "core/main_form.h"
#include "core/text.h"
#include "platform/dbus/hand_over.h"
#include "platform/posix/program_folder.h"

namespace {

constexpr char16_t kEnvironment[] =
    u"Environment: VELNOR_COM1..VELNOR_COM4 (a device path or loopback), VELNOR_INPUT\n"
    u"(auto, x11, uinput, portal, none), QT_QPA_PLATFORM. See the README for more.\n";

// Loads the window part from beside the program or from where the package installs it, and runs
// it.
int runWindow(char* argv[], const std::u16string& commandLine) {
    const std::optional<std::string> library = velnor::posix::besideProgram(
        {"libvelnor-window.so", "../lib/velnor/libvelnor-window.so"}, R_OK);
    if (!library) {
        std::fputs(
            "velnor: the window part, libvelnor-window.so, was not found beside the program or "
            "in ../lib/velnor\n",
            stderr);
        return EXIT_FAILURE;
    }
    void* window = ::dlopen(library->c_str(), RTLD_LAZY | RTLD_LOCAL);
    const auto run =
        window ? reinterpret_cast<decltype(&velnor_window_main)>(::dlsym(window, kWindowMainSymbol))
               : nullptr;
    if (!run) {
        std::fprintf(stderr, "velnor: cannot load the window part: %s\n", ::dlerror());
        return EXIT_FAILURE;
    }
    return run(argv, commandLine.c_str());
}

}  // namespace

int main(int argc, char* argv[]) {
    // Every argument belongs to the program's own argument language, so Qt sees none of them;
    // the Qt platform is chosen with QT_QPA_PLATFORM instead.
    std::u16string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += u' ';
        commandLine += velnor::fromUtf8(argv[i]);
    }
    // Answered before any display is touched.
    switch (velnor::startRequest(commandLine)) {
        case velnor::StartRequest::Version:
            std::printf("velnor %s\n", VELNOR_VERSION);
            return EXIT_SUCCESS;
        case velnor::StartRequest::Help:
            std::fputs(velnor::toUtf8(velnor::helpText(kEnvironment)).c_str(), stdout);
            return EXIT_SUCCESS;
        case velnor::StartRequest::Run:
            break;
    }
    // A running copy takes the command line before anything of the window is loaded: a script's
    // second start costs a bus call. When two starts find no copy at once, the bus-name claim in
    // Form_Load decides between them.
    if (const velnor::Result<> handed = velnor::dbus::handOver(commandLine);
        handed || handed.error().kind != velnor::ProblemKind::Missing) {
        if (!handed)
            std::fprintf(stderr, "%s\n",
                         velnor::toUtf8(velnor::handOverFailure(handed.error().reason)).c_str());
        // Nothing was built that needs taking down.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(EXIT_SUCCESS);
    }
    return runWindow(argv, commandLine);
}
