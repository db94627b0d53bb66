#include <gtest/gtest.h>

#include "controls/check_tree.h"

namespace vantor {
namespace {

// ROOT / folder / {f1, f2, inner / {g1}}
struct SmallTree {
    CheckTree tree;
    TreeItem root, folder, f1, f2, inner, g1;
    SmallTree() {
        root = tree.insert(kNoItem, "ROOT", TreeIcon::folder, 0);
        folder = tree.insert(root, "folder", TreeIcon::folder, 1);
        f1 = tree.insert(folder, "f1", TreeIcon::file, 2);
        f2 = tree.insert(folder, "f2", TreeIcon::file, 3);
        inner = tree.insert(folder, "inner", TreeIcon::folder, 4);
        g1 = tree.insert(inner, "g1", TreeIcon::file, 5);
    }
};

TEST(CheckTree, CountsDescendantsAtEveryLevel) {
    SmallTree t;
    EXPECT_EQ(t.tree.descendantCount(t.root), 5);
    EXPECT_EQ(t.tree.descendantCount(t.folder), 4);
    EXPECT_EQ(t.tree.descendantCount(t.inner), 1);
    EXPECT_EQ(t.tree.descendantCount(t.g1), 0);
    EXPECT_EQ(t.tree.size(), 6u);
}

TEST(CheckTree, CheckingAFolderChecksEverythingBelowAndFixesAncestors) {
    SmallTree t;
    t.tree.insert(t.root, "other", TreeIcon::file, 9);
    t.tree.setCheck(t.folder, true);
    for (TreeItem i : {t.folder, t.f1, t.f2, t.inner, t.g1}) {
        EXPECT_TRUE(t.tree.getCheck(i));
        EXPECT_EQ(t.tree.mark(i), CheckMark::checked);
    }
    // The root has one unchecked descendant: mixed.
    EXPECT_EQ(t.tree.mark(t.root), CheckMark::mixed);
    EXPECT_FALSE(t.tree.getCheck(t.root));
    EXPECT_EQ(t.tree.checkedDescendantCount(t.root), 5);
    EXPECT_EQ(t.tree.countChecked(), 5);
}

TEST(CheckTree, UncheckingOneFileTurnsFullyCheckedAncestorsMixed) {
    SmallTree t;
    t.tree.setCheck(t.root, true);
    EXPECT_EQ(t.tree.mark(t.root), CheckMark::checked);
    t.tree.setCheck(t.g1, false);
    for (TreeItem i : {t.inner, t.folder, t.root}) {
        SCOPED_TRACE(t.tree.text(i));
        EXPECT_FALSE(t.tree.getCheck(i));
    }
    // inner's only descendant is unchecked: inner shows unchecked, the others mixed.
    EXPECT_EQ(t.tree.mark(t.inner), CheckMark::unchecked);
    EXPECT_EQ(t.tree.mark(t.folder), CheckMark::mixed);
    EXPECT_EQ(t.tree.mark(t.root), CheckMark::mixed);
    EXPECT_EQ(t.tree.checkedDescendantCount(t.root), 2);  // f1, f2: inner and folder are not all checked
    t.tree.setCheck(t.g1, true);
    EXPECT_EQ(t.tree.mark(t.root), CheckMark::checked);
    EXPECT_EQ(t.tree.checkedDescendantCount(t.root), 5);
}

TEST(CheckTree, InsertingAnUncheckedChildUnderACheckedFolderMakesItMixed) {
    SmallTree t;
    t.tree.setCheck(t.root, true);
    t.tree.insert(t.inner, "new", TreeIcon::file, 7);
    EXPECT_EQ(t.tree.mark(t.inner), CheckMark::mixed);
    EXPECT_EQ(t.tree.mark(t.folder), CheckMark::mixed);
    EXPECT_EQ(t.tree.mark(t.root), CheckMark::mixed);
    EXPECT_EQ(t.tree.descendantCount(t.root), 6);
    EXPECT_EQ(t.tree.checkedDescendantCount(t.root), 3);  // f1, f2, g1
}

TEST(CheckTree, DeletingKeepsAncestorCounts) {
    struct Case {
        const char* what;
        bool checkPlaceholder;
        CheckMark folderAfter;
    };
    const Case cases[] = {
        {"checked placeholder beside an unchecked file", true, CheckMark::unchecked},
        {"unchecked placeholder beside a checked file", false, CheckMark::checked},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CheckTree tree;
        const TreeItem root = tree.insert(kNoItem, "ROOT", TreeIcon::folder, 0);
        const TreeItem folder = tree.insert(root, "folder", TreeIcon::folder, 1);
        const TreeItem file = tree.insert(folder, "file", TreeIcon::file, 2);
        const TreeItem placeholder = tree.insert(folder, "..DUMY..", TreeIcon::file);
        tree.setCheck(c.checkPlaceholder ? placeholder : file, true);
        EXPECT_EQ(tree.mark(folder), CheckMark::mixed);
        EXPECT_TRUE(tree.remove(placeholder));
        EXPECT_EQ(tree.descendantCount(folder), 1);
        EXPECT_EQ(tree.descendantCount(root), 2);
        EXPECT_EQ(tree.mark(folder), c.folderAfter);
        EXPECT_EQ(tree.getCheck(folder), c.folderAfter == CheckMark::checked);
        EXPECT_EQ(tree.mark(root), c.folderAfter);
    }
}

TEST(CheckTree, DeletingASubtreeRemovesItsCountsAndHandles) {
    SmallTree t;
    t.tree.setCheck(t.g1, true);
    EXPECT_TRUE(t.tree.remove(t.inner));
    EXPECT_EQ(t.tree.descendantCount(t.root), 3);
    EXPECT_EQ(t.tree.checkedDescendantCount(t.root), 0);
    EXPECT_FALSE(t.tree.exists(t.g1));
    // A stale handle does nothing and is never handed out again.
    EXPECT_FALSE(t.tree.setCheck(t.g1, true));
    EXPECT_FALSE(t.tree.remove(t.inner));
    const TreeItem fresh = t.tree.insert(t.folder, "fresh", TreeIcon::file, 8);
    EXPECT_NE(fresh, t.inner);
    EXPECT_NE(fresh, t.g1);
    EXPECT_EQ(t.tree.children(t.folder), (std::vector<TreeItem>{t.f1, t.f2, fresh}));
}

TEST(CheckTree, ClicksSelectAndNotifyAsTheViewNeeds) {
    SmallTree t;
    std::vector<TreeItem> labels;
    std::vector<std::pair<TreeItem, bool>> checks;
    t.tree.onLabelClick = [&](TreeItem i) { labels.push_back(i); };
    t.tree.onCheckChanged = [&](TreeItem i, bool on) { checks.emplace_back(i, on); };

    t.tree.clickCheckBox(t.f1);
    EXPECT_TRUE(t.tree.getCheck(t.f1));
    EXPECT_EQ(t.tree.selected(), t.f1);
    EXPECT_TRUE(labels.empty());
    ASSERT_EQ(checks.size(), 1u);
    EXPECT_EQ(checks[0], std::make_pair(t.f1, true));

    t.tree.clickLabel(t.f2);
    EXPECT_EQ(t.tree.selected(), t.f2);
    EXPECT_EQ(labels, std::vector<TreeItem>{t.f2});
    EXPECT_FALSE(t.tree.getCheck(t.f2));

    t.tree.clickCheckBox(t.f1);
    EXPECT_FALSE(t.tree.getCheck(t.f1));

    // A disabled item takes no check and no selection.
    t.tree.setEnabled(t.f2, false);
    t.tree.clickCheckBox(t.f2);
    EXPECT_FALSE(t.tree.getCheck(t.f2));
}

TEST(CheckTree, ExpandRecordActsOnlyOnItemsWithChildren) {
    SmallTree t;
    std::vector<std::pair<TreeItem, bool>> events;
    t.tree.onExpanded = [&](TreeItem i, bool open) { events.emplace_back(i, open); };
    EXPECT_FALSE(t.tree.expand(t.f1, ExpandAction::expand));
    EXPECT_FALSE(t.tree.hasBeenExpanded(t.f1));

    EXPECT_TRUE(t.tree.expand(t.inner, ExpandAction::expand));
    EXPECT_TRUE(t.tree.isExpanded(t.inner));
    EXPECT_TRUE(t.tree.expand(t.inner, ExpandAction::expand));  // no change, no event
    t.tree.doubleClick(t.inner);
    EXPECT_FALSE(t.tree.isExpanded(t.inner));
    EXPECT_TRUE(t.tree.hasBeenExpanded(t.inner));
    EXPECT_EQ(events, (std::vector<std::pair<TreeItem, bool>>{{t.inner, true}, {t.inner, false}}));
}

TEST(CheckTree, TextColourReturnsThePreviousOne) {
    SmallTree t;
    EXPECT_EQ(t.tree.setTextColour(t.f1, kRed), std::nullopt);
    EXPECT_EQ(t.tree.setTextColour(t.f1, std::nullopt), std::optional<Rgb>(kRed));
    EXPECT_EQ(t.tree.textColour(t.f1), std::nullopt);
}

TEST(CheckTree, WithoutSmartPropagationChecksStayOnTheirItem) {
    CheckTree tree;
    tree.setSmartPropagation(false);
    const TreeItem root = tree.insert(kNoItem, "ROOT", TreeIcon::folder, 0);
    const TreeItem file = tree.insert(root, "f", TreeIcon::file, 1);
    tree.setCheck(root, true);
    EXPECT_TRUE(tree.getCheck(root));
    EXPECT_FALSE(tree.getCheck(file));
}

TEST(CheckTree, RemoveAllEmptiesTheTree) {
    SmallTree t;
    t.tree.setCheck(t.root, true);
    t.tree.removeAll();
    EXPECT_EQ(t.tree.size(), 0u);
    EXPECT_EQ(t.tree.firstChild(kNoItem), kNoItem);
    EXPECT_EQ(t.tree.countChecked(), 0);
    EXPECT_FALSE(t.tree.exists(t.root));
}

}  // namespace
}  // namespace vantor
