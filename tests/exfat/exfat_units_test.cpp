// exFAT entry sets and times, from hand-built directory bytes: a set is taken
// only whole and never borrows from the set before it; folders are any
// entry with the directory bit; times take their UTC offset.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fs/exfat/layout.h"
#include "support/bytes_builder.h"

namespace vantor {
namespace {

using namespace exfat;

// A directory being written slot by slot.
class DirectoryBytes {
public:
    // A whole entry set: file, stream, name entries; returns its first slot.
    std::size_t addSet(const std::u16string& name, std::uint16_t attributes, std::uint32_t firstCluster,
                       std::uint64_t length, bool inUse = true) {
        const std::size_t first = slots();
        const std::size_t names = (name.size() + 14) / 15;
        const std::uint8_t live = inUse ? 0x80 : 0;
        std::vector<std::uint8_t>& b = bytes;
        b.resize(b.size() + (2 + names) * 32, 0);
        const auto file = std::span(b).subspan(first * 32, 32);
        test::putLe(file, 0, 0x05 | live, 1);
        test::putLe(file, 1, 1 + names, 1);
        test::putLe(file, 4, attributes, 2);
        const auto stream = std::span(b).subspan((first + 1) * 32, 32);
        test::putLe(stream, 0, 0x40 | live, 1);
        test::putLe(stream, 1, 0x01, 1);
        test::putLe(stream, 3, name.size(), 1);
        test::putLe(stream, 8, length, 8);
        test::putLe(stream, 20, firstCluster, 4);
        test::putLe(stream, 24, length, 8);
        for (std::size_t n = 0; n < names; ++n) {
            const auto entry = std::span(b).subspan((first + 2 + n) * 32, 32);
            test::putLe(entry, 0, 0x41 | live, 1);
            for (std::size_t c = 0; c < 15 && n * 15 + c < name.size(); ++c)
                test::putLe(entry, 2 + 2 * c, name[n * 15 + c], 2);
        }
        sealChecksum(first);
        return first;
    }
    // The documented set checksum, written into the set's file entry.
    void sealChecksum(std::size_t first) {
        const std::size_t count = 1 + bytes[first * 32 + 1];
        std::uint16_t sum = 0;
        for (std::size_t i = 0; i < count * 32; ++i) {
            if (i == 2 || i == 3) continue;
            sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + bytes[first * 32 + i]);
        }
        test::putLe(bytes, first * 32 + 2, sum, 2);
    }
    std::size_t slots() const { return bytes.size() / 32; }
    std::vector<std::uint8_t> bytes;
};

TEST(ExfatEntrySets, ASetIsTakenWholeOrNotAtAll) {
    DirectoryBytes dir;
    dir.addSet(u"first.txt", 0x20, 10, 5000);
    // A set whose stream entry was overwritten by something else.
    const std::size_t broken = dir.addSet(u"broken.txt", 0x20, 20, 6000);
    test::putLe(dir.bytes, (broken + 1) * 32, 0x00, 1);
    dir.addSet(u"third.txt", 0x20, 30, 7000);
    // A live file entry whose names were freed (deleted state).
    const std::size_t mixed = dir.addSet(u"mixed.txt", 0x20, 40, 8000);
    test::putLe(dir.bytes, (mixed + 2) * 32, 0x41, 1);
    // NameLength shorter than the characters present: the name is cut there.
    const std::size_t cut = dir.addSet(u"cut-here-and-not-after", 0x20, 50, 9000);
    test::putLe(dir.bytes, (cut + 1) * 32 + 3, 8, 1);
    dir.sealChecksum(cut);
    // A set altered after its checksum was written: kept, and flagged.
    const std::size_t altered = dir.addSet(u"altered.txt", 0x20, 60, 100);
    test::putLe(dir.bytes, (altered + 1) * 32 + 24, 999, 8);

    const std::vector<EntrySet> sets = decodeEntrySets(dir.bytes);
    std::vector<std::string> names;
    for (const EntrySet& s : sets) names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"first.txt", "third.txt", "cut-here", "altered.txt"}));
    ASSERT_EQ(sets.size(), 4u);
    // Nothing of a broken set carries over to the next one.
    EXPECT_EQ(sets[1].firstCluster, 30u);
    EXPECT_EQ(sets[1].dataLength, 7000u);
    EXPECT_TRUE(sets[0].checksumMatches);
    EXPECT_TRUE(sets[2].checksumMatches);
    EXPECT_FALSE(sets[3].checksumMatches);
}

TEST(ExfatEntrySets, LongNamesDeletedSetsAndFolders) {
    DirectoryBytes dir;
    const std::u16string longName = u"a name that needs three name entries.txt";
    dir.addSet(longName, 0x20, 10, 1);
    dir.addSet(u"gone.bin", 0x20, 11, 2, false);
    struct Case {
        std::uint16_t attributes;
        bool folder;
    };
    const Case cases[] = {{0x10, true}, {0x31, true}, {0x36, true}, {0x17, true}, {0x20, false}, {0x01, false}};
    for (const Case& c : cases) dir.addSet(u"x", c.attributes, 12, 0);
    const std::vector<EntrySet> sets = decodeEntrySets(dir.bytes);
    ASSERT_EQ(sets.size(), 2u + std::size(cases));
    EXPECT_EQ(sets[0].name, "a name that needs three name entries.txt");
    EXPECT_TRUE(sets[0].inUse);
    EXPECT_EQ(sets[1].name, "gone.bin");
    EXPECT_FALSE(sets[1].inUse);
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(sets[2 + i].isFolder(), cases[i].folder) << std::hex << cases[i].attributes;
}

TEST(ExfatTimes, TheUtcOffsetAndTheTenMillisecondsApply) {
    // 2023-05-17 14:30:58 local: date (43 << 9 | 5 << 5 | 17), time (14 << 11 | 30 << 5 | 29).
    const std::uint32_t stamp = (std::uint32_t{(43u << 9) | (5u << 5) | 17u} << 16) | ((14u << 11) | (30u << 5) | 29u);
    const std::int64_t asUtc = 1684333858;  // 2023-05-17T14:30:58Z
    struct Case {
        std::uint8_t tenMs;
        std::uint8_t offset;
        std::int64_t seconds;
        std::uint32_t nanoseconds;
    };
    const Case cases[] = {
        {0, 0x00, asUtc, 0},                  // no valid offset: local time (the tests run in UTC)
        {0, 0x80 | 8, asUtc - 2 * 3600, 0},   // UTC+2
        {0, 0x80 | 0x7C, asUtc + 3600, 0},    // UTC-1: -4 quarter hours in seven bits
        {150, 0x80, asUtc + 1, 500000000},    // 1.5 s more
    };
    for (const Case& c : cases) {
        const auto t = stampTime(Stamp{stamp, c.tenMs, c.offset});
        ASSERT_TRUE(t);
        EXPECT_EQ(t->seconds, c.seconds) << int(c.offset);
        EXPECT_EQ(t->nanoseconds, c.nanoseconds);
    }
    EXPECT_FALSE(stampTime(Stamp{0, 0, 0}));  // month 0: no date
}

}  // namespace
}  // namespace vantor
