// SendKeys through uinput on the user's keyboard layout: each character looked up in the compiled
// layout, with the modifier keys its level needs, against the same kernel records written with no
// lookup at all, the floor any fixed table of key codes would stand on. Both write to /dev/null, so
// neither waits for a device.

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/send_keys.h"
#include "platform/uinput/uinput_input.h"
#include "samples.h"

namespace velnor {
namespace {

const std::u16string kText = u"Hello, World! 1234 zy-";

// The records SendKeys makes of kText on `layout`, read back through a pipe.
std::vector<input_event> recordsOf(const XkbLayout& layout) {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) return {};
    {
        UinputInput sink(ends[1], layout);
        SendKeys(sink, kText);
    }
    std::vector<input_event> records;
    input_event record;
    while (read(ends[0], &record, sizeof record) == sizeof record) records.push_back(record);
    close(ends[0]);
    return records;
}

void BM_SendKeysOnTheLayoutAgainstTheWritesAlone(benchmark::State& state, const char* name) {
    auto layout = XkbLayout::named(name);
    if (!layout) return state.SkipWithError("the layout does not compile");
    const std::vector<input_event> records = recordsOf(*layout);
    UinputInput sink(open("/dev/null", O_WRONLY | O_CLOEXEC), *layout);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    bench::alternate(
        state, [&] { SendKeys(sink, kText); },
        [&] {
            // A change and its report in one write, as the sink writes them.
            for (size_t i = 0; i + 1 < records.size(); i += 2)
                benchmark::DoNotOptimize(write(null, &records[i], 2 * sizeof(input_event)));
        },
        "writes_alone_");
    close(null);
}
BENCHMARK_CAPTURE(BM_SendKeysOnTheLayoutAgainstTheWritesAlone, us, "us")
    ->Apply(bench::sampled<2000>);
BENCHMARK_CAPTURE(BM_SendKeysOnTheLayoutAgainstTheWritesAlone, de, "de")
    ->Apply(bench::sampled<2000>);

}  // namespace
}  // namespace velnor
