// Damaged sources: a block that cannot be read, and fixture images with
// random bytes overwritten. The reader must say what it lost, keep the rest
// of a file at its place, and never crash or hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "device/FileReadSeek.h"
#include "fs/ext/ext2Class.h"
#include "support/bytes_builder.h"
#include "support/contract_invariants.h"
#include "support/faulty_reader.h"
#include "support/support.h"
#include "results/entry_save.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using Buffer = std::vector<std::uint8_t>;

// An image in memory in which one range of bytes cannot be read: a read
// that touches it returns nothing, as a bad sector does.
class BadRangeReader final : public readWriteInterface {
public:
    BadRangeReader(Buffer bytes, std::uint64_t badStart, std::uint64_t badLength)
        : data(std::move(bytes)), badStart(badStart), badEnd(badStart + badLength) {
        totalBytes = data.size();
        totalSectors = static_cast<std::int64_t>(totalBytes / kSectorSize);
    }
    bool open(const std::string&) override { return true; }
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) override {
        const std::uint64_t at = offset;
        if (at < badEnd && at + dest.size() > badStart) return 0;
        if (at >= data.size()) return 0;
        const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(dest.size(), data.size() - at));
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), got, dest.begin());
        std::fill(dest.begin() + static_cast<std::ptrdiff_t>(got), dest.end(), std::uint8_t{0});
        return got;
    }

private:
    Buffer data;
    std::uint64_t badStart, badEnd;
};

std::optional<EntryRef> findPath(const EntrySource& s, const std::string& path) {
    std::optional<EntryRef> at = s.rootEntry();
    std::size_t from = 0;
    while (at && from < path.size()) {
        const std::size_t slash = path.find('/', from);
        const std::string part = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
        std::optional<EntryRef> child = s.firstChild(*at);
        while (child && s.describe(*child).name != part) child = s.nextSibling(*child);
        at = child;
        from = slash == std::string::npos ? path.size() : slash + 1;
    }
    return at;
}

// The content the ext3 recipe wrote into photos/2019/big.raw.
Buffer bigRawPattern() {
    std::string text;
    for (int n = 0; text.size() < 5000000; ++n) {
        char line[32];
        std::snprintf(line, sizeof line, "big line %08d\n", n);
        text += line;
    }
    text.resize(5000000);
    return Buffer(text.begin(), text.end());
}

TEST(ExtDamage, UnreadableBlockIsWrittenAsZerosInItsPlaceAndReported) {
    Buffer image = test::readFileBytes(test::fixtureImage("ext3_journal.img"));
    const Buffer expected = bigRawPattern();
    // The block holding line 100000 of the file becomes unreadable.
    const std::string marker = "big line 00100000\n";
    const auto hit = std::search(image.begin(), image.end(), marker.begin(), marker.end());
    ASSERT_NE(hit, image.end());
    const std::uint64_t badBlock = static_cast<std::uint64_t>(hit - image.begin()) / 4096;
    BadRangeReader source(image, badBlock * 4096, 4096);
    AppState state;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
    ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    const auto ref = findPath(reader, "photos/2019/big.raw");
    ASSERT_TRUE(ref);

    test::ScratchDir scratch;
    const fs::path saved = scratch.path() / "big.raw";
    const SaveResult result = saveEntryToFile(reader, *ref, saved);
    EXPECT_TRUE(result.written);
    EXPECT_TRUE(result.damaged);
    EXPECT_NE(result.problem.find("unreadable: bytes "), std::string::npos) << result.problem;
    // The report names exactly the one block.
    ASSERT_EQ(result.damage.size(), 1u);
    EXPECT_EQ(result.damage[0].length, 4096u);
    EXPECT_EQ(result.damage[0].first % 4096, 0u);
    const Buffer got = test::readFileBytes(saved);
    ASSERT_EQ(got.size(), expected.size());
    // Exactly one 4 KiB stretch differs, and it is zeros; everything after
    // it is at its own place.
    const std::size_t markerAt = 100000 * marker.size();
    const std::size_t lostFrom = markerAt / 4096 * 4096;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const bool lost = i >= lostFrom && i < lostFrom + 4096;
        if (got[i] != (lost ? 0 : expected[i])) {
            ADD_FAILURE() << "byte " << i << " is " << int(got[i]);
            break;
        }
    }
}

