#include "signal_actions/key_code_strings.h"

#include <utility>

#include "commands/split_text.h"
#include "key_names/key_names.h"
#include "platform/widgets.h"

namespace velnor {
namespace {

const QString kStepSeparator = QStringLiteral(",");
const QString kKeySeparator = QStringLiteral("+");

// The code of the entry `name` designates, or -1. The list's selection is neither read nor
// changed, so an earlier lookup's entry can never pass for this name's.
int lookUp(const QComboBox& lookup, const QString& name) {
    const int found = findKeyByName(lookup, name);
    return found < 0 ? -1 : itemDatum(lookup, found);
}

}  // namespace

std::optional<KeyCodeTable> parseKeyCodeString(const QString& text, QComboBox& lookup) {
    const auto steps = SplitText(text, kStepSeparator);
    if (!steps) return std::nullopt;
    KeyCodeTable table;
    table.reserve(steps->size());
    for (const QString& step : *steps) {
        const auto names = SplitText(step, kKeySeparator);
        if (!names) return std::nullopt;
        // Every name is kept, however many a step holds, so a chord plays as written.
        auto& row = table.emplace_back();
        row.reserve(names->size());
        for (const QString& name : *names) row.push_back(lookUp(lookup, name));
    }
    return table;
}

QString keyCodeStringProblem(const QString& text, const std::optional<KeyCodeTable>& table) {
    const auto steps = SplitText(text, kStepSeparator);
    if (!steps) return {};
    if (!table) return QStringLiteral("A step without a key name: nothing will be played");
    if (std::cmp_not_equal(table->size(), steps->size())) return {};
    QStringList unknown;
    for (qsizetype i = 0; i < steps->size(); ++i) {
        const auto names = SplitText(steps->at(i), kKeySeparator);
        for (qsizetype k = 0; k < names->size(); ++k)
            if (table->at(i).at(k) == -1) unknown.append(QLatin1Char('"') + names->at(k) + u'"');
    }
    if (unknown.isEmpty()) return {};
    return QStringLiteral("No key is named %1").arg(unknown.join(QStringLiteral(", ")));
}

void SignalHandler::ParseGenerateKeys() {
    generateKeys_ = ParseKeyCodes(txtGenerateKeys_->text());
}

std::optional<KeyCodeTable> SignalHandler::ParseKeyCodes(const QString& text) {
    return parseKeyCodeString(text, *cboKeyLookup_);
}

QString SignalHandler::GenerateKeyCodeString() const {
    QString dump;
    if (!generateKeys_) return dump;
    for (const auto& step : *generateKeys_) {
        for (const int code : step) dump += QString::number(code) + u'+';
        dump += u',';
    }
    return dump;
}

}  // namespace velnor
