// The sector reader over image files: sizes, short reads, reads at the end,
// the base offset, and what a path that cannot be opened tells the user.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <string>
#include <vector>

#include "device/FileReadSeek.h"
#include "device/VolumeWindow.h"
#include "support/support.h"

using namespace vantor;
using namespace vantor::test;

namespace {

class RecordingMessages final : public Messages {
public:
    void inform(std::string_view text) override { told.emplace_back(text); }
    bool ask(std::string_view) override { return false; }
    std::vector<std::string> told;
};

// An image whose byte i is (i / 512 + i) & 0xFF: every sector differs from its neighbours.
std::filesystem::path writeImage(const ScratchDir& dir, std::size_t bytes, const char* name = "disk.img") {
    const auto path = dir.path() / name;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < bytes; ++i) out.put(static_cast<char>((i / 512 + i) & 0xFF));
    return path;
}

std::uint8_t imageByte(std::uint64_t i) { return static_cast<std::uint8_t>((i / 512 + i) & 0xFF); }

}  // namespace

TEST(SectorReader, SizeIsTheFileLengthInWholeSectors) {
    struct Case { std::size_t bytes; std::int64_t sectors; };
    const Case cases[] = {{0, 0}, {511, 0}, {1000, 1}, {1024, 2}, {1048576 + 100, 2048}};
    ScratchDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const auto path = writeImage(dir, c.bytes, ("disk-" + std::to_string(c.bytes)).c_str());
        FileReadSeek reader;
        ASSERT_TRUE(reader.open(path.string()));
        EXPECT_EQ(reader.deviceTotalSectors(), c.sectors);
        EXPECT_EQ(reader.sizeBytes(), c.bytes);
    }
}

TEST(SectorReader, ReadOfNothingSucceedsAndTouchesNothing) {
    ScratchDir dir;
    FileReadSeek reader;
    ASSERT_TRUE(reader.open(writeImage(dir, 4096).string()));
    std::array<std::uint8_t, 4> dest{9, 9, 9, 9};
    ASSERT_TRUE(reader.seek(512));
    EXPECT_TRUE(reader.read(std::span(dest).first(0)));
    EXPECT_EQ(dest, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
}

// 1024 bytes asked for where only 512 remain: false, the 512 that arrived,
// then zeros.
TEST(SectorReader, ShortReadIsFalseAndZeroFilledBehind) {
    ScratchDir dir;
    FileReadSeek reader;
    ASSERT_TRUE(reader.open(writeImage(dir, 2048).string()));
    std::vector<std::uint8_t> dest(1024, 0xCC);
    ASSERT_TRUE(reader.seek(1536));
    EXPECT_FALSE(reader.read(dest));
    for (std::size_t i = 0; i < 512; ++i) ASSERT_EQ(dest[i], imageByte(1536 + i)) << "byte " << i;
    for (std::size_t i = 512; i < 1024; ++i) ASSERT_EQ(dest[i], 0) << "byte " << i;
    EXPECT_EQ(reader.readAt(1536, dest), 512u);
}

TEST(SectorReader, ReadAtTheEndIsFalseAndLeavesTheDestination) {
    ScratchDir dir;
    FileReadSeek reader;
    ASSERT_TRUE(reader.open(writeImage(dir, 2048).string()));
    for (std::uint64_t at : {2048ull, 4096ull, 1ull << 40}) {
        SCOPED_TRACE(at);
        std::vector<std::uint8_t> dest(512, 0xCC);
        ASSERT_TRUE(reader.seek(at));
        EXPECT_FALSE(reader.read(dest));
        EXPECT_EQ(dest, std::vector<std::uint8_t>(512, 0xCC));
        EXPECT_EQ(reader.readAt(at, dest), 0u);
    }
}

TEST(SectorReader, PositionedPairMovesOnByWhatWasRead) {
    ScratchDir dir;
    FileReadSeek reader;
    ASSERT_TRUE(reader.open(writeImage(dir, 2 * 1048576).string()));
    std::vector<std::uint8_t> dest(512);
    ASSERT_TRUE(reader.seek(1048576));
    ASSERT_TRUE(reader.read(dest));
    for (std::size_t i = 0; i < dest.size(); ++i) ASSERT_EQ(dest[i], imageByte(1048576 + i)) << "byte " << i;
    ASSERT_TRUE(reader.read(dest));
    EXPECT_EQ(dest[0], imageByte(1048576 + 512));
}

TEST(SectorReader, WindowReadsTheVolumeFromItsStart) {
    ScratchDir dir;
    FileReadSeek reader;
    ASSERT_TRUE(reader.open(writeImage(dir, 2 * 1048576).string()));
    VolumeWindow window(reader, 1048576, 0);
    EXPECT_EQ(window.length(), 1048576u);
    std::vector<std::uint8_t> dest(512);
    ASSERT_EQ(window.readAt(1024, dest), 512u);
    EXPECT_EQ(dest[0], imageByte(1048576 + 1024));
    // A sector read again directly (O_DIRECT where the file system allows it)
    // gives the same bytes.
    std::vector<std::uint8_t> again(512);
    ASSERT_EQ(reader.readSector(1048576 + 1024, again), 512u);
    EXPECT_EQ(again, dest);
}

TEST(SectorReader, PathThatCannotBeOpenedSaysInvalidHandleOnce) {
    ScratchDir dir;
    RecordingMessages messages;
    FileReadSeek reader(messages);
    EXPECT_FALSE(reader.open((dir.path() / "no-such-disk.img").string()));
    EXPECT_EQ(messages.told, std::vector<std::string>{"invalid handle ..."});
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.deviceTotalSectors(), 0);
    std::vector<std::uint8_t> dest(512, 0xCC);
    EXPECT_FALSE(reader.read(dest));
    EXPECT_EQ(dest, std::vector<std::uint8_t>(512, 0xCC));
}

TEST(SectorReader, ReadingLeavesTheImageUnchanged) {
    ScratchDir dir;
    const auto path = writeImage(dir, 1048576);
    const SourceGuard guard(path);
    {
        FileReadSeek reader;
        ASSERT_TRUE(reader.open(path.string()));
        std::vector<std::uint8_t> dest(1048576);
        reader.readAt(0, dest);
        reader.readAt(1000, dest);
    }
    EXPECT_TRUE(guard.unchanged());
}

TEST(SectorReader, MemoryReaderFollowsTheSameRules) {
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    MemoryReader reader(bytes);
    EXPECT_EQ(reader.deviceTotalSectors(), 1);
    std::vector<std::uint8_t> dest(512, 0xCC);
    EXPECT_EQ(reader.readAt(800, dest), 200u);
    EXPECT_EQ(dest[0], bytes[800]);
    EXPECT_EQ(dest[200], 0);
    std::fill(dest.begin(), dest.end(), 0xCC);
    EXPECT_EQ(reader.readAt(1000, dest), 0u);
    EXPECT_EQ(dest, std::vector<std::uint8_t>(512, 0xCC));
}
