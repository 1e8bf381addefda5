#include "platform/widgets.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace velnor {

int itemDatum(const QComboBox& list, int index) {
    return list.itemData(index, kItemDatumRole).toInt();
}

void setItemDatum(QComboBox& list, int index, int datum) {
    list.setItemData(index, datum, kItemDatumRole);
}

void makeDropDownList(QComboBox& list) {
    list.setEditable(true);
    list.setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(list.lineEdit(), &QLineEdit::textEdited, &list, [&list](const QString& text) {
        if (list.currentIndex() >= 0 && list.itemText(list.currentIndex()) != text)
            setSelectedEntry(list, -1);
    });
}

void setSelectedEntry(QComboBox& list, int index) {
    if (index >= 0) {
        list.setCurrentIndex(index);
        return;
    }
    // QComboBox clears its edit text when the selection goes; a drop-down list keeps it.
    const QString text = list.currentText();
    const int cursor = list.lineEdit() ? list.lineEdit()->cursorPosition() : 0;
    const QSignalBlocker block(list);
    list.setCurrentIndex(-1);
    list.setEditText(text);
    if (list.lineEdit()) list.lineEdit()->setCursorPosition(cursor);
}

}  // namespace velnor
