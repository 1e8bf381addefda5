#pragma once

#include <QString>
#include <QStringView>
#include <string_view>

namespace velnor {

// The core's text is UTF-16, as QString's is, so crossing between them copies nothing or once.

// The code units of `text`, valid while `text` lives unchanged (as with std::string's view: a
// view of a temporary ends with the full expression).
inline std::u16string_view u16View(const QString& text) {
    return {QStringView(text).utf16(), static_cast<size_t>(text.size())};
}

inline QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace velnor
