#include "platform/win32/dde_channel.h"

#include <optional>
#include <utility>

#include "core/text.h"
#include "platform/win32/system_text.h"

namespace velnor {
namespace {

constexpr wchar_t kService[] = L"Velnor";
constexpr wchar_t kTopic[] = L"MainForm";
constexpr wchar_t kEventLogItem[] = L"EventLog";
// Poked by a second start without a command line: the running copy shows its window.
constexpr wchar_t kShowItem[] = L"Show";
// Poked with a command line in CF_UNICODETEXT: taken as an execute string, code unit for unit.
constexpr wchar_t kCommandItem[] = L"Command";
// The items that clients may read, and the lines among them, which advise loops follow.
constexpr const wchar_t* kLineItems[] = {L"DSR", L"CTS", L"CD", L"RI"};
constexpr wchar_t kPortItem[] = L"Port";
// How long a client waits for the running copy to take a command.
constexpr DWORD kExecuteTimeoutMs = 10'000;
// Starts that look for a running copy and register the service take turns under this mutex, so
// two copies started together cannot both become the owner.
constexpr wchar_t kClaimMutex[] = L"Local\\VelnorDdeClaim";

DdeChannel* serving = nullptr;  // the channel whose server instance answers callbacks

// What DDEML's `error` means, its reason after `context`.
Problem ddeProblem(UINT error, std::u16string_view context = {}) {
    const auto said = [context](ProblemKind kind, std::u16string_view words) {
        return Problem{kind, std::u16string(context) + std::u16string(words)};
    };
    switch (error) {
        case DMLERR_NO_CONV_ESTABLISHED:
            return said(ProblemKind::Missing, u"no running copy answers");
        case DMLERR_EXECACKTIMEOUT:
        case DMLERR_POKEACKTIMEOUT:
            return said(ProblemKind::TimedOut, u"the running copy did not answer within " +
                                                   toU16(int(kExecuteTimeoutMs / 1000)) + u" s");
        case DMLERR_NOTPROCESSED:
            return said(ProblemKind::Other, u"The command was not applied; the event log says why");
        default:
            return said(ProblemKind::Other, u"DDE error " + toU16(int(error)));
    }
}

// String handles of one DDEML instance, freed with it.
class StringHandle {
  public:
    StringHandle(DWORD instance, const wchar_t* text)
        : instance_(instance), handle_(DdeCreateStringHandleW(instance, text, CP_WINUNICODE)) {}
    ~StringHandle() {
        if (handle_) DdeFreeStringHandle(instance_, handle_);
    }
    StringHandle(const StringHandle&) = delete;
    StringHandle& operator=(const StringHandle&) = delete;
    HSZ get() const { return handle_; }

