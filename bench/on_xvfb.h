#pragma once

// What the benchmarks on X share: the benchmark program's own Xvfb and our XTest backend on it,
// injecting what has to wait from `loop`. Without them a benchmark cannot run; the exception says
// why.
#include <memory>
#include <stdexcept>
#include <string>

#include "core/event_loop.h"
#include "core/input_sink.h"
#include "platform/x11/xtest_input.h"
#include "support/x_server.h"

namespace velnor::bench {

inline const std::string& display() {
    const std::string& name = test::xvfbDisplay();
    if (name.empty()) throw std::runtime_error(test::xvfbProblem().toStdString());
    return name;
}

inline std::unique_ptr<InputSink> openOurXTest(EventLoop& loop) {
    auto opened = openXTestInput(loop, display().c_str());
    if (!opened)
        throw std::runtime_error(QString::fromStdU16String(opened.error().reason).toStdString());
    return std::move(*opened);
}

}  // namespace velnor::bench
