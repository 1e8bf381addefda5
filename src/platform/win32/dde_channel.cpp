#include "platform/win32/dde_channel.h"

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

std::u16string commandText(HDDEDATA data) {
    const DWORD size = DdeGetData(data, nullptr, 0, 0);
    std::wstring text(size / sizeof(wchar_t), L'\0');
    DdeGetData(data, reinterpret_cast<BYTE*>(text.data()), DWORD(text.size() * sizeof(wchar_t)), 0);
    if (const size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
    return utf16Text(text);
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
    const UINT initialized = DdeInitializeW(
        &instance_, &DdeChannel::serve,
        APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_SKIP_REGISTRATIONS | CBF_SKIP_UNREGISTRATIONS,
        0);
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

HDDEDATA CALLBACK DdeChannel::serve(UINT type, UINT format, HCONV, HSZ topic, HSZ item,
                                    HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    return serving ? serving->answer(type, format, topic, item, data) : nullptr;
}

HDDEDATA DdeChannel::answer(UINT type, UINT format, HSZ topic, HSZ item, HDDEDATA data) {
    const bool ours = DdeCmpStringHandles(topic, topicName_) == 0;
    switch (type) {
        case XTYP_CONNECT: {
            if (!ours) return nullptr;
            int cancel = 0;
            if (topic_.linkOpen) topic_.linkOpen(cancel);
            return reinterpret_cast<HDDEDATA>(cancel == 0 ? TRUE : FALSE);
        }
        case XTYP_EXECUTE: {
            if (!ours) return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
            int cancel = 0;
            if (topic_.linkExecute) topic_.linkExecute(commandText(data), cancel);
            return reinterpret_cast<HDDEDATA>(cancel == 0 ? DDE_FACK : DDE_FNOTPROCESSED);
        }
        case XTYP_POKE: {
            const StringHandle show(instance_, kShowItem);
            if (!ours || DdeCmpStringHandles(item, show.get()) != 0 || !topic_.show)
                return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
            topic_.show();
            return reinterpret_cast<HDDEDATA>(DDE_FACK);
        }
        case XTYP_REQUEST: {
            if (!ours || DdeCmpStringHandles(item, eventLogItem_) != 0 ||
                format != CF_UNICODETEXT || !topic_.eventLog)
                return nullptr;
            const std::wstring log = wideText(topic_.eventLog());
            return DdeCreateDataHandle(
                instance_, reinterpret_cast<BYTE*>(const_cast<wchar_t*>(log.c_str())),
                DWORD((log.size() + 1) * sizeof(wchar_t)), 0, item, CF_UNICODETEXT, 0);
        }
        default:
            return nullptr;
    }
}

Result<> DdeChannel::execute(const std::u16string& command) {
    return transaction(XTYP_EXECUTE, nullptr, command);
}

Result<> DdeChannel::show() {
    return transaction(XTYP_POKE, kShowItem, u"");
}

// DDE clients ask for what they want to know; nothing is sent to them unasked.
void DdeChannel::announceLine(std::u16string_view, bool) {}

Result<> DdeChannel::transaction(UINT type, const wchar_t* item, const std::u16string& text) {
    DWORD client = 0;
    const UINT initialized = DdeInitializeW(&client, &ignore, APPCMD_CLIENTONLY, 0);
    if (initialized != DMLERR_NO_ERROR)
        return std::unexpected(ddeProblem(initialized, u"DDE cannot start: "));
    Result<> done;
    {
        const StringHandle service(client, kService);
        const StringHandle topic(client, kTopic);
        const StringHandle itemName(client, item ? item : L"");
        const HCONV conversation = DdeConnect(client, service.get(), topic.get(), nullptr);
        if (!conversation) {
            done = std::unexpected(ddeProblem(DdeGetLastError(client), u"DDE: "));
        } else {
            std::wstring data = wideText(text);
            DWORD result = 0;
            if (!DdeClientTransaction(reinterpret_cast<BYTE*>(data.data()),
                                      DWORD((data.size() + 1) * sizeof(wchar_t)), conversation,
                                      item ? itemName.get() : nullptr, item ? CF_UNICODETEXT : 0,
                                      type, kExecuteTimeoutMs, &result))
                done = std::unexpected(ddeProblem(DdeGetLastError(client)));
            DdeDisconnect(conversation);
        }
    }
    DdeUninitialize(client);
    return done;
}

}  // namespace velnor
