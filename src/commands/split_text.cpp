#include "commands/split_text.h"

namespace velnor {

std::optional<QStringList> SplitText(const QString& text, const QString& separator) {
    QStringList pieces;
    if (separator.isEmpty()) {
        if (!text.isEmpty()) pieces.append(text);
    } else {
        for (const QStringView piece : QStringView(text).split(separator, Qt::SkipEmptyParts))
            pieces.append(piece.toString());
    }
    if (pieces.isEmpty()) return std::nullopt;
    return pieces;
}

}  // namespace velnor
