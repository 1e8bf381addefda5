#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velnor {

// The non-empty pieces of `text` between occurrences of `separator`, in order; the caller numbers
// them from 1. No list (nullopt) when the text holds no piece. Every piece is kept, however many
// there are, and an empty separator cannot cut, so the whole text is then the one piece.
std::optional<std::vector<std::u16string>> SplitText(std::u16string_view text,
                                                     std::u16string_view separator);

}  // namespace velnor
