#pragma once

#include <memory>
#include <optional>
#include <string>

#include "core/event_loop.h"
#include "core/input_sink.h"
#include "platform/x11/xtest_input.h"

namespace velnor {

// The backend chosen at start-up. `sink` is never null: when nothing can inject, it is a backend
// that drops every event, and `problem` says why and how to fix it (otherwise empty).
struct InputBackend {
    std::unique_ptr<InputSink> sink;
    std::u16string name;     // "x11", "uinput", "portal" or "none"
    std::u16string problem;  // one line for the event log, or empty
};

// What opening the backend can do before the event loop exists, on any thread: where XTest is
// the one tried first, its connection is readied, the longest wait of the opening, so that it can
// go on beside the window system's start.
struct EarlyInput {
    std::optional<Result<PreparedXTest>> xtest;
};
EarlyInput prepareInputBackend();

// Chooses and starts the backend named by VELNOR_INPUT (auto, x11, uinput, portal or none; auto
// when unset), taking over what `early` readied. The backend injects later from `loop` what has to
// wait (openXTestInput); `loop` must outlive it.
InputBackend openInputBackend(EventLoop& loop, EarlyInput early = {});

}  // namespace velnor
