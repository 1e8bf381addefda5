#include "main_window/event_log.h"

namespace velnor {

BoundedLog::BoundedLog(QString initialText, int maxLines)
    : text_(std::move(initialText)), lineCount_(text_.count(u'\n') + 1), maxLines_(maxLines) {}

void BoundedLog::prepend(const QString& line) {
    text_.prepend(line + u'\n');
    lineCount_ += line.count(u'\n') + 1;
    while (lineCount_ > maxLines_) {
        text_.truncate(text_.lastIndexOf(u'\n'));
        --lineCount_;
    }
}

}  // namespace velnor
