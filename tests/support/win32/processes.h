#pragma once

// Programs of the tests' own (and velnor.exe) started as separate processes under Wine.

#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>

namespace velnor::test {

// A program in the folder of this test program, or `relative` to it.
inline std::wstring besideThisProgram(const std::wstring& relative) {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), DWORD(path.size())));
    return path.substr(0, path.find_last_of(L"\\/") + 1) + relative;
}

// Runs `program` with `arguments` until it ends, waiting through `wait` (which may handle this
// thread's messages meanwhile), and returns what it printed, without carriage returns.
inline std::string runProgram(const std::wstring& program, const std::wstring& arguments,
                              const std::function<void(const std::function<bool()>&)>& wait,
                              DWORD* exitCode = nullptr) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 1 << 16)) return "no pipe";
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        wait([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; });
        if (exitCode) GetExitCodeProcess(process.hProcess, exitCode);
        // What is in the pipe once the program has ended; the end of the pipe need not come,
        // as Wine's own processes started meanwhile may hold the inherited write end.
        char buffer[4096];
        DWORD available = 0;
        DWORD read = 0;
        while (
            PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
            ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof(buffer)), &read, nullptr))
            output.append(buffer, read);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        output = "not started";
    }
    CloseHandle(readEnd);
    std::erase(output, '\r');
    return output;
}

// Waits without handling messages, for up to `milliseconds`.
inline void waitAtMost(const std::function<bool()>& done, DWORD milliseconds = 30'000) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < milliseconds) Sleep(10);
}

}  // namespace velnor::test
