#include "core/event_log.h"

#include <algorithm>

namespace velnor {

std::u16string visibleControlCharacters(std::u16string_view text) {
    std::u16string visible(text);
    for (char16_t& c : visible) {
        if (c < 0x20)
            c = char16_t(0x2400 + c);
        else if (c == 0x7f)
            c = u'\u2421';
        else if ((c >= 0x80 && c < 0xa0) || c == u'\u2028' || c == u'\u2029')
            c = u'\ufffd';
    }
    return visible;
}

BoundedLog::BoundedLog(std::u16string initialText, int maxLines)
    : text_(std::move(initialText)),
      lineCount_(static_cast<int>(std::ranges::count(text_, u'\n')) + 1),
      maxLines_(maxLines) {}

void BoundedLog::prepend(std::u16string_view line) {
    std::u16string shown = visibleControlCharacters(line);
    shown += u'\n';
    text_.insert(0, shown);
    ++lineCount_;
    while (lineCount_ > maxLines_) {
        text_.resize(text_.rfind(u'\n'));
        --lineCount_;
    }
}

}  // namespace velnor
