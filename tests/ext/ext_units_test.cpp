// The ext reader's pieces on tiny hand-built buffers: the superblock search,
// descriptor and inode geometry, block maps and extent trees, directory
// blocks, and the list texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/FileReadSeek.h"
#include "fs/ext/block_map.h"
#include "fs/ext/directory.h"
#include "fs/ext/ext2Class.h"
#include "fs/ext/layout.h"
#include "results/entry_texts.h"
#include "support/bytes_builder.h"

namespace vantor {
namespace {

using namespace ext;
using Buffer = std::vector<std::uint8_t>;

using test::putBytes;
using test::putLe;
using test::putText;

struct SuperblockFields {
    std::uint32_t logBlockSize = 0;
    std::uint32_t blocksCount = 8192;
    std::uint32_t firstDataBlock = 1;
    std::uint32_t blocksPerGroup = 8192;
    std::uint32_t inodesPerGroup = 256;
    std::uint32_t inodesCount = 256;
    std::uint32_t revLevel = 1;
    std::uint16_t inodeSize = 256;
    std::uint16_t groupNr = 0;
    std::uint32_t incompat = kIncompatFileType;
    std::uint16_t descSize = 0;
};

Buffer superblockBytes(const SuperblockFields& f) {
    Buffer b(1024, 0);
    putLe(b, 0x00, f.inodesCount, 4);
    putLe(b, 0x04, f.blocksCount, 4);
    putLe(b, 0x14, f.firstDataBlock, 4);
    putLe(b, 0x18, f.logBlockSize, 4);
    putLe(b, 0x20, f.blocksPerGroup, 4);
    putLe(b, 0x28, f.inodesPerGroup, 4);
    putLe(b, 0x38, kSuperblockMagic, 2);
    putLe(b, 0x4C, f.revLevel, 4);
    putLe(b, 0x58, f.inodeSize, 2);
    putLe(b, 0x5A, f.groupNr, 2);
    putLe(b, 0x60, f.incompat, 4);
    putLe(b, 0xFE, f.descSize, 2);
    return b;
}

// A reader over an in-memory volume, kept together with what it refers to.
struct MemoryVolume {
    explicit MemoryVolume(Buffer bytes, std::string sizeText = "0")
        : source(std::move(bytes)), reader(ReaderContext{source, VolumeRecord{"extX", "", "0", sizeText, 0}, state}) {}
    MemoryReader source;
    AppState state;
    ext2Class reader;
};

TEST(ExtSuperblock, SearchFindsItAtEachPlaceAVolumeCanHaveIt) {
    struct Case {
        const char* what;
        std::size_t placedAt;
        std::uint32_t logBlockSize;
        bool found;
        std::uint64_t baseOffset;       // where the volume turns out to start
        std::uint64_t descriptorTable;  // relative to that start
    };
    const Case cases[] = {
        {"1 KiB blocks at byte 1024", 1024, 0, true, 0, 2048},
        {"4 KiB blocks at byte 1024", 1024, 2, true, 0, 4096},
        {"start one sector early", 1536, 0, true, 512, 2048},
        {"start eight sectors early", 1024 + 4096, 2, true, 4096, 4096},
        {"16 KiB blocks", 1024, 4, true, 0, 16384},
        {"64 KiB blocks", 1024, 6, true, 0, 65536},
        {"128 KiB blocks are not accepted", 1024, 7, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SuperblockFields f;
        f.logBlockSize = c.logBlockSize;
        f.firstDataBlock = c.logBlockSize == 0 ? 1 : 0;
        Buffer volume(256 * 1024, 0);
        const Buffer sb = superblockBytes(f);
        putBytes(volume, c.placedAt, sb);
        MemoryVolume v(volume);
        ASSERT_TRUE(v.reader.attachVolume());
        ASSERT_EQ(v.reader.findSuperblock(), c.found);
        if (!c.found) continue;
        EXPECT_EQ(v.reader.superblockOffset(), c.placedAt);
        EXPECT_EQ(v.reader.volumeStart(), c.baseOffset);
        EXPECT_EQ(v.reader.descriptorTableOffset(), c.descriptorTable);
    }
}

TEST(ExtSuperblock, BackupCopyServesWhenThePrimaryIsGone) {
    // Group 1's copy of a 1 KiB-block volume sits at block 8193.
    SuperblockFields f;
    f.blocksCount = 16384;
    f.inodesCount = 512;
    f.groupNr = 1;
    Buffer volume(std::size_t{8200} * 1024, 0);
    const Buffer sb = superblockBytes(f);
    putBytes(volume, std::size_t{8193} * 1024, sb);
    MemoryVolume v(volume);
    ASSERT_TRUE(v.reader.attachVolume());
    ASSERT_TRUE(v.reader.findSuperblock());
    EXPECT_EQ(v.reader.volumeStart(), 0u);
    EXPECT_EQ(v.reader.descriptorTableOffset(), std::uint64_t{8194} * 1024);
}

TEST(ExtSuperblock, GeometryFromTheFields) {
    SuperblockFields f;
    f.blocksCount = 10000;
    EXPECT_EQ(decodeSuperblock(superblockBytes(f)).groupCount(), 2u);
    f.blocksCount = 8193;
    EXPECT_EQ(decodeSuperblock(superblockBytes(f)).groupCount(), 1u);

    struct Case {
        const char* what;
        std::uint32_t rev;
        std::uint16_t inodeSize;
        std::uint32_t incompat;
        std::uint16_t descSize;
        std::uint32_t expectInode;
        std::uint32_t expectDesc;
    };
    const Case cases[] = {
        {"revision 0 has 128-byte inodes whatever the field", 0, 0, 0, 0, 128, 32},
        {"dynamic revision with 256-byte inodes", 1, 256, 0, 0, 256, 32},
        {"a zero inode size falls back to 128", 1, 0, 0, 0, 128, 32},
        {"64bit with 64-byte descriptors", 1, 256, kIncompat64Bit, 64, 256, 64},
        {"64bit with a damaged descriptor size", 1, 256, kIncompat64Bit, 48, 256, 64},
        {"descriptor size ignored without 64bit", 1, 256, 0, 64, 256, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SuperblockFields g;
        g.revLevel = c.rev;
        g.inodeSize = c.inodeSize;
        g.incompat = c.incompat;
        g.descSize = c.descSize;
        const Superblock s = decodeSuperblock(superblockBytes(g));
        EXPECT_EQ(s.inodeSize(), c.expectInode);
        EXPECT_EQ(s.descriptorSize(), c.expectDesc);
    }
}

TEST(ExtGroupDescriptor, SpreadTablesAreFoundInTheirMetaGroups) {
    SuperblockFields f;
    f.incompat = kIncompatFileType | kIncompat64Bit | kIncompatMetaBg;
    f.descSize = 64;
    f.blocksPerGroup = 1024;
    Buffer bytes = superblockBytes(f);
    putLe(bytes, 0x64, kRoCompatSparseSuper, 4);
    putLe(bytes, 0x104, 1, 4);  // the first descriptor block still lies in a row
    const Superblock s = decodeSuperblock(bytes);
    // 16 descriptors a 1 KiB block: block 1 describes groups 16..31 and lies
    // in group 16 (no superblock copy there), block 2 in group 32.
    EXPECT_EQ(s.descriptorBlock(0, 2), 2u);
    EXPECT_EQ(s.descriptorBlock(1, 2), 1u + 16 * 1024);
    EXPECT_EQ(s.descriptorBlock(2, 2), 1u + 32 * 1024);
    for (std::uint64_t g : {0, 1, 3, 5, 7, 9, 25, 27, 49}) EXPECT_TRUE(s.groupHasSuperblock(g)) << g;
    for (std::uint64_t g : {2, 4, 6, 15, 16, 21, 32}) EXPECT_FALSE(s.groupHasSuperblock(g)) << g;
}

// Where copies of a descriptor block lie, in the order they are tried: one
// behind each superblock copy, or in the second and last group of a meta group.
TEST(ExtGroupDescriptor, CopiesLieWhereTheFeaturesPutThem) {
    struct Case {
        const char* what;
        std::uint32_t incompat, compat, roCompat;
        std::uint32_t sparse2[2];
        std::uint64_t index, groups;
        std::vector<std::uint64_t> copyGroups;
    };
    const std::uint32_t metaBg = kIncompatFileType | kIncompat64Bit | kIncompatMetaBg;
    const Case cases[] = {
        {"every group keeps a copy", kIncompatFileType, 0, 0, {}, 0, 40, {0, 1, 2, 3, 4}},
        {"sparse: 1 and the powers of 3, 5 and 7", kIncompatFileType, 0, kRoCompatSparseSuper, {}, 0, 40,
         {0, 1, 3, 5, 7}},
        {"sparse, few groups", kIncompatFileType, 0, kRoCompatSparseSuper, {}, 1, 4, {0, 1, 3}},
        {"sparse_super2: the two it names", kIncompatFileType, kCompatSparseSuper2, 0, {1, 39}, 0, 40, {0, 1, 39}},
        {"meta_bg: the second and last group of its meta group", metaBg, 0, kRoCompatSparseSuper, {}, 1, 40, {17, 31}},
        {"meta_bg: the last meta group cut short", metaBg, 0, kRoCompatSparseSuper, {}, 2, 40, {33}},
        {"meta_bg: blocks before the first meta group lie in a row", metaBg, 0, kRoCompatSparseSuper, {}, 0, 40,
         {0, 1, 3, 5, 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SuperblockFields f;
        f.incompat = c.incompat;
        f.descSize = (c.incompat & kIncompat64Bit) ? 64 : 0;
        f.blocksPerGroup = 1024;
        Buffer bytes = superblockBytes(f);
        putLe(bytes, 0x5C, c.compat, 4);
        putLe(bytes, 0x64, c.roCompat, 4);
        putLe(bytes, 0x104, (c.incompat & kIncompatMetaBg) && c.index == 0 ? 1 : 0, 4);
        putLe(bytes, 0x24C, c.sparse2[0], 4);
        putLe(bytes, 0x250, c.sparse2[1], 4);
        const Superblock s = decodeSuperblock(bytes);
        std::vector<std::uint64_t> groups;
        for (const auto& copy : s.descriptorCopies(c.index, c.groups, 5)) {
            groups.push_back(copy.group);
            // Behind the superblock copy where the group keeps one.
            const bool inRow = !(c.incompat & kIncompatMetaBg) || c.index == 0;
            const std::uint64_t expected =
                s.groupStart(copy.group) + (inRow ? 1 + c.index : (s.groupHasSuperblock(copy.group) ? 1 : 0));
            EXPECT_EQ(copy.block, expected) << "group " << copy.group;
        }
        EXPECT_EQ(groups, c.copyGroups);
    }
}

TEST(ExtGroupDescriptor, SixtyFourByteFormTakesTheHighHalves) {
    Buffer d(64, 0);
    putLe(d, 0x08, 0x1234, 4);
    putLe(d, 0x28, 0x2, 4);
    putLe(d, 0x1C, 0x10, 2);
    putLe(d, 0x32, 0x1, 2);
    EXPECT_EQ(decodeGroupDescriptor(d, 32).inodeTable, 0x1234u);
    EXPECT_EQ(decodeGroupDescriptor(d, 64).inodeTable, 0x200001234u);
    EXPECT_EQ(decodeGroupDescriptor(d, 64).itableUnused, 0x10010u);
}

// An inode record of 256 bytes whose block area the test fills.
Buffer inodeRecord(std::uint16_t mode, std::uint64_t size, std::uint32_t flags) {
    Buffer r(256, 0);
    putLe(r, 0x00, mode, 2);
    putLe(r, 0x04, static_cast<std::uint32_t>(size), 4);
    putLe(r, 0x6C, static_cast<std::uint32_t>(size >> 32), 4);
    putLe(r, 0x20, flags, 4);
    return r;
}

std::vector<BlockRun> runsOf(const Buffer& record, const Buffer& volume, std::uint32_t blockSize,
                             bool* damaged = nullptr) {
    MemoryReader source(volume);
    VolumeWindow window(source, 0, 0);
    VolumeBlocks blocks(window, blockSize, volume.size() / blockSize);
    const Inode inode = decodeInode(record, false);
    const BlockList list = buildBlockList(inode, blocks, blocksFor(inode.size, blockSize));
    if (damaged) *damaged = list.damaged;
    return list.runs;
}

bool sameRuns(const std::vector<BlockRun>& a, const std::vector<BlockRun>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].fileBlock != b[i].fileBlock || a[i].diskBlock != b[i].diskBlock || a[i].count != b[i].count ||
            a[i].zeroed != b[i].zeroed) {
            return false;
        }
    }
    return true;
}

TEST(ExtBlockMap, HolesKeepTheirPlaceInEveryIndirectRange) {
    // 1 KiB blocks: 256 pointers a block. Single indirect covers file blocks
    // 12..267, double 268..65803, triple from 65804.
    constexpr std::uint32_t bs = 1024;
    Buffer volume(std::size_t{400} * bs, 0);
    Buffer record = inodeRecord(kTypeRegular | 0644, std::uint64_t{65804 + 3} * bs, 0);
    putLe(record, 0x28 + 0 * 4, 100, 4);  // file block 0
    putLe(record, 0x28 + 1 * 4, 101, 4);  // file block 1, contiguous with 0
    putLe(record, 0x28 + 5 * 4, 150, 4);  // file block 5 after a hole
    putLe(record, 0x28 + 12 * 4, 200, 4);  // single indirect
    putLe(volume, std::size_t{200} * bs + 4 * 3, 160, 4);  // file block 15
    putLe(record, 0x28 + 13 * 4, 0, 4);    // no double indirect at all...
    putLe(record, 0x28 + 14 * 4, 210, 4);  // ...yet a triple indirect one
    putLe(volume, std::size_t{210} * bs + 0, 211, 4);
    putLe(volume, std::size_t{211} * bs + 0, 212, 4);
    putLe(volume, std::size_t{212} * bs + 2 * 4, 170, 4);  // file block 65806
    const std::vector<BlockRun> expected = {
        {0, 100, 2, false}, {5, 150, 1, false}, {15, 160, 1, false}, {65806, 170, 1, false}};
    EXPECT_TRUE(sameRuns(runsOf(record, volume, bs), expected));
}

TEST(ExtBlockMap, ZeroEntryInTheTripleBlockDoesNotEndTheWalk) {
    constexpr std::uint32_t bs = 1024;
    Buffer volume(std::size_t{400} * bs, 0);
    const std::uint64_t tripleStart = 12 + 256 + 65536;
    Buffer record = inodeRecord(kTypeRegular | 0644, (tripleStart + 4 * 65536) * bs, 0);
    putLe(record, 0x28 + 14 * 4, 300, 4);
    putLe(volume, std::size_t{300} * bs + 0 * 4, 301, 4);  // first double block
    // entry 1 and 2 are zero (holes), entry 3 is not
    putLe(volume, std::size_t{300} * bs + 3 * 4, 302, 4);
    putLe(volume, std::size_t{301} * bs, 303, 4);
    putLe(volume, std::size_t{302} * bs, 304, 4);
    putLe(volume, std::size_t{303} * bs, 120, 4);
    putLe(volume, std::size_t{304} * bs, 130, 4);
    const std::vector<BlockRun> expected = {{tripleStart, 120, 1, false}, {tripleStart + 3 * 65536, 130, 1, false}};
    EXPECT_TRUE(sameRuns(runsOf(record, volume, bs), expected));
}

void putExtentHeader(Buffer& b, std::size_t at, std::uint16_t entries, std::uint16_t depth,
                     std::uint16_t magic = kExtentMagic) {
    putLe(b, at, magic, 2);
    putLe(b, at + 2, entries, 2);
    putLe(b, at + 4, 4, 2);
    putLe(b, at + 6, depth, 2);
}
void putLeaf(Buffer& b, std::size_t at, std::uint32_t fileBlock, std::uint16_t length, std::uint64_t start) {
    putLe(b, at, fileBlock, 4);
    putLe(b, at + 4, length, 2);
    putLe(b, at + 6, static_cast<std::uint16_t>(start >> 32), 2);
    putLe(b, at + 8, static_cast<std::uint32_t>(start), 4);
}

TEST(ExtExtents, LeavesIndexNodesAndUnwrittenExtents) {
    constexpr std::uint32_t bs = 1024;
    struct Case {
        const char* what;
        std::function<void(Buffer& record, Buffer& volume)> build;
        std::vector<BlockRun> expected;
        bool damaged;
    };
    const Case cases[] = {
        {"two leaves in the inode",
         [](Buffer& r, Buffer&) {
             putExtentHeader(r, 0x28, 2, 0);
             putLeaf(r, 0x28 + 12, 0, 3, 100);
             putLeaf(r, 0x28 + 24, 3, 1, 50);
         },
         {{0, 100, 3, false}, {3, 50, 1, false}},
         false},
        {"a hole between leaves stays at its place",
         [](Buffer& r, Buffer&) {
             putExtentHeader(r, 0x28, 2, 0);
             putLeaf(r, 0x28 + 12, 0, 1, 100);
             putLeaf(r, 0x28 + 24, 7, 2, 200);
         },
         {{0, 100, 1, false}, {7, 200, 2, false}},
         false},
        {"a length above 32768 is allocated but unwritten",
         [](Buffer& r, Buffer&) {
             putExtentHeader(r, 0x28, 1, 0);
             putLeaf(r, 0x28 + 12, 0, 32768 + 5, 100);
         },
         {{0, 100, 5, true}},
         false},
        {"an index node read from the volume",
         [](Buffer& r, Buffer& v) {
             putExtentHeader(r, 0x28, 1, 1);
             putLe(r, 0x28 + 12, 0, 4);
             putLe(r, 0x28 + 16, 300, 4);  // child block
             putExtentHeader(v, std::size_t{300} * bs, 2, 0);
             putLeaf(v, std::size_t{300} * bs + 12, 0, 2, 110);
             putLeaf(v, std::size_t{300} * bs + 24, 2, 1, 120);
         },
         {{0, 110, 2, false}, {2, 120, 1, false}},
         false},
        {"an index that points at itself ends as damage",
         [](Buffer& r, Buffer& v) {
             putExtentHeader(r, 0x28, 1, 2);
             putLe(r, 0x28 + 16, 300, 4);
             putExtentHeader(v, std::size_t{300} * bs, 1, 2);  // wrong depth: should be 1
             putLe(v, std::size_t{300} * bs + 16, 300, 4);
         },
         {},
         true},
        {"no extent magic lists nothing",
         [](Buffer& r, Buffer&) {
             putExtentHeader(r, 0x28, 1, 0, 0x1234);
             putLeaf(r, 0x28 + 12, 0, 3, 100);
         },
         {},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Buffer volume(std::size_t{400} * bs, 0);
        Buffer record = inodeRecord(kTypeRegular | 0644, 10 * bs, kInodeExtents);
        c.build(record, volume);
        bool damaged = false;
        EXPECT_TRUE(sameRuns(runsOf(record, volume, bs, &damaged), c.expected));
        EXPECT_EQ(damaged, c.damaged);
    }
}

TEST(ExtExtents, FortyEightBitStartsAreKept) {
    Buffer record = inodeRecord(kTypeRegular | 0644, 4096, kInodeExtents);
    putExtentHeader(record, 0x28, 1, 0);
    putLeaf(record, 0x28 + 12, 0, 1, (std::uint64_t{3} << 32) | 7);
    MemoryReader source(Buffer(4096, 0));
    VolumeWindow window(source, 0, 0);
    VolumeBlocks blocks(window, 4096, std::uint64_t{1} << 36);
    const BlockList list = buildBlockList(decodeInode(record, false), blocks, 1);
    ASSERT_EQ(list.runs.size(), 1u);
    EXPECT_EQ(list.runs[0].diskBlock, (std::uint64_t{3} << 32) | 7);
}

// A directory entry as the typed or untyped form stores it.
void putEntry(Buffer& b, std::size_t at, std::uint32_t inode, std::uint16_t recLen, const std::string& name,
              std::uint8_t type, bool typed) {
    putLe(b, at, inode, 4);
    putLe(b, at + 4, recLen, 2);
    if (typed) {
        b[at + 6] = static_cast<std::uint8_t>(name.size());
        b[at + 7] = type;
    } else {
        putLe(b, at + 6, static_cast<std::uint16_t>(name.size()), 2);
    }
    putText(b, at + 8, name);
}

std::vector<std::string> entriesOf(const Buffer& block, bool typed, std::uint32_t inodeCount) {
    std::vector<std::string> seen;
    parseDirectoryBlock(block, typed, inodeCount, [&](const DirEntry& e) {
        seen.push_back(std::to_string(e.inode) + ":" + std::string(e.name) + ":" + std::to_string(e.fileType));
    });
    return seen;
}

TEST(ExtDirectory, TypedAndUntypedBlocks) {
    struct Case {
        const char* what;
        bool typed;
        std::function<void(Buffer&)> build;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"a root directory", true,
         [](Buffer& b) {
             putEntry(b, 0, 2, 12, ".", 2, true);
             putEntry(b, 12, 2, 12, "..", 2, true);
             putEntry(b, 24, 11, 20, "lost+found", 2, true);
             putEntry(b, 44, 12, 1024 - 44, "a.txt", 1, true);
         },
         {"2:.:2", "2:..:2", "11:lost+found:2", "12:a.txt:1"}},
        {"the last inode is read, one past it ends the block", true,
         [](Buffer& b) {
             putEntry(b, 0, 2048, 16, "last", 1, true);
             putEntry(b, 16, 2049, 16, "past", 1, true);
             putEntry(b, 32, 20, 1024 - 32, "after", 1, true);
         },
         {"2048:last:1"}},
        {"a record length short of the name steps over the name", true,
         [](Buffer& b) {
             putEntry(b, 0, 12, 12, "a.txt", 1, true);  // needs 16
             putEntry(b, 16, 13, 1024 - 16, "b.txt", 1, true);
         },
         {"12:a.txt:1", "13:b.txt:1"}},
        {"removed entries and the checksum tail are passed over", true,
         [](Buffer& b) {
             putEntry(b, 0, 0, 16, "gone", 1, true);
             putEntry(b, 16, 14, 1024 - 16 - 12, "kept", 1, true);
             putEntry(b, 1024 - 12, 0, 12, "", 0xDE, true);
         },
         {"14:kept:1"}},
        {"a zero record length ends the block", true,
         [](Buffer& b) {
             putEntry(b, 0, 12, 0, "loop", 1, true);
         },
         {}},
        {"untyped names carry a 16-bit length", false,
         [](Buffer& b) {
             putEntry(b, 0, 2, 12, ".", 0, false);
             putEntry(b, 12, 2, 12, "..", 0, false);
             putEntry(b, 24, 300, 1024 - 24, std::string(300, 'n'), 0, false);
         },
         {"2:.:0", "2:..:0", "300:" + std::string(300, 'n') + ":0"}},
        {"untyped: an inode past the count is skipped, not the block", false,
         [](Buffer& b) {
             putEntry(b, 0, 5000, 16, "past", 0, false);
             putEntry(b, 16, 20, 1024 - 16, "after", 0, false);
         },
         {"20:after:0"}},
        {"a name running off the block ends it", true,
         [](Buffer& b) {
             putEntry(b, 0, 12, 1012, "a", 1, true);
             putLe(b, 1012, 13, 4);
             putLe(b, 1016, 12, 2);
             b[1018] = 200;  // 200-byte name in the last 12 bytes
         },
         {"12:a:1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Buffer block(1024, 0);
        c.build(block);
        EXPECT_EQ(entriesOf(block, c.typed, 2048), c.expected);
    }
}

TEST(ExtTexts, AttributesAndTimes) {
    EXPECT_EQ(attributeText(AttributeKind::unixMode, 0644), "-OR-GR-UW-UR");
    EXPECT_EQ(attributeText(AttributeKind::unixMode, 0755), "-OE-OR-GE-GR-UE-UW-UR");
    EXPECT_EQ(attributeText(AttributeKind::unixMode, 0), "");

    // Without an extra word the seconds are unsigned; with it, two epoch
    // bits carry them past 2038 and the rest holds nanoseconds.
    EXPECT_EQ(inodeTime(0x80000000u, std::nullopt).seconds, 2147483648);
    EXPECT_EQ(inodeTime(0x80000000u, 1u).seconds, 2147483648);
    EXPECT_EQ(inodeTime(100, (5u << 2)).nanoseconds, 5u);
    EXPECT_EQ(inodeTime(0, std::nullopt), fromUnix(0));
    EXPECT_EQ(formatTimeText(fromUnix(0)), "01/01/1970  00:00 AM");
}

TEST(ExtInode, LargeDirectorySizeWordOnlyWithTheFeature) {
    Buffer dir = inodeRecord(kTypeDirectory | 0755, (std::uint64_t{1} << 32) + 4096, 0);
    EXPECT_EQ(decodeInode(dir, false).size, 4096u);
    EXPECT_EQ(decodeInode(dir, true).size, (std::uint64_t{1} << 32) + 4096);
    Buffer file = inodeRecord(kTypeRegular | 0644, (std::uint64_t{5} << 32) + 1, 0);
    EXPECT_EQ(decodeInode(file, false).size, (std::uint64_t{5} << 32) + 1);
}

}  // namespace
}  // namespace vantor
