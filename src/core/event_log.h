#pragma once

#include <string>
#include <string_view>

namespace velnor {

// The text with every control character shown as its visible picture instead of acting: C0
// controls and DEL as the Unicode control pictures (line feed as U+240A), C1 controls and the
// line and paragraph separators as U+FFFD. A log line stays one line whatever its message holds.
std::u16string visibleControlCharacters(std::u16string_view text);

// Text of the event log: newest line first, lines joined by a line feed. Keeps the newest
// `maxLines` lines, so an append costs the same however long the program has run.
class BoundedLog {
  public:
    explicit BoundedLog(std::u16string initialText, int maxLines = 1000);

    // Adds one line; control characters in it are shown, not obeyed.
    void prepend(std::u16string_view line);
    const std::u16string& text() const { return text_; }
    int lineCount() const { return lineCount_; }

  private:
    std::u16string text_;
    int lineCount_;
    int maxLines_;
};

}  // namespace velnor
