// The scan as the session drives it: its outcome on volumes of another
// kind, what it tells the user while it runs, and how a stop ends a phase.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/FileReadSeek.h"
#include "fs/ext/ext2Class.h"
#include "support/support.h"

namespace vantor {
namespace {

class RecordingProgress final : public ProgressSink {
public:
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t) override {}
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    std::vector<std::string> statuses;
};

class RecordingMessages final : public Messages {
public:
    void inform(std::string_view text) override { told.emplace_back(text); }
    bool ask(std::string_view) override { return true; }
    std::vector<std::string> told;
};

bool contains(const std::vector<std::string>& texts, const std::string& text) {
    for (const auto& t : texts) {
        if (t == text) return true;
    }
    return false;
}

TEST(ExtScan, AVolumeOfAnotherKindIsToldAndNotParsed) {
    MemoryReader source(std::vector<std::uint8_t>(1 << 20, 0x5A));
    AppState state;
    RecordingMessages messages;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "1 MB", 0}, state, nullProgress(), messages});
    EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::wrongKind);
    EXPECT_EQ(messages.told, std::vector<std::string>{"Selected Drive is not in ext Format"});
    EXPECT_FALSE(reader.rootEntry().has_value());
}

TEST(ExtScan, OnlyTheStandardModeHasAWorker) {
    MemoryReader source(std::vector<std::uint8_t>(4096, 0));
    AppState state;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
    EXPECT_EQ(reader.scan(ScanMode::advanced), ScanOutcome::unsupported);
    EXPECT_EQ(reader.scan(ScanMode::deep), ScanOutcome::unsupported);
}

TEST(ExtScan, StatusTextsFollowTheLifeCycle) {
    FileReadSeek source;
    ASSERT_TRUE(source.open(test::fixtureImage("ext2_1k.img").string()));
    AppState state;
    RecordingProgress progress;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "12 MB", 0}, state, progress});
    ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    for (const char* text : {"parsing group 1  of 2 ", "parsing group 2  of 2 ", "parsed inode entry 3072  of 3072 ",
                             "clearing vector....", "Maintaining Parent Child....",
                             "Maintaining Parent Child for record 0 of 13....", "filling root entries in  tree...."}) {
        EXPECT_TRUE(contains(progress.statuses, text)) << text;
    }
}

TEST(ExtScan, StopEndsOnlyThePhaseInProgress) {
    FileReadSeek source;
    ASSERT_TRUE(source.open(test::fixtureImage("ext2_1k.img").string()));
    AppState state;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
    // A stop pending when the scan starts: the superblock is still found at
    // its usual place, the inode-table phase takes the stop and ends, and
    // the phases after it run on what was gathered (nothing).
    reader.control.stopRequested.request();
    EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    EXPECT_FALSE(reader.control.stopRequested.requested());
    ASSERT_TRUE(reader.rootEntry().has_value());
    EXPECT_FALSE(reader.firstChild(*reader.rootEntry()).has_value());
}

}  // namespace
}  // namespace vantor
