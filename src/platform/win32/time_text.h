#pragma once

#include <string>

namespace velnor {

// The present time of day as the user's locale writes it: hours, minutes and seconds, no date.
std::u16string localTimeText();

}  // namespace velnor
