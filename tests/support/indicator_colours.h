#pragma once

// Standard C++ only: the tests of both windows use it.

#include <cstdint>

#include "core/controls.h"

namespace velnor::test {

// A colour an indicator may hold, and the red, green and blue a window paints for it.
struct IndicatorColour {
    int32_t stored;
    int red;
    int green;
    int blue;
};

// Each colour of the model once, ending with the one an indicator starts with.
inline constexpr IndicatorColour kIndicatorColours[] = {
    {kIndicatorOn, 255, 0, 0}, {kIndicatorNotReported, 128, 128, 128}, {kIndicatorOff, 192, 0, 0}};

}  // namespace velnor::test
