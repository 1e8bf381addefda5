#include "key_names/key_names.h"

#include <QSignalBlocker>

#include "key_names/pattern.h"
#include "platform/widgets.h"

namespace velnor {
namespace {

std::vector<KeyNameEntry> buildTable() {
    std::vector<KeyNameEntry> table = {
        {"vbKeyLButton", 1},   {"vbKeyRButton", 2},  {"vbKeyCancel", 3},      {"vbKeyMButton", 4},
        {"vbKeyBack", 8},      {"vbKeyTab", 9},      {"vbKeyClear", 12},      {"vbKeyReturn", 13},
        {"vbKeyShift", 16},    {"vbKeyControl", 17}, {"vbKeyMenu (alt)", 18}, {"vbKeyPause", 19},
        {"vbKeyCapital", 20},  {"vbKeyEscape", 27},  {"vbKeySpace", 32},      {"vbKeyPageUp", 33},
        {"vbKeyPageDown", 34}, {"vbKeyEnd", 35},     {"vbKeyHome", 36},       {"vbKeyLeft", 37},
        {"vbKeyUp", 38},       {"vbKeyRight", 39},   {"vbKeyDown", 40},       {"vbKeySelect", 41},
        {"vbKeyPrint", 42},    {"vbKeyExecute", 43}, {"vbKeySnapshot", 44},   {"vbKeyInsert", 45},
        {"vbKeyDelete", 46},   {"vbKeyHelp", 47},    {"vbKeyNumlock", 144},
    };
    for (int code = 'A'; code <= 'Z'; ++code)
        table.push_back({QStringLiteral("vbKey") + QChar(code), code});
    for (int code = '0'; code <= '9'; ++code)
        table.push_back({QStringLiteral("vbKey") + QChar(code), code});
    for (int code = 96; code <= 105; ++code)
        table.push_back({"vbKeyNumpad" + QString::number(code - 96), code});
    table.insert(table.end(), {{"vbKeyMultiply", 106},
                               {"vbKeyAdd", 107},
                               {"vbKeySeparator", 108},
                               {"vbKeySubtract", 109},
                               {"vbKeyDecimal", 110},
                               {"vbKeyDivide", 111}});
    for (int code = 112; code <= 127; ++code)
        table.push_back({"vbKeyF" + QString::number(code - 111), code});
    return table;
}

}  // namespace

const std::vector<KeyNameEntry>& keyNameTable() {
    static const std::vector<KeyNameEntry> table = buildTable();
    return table;
}

QStringView keyNameOf(QStringView entryText) {
    const qsizetype space = entryText.indexOf(u' ');
    return space < 0 ? entryText : entryText.first(space);
}

void FillKeyList(QComboBox& list) {
    const int selected = list.currentIndex();
    const QString shown = list.currentText();
    const QSignalBlocker block(list);
    for (const auto& entry : keyNameTable()) {
        list.addItem(entry.text);
        setItemDatum(list, list.count() - 1, entry.code);
    }
    // QComboBox selects the first entry added to an empty list; a filled key list does not.
    list.setCurrentIndex(selected);
    if (selected < 0) list.setEditText(shown);
}

void SelectKeyByName(QComboBox& list, const QString& name) {
    for (int i = 0; i < list.count(); ++i) {
        if (matchesPattern(keyNameOf(list.itemText(i)), name)) {
            setSelectedEntry(list, i);
            return;
        }
    }
}

}  // namespace velnor
