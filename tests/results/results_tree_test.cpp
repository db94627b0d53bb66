#include <gtest/gtest.h>

#include "results/results_tree.h"
#include "support/fake_reader.h"

namespace vantor {
namespace {

using test::StandardVolume;

// The tree as a scan leaves it: root, top level, placeholders.
struct ScannedTree {
    StandardVolume v;
    CheckTree tree;
    FileList list;
    TreeItem root = kNoItem;
    explicit ScannedTree(TreeTraits traits = {}) {
        v.reader.traits = traits;
        root = insertRootItem(tree, v.reader, "ROOT");
        fillTopLevel(tree, v.reader, root);
        addExpandPlaceholders(tree, v.reader);
        list.list.setUpHeader();
    }
    TreeItem topItem(EntryRef entry) const {
        for (TreeItem i : tree.children(root))
            if (tree.data(i) == entry) return i;
        return kNoItem;
    }
    TreeItem childItem(TreeItem parent, EntryRef entry) const {
        for (TreeItem i : tree.children(parent))
            if (tree.data(i) == entry) return i;
        return kNoItem;
    }
};

TEST(ResultsTree, ScanShowsRootTopLevelAndPlaceholdersOnly) {
    ScannedTree t;
    EXPECT_EQ(t.tree.text(t.root), "ROOT");
    EXPECT_TRUE(t.tree.isExpanded(t.root));
    EXPECT_EQ(t.tree.children(t.root).size(), 8u);
    struct Case {
        const char* what;
        EntryRef entry;
        bool placeholder;
    };
    const Case cases[] = {
        {"folder with children", t.v.docs, true},
        {"empty folder", t.v.empty, false},
        {"empty-named folder", t.v.unnamed, true},
        {"file", t.v.top, false},
        {"orphan group", t.v.orphans, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TreeItem item = t.topItem(c.entry);
        ASSERT_NE(item, kNoItem);
        const auto kids = t.tree.children(item);
        if (c.placeholder) {
            ASSERT_EQ(kids.size(), 1u);
            EXPECT_EQ(t.tree.text(kids[0]), "..DUMY..");
        } else {
            EXPECT_TRUE(kids.empty());
        }
    }
}

TEST(ResultsTree, OpeningAFolderReplacesItsPlaceholderOnce) {
    ScannedTree t;
    const TreeItem docs = t.topItem(t.v.docs);
    populateChildren(t.tree, t.v.reader, docs, FillPath::expand);
    auto kids = t.tree.children(docs);
    ASSERT_EQ(kids.size(), 4u);
    EXPECT_EQ(t.tree.text(kids[0]), "a.txt");
    EXPECT_EQ(t.tree.text(kids[3]), "a.txt");  // both files of one name are shown
    // The child folder gets its own placeholder, not its children.
    const TreeItem sub = t.childItem(docs, t.v.sub);
    ASSERT_EQ(t.tree.children(sub).size(), 1u);
    EXPECT_EQ(t.tree.text(t.tree.firstChild(sub)), "..DUMY..");
    populateChildren(t.tree, t.v.reader, docs, FillPath::expand);
    EXPECT_EQ(t.tree.children(docs), kids);
}

TEST(ResultsTree, DeletedEntriesAreRedOnlyWhereTheReaderSays) {
    struct Case {
        const char* what;
        TreeTraits traits;
        FillPath path;
        bool red;
    };
    TreeTraits ext;
    ext.redOnLabelClick = false;
    const Case cases[] = {
        {"label click", {}, FillPath::labelClick, true},
        {"expand button", {}, FillPath::expand, false},
        {"double click", {}, FillPath::doubleClick, false},
        {"label click, reader never red", ext, FillPath::labelClick, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScannedTree t(c.traits);
        const TreeItem docs = t.topItem(t.v.docs);
        populateChildren(t.tree, t.v.reader, docs, c.path);
        EXPECT_EQ(t.tree.textColour(t.childItem(docs, t.v.b)), c.red ? std::optional<Rgb>(kRed) : std::nullopt);
        EXPECT_EQ(t.tree.textColour(t.childItem(docs, t.v.a)), std::nullopt);
    }
}

TEST(ResultsTree, TopLevelAndDeletedFolderRulesOfTheReader) {
    TreeTraits traits;
    traits.redTopLevel = true;
    traits.redInsideDeletedFolder = true;
    test::FakeReader reader;
    reader.traits = traits;
    const EntryRef gone = reader.addFolder(0, "gone", true);
    const EntryRef inside = reader.addFile(gone, "inside.txt", "x");
    const EntryRef live = reader.addFile(0, "live.txt", "y");
    CheckTree tree;
    const TreeItem root = insertRootItem(tree, reader, "ROOT");
    fillTopLevel(tree, reader, root);
    addExpandPlaceholders(tree, reader);
    const auto top = tree.children(root);
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(tree.textColour(top[0]), std::optional<Rgb>(kRed));
    EXPECT_EQ(tree.textColour(top[1]), std::nullopt);
    EXPECT_EQ(tree.data(top[1]), live);
    populateChildren(tree, reader, top[0], FillPath::labelClick);
    const TreeItem child = tree.firstChild(top[0]);
    EXPECT_EQ(tree.data(child), inside);
    EXPECT_EQ(tree.textColour(child), std::optional<Rgb>(kRed));
}

TEST(ResultsTree, ChildrenTakeTheFolderCheckOnlyWhenTheReaderSays) {
    for (const bool inherit : {true, false}) {
        SCOPED_TRACE(inherit ? "inherits" : "unchecked");
        TreeTraits traits;
        traits.childrenInheritCheck = inherit;
        ScannedTree t(traits);
        const TreeItem docs = t.topItem(t.v.docs);
        t.tree.setCheck(docs, true);
        populateChildren(t.tree, t.v.reader, docs, FillPath::expand);
        const TreeItem a = t.childItem(docs, t.v.a);
        const TreeItem subPlaceholder = t.tree.firstChild(t.childItem(docs, t.v.sub));
        EXPECT_EQ(t.tree.getCheck(a), inherit);
        EXPECT_EQ(t.tree.getCheck(subPlaceholder), inherit);
        EXPECT_EQ(t.tree.mark(docs), inherit ? CheckMark::checked : CheckMark::unchecked);
    }
}

TEST(ResultsTree, LabelClickListsFilesOfAFolderOrTheFileAlone) {
    ScannedTree t;
    const TreeItem docs = t.topItem(t.v.docs);
    fillFileList(t.tree, t.list, t.v.reader, docs);
    ASSERT_EQ(t.list.list.size(), 3u);  // a.txt, b.jpg, a.txt; the folder sub is not a row
    const auto& row = t.list.list.rows()[0];
    EXPECT_EQ(row.columns[0], "a.txt");
    EXPECT_EQ(row.columns[3], t.v.reader.describe(t.v.a).modificationText);
    EXPECT_EQ(row.columns[4], "5 Bytes");
    EXPECT_EQ(row.columns[5], "-A");
    EXPECT_EQ(row.data, t.childItem(docs, t.v.a));

    // A file alone: one row.
    fillFileList(t.tree, t.list, t.v.reader, t.topItem(t.v.top));
    ASSERT_EQ(t.list.list.size(), 1u);
    EXPECT_EQ(t.list.list.rows()[0].columns[0], "top.txt");

    // An empty folder leaves the list as it was.
    fillFileList(t.tree, t.list, t.v.reader, t.topItem(t.v.empty));
    EXPECT_EQ(t.list.list.size(), 1u);

    // A folder holding only folders empties it.
    test::FakeReader reader;
    const EntryRef outer = reader.addFolder(0, "outer");
    reader.addFolder(outer, "inner");
    CheckTree tree;
    const TreeItem root = insertRootItem(tree, reader, "ROOT");
    fillTopLevel(tree, reader, root);
    addExpandPlaceholders(tree, reader);
    fillFileList(tree, t.list, reader, tree.firstChild(root));
    EXPECT_EQ(t.list.list.size(), 0u);
}

TEST(ResultsTree, DoubleClickListsNamesOnly) {
    ScannedTree t;
    const TreeItem docs = t.topItem(t.v.docs);
    listFolderNames(t.tree, t.list, t.v.reader, docs);
    ASSERT_EQ(t.list.list.size(), 3u);
    EXPECT_EQ(t.list.list.rows()[1].columns[0], "b.jpg");
    EXPECT_EQ(t.list.list.rows()[1].columns[3], "");
}

TEST(ResultsTree, RowChecksReachTheTreeUnlessSearchResultsShow) {
    ScannedTree t;
    const TreeItem docs = t.topItem(t.v.docs);
    fillFileList(t.tree, t.list, t.v.reader, docs);
    t.list.list.onRowCheckClicked = [&](std::size_t row, bool was) { mirrorRowCheck(t.tree, t.list, row, was); };
    t.list.list.clickRowCheckBox(0);
    const TreeItem a = t.childItem(docs, t.v.a);
    EXPECT_TRUE(t.tree.getCheck(a));
    EXPECT_EQ(t.tree.mark(docs), CheckMark::mixed);
    // The header box checks rows but leaves the tree alone.
    t.list.list.headerClick(0);
    EXPECT_FALSE(t.tree.getCheck(t.childItem(docs, t.v.b)));

    // Search rows hold entries, not tree items: their checks stay in the list.
    beginSearchResults(t.list);
    const RecoveredItem c = t.v.reader.describe(t.v.c);
    addSearchRow(t.list, t.v.c, "ROOT/docs/sub/c.PNG", c);
    ASSERT_EQ(t.list.list.size(), 1u);
    EXPECT_EQ(t.list.list.rows()[0].columns[0], "ROOT/docs/sub/c.PNG");
    EXPECT_EQ(t.list.list.rows()[0].columns[4], "7 Bytes");
    EXPECT_EQ(t.list.list.rows()[0].data, t.v.c);
    const auto marksBefore = t.tree.countChecked();
    t.list.list.clickRowCheckBox(0);
    EXPECT_TRUE(t.list.list.rows()[0].checked);
    EXPECT_EQ(t.tree.countChecked(), marksBefore);
    // A label click shows a folder's files again.
    fillFileList(t.tree, t.list, t.v.reader, docs);
    EXPECT_FALSE(t.list.showsSearchResults);
}

}  // namespace
}  // namespace vantor
