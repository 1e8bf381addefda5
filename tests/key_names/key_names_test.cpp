#include "key_names/key_names.h"

#include <gtest/gtest.h>

#include "platform/widgets.h"

namespace velnor {
namespace {

struct Row {
    int position;
    const char* text;
    int code;
};

// Every fixed entry, plus the first and last entry of each generated run.
const Row kExpectedRows[] = {
    {0, "vbKeyLButton", 1},      {1, "vbKeyRButton", 2},      {2, "vbKeyCancel", 3},
    {3, "vbKeyMButton", 4},      {4, "vbKeyBack", 8},         {5, "vbKeyTab", 9},
    {6, "vbKeyClear", 12},       {7, "vbKeyReturn", 13},      {8, "vbKeyShift", 16},
    {9, "vbKeyControl", 17},     {10, "vbKeyMenu (alt)", 18}, {11, "vbKeyPause", 19},
    {12, "vbKeyCapital", 20},    {13, "vbKeyEscape", 27},     {14, "vbKeySpace", 32},
    {15, "vbKeyPageUp", 33},     {16, "vbKeyPageDown", 34},   {17, "vbKeyEnd", 35},
    {18, "vbKeyHome", 36},       {19, "vbKeyLeft", 37},       {20, "vbKeyUp", 38},
    {21, "vbKeyRight", 39},      {22, "vbKeyDown", 40},       {23, "vbKeySelect", 41},
    {24, "vbKeyPrint", 42},      {25, "vbKeyExecute", 43},    {26, "vbKeySnapshot", 44},
    {27, "vbKeyInsert", 45},     {28, "vbKeyDelete", 46},     {29, "vbKeyHelp", 47},
    {30, "vbKeyNumlock", 144},   {31, "vbKeyA", 65},          {56, "vbKeyZ", 90},
    {57, "vbKey0", 48},          {66, "vbKey9", 57},          {67, "vbKeyNumpad0", 96},
    {76, "vbKeyNumpad9", 105},   {77, "vbKeyMultiply", 106},  {78, "vbKeyAdd", 107},
    {79, "vbKeySeparator", 108}, {80, "vbKeySubtract", 109},  {81, "vbKeyDecimal", 110},
    {82, "vbKeyDivide", 111},    {83, "vbKeyF1", 112},        {92, "vbKeyF10", 121},
    {98, "vbKeyF16", 127},
};

struct GeneratedRun {
    int first;
    int last;
    QString (*text)(int code);
    int firstCode;
};

const GeneratedRun kGeneratedRuns[] = {
    {31, 56, [](int code) { return "vbKey" + QString(QChar(code)); }, 65},
    {57, 66, [](int code) { return "vbKey" + QString(QChar(code)); }, 48},
    {67, 76, [](int code) { return "vbKeyNumpad" + QString::number(code - 96); }, 96},
    {83, 98, [](int code) { return "vbKeyF" + QString::number(code - 111); }, 112},
};

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
    ASSERT_EQ(list.count(), 99);
    for (const Row& row : kExpectedRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(list.itemText(row.position), row.text);
        EXPECT_EQ(itemDatum(list, row.position), row.code);
    }
    for (const GeneratedRun& run : kGeneratedRuns) {
        for (int position = run.first; position <= run.last; ++position) {
            const int code = run.firstCode + position - run.first;
            EXPECT_EQ(list.itemText(position), run.text(code)) << position;
            EXPECT_EQ(itemDatum(list, position), code) << position;
        }
    }
}

TEST_F(FilledList, NamesAreDistinct) {
    QStringList names;
    for (int i = 0; i < list.count(); ++i) names.append(keyNameOf(list.itemText(i)).toString());
    names.removeDuplicates();
    EXPECT_EQ(names.size(), 99);
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
    EXPECT_EQ(findKeyByName(list, "vbKeyQ"), 47);
    list.removeItem(0);
    EXPECT_EQ(findKeyByName(list, "vbKeyQ"), 46);
    list.setItemText(0, "vbKeyNew (hint)");
    EXPECT_EQ(findKeyByName(list, "vbKeyNew"), 0);
    list.addItem("vbKeyLast");
    EXPECT_EQ(findKeyByName(list, "vbKeyLast"), 98);
    list.clear();
    EXPECT_EQ(findKeyByName(list, "*"), -1);
}

TEST(SelectKeyByName, OnAnEmptyListChangesNothing) {
    QComboBox list;
    SelectKeyByName(list, "*");
    EXPECT_EQ(list.currentIndex(), -1);
}

TEST(KeyNameOf, IsTheTextUpToTheFirstSpace) {
    EXPECT_EQ(keyNameOf(u"vbKeyMenu (alt)"), u"vbKeyMenu");
    EXPECT_EQ(keyNameOf(u"vbKeyTab"), u"vbKeyTab");
    EXPECT_EQ(keyNameOf(u" x"), u"");
}

}  // namespace
}  // namespace velnor
