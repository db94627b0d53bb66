#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "results/name_search.h"
#include "support/fake_reader.h"

namespace vantor {
namespace {

using test::StandardVolume;

struct Searched {
    test::RecordingMessages messages;
    test::RecordingProgress progress;
    std::vector<std::string> paths;
    SearchReport report;
};


std::unique_ptr<Searched> run(EntrySource& source, const std::string& pattern, StopFlag* pageStop = nullptr) {
    auto result = std::make_unique<Searched>();
    Searched& s = *result;
    WorkSeams seams;
    seams.messages = &s.messages;
    seams.progress = &s.progress;
    seams.pageStop = pageStop;
    seams.readerStop = &source.control.stopRequested;
    s.report = searchNames(source, pattern, "ROOT", seams, [&s](const SearchHit& h) { s.paths.push_back(h.path); });
    return result;
}

TEST(NameSearch, PatternsMatchAnywhereInNamesIgnoringCase) {
    struct Case {
        const char* pattern;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"jpg|png", {"ROOT/docs/b.jpg", "ROOT/docs/sub/c.PNG"}},
        {"\\.txt$",
         {"ROOT/docs/a.txt", "ROOT/docs/a.txt", "ROOT/inner.txt", "ROOT/../up/f.txt", "ROOT/top.txt",
          "ROOT/$RECYCLE.BIN/$IAB12.txt", "ROOT/$RECYCLE.BIN/$RAB12.txt"}},
        {"^A", {"ROOT/docs/a.txt", "ROOT/docs/a.txt", "ROOT/hostile/a/b"}},
        {"lost", {"ROOT/ORPHAN ENTRY/lost.bin"}},
        {"^empty$", {"ROOT/empty"}},  // an empty top-level folder is matched like a file
        {"^docs$", {}},               // folders with children never are
        {"^sub$", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        StandardVolume v;
        const auto found = run(v.reader, c.pattern);
        const Searched& s = *found;
        EXPECT_EQ(s.paths, c.paths);
        EXPECT_EQ(s.report.hits, static_cast<std::int64_t>(s.paths.size()));
        EXPECT_TRUE(s.messages.said("Searching Finished"));
    }
}

TEST(NameSearch, InvalidAndEmptyPatternsFindNothing) {
    StandardVolume v;
    const auto badRun = run(v.reader, "*.jpg");
    const Searched& bad = *badRun;
    EXPECT_FALSE(bad.report.patternValid);
    EXPECT_TRUE(bad.paths.empty());
    EXPECT_EQ(bad.messages.all(),
              (std::vector<std::string>{
                  "such characters are not allowed for search.Try again with different pattern.",
                  "Searching Finished"}));
    const auto emptyRun = run(v.reader, "");
    const Searched& empty = *emptyRun;
    EXPECT_TRUE(empty.report.patternValid);
    EXPECT_TRUE(empty.paths.empty());
    EXPECT_EQ(empty.messages.all(), std::vector<std::string>{"Searching Finished"});
}

TEST(NameSearch, StatusCountsTheResults) {
    StandardVolume v;
    const auto found = run(v.reader, "a\\.txt");
    const Searched& s = *found;
    const auto statuses = s.progress.statuses();
    EXPECT_EQ(statuses, (std::vector<std::string>{"searched file 1", "searched file 2", "Searching Finished"}));
}

TEST(NameSearch, StopEndsTheFolderAndTheTopLevelAndIsCleared) {
    StandardVolume v;
    StopFlag pageStop;
    pageStop.request();
    v.reader.control.stopRequested.request();
    const auto stoppedRun = run(v.reader, ".", &pageStop);
    const Searched& s = *stoppedRun;
    EXPECT_TRUE(s.report.stopped);
    EXPECT_TRUE(s.paths.empty());
    EXPECT_FALSE(pageStop.requested());
    // Only the reader's stop: the folder in progress ends, the rest goes on.
    v.reader.control.stopRequested.request();
    const auto partialRun = run(v.reader, "\\.txt$");
    const Searched& partial = *partialRun;
    EXPECT_FALSE(v.reader.control.stopRequested.requested());
    EXPECT_EQ(partial.paths,
              (std::vector<std::string>{"ROOT/inner.txt", "ROOT/../up/f.txt", "ROOT/top.txt",
                                        "ROOT/$RECYCLE.BIN/$IAB12.txt", "ROOT/$RECYCLE.BIN/$RAB12.txt"}));
}

}  // namespace
}  // namespace vantor
