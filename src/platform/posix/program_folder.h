#pragma once

#include <initializer_list>
#include <optional>
#include <string>

namespace velnor::posix {

// The first of `places` (paths relative to the folder of the running program, as /proc/self/exe
// names it) that access(2) allows for `mode`. Nowhere else: a path fixed when the program was
// built may lie in a folder that others can write to by the time it runs.
std::optional<std::string> besideProgram(std::initializer_list<const char*> places, int mode);

}  // namespace velnor::posix
