#include "key_names/key_names.h"

#include <QSignalBlocker>
#include <optional>

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

// The key names of a list's entries, read once and dropped whenever the list's entries change,
// so that lookups need not fetch every entry's text from the list's model.
class KeyNameCache : public QObject {
  public:
    explicit KeyNameCache(QComboBox& list) : QObject(&list), list_(list) {
        setObjectName(kName);
        const QAbstractItemModel* model = list.model();
        const auto drop = [this] { names_.reset(); };
        connect(model, &QAbstractItemModel::rowsInserted, this, drop);
        connect(model, &QAbstractItemModel::rowsRemoved, this, drop);
        connect(model, &QAbstractItemModel::rowsMoved, this, drop);
        connect(model, &QAbstractItemModel::dataChanged, this, drop);
        connect(model, &QAbstractItemModel::modelReset, this, drop);
        connect(model, &QAbstractItemModel::layoutChanged, this, drop);
    }

    const std::vector<QString>& names() {
        if (!names_) {
            names_.emplace();
            names_->reserve(list_.count());
            for (int i = 0; i < list_.count(); ++i)
                names_->push_back(keyNameOf(list_.itemText(i)).toString());
        }
        return *names_;
    }

    static KeyNameCache& of(const QComboBox& list) {
        auto* cache = dynamic_cast<KeyNameCache*>(
            list.findChild<QObject*>(kName, Qt::FindDirectChildrenOnly));
        return cache ? *cache : *new KeyNameCache(const_cast<QComboBox&>(list));
    }

  private:
    static constexpr const char* kName = "velnorKeyNameCache";

    QComboBox& list_;
    std::optional<std::vector<QString>> names_;
};

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

int findKeyByName(const QComboBox& list, const QString& name) {
    const Pattern pattern(name);
    const std::vector<QString>& names = KeyNameCache::of(list).names();
    for (size_t i = 0; i < names.size(); ++i)
        if (pattern.matches(names[i])) return static_cast<int>(i);
    return -1;
}

void SelectKeyByName(QComboBox& list, const QString& name) {
    const int found = findKeyByName(list, name);
    if (found >= 0) setSelectedEntry(list, found);
}

}  // namespace velnor
