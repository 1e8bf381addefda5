#include "core/key_names.h"

#include <gtest/gtest.h>

#include <set>

#include "core/controls.h"
#include "core/text.h"

namespace velnor {
namespace {

struct Row {
    size_t position;
    const char16_t* text;
    int code;
};

// Every fixed entry, plus the first and last entry of each generated run.
const Row kExpectedRows[] = {
    {0, u"vbKeyLButton", 1},      {1, u"vbKeyRButton", 2},      {2, u"vbKeyCancel", 3},
    {3, u"vbKeyMButton", 4},      {4, u"vbKeyBack", 8},         {5, u"vbKeyTab", 9},
    {6, u"vbKeyClear", 12},       {7, u"vbKeyReturn", 13},      {8, u"vbKeyShift", 16},
    {9, u"vbKeyControl", 17},     {10, u"vbKeyMenu (alt)", 18}, {11, u"vbKeyPause", 19},
    {12, u"vbKeyCapital", 20},    {13, u"vbKeyEscape", 27},     {14, u"vbKeySpace", 32},
    {15, u"vbKeyPageUp", 33},     {16, u"vbKeyPageDown", 34},   {17, u"vbKeyEnd", 35},
    {18, u"vbKeyHome", 36},       {19, u"vbKeyLeft", 37},       {20, u"vbKeyUp", 38},
    {21, u"vbKeyRight", 39},      {22, u"vbKeyDown", 40},       {23, u"vbKeySelect", 41},
    {24, u"vbKeyPrint", 42},      {25, u"vbKeyExecute", 43},    {26, u"vbKeySnapshot", 44},
    {27, u"vbKeyInsert", 45},     {28, u"vbKeyDelete", 46},     {29, u"vbKeyHelp", 47},
    {30, u"vbKeyNumlock", 144},   {31, u"vbKeyA", 65},          {56, u"vbKeyZ", 90},
    {57, u"vbKey0", 48},          {66, u"vbKey9", 57},          {67, u"vbKeyNumpad0", 96},
    {76, u"vbKeyNumpad9", 105},   {77, u"vbKeyMultiply", 106},  {78, u"vbKeyAdd", 107},
    {79, u"vbKeySeparator", 108}, {80, u"vbKeySubtract", 109},  {81, u"vbKeyDecimal", 110},
    {82, u"vbKeyDivide", 111},    {83, u"vbKeyF1", 112},        {92, u"vbKeyF10", 121},
    {98, u"vbKeyF16", 127},
};

struct GeneratedRun {
    size_t first;
    size_t last;
    std::u16string (*text)(int code);
    int firstCode;
};

const GeneratedRun kGeneratedRuns[] = {
    {31, 56, [](int code) { return u"vbKey" + std::u16string(1, char16_t(code)); }, 65},
    {57, 66, [](int code) { return u"vbKey" + std::u16string(1, char16_t(code)); }, 48},
    {67, 76, [](int code) { return u"vbKeyNumpad" + toU16(code - 96); }, 96},
    {83, 98, [](int code) { return u"vbKeyF" + toU16(code - 111); }, 112},
};

TEST(KeyNameTable, HoldsTheNinetyNineKeysInListOrder) {
    const auto& table = keyNameTable();
    ASSERT_EQ(table.size(), 99u);
    for (const Row& row : kExpectedRows) {
        SCOPED_TRACE(row.position);
        EXPECT_EQ(table[row.position].text, row.text);
        EXPECT_EQ(table[row.position].code, row.code);
    }
    for (const GeneratedRun& run : kGeneratedRuns) {
        for (size_t position = run.first; position <= run.last; ++position) {
            const int code = run.firstCode + int(position - run.first);
            EXPECT_EQ(table[position].text, run.text(code)) << position;
            EXPECT_EQ(table[position].code, code) << position;
        }
    }
}

TEST(KeyNameTable, NamesAndCodesAreDistinct) {
    std::set<std::u16string_view> names;
    std::set<int> codes;
    for (const auto& entry : keyNameTable()) {
        EXPECT_TRUE(names.insert(keyNameOf(entry.text)).second);
        EXPECT_TRUE(codes.insert(entry.code).second) << entry.code;
    }
}

TEST(KeyNameOf, IsTheTextUpToTheFirstSpace) {
    EXPECT_EQ(keyNameOf(u"vbKeyMenu (alt)"), u"vbKeyMenu");
    EXPECT_EQ(keyNameOf(u"vbKeyTab"), u"vbKeyTab");
    EXPECT_EQ(keyNameOf(u" x"), u"");
    EXPECT_EQ(keyNameOf(u""), u"");
}

// The key lists of the window: filled from the table, looked up by pattern.
class FilledList : public ::testing::Test {
  protected:
    FilledList() {
        list.setText(u"Combo1");
        FillKeyList(list);
    }
    DropDownList list;
};

TEST_F(FilledList, HoldsTheWholeTableWithCodesAsItemData) {
    const auto& table = keyNameTable();
    ASSERT_EQ(list.listCount(), 99);
    for (int position = 0; position < list.listCount(); ++position) {
        EXPECT_EQ(list.entries()[size_t(position)].text, table[size_t(position)].text) << position;
        EXPECT_EQ(list.itemData(position), table[size_t(position)].code) << position;
    }
}

TEST_F(FilledList, FillingSelectsNothingAndKeepsTheShownText) {
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.text(), u"Combo1");
}

TEST_F(FilledList, SelectsTheFirstEntryTheNameMatches) {
    const struct {
        const char16_t* name;
        int position;
    } cases[] = {
        {u"vbKeyShift", 8},  {u"vbKeyControl", 9},  {u"vbKeyMenu", 10},
        {u"vbKey1", 58},     {u"vbKeyNumpad1", 68}, {u"vbKeyF1", 83},
        {u"vbKeyF16", 98},   {u"vbKeyA", 31},       {u"vbKeyZ", 56},
        {u"*", 0},           {u"vbKey#", 57},       {u"vbKeyF1?", 92},
        {u"vbKeyPage*", 15}, {u"vbKey[!A-Y]", 56},  {u"vbKeyNumpad[5-9]", 72},
    };
    for (const auto& c : cases) {
        list.setListIndex(-1);
        SelectKeyByName(list, c.name);
        EXPECT_EQ(list.listIndex(), c.position) << testing::PrintToString(std::u16string(c.name));
        EXPECT_EQ(findKeyByName(list, c.name), c.position);
    }
}

TEST_F(FilledList, SelectingShowsTheWholeEntryText) {
    SelectKeyByName(list, u"vbKeyMenu");
    EXPECT_EQ(list.text(), u"vbKeyMenu (alt)");
    EXPECT_EQ(list.itemData(list.listIndex()), 18);
}

TEST_F(FilledList, NamesThatMatchNothingKeepTheEarlierSelection) {
    SelectKeyByName(list, u"vbKeyTab");
    for (const char16_t* name : {u"vbKeya", u"vbkeyshift", u"vbKeyMenu (alt)", u"", u"vbKey[A",
                                 u"vbKeyF1 ", u"vbKey[Z-A]"}) {
        SelectKeyByName(list, name);
        EXPECT_EQ(list.listIndex(), 5) << testing::PrintToString(std::u16string(name));
        EXPECT_EQ(findKeyByName(list, name), -1);
    }
    EXPECT_EQ(list.text(), u"vbKeyTab");
}

TEST_F(FilledList, LookupsFollowTheEntriesAsTheyAre) {
    EXPECT_EQ(findKeyByName(list, u"vbKeyLast"), -1);
    list.addItem(u"vbKeyLast (hint)", 7);
    EXPECT_EQ(findKeyByName(list, u"vbKeyLast"), 99);
    EXPECT_EQ(keyCodeByName(list, u"vbKeyLast"), 7);
    list.addItem(u"vbKeyQ", 1000);
    EXPECT_EQ(keyCodeByName(list, u"vbKeyQ"), 81) << "the first entry a name matches wins";
    EXPECT_EQ(keyCodeByName(DropDownList(), u"*"), -1);
}

TEST_F(FilledList, KeyCodesAreTheItemDataOfTheEntriesFoundAndLeaveTheSelection) {
    list.setListIndex(5);
    EXPECT_EQ(keyCodeByName(list, u"vbKeyMenu"), 18);
    EXPECT_EQ(keyCodeByName(list, u"vbKeyF1?"), 121);
    EXPECT_EQ(keyCodeByName(list, u"Tab"), -1);
    EXPECT_EQ(list.listIndex(), 5);
    DropDownList own;
    own.addItem(u"vbKeyMenu (other)", 99);
    EXPECT_EQ(keyCodeByName(own, u"vbKeyMenu"), 99);
}

TEST(SelectKeyByName, OnAnEmptyListChangesNothing) {
    DropDownList list;
    SelectKeyByName(list, u"*");
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.text(), u"");
}

}  // namespace
}  // namespace velnor
