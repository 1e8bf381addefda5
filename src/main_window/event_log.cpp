#include "main_window/event_log.h"

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

BoundedLog::BoundedLog(QString initialText, int maxLines)
    : text_(std::move(initialText)), lineCount_(text_.count(u'\n') + 1), maxLines_(maxLines) {}

void BoundedLog::prepend(const QString& line) {
    text_.prepend(QString::fromStdU16String(visibleControlCharacters(line.toStdU16String())) +
                  u'\n');
    ++lineCount_;
    while (lineCount_ > maxLines_) {
        text_.truncate(text_.lastIndexOf(u'\n'));
        --lineCount_;
    }
}

}  // namespace velnor
