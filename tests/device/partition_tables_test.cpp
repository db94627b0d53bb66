// The standard scan over small hand-built disks: which MBR, extended boot
// record and GPT entries become volumes, with which kinds and size texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/Partition.h"
#include "disk_builder.h"

using namespace vantor;
using namespace vantor::test;

namespace {

std::vector<Row> rowsOf(const Partition& scan) {
    std::vector<Row> rows;
    for (const VolumeRecord& v : scan.volumes) rows.push_back({v.fileSystem, v.startSector, v.sizeText});
    return rows;
}

std::vector<Row> scanTables(readWriteInterface& disk, bool gpt = false, int* result = nullptr) {
    Partition scan(disk);
    scan.gptFormat = gpt;
    const int r = scan.scanPartitionTables();
    if (result) *result = r;
    return rowsOf(scan);
}

}  // namespace

// The type byte names the kind when the partition's first sectors are not
// recognisable (here: all zero).
TEST(MbrScan, TypeByteNamesTheKindOfAnUnrecognisedPartition) {
    struct Case { std::uint8_t type; const char* primary; const char* logical; };
    const Case cases[] = {
        {0x01, "FAT12", "FAT12"},   {0x04, "FAT16", "FAT16"}, {0x06, "FAT16", "FAT16"},
        {0x0E, "FAT16", "FAT16"},   {0x07, "NTFS", "NTFS"},   {0x0B, "FAT32", "FAT32"},
        {0x0C, "FAT32", "FAT32"},   {0x42, "NTFS", "Unknown"}, {0x83, "extX", "extX"},
        {0xAB, "Unknown", "Unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type 0x" << std::hex << int{c.type});
        SparseDisk disk(200000);
        disk.set(0, partitionTable({{c.type, 2048, 4096}, {0x05, 10000, 20000}}));
        disk.set(10000, partitionTable({{c.type, 2048, 4096}}));
        EXPECT_EQ(scanTables(disk), (std::vector<Row>{{c.primary, 2048, "2   MB"}, {c.logical, 12048, "2   MB"}}));
    }
}