  private:
    DWORD instance_;
    HSZ handle_;
};

HDDEDATA CALLBACK ignore(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
    return nullptr;
}

// True when a server of the service answers the topic; `instance` is not yet registered itself.
bool serviceAnswers(DWORD instance, HSZ service, HSZ topic) {
    const HCONV conversation = DdeConnect(instance, service, topic, nullptr);
    if (!conversation) return false;
    DdeDisconnect(conversation);
    return true;
}

// The text in `data` up to its terminating null.
std::wstring wideData(HDDEDATA data) {
    std::wstring text(DdeGetData(data, nullptr, 0, 0) / sizeof(wchar_t), L'\0');
    DdeGetData(data, reinterpret_cast<BYTE*>(text.data()), DWORD(text.size() * sizeof(wchar_t)), 0);
    if (const size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
    return text;
}

bool sameName(std::wstring_view name, const wchar_t* other) {
    return CompareStringOrdinal(name.data(), int(name.size()), other, -1, TRUE) == CSTR_EQUAL;
}

std::wstring nameOf(DWORD instance, HSZ handle) {
    std::wstring name(DdeQueryStringW(instance, handle, nullptr, 0, CP_WINUNICODE), L'\0');
    DdeQueryStringW(instance, handle, name.data(), DWORD(name.size() + 1), CP_WINUNICODE);
    return name;
}

// True when the bytes hold a surrogate written as UTF-8 (ED A0..BF xx), as a sender that means
// UTF-8 writes an unpaired one.
bool holdsEncodedSurrogate(std::string_view bytes) {
    for (size_t i = 0; i + 2 < bytes.size(); ++i)
        if (uint8_t(bytes[i]) == 0xED && (uint8_t(bytes[i + 1]) & 0xE0) == 0xA0 &&
            (uint8_t(bytes[i + 2]) & 0xC0) == 0x80)
            return true;
    return false;
}

// An execute string as its sender wrote it. DDEML hands a Unicode server UTF-16 whatever the
// client is: a Unicode client's text as sent, an ANSI client's bytes read in the ANSI code page.
// Those bytes are recovered and read as UTF-8 when they are UTF-8, which scripts send; a text
// whose bytes cannot be recovered did not arrive intact.
Result<std::u16string> executeText(HCONV conversation, HDDEDATA data) {
    const std::wstring wide = wideData(data);
    CONVINFO conv{};
    conv.cb = sizeof conv;
    if (!DdeQueryConvInfo(conversation, QID_SYNC, &conv) || IsWindowUnicode(conv.hwndPartner))
        return utf16Text(wide);
    const auto refused = [](std::u16string_view why) {
        return std::unexpected(Problem{
            ProblemKind::Other,
            u"DDE execute from a program that sends ANSI text refused: " + std::u16string(why)});
    };
    // DDEML read the bytes as UTF-8 already, each malformed sequence as U+FFFD.
    if (GetACP() == CP_UTF8) {
        if (wide.find(L'\xFFFD') == std::wstring::npos) return utf16Text(wide);
        return refused(u"it is not UTF-8, the ANSI code page");
    }
    BOOL lost = FALSE;
    std::string bytes(size_t(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                                 int(wide.size()), nullptr, 0, nullptr, &lost)),
                      '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), int(wide.size()), bytes.data(),
                        int(bytes.size()), nullptr, &lost);
    if (lost)
        return refused(u"its bytes are not text in the ANSI code page " + toU16(int(GetACP())));
    if (const std::u16string utf8 = fromUtf8(bytes); toUtf8(utf8) == bytes) return utf8;
    if (holdsEncodedSurrogate(bytes)) return refused(u"it holds an unpaired surrogate");
    return utf16Text(wide);
}

}  // namespace

DdeChannel::~DdeChannel() {
    release();
}

void DdeChannel::release() {
    if (!instance_) return;
    if (registered_) DdeNameService(instance_, service_, nullptr, DNS_UNREGISTER);
    for (HSZ text : {service_, topicName_, eventLogItem_})
        if (text) DdeFreeStringHandle(instance_, text);
    DdeUninitialize(instance_);
    instance_ = 0;
    registered_ = false;
    if (serving == this) serving = nullptr;
}

CommandChannel::Claim DdeChannel::unavailable(std::u16string_view what) {
    const UINT error = instance_ ? DdeGetLastError(instance_) : 0;
    std::u16string reason = u"DDE: " + std::u16string(what);
    if (error) reason += u" (" + ddeProblem(error).reason + u")";
    reason += u"; other programs and a second start cannot reach this copy";
    problem_ = {ProblemKind::Other, std::move(reason)};
    release();
    return Claim::Unavailable;
}

CommandChannel::Claim DdeChannel::claim(Topic topic) {
    if (serving) return unavailable(u"this process serves DDE already");
    topic_ = std::move(topic);
    const UINT initialized =
        DdeInitializeW(&instance_, &DdeChannel::serve,
                       APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS, 0);
    if (initialized != DMLERR_NO_ERROR) {
        instance_ = 0;
        return unavailable(u"cannot start (" + ddeProblem(initialized).reason + u")");
    }
    serving = this;
    service_ = DdeCreateStringHandleW(instance_, kService, CP_WINUNICODE);
    topicName_ = DdeCreateStringHandleW(instance_, kTopic, CP_WINUNICODE);
    eventLogItem_ = DdeCreateStringHandleW(instance_, kEventLogItem, CP_WINUNICODE);
    if (!service_ || !topicName_ || !eventLogItem_) return unavailable(u"cannot create names");

    const HANDLE turn = CreateMutexW(nullptr, FALSE, kClaimMutex);
    if (turn) WaitForSingleObject(turn, 5000);
    const bool another = serviceAnswers(instance_, service_, topicName_);
    if (!another) registered_ = DdeNameService(instance_, service_, nullptr, DNS_REGISTER);
    if (turn) {
        ReleaseMutex(turn);
        CloseHandle(turn);
    }
    if (another) {
        release();
        return Claim::AnotherCopyRuns;
    }
    if (!registered_) return unavailable(u"the service name Velnor cannot be registered");
    return Claim::Owner;
}

HDDEDATA CALLBACK DdeChannel::serve(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item,
                                    HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    return serving ? serving->answer(type, format, conversation, topic, item, data) : nullptr;
}

HDDEDATA DdeChannel::command(const Result<std::u16string>& text) {
    int cancel = 0;
    if (!text) {
        if (topic_.log) topic_.log(text.error().reason);
        cancel = 1;
    } else if (topic_.linkExecute) {
        topic_.linkExecute(*text, cancel);
    }
    return reinterpret_cast<HDDEDATA>(cancel == 0 ? DDE_FACK : DDE_FNOTPROCESSED);
}

// The value of `item` as text in `format` (CF_UNICODETEXT, or CF_TEXT where the ANSI code page
// holds it), or none for an item that is not there.
HDDEDATA DdeChannel::itemData(HSZ item, UINT format, bool linesOnly) {
    const std::wstring name = nameOf(instance_, item);
    std::optional<std::u16string> text;
    for (const wchar_t* line : kLineItems)
        if (sameName(name, line) && topic_.lineOn)
            text = topic_.lineOn(utf16Text(line)) ? u"1" : u"0";
    if (!linesOnly && sameName(name, kPortItem) && topic_.port) {
        const std::u16string port = topic_.port();
        text = port.empty() ? u"None" : port;
    }
    if (!linesOnly && DdeCmpStringHandles(item, eventLogItem_) == 0 && topic_.eventLog)
        text = topic_.eventLog();
    if (!text) return nullptr;
    const std::wstring wide = wideText(*text);
    if (format == CF_UNICODETEXT)
        return DdeCreateDataHandle(instance_,
                                   reinterpret_cast<BYTE*>(const_cast<wchar_t*>(wide.c_str())),
                                   DWORD((wide.size() + 1) * sizeof(wchar_t)), 0, item, format, 0);
    if (format != CF_TEXT) return nullptr;
    BOOL lost = FALSE;
    std::string ansi(size_t(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1,
                                                nullptr, 0, nullptr, &lost)),
                     '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi.data(),
                        int(ansi.size()), nullptr, &lost);
    if (lost) return nullptr;  // the client asks again in CF_UNICODETEXT or goes without
    return DdeCreateDataHandle(instance_, reinterpret_cast<BYTE*>(ansi.data()), DWORD(ansi.size()),
                               0, item, format, 0);
}

