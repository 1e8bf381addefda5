#pragma once

#include <QComboBox>
#include <QString>
#include <optional>

#include "signal_actions/signal_handler.h"

namespace velnor {

// Translates a key code string ("vbKeyMenu+vbKeyTab,vbKeyA") into its table, looking each name
// up in `lookup`: nothing when the text holds no step or a step without a single name.
std::optional<KeyCodeTable> parseKeyCodeString(const QString& text, QComboBox& lookup);

// What a user should hear about a key code string and its table: the names that match no key,
// or a step without a name that silences the whole string. Empty when every name was found.
QString keyCodeStringProblem(const QString& text, const std::optional<KeyCodeTable>& table);

}  // namespace velnor
