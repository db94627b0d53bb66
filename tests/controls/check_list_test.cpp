#include <gtest/gtest.h>

#include "controls/check_list.h"

namespace vantor {
namespace {

CheckList listOf(int rows) {
    CheckList list;
    list.setUpHeader();
    for (int i = 0; i < rows; ++i) list.addRow({{"row" + std::to_string(i)}, static_cast<std::uint64_t>(i), true});
    return list;
}

bool allRows(const CheckList& list, bool checked) {
    for (const auto& r : list.rows())
        if (r.checked != checked) return false;
    return true;
}

TEST(CheckList, HeaderBoxChecksAndUnchecksEveryRow) {
    CheckList list = listOf(3);
    EXPECT_FALSE(list.headerChecked());
    list.headerClick(0);
    EXPECT_TRUE(list.headerChecked());
    EXPECT_TRUE(allRows(list, true));
    list.headerClick(0);
    EXPECT_FALSE(list.headerChecked());
    EXPECT_TRUE(allRows(list, false));
}

TEST(CheckList, OtherColumnsHeadersChangeNothing) {
    CheckList list = listOf(2);
    list.setRowCheck(1, true);
    for (int column : {1, 2, 5}) list.headerClick(column);
    EXPECT_FALSE(list.rows()[0].checked);
    EXPECT_TRUE(list.rows()[1].checked);
    EXPECT_FALSE(list.headerChecked());
}

TEST(CheckList, HeaderFollowsTheRows) {
    CheckList list = listOf(2);
    list.headerClick(0);
    list.clickRowCheckBox(0);
    EXPECT_FALSE(list.headerChecked());
    list.clickRowCheckBox(0);
    EXPECT_TRUE(list.headerChecked());
}

TEST(CheckList, RowClickReportsTheCheckItHadBefore) {
    CheckList list = listOf(1);
    std::vector<std::pair<std::size_t, bool>> clicks;
    list.onRowCheckClicked = [&](std::size_t row, bool was) { clicks.emplace_back(row, was); };
    list.clickRowCheckBox(0);
    list.clickRowCheckBox(0);
    list.clickRowCheckBox(7);  // no such row
    EXPECT_EQ(clicks, (std::vector<std::pair<std::size_t, bool>>{{0, false}, {0, true}}));
}

TEST(CheckList, SetUpTwiceKeepsTheHeaderState) {
    CheckList list = listOf(1);
    list.headerClick(0);
    list.setUpHeader();
    EXPECT_TRUE(list.headerChecked());
}

}  // namespace
}  // namespace vantor
