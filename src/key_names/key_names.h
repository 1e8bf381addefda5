#pragma once

#include <QComboBox>
#include <QString>
#include <string_view>

namespace velnor {

// Appends the whole key name table (core/key_names.h) to `list`, each entry's code as its item
// datum. Leaves the list's selection and shown text as they were.
void FillKeyList(QComboBox& list);

// The position of the first entry whose key name matches `name` (a pattern), or -1.
int findKeyByName(const QComboBox& list, std::u16string_view name);

// The code (item datum) of the first entry whose key name matches `name`, or -1. The list's
// selection is neither read nor changed, so an earlier lookup's entry can never pass for this
// name's.
int keyCodeByName(const QComboBox& list, std::u16string_view name);

// Selects the first entry whose key name matches `name` (a pattern, see matchesPattern); when
// none matches, the selection stays as it was.
void SelectKeyByName(QComboBox& list, const QString& name);

}  // namespace velnor
