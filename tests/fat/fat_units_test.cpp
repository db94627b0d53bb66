// The FAT reader's decoders on small hand-set buffers: short names, long-name
// groups, the boot sector, the sweep's slot tests and the FAT start pattern.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "fs/fat/candidates.h"
#include "fs/fat/layout.h"
#include "fs/fat/names.h"
#include "fs/fat/sweep.h"
#include "support/bytes_builder.h"

namespace vantor::fat {
namespace {

using Slot = std::array<std::uint8_t, 32>;

using test::putLe;
using test::putText;

std::array<std::uint8_t, 11> raw(const char* elevenBytes) {
    std::array<std::uint8_t, 11> r{};
    std::memcpy(r.data(), elevenBytes, 11);
    return r;
}

TEST(FatShortName, TrimsPaddingAndJoinsTheExtension) {
    struct Case { const char* bytes; std::uint8_t caseFlags; const char* shown; };
    const Case cases[] = {
        {"README  TXT", 0, "README.TXT"},
        {"MAKEFILE   ", 0, "MAKEFILE"},
        {"DOCS       ", 0, "DOCS"},
        {"A       B  ", 0, "A.B"},
        {"README  TXT", 0x08, "readme.TXT"},   // lower-case base
        {"README  TXT", 0x18, "readme.txt"},   // both lower case
        {"\xE5" "EADME  TXT", 0, "\xC3\xA5" "EADME.TXT"},  // deleted: 0xE5 read as Windows-1252
        {"\x05" "EADME  TXT", 0, "\xC3\xA5" "EADME.TXT"},  // 0x05 stands for a real 0xE5
        {"CAF\xC9    TXT", 0, "CAF\xC3\x89.TXT"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        std::uint8_t name[11];
        std::memcpy(name, c.bytes, 11);
        EXPECT_EQ(formatShortName(name, c.caseFlags), c.shown);
    }
}

// One long-name piece: sequence byte, 13 characters, checksum.
Slot longNamePiece(std::uint8_t sequence, const std::u16string& chars13, std::uint8_t checksum) {
    Slot s{};
    s[0] = sequence;
    s[0x0B] = attr::longName;
    s[0x0D] = checksum;
    static constexpr std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (std::size_t i = 0; i < 13; ++i) {
        const char16_t c = i < chars13.size() ? chars13[i] : (i == chars13.size() ? 0 : 0xFFFF);
        putLe(s, offsets[i], c, 2);
    }
    return s;
}

// The pieces of a name as they lie on disk: last piece first.
std::vector<Slot> longNameSlots(const std::u16string& name, std::uint8_t checksum, bool deleted = false) {
    const std::size_t count = (name.size() + 12) / 13;
    std::vector<Slot> slots;
    for (std::size_t k = count; k >= 1; --k) {
        const std::uint8_t seq = static_cast<std::uint8_t>(k | (k == count ? 0x40 : 0));
        slots.push_back(longNamePiece(deleted ? 0xE5 : seq, name.substr((k - 1) * 13, 13), checksum));
    }
    return slots;
}

TEST(FatLongNames, GroupsJoinTheirPiecesLastFirst) {
    struct Case { const char* what; std::size_t length; bool deleted; };
    const Case cases[] = {
        {"one piece", 7, false},
        {"exactly two pieces", 26, false},
        {"eleven pieces (more than 130 characters)", 135, false},
        {"the longest name: 255 characters, 20 pieces", 255, false},
        {"a deleted group", 40, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::u16string name;
        for (std::size_t i = 0; i < c.length; ++i) name.push_back(static_cast<char16_t>('a' + i % 26));
        LongNameGroup group;
        for (const Slot& s : longNameSlots(name, 0x5A, c.deleted)) group.add(Bytes(s));
        EXPECT_EQ(group.deleted(), c.deleted);
        EXPECT_EQ(group.checksum(), 0x5A);
        EXPECT_EQ(group.name(), std::string(name.begin(), name.end()));
    }
}

TEST(FatLongNames, NonAsciiCharactersAndPiecesPastTheLimit) {
    LongNameGroup group;
    for (const Slot& s : longNameSlots(u"Grüße €.txt", 1)) group.add(Bytes(s));
    EXPECT_EQ(group.name(), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC.txt");

    // A run of more than 20 pieces is damage: the extra pieces are dropped,
    // the name stays bounded.
    LongNameGroup runaway;
    const Slot piece = longNamePiece(0x01, u"abcdefghijklm", 1);
    for (int i = 0; i < 40; ++i) runaway.add(Bytes(piece));
    EXPECT_EQ(runaway.size(), kMaxLongNamePieces);
    EXPECT_EQ(runaway.name().size(), 13u * kMaxLongNamePieces);
}

TEST(FatLongNames, ChecksumOfTheShortName) {
    // The rotate-and-add sum every FAT implementation keeps in each piece.
    const auto name = raw("README  TXT");
    std::uint8_t n[11];
    std::memcpy(n, name.data(), 11);
    std::uint8_t sum = 0;
    for (std::uint8_t c : name) sum = static_cast<std::uint8_t>(((sum & 1) ? 0x80 : 0) + (sum >> 1) + c);
    EXPECT_EQ(shortNameChecksum(n), sum);
}

// A FAT32 boot sector of a 64 MiB volume as mkfs.fat writes it.
std::vector<std::uint8_t> fat32Boot() {
    std::vector<std::uint8_t> b(512, 0);
    b[0] = 0xEB, b[1] = 0x58, b[2] = 0x90;
    putText(b, 3, "mkfs.fat");
    putLe(b, 0x0B, 512, 2);
    b[0x0D] = 1;
    putLe(b, 0x0E, 32, 2);
    b[0x10] = 2;
    b[0x15] = 0xF8;
    putLe(b, 0x20, 131072, 4);
    putLe(b, 0x24, 1009, 4);
    putLe(b, 0x2C, 2, 4);
    b[0x1FE] = 0x55, b[0x1FF] = 0xAA;
    return b;
}

std::vector<std::uint8_t> fat16Boot() {
    std::vector<std::uint8_t> b(512, 0);
    b[0] = 0xEB, b[1] = 0x3C, b[2] = 0x90;
    putText(b, 3, "MSDOS5.0");
    putLe(b, 0x0B, 512, 2);
    b[0x0D] = 4;
    putLe(b, 0x0E, 4, 2);
    b[0x10] = 2;
    putLe(b, 0x11, 512, 2);
    b[0x15] = 0xF8;
    putLe(b, 0x16, 32, 2);
    putLe(b, 0x20, 32768, 4);
    b[0x1FE] = 0x55, b[0x1FF] = 0xAA;
    return b;
}

TEST(FatBootSector, GeometryOfBothVersions) {
    const auto g32 = decodeBootSector(fat32Boot(), FatVersion::fat32);
    ASSERT_TRUE(g32);
    EXPECT_EQ(g32->clusterBytes, 512u);
    EXPECT_EQ(g32->fatStart, 32u * 512);
    EXPECT_EQ(g32->dataStart, (32u + 2 * 1009) * 512);
    EXPECT_EQ(g32->rootCluster, 2u);
    EXPECT_EQ(g32->clusterCount, 131072u - 32 - 2 * 1009);

    const auto g16 = decodeBootSector(fat16Boot(), FatVersion::fat16);
    ASSERT_TRUE(g16);
    EXPECT_EQ(g16->clusterBytes, 2048u);
    EXPECT_EQ(g16->rootStart, (4u + 64) * 512);
    EXPECT_EQ(g16->dataStart, (4u + 64 + 32) * 512);
    // Each version refuses the other's boot sector.
    EXPECT_FALSE(decodeBootSector(fat32Boot(), FatVersion::fat16));
    EXPECT_FALSE(decodeBootSector(fat16Boot(), FatVersion::fat32));
}

TEST(FatBootSector, RejectsGeometryNoFormatterWrites) {
    struct Case { const char* what; bool fat32; std::size_t at; std::uint8_t value; bool accepted; };
    const Case cases[] = {
        {"FAT32 as built (OEM name mkfs.fat)", true, 0x03, 'm', true},
        {"OEM name of a BSD formatter", true, 0x03, 'B', true},
        {"bytes per sector 256", true, 0x0C, 0x01, false},
        {"three sectors per cluster", true, 0x0D, 3, false},
        {"no reserved sectors", true, 0x0E, 0, false},
        {"no FAT", true, 0x10, 0, false},
        {"root cluster 1", true, 0x2C, 1, false},
        {"root cluster past the volume", true, 0x2F, 0x10, false},
        {"FAT16 with a zero FAT size", false, 0x16, 0, false},
        {"FAT16 without a root area", false, 0x12, 0, false},
        {"FAT16 too small (a FAT12 volume)", false, 0x21, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto b = c.fat32 ? fat32Boot() : fat16Boot();
        if (c.at == 0x21) {  // 2 MiB: under 4085 clusters
            putLe(b, 0x20, 4096, 4);
        } else {
            b[c.at] = c.value;
        }
        EXPECT_EQ(decodeBootSector(b, c.fat32 ? FatVersion::fat32 : FatVersion::fat16).has_value(), c.accepted);
    }
    EXPECT_FALSE(decodeBootSector(std::vector<std::uint8_t>(100, 0), FatVersion::fat32));
}

// A live entry as Windows writes it: 2024-05-17 14:30:20, cluster 100.
Slot sweptSlot(const char* name11, std::uint8_t attributes, std::uint32_t size) {
    Slot s{};
    std::memcpy(s.data(), name11, 11);
    s[0x0B] = attributes;
    s[0x0D] = 57;
    const std::uint16_t date = static_cast<std::uint16_t>((44 << 9) | (5 << 5) | 17);
    const std::uint16_t time = static_cast<std::uint16_t>((14 << 11) | (30 << 5) | 10);
    putLe(s, 0x0E, time, 2);
    putLe(s, 0x10, date, 2);
    putLe(s, 0x12, date, 2);
    putLe(s, 0x14, 0, 2);
    putLe(s, 0x16, time, 2);
    putLe(s, 0x18, date, 2);
    putLe(s, 0x1A, 100, 2);
    putLe(s, 0x1C, size, 4);
    return s;
}

TEST(FatSweep, SlotTestsOfFolders) {
    struct Case { const char* what; std::size_t at; std::uint16_t value; bool wide; bool accepted; };
    const Case cases[] = {
        {"folder as built", 0, 'D', false, true},
        {"deleted folder", 0, 0xE5, false, true},
        {"write date month 13", 0x18, static_cast<std::uint16_t>((44 << 9) | (13 << 5) | 17), true, false},
        {"write date day 0", 0x18, static_cast<std::uint16_t>((44 << 9) | (5 << 5)), true, false},
        {"creation date zero", 0x10, 0, true, false},
        {"access date month 0", 0x12, static_cast<std::uint16_t>((44 << 9) | 17), true, false},
        {"write time 24:00", 0x16, static_cast<std::uint16_t>(24 << 11), true, false},
        {"creation time minute 60", 0x0E, static_cast<std::uint16_t>((10 << 11) | (60 << 5)), true, false},
        {"write time second 60", 0x16, static_cast<std::uint16_t>((10 << 11) | 30), true, false},
        {"live folder with a size", 0x1C, 4096, true, false},
        {"cluster 0", 0x1A, 0, true, false},
        {"cluster past the volume", 0x1A, 5000, true, false},
        {"name starts with a blank", 0, ' ', false, false},
        {"name starts with a control byte", 0, 0x01, false, false},
        {"attribute 0x13 is not swept", 0x0B, 0x13, false, false},
        {"attribute 0x30 is", 0x0B, 0x30, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Slot s = sweptSlot("DOCS       ", 0x10, 0);
        if (c.wide) putLe(s, c.at, c.value, 2);
        else s[c.at] = static_cast<std::uint8_t>(c.value);
        const SweptSlot k = classifySweptSlot(Bytes(s), FatVersion::fat32, 4096, true);
        EXPECT_EQ(k.kind == SweptKind::folder, c.accepted);
    }
    // A deleted folder may keep its size; a live one may not.
    Slot deleted = sweptSlot("\xE5" "OCS       ", 0x10, 4096);
    EXPECT_EQ(classifySweptSlot(Bytes(deleted), FatVersion::fat32, 4096, true).kind, SweptKind::folder);
}

TEST(FatSweep, SlotTestsOfFilesLongNamesAndTheRootMarker) {
    struct Case { const char* what; const char* name; std::uint8_t attributes; std::uint32_t size;
                  std::size_t at; std::uint8_t value; SweptKind kind; };
    const Case cases[] = {
        {"file as built", "REPORT  TXT", 0x20, 10, 0, 'R', SweptKind::file},
        {"empty file", "REPORT  TXT", 0x20, 0, 0, 'R', SweptKind::none},
        {"read-only file (0x21) is not swept", "REPORT  TXT", 0x21, 10, 0, 'R', SweptKind::none},
        {"lower-case flags 0x18", "REPORT  TXT", 0x20, 10, 0x0C, 0x18, SweptKind::file},
        {"lower-case base only", "REPORT  TXT", 0x20, 10, 0x0C, 0x08, SweptKind::none},
        {"file name starting with '$'", "$EPORT  TXT", 0x20, 10, 0, '$', SweptKind::none},
        {"long-name piece", "Ar\0e\0a\0d\0\x0F", 0x0F, 0, 0x0C, 0, SweptKind::longName},
        {"long-name piece with a cluster", "Ar\0e\0a\0d\0\x0F", 0x0F, 0, 0x1A, 7, SweptKind::none},
        {"long-name piece, byte 12 set", "Ar\0e\0a\0d\0\x0F", 0x0F, 0, 0x0C, 1, SweptKind::none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Slot s = sweptSlot(c.name, c.attributes, c.size);
        if (c.attributes == 0x0F) {
            putLe(s, 0x1A, 0, 2);
            putLe(s, 0x1C, 0, 4);
            s[0x0C] = 0;
        }
        s[c.at] = c.value;
        EXPECT_EQ(classifySweptSlot(Bytes(s), FatVersion::fat32, 4096, true).kind, c.kind);
    }
    // A volume label marks the root until one is found.
    Slot label = sweptSlot("VANTOR32   ", 0x08, 0);
    EXPECT_TRUE(classifySweptSlot(Bytes(label), FatVersion::fat32, 4096, false).rootMarker);
    EXPECT_FALSE(classifySweptSlot(Bytes(label), FatVersion::fat32, 4096, true).rootMarker);
    Slot recycle = sweptSlot("$RECYCLEBIN", 0x16, 0);
    EXPECT_TRUE(classifySweptSlot(Bytes(recycle), FatVersion::fat32, 4096, false).rootMarker);
    // FAT16 also sweeps files of attribute 0x26 and reads clusters from the low word.
    Slot fat16File = sweptSlot("REPORT  TXT", 0x26, 10);
    EXPECT_EQ(classifySweptSlot(Bytes(fat16File), FatVersion::fat16, 4096, true).kind, SweptKind::file);
    EXPECT_EQ(classifySweptSlot(Bytes(fat16File), FatVersion::fat32, 4096, true).kind, SweptKind::none);
}

TEST(FatSweep, DotSlotsNameTheirOwnFolder) {
    Slot dot = sweptSlot(".          ", 0x10, 0);
    EXPECT_TRUE(isDotSlot(Bytes(dot)));
    Slot dotdot = sweptSlot("..         ", 0x10, 0);
    EXPECT_FALSE(isDotSlot(Bytes(dotdot)));
    Slot file = sweptSlot(".          ", 0x20, 0);
    EXPECT_FALSE(isDotSlot(Bytes(file)));
}

TEST(FatCandidates, FatStartPatterns) {
    struct Case { const char* what; std::vector<std::uint8_t> bytes; FatVersion version; bool match; };
    const Case cases[] = {
        {"FAT32 as mkfs.fat writes it", {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F}, FatVersion::fat32, true},
        {"FAT32, entry 1 all ones", {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF}, FatVersion::fat32, true},
        {"FAT32 not cleanly unmounted", {0xF8, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x07}, FatVersion::fat32, true},
        {"FAT32, removable media byte", {0xF0, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF, 0xFF, 0x0F}, FatVersion::fat32, false},
        {"FAT32, entry 1 free", {0xF8, 0xFF, 0xFF, 0x0F, 0x00, 0x00, 0x00, 0x00}, FatVersion::fat32, false},
        {"FAT16 read as FAT32", {0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, FatVersion::fat32, false},
        {"FAT16", {0xF8, 0xFF, 0xFF, 0xFF}, FatVersion::fat16, true},
        {"FAT16 not cleanly unmounted", {0xF8, 0xFF, 0xFF, 0x7F}, FatVersion::fat16, true},
        {"FAT32 read as FAT16", {0xF8, 0xFF, 0xFF, 0x0F}, FatVersion::fat16, false},
        {"zeros", {0, 0, 0, 0, 0, 0, 0, 0}, FatVersion::fat16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> sector(512, 0);
        std::copy(c.bytes.begin(), c.bytes.end(), sector.begin());
        EXPECT_EQ(matchesFatStart(sector, c.version), c.match);
    }
}

}  // namespace
}  // namespace vantor::fat
