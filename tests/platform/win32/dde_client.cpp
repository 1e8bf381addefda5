// A second process for the DDE tests: "claim" claims the channel and prints the outcome;
// "execute <command>..." executes each command in turn and prints "ok" or the problem for each;
// "show" asks the running copy to show its window and prints "ok" or the problem;
// "eventlog" requests the item EventLog of the running copy and prints it.
#include <cstdio>
#include <sstream>
#include <string>

#include "platform/win32/dde_channel.h"
#include "platform/win32/system_text.h"
#include "support/problem_print.h"
#include "test_text.h"

namespace {

void print(const velnor::Result<>& result) {
    std::ostringstream line;
    if (result)
        line << "ok";
    else
        line << result.error();
    std::printf("%s\n", line.str().c_str());
}

HDDEDATA CALLBACK ignore(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

void printEventLog() {
    DWORD client = 0;
    DdeInitializeW(&client, &ignore, APPCMD_CLIENTONLY, 0);
    const HSZ service = DdeCreateStringHandleW(client, L"Velnor", CP_WINUNICODE);
    const HSZ topic = DdeCreateStringHandleW(client, L"MainForm", CP_WINUNICODE);
    const HSZ item = DdeCreateStringHandleW(client, L"EventLog", CP_WINUNICODE);
    const HCONV conversation = DdeConnect(client, service, topic, nullptr);
    const HDDEDATA data = conversation
                              ? DdeClientTransaction(nullptr, 0, conversation, item, CF_UNICODETEXT,
                                                     XTYP_REQUEST, 5000, nullptr)
                              : nullptr;
    if (data) {
        std::wstring text(DdeGetData(data, nullptr, 0, 0) / sizeof(wchar_t), L'\0');
        DdeGetData(data, reinterpret_cast<BYTE*>(text.data()), DWORD(text.size() * 2), 0);
        DdeFreeDataHandle(data);
        std::printf("%s\n", velnor::narrow(velnor::utf16Text(text.c_str())).c_str());
    } else {
        std::printf("no answer\n");
    }
    if (conversation) DdeDisconnect(conversation);
    DdeUninitialize(client);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    velnor::DdeChannel channel;
    const std::wstring mode = argv[1];
    if (mode == L"claim") {
        static constexpr const char* kNames[] = {"Owner", "AnotherCopyRuns", "Unavailable"};
        std::printf("%s\n", kNames[int(channel.claim({}))]);
        return 0;
    }
    if (mode == L"show") {
        print(channel.show());
        return 0;
    }
    if (mode == L"eventlog") {
        printEventLog();
        return 0;
    }
    if (mode != L"execute") return 2;
    for (int i = 2; i < argc; ++i) print(channel.execute(velnor::utf16Text(argv[i])));
    return 0;
}
