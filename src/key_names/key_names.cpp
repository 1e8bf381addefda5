#include "key_names/key_names.h"

#include <QSignalBlocker>
#include <optional>
#include <string>
#include <vector>

#include "core/key_names.h"
#include "core/pattern.h"
#include "platform/qt_text.h"
#include "platform/widgets.h"

namespace velnor {
namespace {

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

    const std::vector<std::u16string>& names() {
        if (!names_) {
            names_.emplace();
            names_->reserve(list_.count());
            for (int i = 0; i < list_.count(); ++i) {
                const QString text = list_.itemText(i);
                names_->emplace_back(keyNameOf(u16View(text)));
            }
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
    std::optional<std::vector<std::u16string>> names_;
};

}  // namespace

void FillKeyList(QComboBox& list) {
    const int selected = list.currentIndex();
    const QString shown = list.currentText();
    const QSignalBlocker block(list);
    for (const auto& entry : keyNameTable()) {
        list.addItem(toQString(entry.text));
        setItemDatum(list, list.count() - 1, entry.code);
    }
    // QComboBox selects the first entry added to an empty list; a filled key list does not.
    list.setCurrentIndex(selected);
    if (selected < 0) list.setEditText(shown);
}

int findKeyByName(const QComboBox& list, std::u16string_view name) {
    const Pattern pattern(name);
    const std::vector<std::u16string>& names = KeyNameCache::of(list).names();
    for (size_t i = 0; i < names.size(); ++i)
        if (pattern.matches(names[i])) return static_cast<int>(i);
    return -1;
}

int keyCodeByName(const QComboBox& list, std::u16string_view name) {
    const int found = findKeyByName(list, name);
    return found < 0 ? -1 : itemDatum(list, found);
}

void SelectKeyByName(QComboBox& list, const QString& name) {
    const int found = findKeyByName(list, u16View(name));
    if (found >= 0) setSelectedEntry(list, found);
}

}  // namespace velnor