// Random bytes over the metadata of each fixture: whatever the reader makes
// of it, what it lists keeps the results contract.
TEST(ExtDamage, CorruptedCopiesKeepTheContract) {
    const char* fixtures[] = {"ext2_1k.img", "ext3_journal.img", "ext4_default.img"};
    for (const char* name : fixtures) {
        SCOPED_TRACE(name);
        const Buffer original = test::readFileBytes(test::fixtureImage(name));
        ASSERT_FALSE(original.empty());
        // Every entry listed stands for an inode or a directory entry of at
        // least 8 bytes of the volume.
        test::ContractLimits limits;
        limits.maxEntries = original.size() / 8;
        {
            SCOPED_TRACE("undamaged");
            MemoryReader source(original);
            AppState state;
            ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
            ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
            test::ScratchDir scratch;
            const test::ContractTally whole = test::expectContractInvariants(reader, scratch.path(), limits);
            EXPECT_GT(whole.entries, 10u);
            EXPECT_GT(whole.filesSaved, 0);
        }
        // Metadata lives near the start of these small volumes: hit there hard.
        const std::size_t hot = std::min<std::size_t>(original.size(), std::size_t{4} << 20);
        int listed = 0;
        for (unsigned seed = 1; seed <= 12; ++seed) {
            SCOPED_TRACE(seed);
            std::mt19937 random(seed);
            Buffer bytes = original;
            for (int i = 0; i < 400; ++i) bytes[random() % hot] = static_cast<std::uint8_t>(random());
            MemoryReader source(std::move(bytes));
            AppState state;
            ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
            reader.scan(ScanMode::standard);
            test::ScratchDir scratch;
            listed += test::expectContractInvariants(reader, scratch.path(), limits).entries > 1;
        }
        // Damage that left nothing to list would check nothing.
        EXPECT_GT(listed, 0);
    }
}

// A superblock that claims four thousand million blocks, with an inode count
// to match so that it passes as one mke2fs could have made, over a 12 MiB
// image: the scan's work is bounded by the source, not by the claim.
TEST(ExtDamage, ForgedGroupCountStaysWithinTheSource) {
    Buffer bytes = test::readFileBytes(test::fixtureImage("ext2_1k.img"));
    const auto le32 = [&](std::size_t at) {
        return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
               std::uint32_t{bytes[at + 3]} << 24;
    };
    constexpr std::size_t kSuper = 1024;
    const std::uint32_t firstDataBlock = le32(kSuper + 0x14), blocksPerGroup = le32(kSuper + 0x20),
                        inodesPerGroup = le32(kSuper + 0x28);
    ASSERT_EQ(le32(kSuper + 0x18), 0u);  // 1 KiB blocks
    const std::uint64_t blockSize = 1024, sourceBlocks = bytes.size() / blockSize;
    const std::uint64_t forgedBlocks = 0xFFFFFFFFu;
    const std::uint64_t forgedGroups = (forgedBlocks - firstDataBlock + blocksPerGroup - 1) / blocksPerGroup;
    const std::uint64_t forgedInodes = forgedGroups * inodesPerGroup;
    ASSERT_LE(forgedInodes, 0xFFFFFFFFu);  // the count still fits its field
    test::putLe(bytes, kSuper + 0x04, forgedBlocks, 4);
    test::putLe(bytes, kSuper + 0x00, forgedInodes, 4);

    test::FaultyReader source(std::move(bytes), {});
    AppState state;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
    // Accepted: the forged superblock is read as the volume's, not passed over.
    ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    // Believing the claim costs a read per group's inode table at least:
    // 524288 reads. Bound by the source, each descriptor block inside it is
    // read once (at most one read per source block, 12288), and the search,
    // the real inode tables and the directories add a few hundred: twice the
    // source's block count is ample, and still a twentieth of the claim.
    ASSERT_GT(forgedGroups, 20 * 2 * sourceBlocks);
    EXPECT_LE(source.reads, 2 * sourceBlocks);
}

}  // namespace
}  // namespace vantor
