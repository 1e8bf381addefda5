#pragma once

// ddeml.h builds on windows.h.
// clang-format off
#include <windows.h>
#include <ddeml.h>
// clang-format on

#include <string>

#include "core/command_channel.h"

namespace velnor {

// The command channel on DDE: a DDEML server with service "Velnor" and topic "MainForm" takes
// XTYP_EXECUTE commands, and the same as an XTYP_POKE of the item "Command" in CF_UNICODETEXT,
// which no DDEML converts. It answers XTYP_REQUEST for the items "EventLog", "Port", "DSR", "CTS",
// "CD" and "RI" as text, and keeps hot and warm advise loops on the four lines.
// A copy that finds the service already answering hands its command line to it as a client, by
// the poke: an execute string is converted on its way, and Wine's DDEML garbles UTF-16 in it.
// Its callbacks run on the thread that claimed it, from that thread's message loop; one channel
// serves per process.
class DdeChannel final : public CommandChannel {
  public:
    DdeChannel() = default;
    DdeChannel(const DdeChannel&) = delete;
    DdeChannel& operator=(const DdeChannel&) = delete;
    ~DdeChannel() override;

    Claim claim(Topic topic) override;
    Problem problem() const override { return problem_; }
    Result<> execute(const std::u16string& command) override;
    Result<> show() override;
    void announceLine(std::u16string_view line, bool on) override;

  private:
    static HDDEDATA CALLBACK serve(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item,
                                   HDDEDATA data, ULONG_PTR, ULONG_PTR);
    HDDEDATA answer(UINT type, UINT format, HCONV conversation, HSZ topic, HSZ item, HDDEDATA data);
    HDDEDATA command(const Result<std::u16string>& text);
    HDDEDATA itemData(HSZ item, UINT format, bool linesOnly);
    Claim unavailable(std::u16string_view what);
    static Result<> poke(const wchar_t* item, const std::u16string& text);
    void release();

    Topic topic_;
    Problem problem_;
    DWORD instance_ = 0;
    HSZ service_ = nullptr;
    HSZ topicName_ = nullptr;
    HSZ eventLogItem_ = nullptr;
    bool registered_ = false;
};

}  // namespace velnor
