// Identification (the partition scans, the sweep) and the readers decode
// each header with one decoder: a volume the lists name is one its reader
// accepts, and a volume the lists pass over is one every reader refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "device/Partition.h"
#include "device/boot_sector.h"
#include "device/disk_builder.h"
#include "results/format_table.h"
#include "support/support.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::putLe;
using test::Sector;
using test::SparseDisk;

ScanOutcome scanWith(const FormatRow& row, readWriteInterface& source, const VolumeRecord& volume) {
    AppState state;
    const ReaderContext context{source, volume, state};
    return row.makeReader(context)->scan(ScanMode::standard);
}

TEST(IdentificationAgreement, EveryVolumeOfEveryFixtureIsReadByItsReader) {
    int volumes = 0;
    for (const auto& entry : fs::directory_iterator(test::fixtureImage(""))) {
        if (entry.path().extension() != ".img") continue;
        SCOPED_TRACE(entry.path().filename().string());
        FileReadSeek source;
        ASSERT_TRUE(source.open(entry.path().string()));
        for (const bool gpt : {false, true}) {
            Partition tables(source);
            tables.gptFormat = gpt;
            tables.scanPartitionTables();
            Partition sweep(source);
            sweep.sweepForVolumes();
            std::vector<VolumeRecord> found = tables.volumes;
            found.insert(found.end(), sweep.volumes.begin(), sweep.volumes.end());
            for (const VolumeRecord& v : found) {
                const FormatRow* row = formatFor(v.fileSystem);
                if (!row || !row->makeReader) continue;
                SCOPED_TRACE(v.fileSystem + " at sector " + std::to_string(v.startSector));
                ++volumes;
                EXPECT_EQ(scanWith(*row, source, v), ScanOutcome::done);
            }
        }
    }
    EXPECT_GT(volumes, 20);  // the fixtures hold that many volumes with readers
}

// ---- boundary sectors ------------------------------------------------------

Sector extSuperblock(std::uint32_t logBlockSize) {
    Sector s(1024, 0);
    const std::uint32_t blockSize = 1024u << logBlockSize;
    const std::uint32_t blocks = (64u << 20) / blockSize;
    const std::uint32_t perGroup = std::min<std::uint32_t>(blockSize * 8, blocks);
    const std::uint32_t first = logBlockSize == 0 ? 1 : 0;
    const std::uint32_t groups = (blocks - first + perGroup - 1) / perGroup;
    putLe(s, 0x00, groups * 256, 4);  // inodes
    putLe(s, 0x04, blocks, 4);
    putLe(s, 0x14, first, 4);
    putLe(s, 0x18, logBlockSize, 4);
    putLe(s, 0x20, perGroup, 4);
    putLe(s, 0x24, perGroup, 4);
    putLe(s, 0x28, 256, 4);         // inodes per group
    putLe(s, 0x38, 0xEF53, 2);
    putLe(s, 0x4C, 1, 4);
    putLe(s, 0x58, 256, 2);         // inode size
    return s;
}

Sector ntfsBoot(std::uint16_t bytesPerSector) {
    Sector s(512, 0);
    s[0] = 0xEB, s[1] = 0x52, s[2] = 0x90;
    test::putText(s, 3, "NTFS    ");
    putLe(s, 0x0B, bytesPerSector, 2);
    s[0x0D] = 1;
    putLe(s, 0x28, (64u << 20) / bytesPerSector - 1, 8);
    putLe(s, 0x30, 4, 8);
    s[0x40] = 0xF6;  // 1 KiB records
    putLe(s, 0x1FE, 0xAA55, 2);
    return s;
}

// A FAT12/16 boot sector of 512-byte clusters with `clusters` data clusters.
Sector fatBoot(std::uint32_t clusters, std::uint8_t fats) {
    Sector s(512, 0);
    s[0] = 0xEB, s[1] = 0x3C, s[2] = 0x90;
    test::putText(s, 3, "mkfs.fat");
    putLe(s, 0x0B, 512, 2);
    s[0x0D] = 1;
    putLe(s, 0x0E, 1, 2);
    s[0x10] = fats;
    putLe(s, 0x11, 512, 2);  // 32 sectors of root
    s[0x15] = 0xF8;
    const std::uint32_t fatSectors = ((clusters + 2) * 2 + 511) / 512;
    const std::uint32_t total = 1 + fats * fatSectors + 32 + clusters;
    if (total < 65536) putLe(s, 0x13, total, 2);
    else putLe(s, 0x20, total, 4);
    putLe(s, 0x16, fatSectors, 2);
    putLe(s, 0x1FE, 0xAA55, 2);
    return s;
}

TEST(IdentificationAgreement, BoundaryHeadersAreNamedAndReadAlike) {
    struct Case {
        const char* what;
        Sector header;
        std::int64_t at;       // sector the header is written to
        const char* named;     // what identification calls it; "" for nothing
    };
    const Case cases[] = {
        {"ext, 1 KiB blocks", extSuperblock(0), 2, "extX"},
        {"ext, 4 KiB blocks", extSuperblock(2), 2, "extX"},
        {"ext, 16 KiB blocks", extSuperblock(4), 2, "extX"},
        {"ext, 64 KiB blocks", extSuperblock(6), 2, "extX"},
        {"ext, 128 KiB blocks", extSuperblock(7), 2, ""},
        {"NTFS, 512-byte sectors", ntfsBoot(512), 0, "NTFS"},
        {"NTFS, 4096-byte sectors", ntfsBoot(4096), 0, "NTFS"},
        {"FAT12 just below FAT16", fatBoot(4084, 2), 0, "FAT12"},
        {"FAT16 at its first cluster count", fatBoot(4085, 2), 0, "FAT16"},
        {"FAT16 at its last cluster count", fatBoot(65524, 2), 0, "FAT16"},
        {"FAT16 layout past its cluster limit", fatBoot(65525, 2), 0, "FAT16"},
        {"one FAT", fatBoot(20000, 1), 0, "FAT16"},
        {"three FATs", fatBoot(20000, 3), 0, "FAT16"},
        {"four FATs", fatBoot(20000, 4), 0, "FAT16"},
        {"five FATs", fatBoot(20000, 5), 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SparseDisk disk(2 * 65536 + 4096);  // 64 MiB and a little
        disk.set(c.at, c.header);
        std::vector<std::uint8_t> first(1536, 0);
        disk.readAt(0, first);
        const auto id = identifyVolumeStart(first);
        EXPECT_EQ(id ? id->name : std::string(), c.named);
        // Every reader agrees: the one named accepts the volume, the others refuse it.
        for (const FormatRow& row : formatTable()) {
            if (!row.makeReader) continue;
            SCOPED_TRACE(std::string(row.name));
            VolumeRecord volume;
            volume.fileSystem = std::string(row.name);
            const ScanOutcome outcome = scanWith(row, disk, volume);
            const bool named = id && id->kind == row.kind;
            if (named) {
                EXPECT_NE(outcome, ScanOutcome::wrongKind);
            } else {
                EXPECT_EQ(outcome, ScanOutcome::wrongKind);
            }
        }
    }
}

}  // namespace
}  // namespace vantor
