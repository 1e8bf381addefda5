#pragma once

#include <QString>
#include <QStringView>

namespace velnor {

// Whole-text match of `text` against a pattern: "*" any run, "?" any one character, "#" one digit,
// "[a-z]" a character list with ranges, "[!...]" its complement; everything else matches itself,
// case-sensitively. A malformed pattern (an unclosed "[" or a descending range) matches nothing.
bool matchesPattern(QStringView text, QStringView pattern);

}  // namespace velnor
