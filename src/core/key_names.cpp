#include "core/key_names.h"

#include "core/controls.h"
#include "core/pattern.h"
#include "core/text.h"

namespace velnor {
namespace {

std::vector<KeyNameEntry> buildTable() {
    std::vector<KeyNameEntry> table = {
        {u"vbKeyLButton", 1},   {u"vbKeyRButton", 2},     {u"vbKeyCancel", 3},
        {u"vbKeyMButton", 4},   {u"vbKeyBack", 8},        {u"vbKeyTab", 9},
        {u"vbKeyClear", 12},    {u"vbKeyReturn", 13},     {u"vbKeyShift", 16},
        {u"vbKeyControl", 17},  {u"vbKeyMenu (alt)", 18}, {u"vbKeyPause", 19},
        {u"vbKeyCapital", 20},  {u"vbKeyEscape", 27},     {u"vbKeySpace", 32},
        {u"vbKeyPageUp", 33},   {u"vbKeyPageDown", 34},   {u"vbKeyEnd", 35},
        {u"vbKeyHome", 36},     {u"vbKeyLeft", 37},       {u"vbKeyUp", 38},
        {u"vbKeyRight", 39},    {u"vbKeyDown", 40},       {u"vbKeySelect", 41},
        {u"vbKeyPrint", 42},    {u"vbKeyExecute", 43},    {u"vbKeySnapshot", 44},
        {u"vbKeyInsert", 45},   {u"vbKeyDelete", 46},     {u"vbKeyHelp", 47},
        {u"vbKeyNumlock", 144},
    };
    for (int code = 'A'; code <= 'Z'; ++code)
        table.push_back({u"vbKey" + std::u16string(1, char16_t(code)), code});
    for (int code = '0'; code <= '9'; ++code)
        table.push_back({u"vbKey" + std::u16string(1, char16_t(code)), code});
    for (int code = 96; code <= 105; ++code)
        table.push_back({u"vbKeyNumpad" + toU16(code - 96), code});
    table.insert(table.end(), {{u"vbKeyMultiply", 106},
                               {u"vbKeyAdd", 107},
                               {u"vbKeySeparator", 108},
                               {u"vbKeySubtract", 109},
                               {u"vbKeyDecimal", 110},
                               {u"vbKeyDivide", 111}});
    for (int code = 112; code <= 127; ++code)
        table.push_back({u"vbKeyF" + toU16(code - 111), code});
    return table;
}

}  // namespace

const std::vector<KeyNameEntry>& keyNameTable() {
    static const std::vector<KeyNameEntry> table = buildTable();
    return table;
}

std::u16string_view keyNameOf(std::u16string_view entryText) {
    return entryText.substr(0, entryText.find(u' '));
}

void FillKeyList(DropDownList& list) {
    for (const KeyNameEntry& entry : keyNameTable()) list.addItem(entry.text, entry.code);
}

int findKeyByName(const DropDownList& list, std::u16string_view name) {
    const Pattern pattern(name);
    const auto& entries = list.entries();
    for (size_t i = 0; i < entries.size(); ++i)
        if (pattern.matches(keyNameOf(entries[i].text))) return static_cast<int>(i);
    return -1;
}

int keyCodeByName(const DropDownList& list, std::u16string_view name) {
    const int found = findKeyByName(list, name);
    return found < 0 ? -1 : list.itemData(found);
}

void SelectKeyByName(DropDownList& list, std::u16string_view name) {
    const int found = findKeyByName(list, name);
    if (found >= 0) list.setListIndex(found);
}

}  // namespace velnor
