#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace velnor {

// The non-empty pieces of `text` between occurrences of `separator`, in order; the caller numbers
// them from 1. No list (nullopt) when the text holds no piece. Every piece is kept, however many
// there are, and an empty separator cannot cut, so the whole text is then the one piece.
std::optional<QStringList> SplitText(const QString& text, const QString& separator);

}  // namespace velnor