// What the partition holds decides over its type byte: an NTFS-typed
// partition holding exFAT is exFAT, a FAT32-typed one reformatted as exFAT too.
TEST(MbrScan, FirstSectorsDecideTheKindWhenRecognisable) {
    struct Case { const char* what; std::uint8_t type; Sector first; std::int64_t at; const char* kind; };
    const Case cases[] = {
        {"exFAT in a 0x07 partition", 0x07, exfatBootSector(8192), 0, "FAT64"},
        {"exFAT in a 0x0C partition", 0x0C, exfatBootSector(8192), 0, "FAT64"},
        {"NTFS in a 0x07 partition", 0x07, ntfsBootSector(8191), 0, "NTFS"},
        {"FAT32 in a 0x83 partition", 0x83, fat32BootSector(70000), 0, "FAT32"},
        {"ext in a 0x07 partition", 0x07, extSuperblock(4096), 2, "extX"},
        {"HFS+ in a 0xAF partition", 0xAF, hfsPlusHeader(4096, 1024), 2, "HFS+"},
        {"NTFS of 4096-byte sectors in 0x07", 0x07, ntfsBootSector(1024, 4096), 0, "NTFS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(100000);
        disk.set(0, partitionTable({{c.type, 4096, 8192}}));
        disk.set(4096 + c.at, c.first);
        EXPECT_EQ(scanTables(disk), (std::vector<Row>{{c.kind, 4096, "4   MB"}}));
    }
}

TEST(MbrScan, StatusTellsWhatWasFound) {
    SparseDisk disk(100000);
    disk.set(0, partitionTable({{0x07, 4096, 8192}, {0x07, 20480, 8192}}));
    disk.set(4096, exfatBootSector(8192));
    disk.set(20480, ntfsBootSector(8191));
    RecordingProgress progress;
    Partition scan(disk, progress);
    EXPECT_EQ(scan.scanPartitionTables(), 0);
    EXPECT_EQ(progress.statuses, (std::vector<std::string>{"found FAT64...", "found NTFS 1..."}));
}

TEST(MbrScan, EntryOfTwoGibibytesShowsItsMegabytes) {
    SparseDisk disk(3000000);
    disk.set(0, partitionTable({{0x83, 2048, 2097152}}));
    EXPECT_EQ(scanTables(disk), (std::vector<Row>{{"extX", 2048, "1024   MB"}}));
}

// Every primary entry is listed: one after an empty slot and one after the
// extended entry would otherwise be lost to the user.
TEST(MbrScan, ListsPrimariesAfterAnEmptySlotAndAfterTheExtendedEntry) {
    SparseDisk disk(200000);
    disk.set(0, partitionTable({{0x06, 2048, 8192}, {0, 0, 0}, {0x05, 20480, 40960}, {0x83, 100000, 4096}}));
    disk.set(20480, partitionTable({{0x0C, 2048, 6144}, {0x05, 12288, 20480}}));
    disk.set(32768, partitionTable({{0x07, 2048, 4096}}));
    EXPECT_EQ(scanTables(disk), (std::vector<Row>{{"FAT16", 2048, "4   MB"},
                                                  {"extX", 100000, "2   MB"},
                                                  {"FAT32", 22528, "3   MB"},
                                                  {"NTFS", 34816, "2   MB"}}));
}

TEST(MbrScan, FirstEmptySlotHidesNothing) {
    SparseDisk disk(200000);
    disk.set(0, partitionTable({{0, 0, 0}, {0x83, 4096, 4096}, {0, 0, 0}, {0x0C, 10000, 4096}}));
    EXPECT_EQ(scanTables(disk), (std::vector<Row>{{"extX", 4096, "2   MB"}, {"FAT32", 10000, "2   MB"}}));
}

// Logical partitions lie relative to their own boot record; the links
// relative to the start of the extended partition.
TEST(MbrScan, FollowsTheExtendedChainWithItsRelativeOffsets) {
    SparseDisk disk(400000);
    disk.set(0, partitionTable({{0x0F, 100000, 200000}}));
    disk.set(100000, partitionTable({{0x83, 63, 10000}, {0x05, 20000, 20000}}));
    disk.set(120000, partitionTable({{0x07, 2048, 10000}, {0x05, 50000, 20000}}));
    disk.set(150000, partitionTable({{0x0B, 100, 10000}}));
    EXPECT_EQ(scanTables(disk), (std::vector<Row>{{"extX", 100063, "4   MB"},
                                                  {"NTFS", 122048, "4   MB"},
                                                  {"FAT32", 150100, "4   MB"}}));
}

TEST(MbrScan, ChainsThatLoopOrRunLongEndAfterFiftyTables) {
    struct Case { const char* what; int tables; std::int64_t linkBackTo; std::size_t rows; };
    const Case cases[] = {
        {"a table linking to itself", 1, 0, 1},
        {"three tables, the last linking to the first", 3, 0, 3},
        {"three tables, the last linking to the second", 3, 1, 3},
        {"a chain of 60 tables", 60, -1, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(2000000);
        const std::uint32_t base = 10000, step = 10000;
        disk.set(0, partitionTable({{0x05, base, 1900000}}));
        for (int i = 0; i < c.tables; ++i) {
            const bool last = i == c.tables - 1;
            std::uint32_t next = step * static_cast<std::uint32_t>(i + 1);
            if (last) next = c.linkBackTo >= 0 ? step * static_cast<std::uint32_t>(c.linkBackTo) : 0;
            std::vector<MbrSlot> slots{{0x83, 100, 2048}};
            if (!last || c.linkBackTo >= 0) slots.push_back({0x05, next, step});
            disk.set(base + step * static_cast<std::int64_t>(i), partitionTable(slots));
        }
        const auto rows = scanTables(disk);
        EXPECT_EQ(rows.size(), c.rows);
        for (std::size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(rows[i].startSector, base + step * static_cast<std::int64_t>(i) + 100);
    }
}

TEST(MbrScan, SourceStartingWithAFileSystemIsOneVolumeAtSectorZero) {
    struct Case { const char* what; Sector bytes; std::int64_t at; Row row; };
    const Case cases[] = {
        {"a FAT32 partition image", fat32BootSector(70000), 0, {"FAT32", 0, "34  MB"}},
        {"an NTFS partition image", ntfsBootSector(40959), 0, {"NTFS", 0, "19  MB"}},
        {"an ext partition image", extSuperblock(20480), 2, {"extX", 0, "20  MB"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(100000);
        disk.set(c.at, c.bytes);
        EXPECT_EQ(scanTables(disk), std::vector<Row>{c.row});
    }
}

TEST(MbrScan, UnreadableOrBlankSourcesListNothing) {
    {
        SCOPED_TRACE("shorter than one sector: the read error is returned");
        MemoryReader tiny(std::vector<std::uint8_t>(100, 0));
        int result = 0;
        EXPECT_TRUE(scanTables(tiny, false, &result).empty());
        EXPECT_NE(result, 0);
    }
    {
        SCOPED_TRACE("entries without the 0xAA55 signature are not a table");
        SparseDisk disk(100000);
        Sector mbr = partitionTable({{0x83, 2048, 4096}});
        mbr[0x1FE] = 0;
        disk.set(0, mbr);
        int result = 1;
        EXPECT_TRUE(scanTables(disk, false, &result).empty());
        EXPECT_EQ(result, 0);
    }
}

// A GPT disk is read through its protective MBR entry, with or without --gpt.
TEST(GptScan, ProtectiveEntryLeadsToTheGpt) {
    SparseDisk disk(200000);
    disk.set(0, partitionTable({{0xEE, 1, 199999}}));
    disk.setGpt({{0xA2, 2048, 18431, "Basic data partition"}});
    disk.set(2048, fat32BootSector(70000));
    for (bool gpt : {false, true}) {
        SCOPED_TRACE(gpt ? "--gpt" : "standard");
        EXPECT_EQ(scanTables(disk, gpt), (std::vector<Row>{{"FAT32", 2048, "34  MB"}}));
    }
}

TEST(GptScan, ProtectiveEntryWithoutAGptHeaderIsListedAsUnknown) {
    SparseDisk disk(200000);
    disk.set(0, partitionTable({{0xEE, 1, 199999}}));
    EXPECT_EQ(scanTables(disk), (std::vector<Row>{{"Unknown", 1, "97   MB"}}));
}

TEST(GptScan, MbrDiskScannedAsGptListsNothing) {
    SparseDisk disk(200000);
    disk.set(0, partitionTable({{0x83, 2048, 4096}}));
    int result = -1;
    EXPECT_TRUE(scanTables(disk, true, &result).empty());
    EXPECT_EQ(result, 0);
}

// Unused entries are passed over, not taken as the end of the array; the
// reserved partition and impossible entries are never listed.
TEST(GptScan, EntriesAfterAGapAreListedAndReservedOnesLeftOut) {
    SparseDisk disk(400000);
    disk.setGpt({
        {0xA2, 2048, 6143, "Microsoft reserved partition"},
        {0xA2, 8192, 24575, "Basic data partition"},
        {0x00, 0, 0, ""},                             // unused: a gap
        {0xA2, 30000, 50479, "Basic data partition"},
        {0xA2, 2, 100, "starts inside the GPT"},
        {0xA2, 60000, 59000, "ends before it starts"},
        {0xA2, 100000, 120479, "Linux filesystem"},
        {0xA2, 130000, 150479, "Apple HFS"},
        {0xA2, 160000, 180479, "Basic data partition"},
    });
    disk.set(8192, ntfsBootSector(16383));
    disk.set(30000, exfatBootSector(20480));
    disk.set(100002, extSuperblock(10240));
    disk.set(130002, hfsPlusHeader(4096, 2560));
    EXPECT_EQ(scanTables(disk, true), (std::vector<Row>{{"NTFS", 8192, "7   MB"},
                                                        {"FAT64", 30000, "10  MB"},
                                                        {"extX", 100000, "9"},
                                                        {"HFS+", 130000, "9"},
                                                        {"Basic data partition", 160000, "9"}}));
}

// FAT16 is known by its parameter block and cluster count, whatever its FAT
// size and OEM name: 250 sectors per FAT is as good as 256.
TEST(GptScan, Fat16OfAnyFatSizeIsListed) {
    for (std::uint16_t fatSectors : {32, 128, 200, 250, 256}) {
        SCOPED_TRACE(fatSectors);
        SparseDisk disk(200000);
        Sector boot = fat16BootSector(40000);
        putLe(boot, 0x16, fatSectors, 2);
        disk.setGpt({{0xA2, 2048, 42047, "Basic data partition"}});
        disk.set(2048, boot);
        EXPECT_EQ(scanTables(disk, true), (std::vector<Row>{{"FAT16", 2048, "19  MB"}}));
    }
}

TEST(GptScan, BootSectorsOfSizeZeroAreNotListedAsThatKind) {
    SparseDisk disk(400000);
    disk.setGpt({{0xA2, 2048, 4095, "small ntfs"}, {0xA2, 8192, 10239, "small fat"}});
    disk.set(2048, ntfsBootSector(1000));
    disk.set(8192, fat32BootSector(1000));
    for (const Row& r : scanTables(disk, true)) {
        SCOPED_TRACE(r.fileSystem);
        EXPECT_NE(r.fileSystem, "NTFS");
        EXPECT_NE(r.fileSystem, "FAT32");
    }
}

// Header fields no partitioner writes: the scan lists what a sane reading of
// them allows and reads nothing it should not.
TEST(GptScan, HostileHeaderFieldsListOnlyWhatTheyCanDescribe) {
    struct Case {
        const char* what;
        std::uint32_t count;
        std::uint64_t arrayLba;
        std::uint32_t entrySize;
        std::vector<Row> rows;
        bool failed;  // the scan says the table could not be read
    };
    const Case cases[] = {
        // Capped to an array that is read in one go: the one entry set is found.
        {"four thousand million entries", 0xFFFFFFFFu, 2, 128, {{"Basic data partition", 2048, "9"}}, false},
        {"array far past the end of the disk", 128, 1ull << 40, 128, {}, true},
        {"array inside the header", 128, 1, 128, {}, false},
        {"entries of four gigabytes each", 128, 2, 0xFFFFFFFFu, {}, false},
        {"entries shorter than their fields", 128, 2, 64, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(40000);
        disk.setGpt({{0xA2, 2048, 22527, "Basic data partition"}});
        Sector header(512, 0);
        putText(header, 0, "EFI PART");
        putLe(header, 72, c.arrayLba, 8);
        putLe(header, 80, c.count, 4);
        putLe(header, 84, c.entrySize, 4);
        disk.set(1, header);
        int result = -1;
        EXPECT_EQ(scanTables(disk, true, &result), c.rows);
        EXPECT_EQ(result != 0, c.failed) << "result " << result;
        // A handful of reads (the first sectors, the header, the array, each
        // listed entry's start), not one for every entry the header claims.
        EXPECT_LE(disk.reads.size(), 8u);
    }
}

TEST(BootSectorTests, ExfatAndHfsPlusProbesReadWhereTheyShould) {
    SparseDisk disk(10000);
    disk.set(100, exfatBootSector(8192));
    disk.set(200, ntfsBootSector(8192));
    disk.set(302, hfsPlusHeader(4096, 256));
    struct Case { const char* what; std::int64_t sector; bool exfat; bool hfs; };
    const Case cases[] = {
        {"exFAT boot sector", 100, true, false},
        {"NTFS boot sector", 200, false, false},
        {"HFS+ volume: header two sectors in", 300, false, true},
        {"the header sector itself", 302, false, false},
        {"past the end", 20000, false, false},
        {"negative sector", -5, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(isExfatAt(disk, c.sector), c.exfat);
        EXPECT_EQ(isHfsPlusAt(disk, c.sector), c.hfs);
    }
}

// A GPT entry can claim a starting sector near INT64_MAX; forming the byte
// offset of it (or of the header two sectors on) must not overflow.
TEST(BootSectorTests, ProbesOfTheLargestSectorNumberAnswerFalse) {
    SparseDisk disk(10000);
    EXPECT_FALSE(isExfatAt(disk, INT64_MAX));
    EXPECT_FALSE(isHfsPlusAt(disk, INT64_MAX));
    EXPECT_FALSE(isHfsPlusAt(disk, INT64_MAX - 1));
}
