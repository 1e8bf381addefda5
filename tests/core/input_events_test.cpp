#include "core/input_events.h"

#include <gtest/gtest.h>

#include "support/line_input_sink.h"

namespace velnor {
namespace {

using InputEvents::KeyDown;
using InputEvents::KeyUp;
using InputEvents::MouseButtonEvent;

TEST(InputEvents, SendsOneEventPerCallMouseCodesAsButtons) {
    const struct {
        void (*call)(InputSink&, int16_t);
        int16_t code;
        const char* event;
    } rows[] = {
        {KeyDown, 1, "mouse left down"},
        {KeyUp, 1, "mouse left up"},
        {KeyDown, 2, "mouse right down"},
        {KeyUp, 2, "mouse right up"},
        {KeyDown, 4, "mouse middle down"},
        {KeyUp, 4, "mouse middle up"},
        {KeyDown, 3, "key 3 down"},
        {KeyUp, 3, "key 3 up"},
        {KeyDown, 16, "key 16 down"},
        {KeyUp, 16, "key 16 up"},
        {KeyDown, 0, "key 0 down"},
        {KeyUp, -1, "key -1 up"},
        {KeyDown, 5, "key 5 down"},
        {KeyDown, 127, "key 127 down"},
        {MouseButtonEvent, 2, "mouse left down"},
        {MouseButtonEvent, 4, "mouse left up"},
        {MouseButtonEvent, 8, "mouse right down"},
        {MouseButtonEvent, 16, "mouse right up"},
        {MouseButtonEvent, 32, "mouse middle down"},
        {MouseButtonEvent, 64, "mouse middle up"},
        {MouseButtonEvent, 1, ""},  // a move flag alone: no button, no motion
    };
    for (const auto& row : rows) {
        RecordedInput sink;
        row.call(sink, row.code);
        EXPECT_EQ(sink.joined(), row.event) << row.code;
    }
}

}  // namespace
}  // namespace velnor