HDDEDATA DdeChannel::answer(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item,
                            HDDEDATA data) {
    const bool ours = DdeCmpStringHandles(topic, topicName_) == 0;
    const auto ack = [](bool done) {
        return reinterpret_cast<HDDEDATA>(done ? DDE_FACK : DDE_FNOTPROCESSED);
    };
    switch (type) {
        case XTYP_CONNECT: {
            if (!ours) return nullptr;
            int cancel = 0;
            if (topic_.linkOpen) topic_.linkOpen(cancel);
            return reinterpret_cast<HDDEDATA>(cancel == 0 ? TRUE : FALSE);
        }
        case XTYP_EXECUTE:
            return ours ? command(executeText(conversation, data)) : ack(false);
        case XTYP_POKE: {
            if (!ours) return ack(false);
            const std::wstring name = nameOf(instance_, item);
            if (sameName(name, kShowItem) && topic_.show) {
                topic_.show();
                return ack(true);
            }
            if (!sameName(name, kCommandItem)) return ack(false);
            if (format == CF_UNICODETEXT) return command(utf16Text(wideData(data)));
            return command(std::unexpected(Problem{ProblemKind::Other,
                                                   u"DDE: a command poked in a format other than "
                                                   u"CF_UNICODETEXT was not applied"}));
        }
        case XTYP_REQUEST:
            return ours ? itemData(item, format, false) : nullptr;
        case XTYP_ADVSTART: {
            HDDEDATA probe = ours ? itemData(item, format, true) : nullptr;
            if (probe) DdeFreeDataHandle(probe);
            return reinterpret_cast<HDDEDATA>(probe ? TRUE : FALSE);
        }
        case XTYP_ADVREQ:
            return ours ? itemData(item, format, true) : nullptr;
        default:
            return nullptr;
    }
}

Result<> DdeChannel::execute(const std::u16string& command) {
    return poke(kCommandItem, command);
}

Result<> DdeChannel::show() {
    return poke(kShowItem, u"");
}

// Advise loops read the line's state as it now is, which the caller has already set.
void DdeChannel::announceLine(std::u16string_view line, bool) {
    if (!registered_) return;
    const StringHandle item(instance_, wideText(line).c_str());
    DdePostAdvise(instance_, topicName_, item.get());
}

Result<> DdeChannel::poke(const wchar_t* item, const std::u16string& text) {
    DWORD client = 0;
    const UINT initialized = DdeInitializeW(&client, &ignore, APPCMD_CLIENTONLY, 0);
    if (initialized != DMLERR_NO_ERROR)
        return std::unexpected(ddeProblem(initialized, u"DDE cannot start: "));
    Result<> done;
    {
        const StringHandle service(client, kService);
        const StringHandle topic(client, kTopic);
        const StringHandle itemName(client, item);
        const HCONV conversation = DdeConnect(client, service.get(), topic.get(), nullptr);
        if (!conversation) {
            done = std::unexpected(ddeProblem(DdeGetLastError(client), u"DDE: "));
        } else {
            std::wstring data = wideText(text);
            DWORD result = 0;
            // Wine's DDEML returns success for a refused poke; its acknowledgement tells.
            if (!DdeClientTransaction(reinterpret_cast<BYTE*>(data.data()),
                                      DWORD((data.size() + 1) * sizeof(wchar_t)), conversation,
                                      itemName.get(), CF_UNICODETEXT, XTYP_POKE, kExecuteTimeoutMs,
                                      &result))
                done = std::unexpected(ddeProblem(DdeGetLastError(client)));
            else if (!(result & DDE_FACK))
                done = std::unexpected(ddeProblem(DMLERR_NOTPROCESSED));
            DdeDisconnect(conversation);
        }
    }
    DdeUninitialize(client);
    return done;
}

}  // namespace velnor
