// A second process for the DDE tests: "claim" claims the channel and prints the outcome;
// "execute <command>..." hands each command over as a second start does and prints "ok" or the
// problem for each; "execute-unicode <command>..." and "execute-ansi <hex bytes>..." send each as
// an XTYP_EXECUTE string from a Unicode or an ANSI client and print "ok" or "refused";
// "show" asks the running copy to show its window and prints "ok" or the problem;
// "request <item>" requests the item of the running copy and prints it;
// "advise hot|warm <item> <command>..." keeps an advise loop on the item, hands each command over
// and prints the item's value that the loop brings after it, or "no change".
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>

#include "core/text.h"
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

std::string utf8(const std::wstring& text) {
    return velnor::toUtf8(velnor::utf16Text(text));
}

std::wstring wideData(HDDEDATA data) {
    std::wstring text(DdeGetData(data, nullptr, 0, 0) / sizeof(wchar_t), L'\0');
    DdeGetData(data, reinterpret_cast<BYTE*>(text.data()), DWORD(text.size() * 2), 0);
    return text.c_str();
}

// What the advise loop brought last; set by the callback, taken by the loop that waits for it.
bool adviseArrived = false;
std::wstring adviseValue;

HDDEDATA CALLBACK receive(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (type != XTYP_ADVDATA) return nullptr;
    adviseArrived = true;
    adviseValue = data ? wideData(data) : L"";  // a warm loop only says that it changed
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

// A conversation with Velnor|MainForm from a client instance of its own, Unicode or ANSI.
class Conversation {
  public:
    explicit Conversation(bool unicode = true) {
        if (unicode)
            DdeInitializeW(&client_, &receive, APPCMD_CLIENTONLY, 0);
        else
            DdeInitializeA(&client_, &receive, APPCMD_CLIENTONLY, 0);
        service_ = DdeCreateStringHandleW(client_, L"Velnor", CP_WINUNICODE);
        topic_ = DdeCreateStringHandleW(client_, L"MainForm", CP_WINUNICODE);
        conversation_ = DdeConnect(client_, service_, topic_, nullptr);
    }
    ~Conversation() {
        if (conversation_) DdeDisconnect(conversation_);
        DdeUninitialize(client_);
    }
    Conversation(const Conversation&) = delete;
    Conversation& operator=(const Conversation&) = delete;

    bool execute(const void* data, size_t size) {
        DWORD result = 0;
        return conversation_ &&
               DdeClientTransaction(static_cast<BYTE*>(const_cast<void*>(data)), DWORD(size),
                                    conversation_, nullptr, 0, XTYP_EXECUTE, 5000, &result) &&
               (result & DDE_FACK);
    }
    // The item's text, or "no answer".
    std::wstring request(const std::wstring& item) {
        const HDDEDATA data = transaction(item, XTYP_REQUEST);
        if (!data) return L"no answer";
        std::wstring text = wideData(data);
        DdeFreeDataHandle(data);
        return text;
    }
    bool advise(const std::wstring& item, bool hot) {
        return transaction(item, hot ? XTYP_ADVSTART : XTYP_ADVSTART | XTYPF_NODATA) != nullptr;
    }

  private:
    HDDEDATA transaction(const std::wstring& item, UINT type) {
        if (!conversation_) return nullptr;
        const HSZ name = DdeCreateStringHandleW(client_, item.c_str(), CP_WINUNICODE);
        const HDDEDATA data = DdeClientTransaction(nullptr, 0, conversation_, name, CF_UNICODETEXT,
                                                   type, 5000, nullptr);
        DdeFreeStringHandle(client_, name);
        return data;
    }

    DWORD client_ = 0;
    HSZ service_ = nullptr;
    HSZ topic_ = nullptr;
    HCONV conversation_ = nullptr;
};

std::string bytesOf(const std::wstring& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += char(std::stoi(std::wstring(hex, i, 2), nullptr, 16));
    return bytes;
}

// Handles this thread's messages until an advise arrives or five seconds have passed.
bool awaitAdvise() {
    const DWORD start = GetTickCount();
    while (!adviseArrived && GetTickCount() - start < 5'000) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return std::exchange(adviseArrived, false);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 2;
    velnor::DdeChannel channel;
    const std::wstring mode = argv[1];
    if (mode == L"claim") {
        static constexpr const char* kNames[] = {"Owner", "AnotherCopyRuns", "Unavailable"};
        std::printf("%s\n", kNames[int(channel.claim({}))]);
    } else if (mode == L"show") {
        print(channel.show());
    } else if (mode == L"request" && argc == 3) {
        std::printf("%s\n", utf8(Conversation().request(argv[2])).c_str());
    } else if (mode == L"execute") {
        for (int i = 2; i < argc; ++i) print(channel.execute(velnor::utf16Text(argv[i])));
    } else if (mode == L"execute-unicode" || mode == L"execute-ansi") {
        const bool unicode = mode == L"execute-unicode";
        Conversation conversation(unicode);
        for (int i = 2; i < argc; ++i) {
            const std::wstring text = argv[i];
            const std::string bytes = unicode ? std::string() : bytesOf(text);
            const bool done = unicode ? conversation.execute(text.c_str(), (text.size() + 1) * 2)
                                      : conversation.execute(bytes.c_str(), bytes.size() + 1);
            std::printf("%s\n", done ? "ok" : "refused");
        }
    } else if (mode == L"advise" && argc >= 4) {
        const bool hot = std::wstring(argv[2]) == L"hot";
        Conversation conversation;
        if (!conversation.advise(argv[3], hot)) {
            std::printf("no loop\n");
            return 0;
        }
        for (int i = 4; i < argc; ++i) {
            channel.execute(velnor::utf16Text(argv[i]));
            if (!awaitAdvise())
                std::printf("no change\n");
            else
                std::printf("%s\n",
                            utf8(hot ? adviseValue : conversation.request(argv[3])).c_str());
        }
    } else {
        return 2;
    }
    return 0;
}
