#include "core/split_text.h"

namespace velnor {

std::optional<std::vector<std::u16string>> SplitText(std::u16string_view text,
                                                     std::u16string_view separator) {
    std::vector<std::u16string> pieces;
    if (separator.empty()) {
        if (!text.empty()) pieces.emplace_back(text);
    } else {
        for (size_t start = 0; start < text.size();) {
            const size_t found = text.find(separator, start);
            const size_t end = found == text.npos ? text.size() : found;
            if (end > start) pieces.emplace_back(text.substr(start, end - start));
            start = end == text.size() ? end : end + separator.size();
        }
    }
    if (pieces.empty()) return std::nullopt;
    return pieces;
}

}  // namespace velnor
