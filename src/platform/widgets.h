#pragma once

// The window toolkit as the program sees it: frames are QGroupBox, option buttons QRadioButton
// (exclusive within their frame), text boxes QLineEdit, labels QLabel, and drop-down lists editable
// QComboBox whose entries carry an integer item datum. Code drives these controls the way a user
// does: select a button with setChecked(true) and its click handler runs before the call returns;
// setText on a text box runs its change handler likewise.

#include <QComboBox>

namespace velnor {

// Data role of a drop-down list entry's integer item datum.
inline constexpr int kItemDatumRole = Qt::UserRole;

int itemDatum(const QComboBox& list, int index);
void setItemDatum(QComboBox& list, int index, int datum);

// Makes `list` behave as a drop-down list: editable, never adding typed text as an entry, and
// with no selected entry (-1) once its text is edited to something other than the selected entry.
void makeDropDownList(QComboBox& list);

// Selects entry `index` (-1 for none) while keeping the text that the list shows when none is
// chosen.
void setSelectedEntry(QComboBox& list, int index);

}  // namespace velnor
