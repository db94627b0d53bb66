#include "support/contract_invariants.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "results/entry_walk.h"
#include "results/save_walk.h"
#include "support/fake_reader.h"
#include "support/support.h"

namespace vantor::test {
namespace {

namespace fs = std::filesystem;

// The reader as the save walk sees it, but offering only the chosen files:
// the walk's folders and names are the reader's own, its writing is bounded.
class ChosenFiles final : public EntrySource {
public:
    ChosenFiles(EntrySource& inner, std::unordered_set<EntryRef> files) : inner(inner), files(std::move(files)) {}
    std::optional<EntryRef> rootEntry() const override { return inner.rootEntry(); }
    std::optional<EntryRef> firstChild(EntryRef folder) const override { return inner.firstChild(folder); }
    std::optional<EntryRef> nextSibling(EntryRef entry) const override { return inner.nextSibling(entry); }
    RecoveredItem describe(EntryRef entry) const override { return inner.describe(entry); }
    bool isSaveFolder(EntryRef entry) const override { return inner.isSaveFolder(entry); }
    bool isSaveFile(EntryRef entry) const override { return files.count(entry) != 0; }
    ContentOutcome writeContent(EntryRef entry, ContentSink& sink) override { return inner.writeContent(entry, sink); }
    TreeTraits treeTraits() const override { return inner.treeTraits(); }

private:
    EntrySource& inner;
    std::unordered_set<EntryRef> files;
};

std::string described(EntryRef ref, const RecoveredItem& item) {
    return "entry " + std::to_string(ref) + " \"" + item.name + "\"";
}

// One entry's answers must agree with each other.
void expectConsistent(const EntrySource& source, EntryRef ref, const RecoveredItem& item) {
    const bool saveFolder = source.isSaveFolder(ref), saveFile = source.isSaveFile(ref);
    EXPECT_FALSE(saveFolder && saveFile) << described(ref, item) << " is both a folder and a file to save";
    EXPECT_TRUE(!saveFolder || item.isFolder) << described(ref, item) << " is saved as a folder but not shown as one";
    EXPECT_TRUE(!saveFile || !item.isFolder) << described(ref, item) << " is saved as a file but shown as a folder";
    // The tree gives an expand mark by hasChildren and fills it by firstChild.
    EXPECT_EQ(item.hasChildren, source.firstChild(ref).has_value())
        << described(ref, item) << " reports children it does not hand out, or hides those it has";
}

}  // namespace

ContractTally expectContractInvariants(EntrySource& source, const fs::path& scratch, const ContractLimits& limits) {
    ContractTally tally;
    const std::optional<EntryRef> root = source.rootEntry();
    if (!root) return tally;  // nothing listed: nothing to walk or save

    const RecoveredItem rootItem = source.describe(*root);
    EXPECT_TRUE(rootItem.isFolder) << "the root is not a folder";
    EXPECT_TRUE(source.isSaveFolder(*root)) << "the root cannot be saved as a folder";
    expectConsistent(source, *root, rootItem);

    // Depth first, each folder entered once: a loop of folders or siblings
    // must not keep the walk going.
    std::unordered_set<EntryRef> seen = {*root};
    std::unordered_set<EntryRef> chosen;
    WalkGuard guard;
    std::vector<std::pair<EntryRef, int>> stack = {{*root, 0}};
    bool overflowed = false;
    while (!stack.empty() && !overflowed) {
        const auto [folder, depth] = stack.back();
        stack.pop_back();
        if (!guard.enter(folder, depth)) continue;
        ++tally.folders;
        for (const EntryRef child : childrenOf(source, folder)) {
            if (!seen.insert(child).second) continue;
            if (seen.size() > limits.maxEntries) {
                overflowed = true;
                break;
            }
            const RecoveredItem item = source.describe(child);
            expectConsistent(source, child, item);
            if (item.hasChildren) stack.emplace_back(child, depth + 1);
            if (source.isSaveFile(child) && item.size <= limits.maxSavedFileBytes &&
                chosen.size() < limits.maxSavedFiles)
                chosen.insert(child);
        }
    }
    tally.entries = seen.size();
    EXPECT_FALSE(overflowed) << "more than " << limits.maxEntries << " distinct entries: the walk would not end";

    // The save walk over the same tree, into a folder of its own inside
    // `scratch`: a name that climbs would land beside it.
    const fs::path out = scratch / "out";
    fs::create_directory(out);
    RecordingMessages messages(true);
    RecordingProgress progress;
    WorkSeams seams;
    seams.messages = &messages;
    seams.progress = &progress;
    ChosenFiles bounded(source, std::move(chosen));
    const SaveReport report = saveFolder(bounded, *root, "ROOT", out, seams);
    EXPECT_FALSE(report.declined);
    EXPECT_FALSE(report.stopped);
    EXPECT_EQ(report.handled, report.found) << "the save did not reach every file it counted";
    EXPECT_EQ(report.written + report.withheld + static_cast<std::int64_t>(report.failed.size()), report.handled)
        << "files the save reached but did not account for";
    tally.filesSaved = report.written;

    // Every file the save announced lies below `out`...
    static constexpr std::string_view kSaving = "saving File  ";
    for (const std::string& status : progress.statuses()) {
        if (status.rfind(kSaving, 0) != 0) continue;
        const fs::path file(status.substr(kSaving.size()));
        EXPECT_TRUE(isBelow(file, out)) << file << " is outside " << out;
    }
    // ...nothing else appeared in `scratch`, and what is on disk is what the
    // report says was written.
    std::int64_t filesOnDisk = 0;
    for (const std::string& rel : pathsBelow(scratch)) {
        EXPECT_TRUE(rel == "out/" || rel.rfind("out/", 0) == 0) << rel << " was written beside the output folder";
        if (rel.back() != '/' && fs::is_regular_file(scratch / rel)) ++filesOnDisk;
    }
    EXPECT_EQ(filesOnDisk, report.written);
    return tally;
}

}  // namespace vantor::test
