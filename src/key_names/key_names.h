#pragma once

#include <QComboBox>
#include <QString>
#include <vector>

namespace velnor {

struct KeyNameEntry {
    QString text;  // the key name, in one case followed by a hint: "vbKeyMenu (alt)"
    int code;      // virtual-key code; 1, 2 and 4 are the left, right and middle mouse buttons
};

// The 99 key names in list order.
const std::vector<KeyNameEntry>& keyNameTable();

// The key name of an entry text: the text up to its first space.
QStringView keyNameOf(QStringView entryText);

// Appends the whole table to `list`, each entry's code as its item datum. Leaves the list's
// selection and shown text as they were.
void FillKeyList(QComboBox& list);

// The position of the first entry whose key name matches `name` (a pattern), or -1.
int findKeyByName(const QComboBox& list, const QString& name);

// Selects the first entry whose key name matches `name` (a pattern, see matchesPattern); when
// none matches, the selection stays as it was.
void SelectKeyByName(QComboBox& list, const QString& name);

}  // namespace velnor
