#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/main_form.h"
#include "support/fake_desk.h"
#include "support/fake_ports.h"
#include "support/line_input_sink.h"
#include "support/manual_loop.h"

namespace velnor::test {

// The time text of every log line and ring caption.
inline constexpr std::u16string_view kTimeText = u"10:15:02";

// The messages of an event log text, oldest first, without their time and the initial line.
std::vector<std::u16string> messagesOfLog(std::u16string_view logText);

// The window on a loop the test drives, its ports faked (COM3 refused as missing, port n stands
// for /dev/ttyS<n-1> unless the catalog assigns it another device), its input recorded, its
// message boxes and clipboard collected. Form_Load has run unless the test asks otherwise.
class TestForm {
  public:
    struct Options {
        std::u16string commandLine;
        CommandChannel* channel = nullptr;
        bool load = true;
    };
    TestForm() : TestForm(Options{}) {}
    explicit TestForm(Options options);

    void select(OptionButton FormControls::*button) { (form.*button).setValue(true); }
    // Delivers a report of the open port as a backend does: posted, then handled.
    void notify(int16_t code);
    // Log messages written since the last call (or since the start), oldest first.
    std::vector<std::u16string> newLog();
    // The selected button of a frame, by name; empty for none.
    static std::u16string selected(const Frame& frame);

    ManualLoop loop;
    FakePorts ports;
    FakeCatalog catalog;
    FakeStartEntry login{u"autostart/velnor.desktop"};
    FakeStartEntry kept{u"applications/velnor.desktop"};
    std::vector<std::u16string> clipboard;
    RecordedInput input;
    std::vector<std::u16string> messageBoxes;
    MainForm form;

  private:
    size_t logged_ = 0;
};

}  // namespace velnor::test
