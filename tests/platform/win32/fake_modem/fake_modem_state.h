#pragma once

// The shared state of a fake modem line: a file that the line's setup (fake_modem_line), the
// preloaded driver (fake_modem_driver.so, inside Wine) and the Windows tests read and write at
// fixed offsets. The tests write the input part, the driver only the outputs and its count of
// reads.

#include <cstddef>
#include <cstdint>

namespace velnor::fake_modem {

struct State {
    uint64_t device;      // st_rdev of the pseudo-terminal that plays the port
    uint32_t inputs;      // kCts | kDsr | kCd | kRing, set by the tests
    uint32_t counts[4];   // changes of CTS, DSR, CD and RI so far, counted by the tests
    uint32_t unplugged;   // non-zero: every modem request fails, as on an unplugged adapter
    uint32_t outputs;     // kDtr | kRts, as the driver was last told
    uint32_t levelReads;  // how often the levels were read (TIOCMGET), counted by the driver
};

inline constexpr uint32_t kCts = 1, kDsr = 2, kCd = 4, kRing = 8;
inline constexpr uint32_t kDtr = 1, kRts = 2;

// The part the tests write in one piece, and where it starts.
inline constexpr long kInputOffset = 8;
inline constexpr long kInputSize = 24;
inline constexpr long kOutputOffset = 32;
inline constexpr long kLevelReadsOffset = 36;

static_assert(sizeof(State) == 40 && offsetof(State, inputs) == kInputOffset &&
              offsetof(State, outputs) == kOutputOffset &&
              offsetof(State, levelReads) == kLevelReadsOffset);

}  // namespace velnor::fake_modem
