// A second process for the DDE tests: "claim" claims the channel and prints the outcome;
// "execute <command>..." executes each command in turn and prints "ok" or the error for each.
#include <cstdio>
#include <string>

#include "platform/win32/dde_channel.h"
#include "platform/win32/system_text.h"
#include "test_text.h"

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    velnor::DdeChannel channel;
    const std::wstring mode = argv[1];
    if (mode == L"claim") {
        static constexpr const char* kNames[] = {"Owner", "AnotherCopyRuns", "Unavailable"};
        std::printf("%s\n", kNames[int(channel.claim({}))]);
        return 0;
    }
    if (mode != L"execute") return 2;
    for (int i = 2; i < argc; ++i) {
        const auto error = channel.execute(velnor::utf16Text(argv[i]));
        const std::u16string line = error ? *error : u"ok";
        std::printf("%s\n", velnor::narrow(line).c_str());
    }
    return 0;
}
