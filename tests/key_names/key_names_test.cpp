#include "key_names/key_names.h"

#include <gtest/gtest.h>

#include "core/key_names.h"
#include "platform/qt_text.h"
#include "platform/widgets.h"

namespace velnor {
namespace {

class FilledList : public ::testing::Test {
  protected:
    FilledList() {
        makeDropDownList(list);
        list.setEditText("Combo1");
        FillKeyList(list);
    }
    int selectedCode() const { return itemDatum(list, list.currentIndex()); }
    QComboBox list;
};

TEST_F(FilledList, HoldsTheWholeTableWithCodesAsItemData) {
    const auto& table = keyNameTable();
    ASSERT_EQ(list.count(), 99);
    ASSERT_EQ(table.size(), 99u);
    for (int position = 0; position < list.count(); ++position) {
        EXPECT_EQ(list.itemText(position), toQString(table[position].text)) << position;
        EXPECT_EQ(itemDatum(list, position), table[position].code) << position;
    }
}

TEST_F(FilledList, FillingSelectsNothingAndKeepsTheShownText) {
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(list.currentText(), "Combo1");
}

struct Selection {
    const char* name;
    int position;
};

TEST_F(FilledList, SelectsTheFirstEntryTheNameMatches) {
    const Selection cases[] = {
        {"vbKeyShift", 8},  {"vbKeyControl", 9},  {"vbKeyMenu", 10},
        {"vbKey1", 58},     {"vbKeyNumpad1", 68}, {"vbKeyF1", 83},
        {"vbKeyF16", 98},   {"vbKeyA", 31},       {"vbKeyZ", 56},
        {"*", 0},           {"vbKey#", 57},       {"vbKeyF1?", 92},
        {"vbKeyPage*", 15}, {"vbKey[!A-Y]", 56},  {"vbKeyNumpad[5-9]", 72},
    };
    for (const Selection& c : cases) {
        setSelectedEntry(list, -1);
        SelectKeyByName(list, c.name);
        EXPECT_EQ(list.currentIndex(), c.position) << c.name;
    }
}

TEST_F(FilledList, SelectingShowsTheWholeEntryText) {
    SelectKeyByName(list, "vbKeyMenu");
    EXPECT_EQ(list.currentText(), "vbKeyMenu (alt)");
    EXPECT_EQ(selectedCode(), 18);
}

TEST_F(FilledList, NamesThatMatchNothingKeepTheEarlierSelection) {
    SelectKeyByName(list, "vbKeyTab");
    for (const char* name :
         {"vbKeya", "vbkeyshift", "vbKeyMenu (alt)", "", "vbKey[A", "vbKeyF1 ", "vbKey[Z-A]"}) {
        SelectKeyByName(list, name);
        EXPECT_EQ(list.currentIndex(), 5) << name;
    }
}

TEST_F(FilledList, LookupsFollowChangesOfTheEntries) {
    EXPECT_EQ(findKeyByName(list, u"vbKeyQ"), 47);
    list.removeItem(0);
    EXPECT_EQ(findKeyByName(list, u"vbKeyQ"), 46);
    list.setItemText(0, "vbKeyNew (hint)");
    EXPECT_EQ(findKeyByName(list, u"vbKeyNew"), 0);
    list.addItem("vbKeyLast");
    EXPECT_EQ(findKeyByName(list, u"vbKeyLast"), 98);
    list.clear();
    EXPECT_EQ(findKeyByName(list, u"*"), -1);
}

TEST_F(FilledList, KeyCodesAreTheItemDataOfTheEntriesFound) {
    setSelectedEntry(list, 5);
    EXPECT_EQ(keyCodeByName(list, u"vbKeyMenu"), 18);
    EXPECT_EQ(keyCodeByName(list, u"vbKeyF1?"), 121);
    EXPECT_EQ(keyCodeByName(list, u"Tab"), -1);
    setItemDatum(list, 10, 99);
    EXPECT_EQ(keyCodeByName(list, u"vbKeyMenu"), 99);
    EXPECT_EQ(list.currentIndex(), 5);
}

TEST(SelectKeyByName, OnAnEmptyListChangesNothing) {
    QComboBox list;
    SelectKeyByName(list, "*");
    EXPECT_EQ(list.currentIndex(), -1);
}

}  // namespace
}  // namespace velnor
