#pragma once

#include <string>

#include "core/input_sink.h"
#include "core/main_form.h"
#include "platform/win32/port_backend.h"
#include "platform/win32/port_catalog.h"
#include "platform/win32/time_text.h"
#include "platform/win32/win32_event_loop.h"
#include "test_text.h"

namespace velnor {

// The core's window on the Windows backends, loaded, with no view and no command channel; its port
// assignments are kept under a key of the tests' own.
struct Win32Form {
    static constexpr wchar_t kPortsKey[] = L"Software\\Velnor\\Tests\\Ports";

    explicit Win32Form(InputSink& input)
        : form({.input = input,
                .loop = loop,
                .ports = win32PortBackend(catalog),
                .timeText = localTimeText,
                .messageBox = [](const std::u16string&) {},
                .catalog = &catalog},
               u"") {
        form.Form_Load();
    }
    std::string log() const { return narrow(form.EventLog.caption()); }

    Win32EventLoop loop;
    Win32PortCatalog catalog{kPortsKey};
    MainForm form;
};

}  // namespace velnor
