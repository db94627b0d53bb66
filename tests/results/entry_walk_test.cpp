#include <gtest/gtest.h>

#include "results/entry_walk.h"
#include "results/name_search.h"
#include "results/save_walk.h"
#include "support/support.h"

namespace vantor {
namespace {

// A damaged volume: the root's three files chain their siblings in a circle,
// and the folder "loop" holds the root again as its first child.
class CircularSource final : public EntrySource {
public:
    // 0 root; 1, 2, 3 files; 4 folder "loop"
    std::optional<EntryRef> rootEntry() const override { return 0; }
    std::optional<EntryRef> firstChild(EntryRef folder) const override {
        if (folder == 0) return 4;
        if (folder == 4) return 0;
        return std::nullopt;
    }
    std::optional<EntryRef> nextSibling(EntryRef entry) const override {
        switch (entry) {
            case 4: return 1;
            case 1: return 2;
            case 2: return 3;
            case 3: return 1;  // back to the first file
            default: return std::nullopt;
        }
    }
    RecoveredItem describe(EntryRef entry) const override {
        RecoveredItem item;
        item.name = entry == 4 ? "loop" : entry == 0 ? "" : "f" + std::to_string(entry) + ".txt";
        item.isFolder = entry == 0 || entry == 4;
        item.hasChildren = item.isFolder;
        return item;
    }
    bool isSaveFolder(EntryRef entry) const override { return entry == 0 || entry == 4; }
    bool isSaveFile(EntryRef entry) const override { return entry >= 1 && entry <= 3; }
    ContentOutcome writeContent(EntryRef, ContentSink&) override {
        ++saves;
        return ContentOutcome::failed("not written");
    }
    int saves = 0;
};

TEST(EntryWalk, CirclesInTheLinksEndEveryWalk) {
    CircularSource source;
    EXPECT_EQ(childrenOf(source, 0), (std::vector<EntryRef>{4, 1, 2, 3}));
    EXPECT_EQ(childrenOf(source, 4), std::vector<EntryRef>{0});
    EXPECT_EQ(countFilesBelow(source, 0), 3);

    test::ScratchDir out;
    WorkSeams seams;
    const SaveReport report = saveFolder(source, 0, "ROOT", out.path(), seams);
    EXPECT_EQ(report.handled, 3);
    EXPECT_EQ(source.saves, 3);

    std::vector<std::string> hits;
    searchNames(source, "txt", "ROOT", seams, [&](const SearchHit& h) { hits.push_back(h.path); });
    EXPECT_EQ(hits, (std::vector<std::string>{"ROOT/f1.txt", "ROOT/f2.txt", "ROOT/f3.txt"}));
}

TEST(EntryWalk, PathsUseSlashesAndNamelessFoldersAddNoLevel) {
    EXPECT_EQ(joinEntryPath("ROOT", "docs"), "ROOT/docs");
    EXPECT_EQ(insideFolderPath("ROOT/docs", "sub"), "ROOT/docs/sub");
    EXPECT_EQ(insideFolderPath("ROOT/docs", ""), "ROOT/docs");
}

}  // namespace
}  // namespace vantor
