// The volume window: reads clipped to the source, and failed reads tried
// again sector by sector so that only the sectors that really fail are lost.
#include <gtest/gtest.h>

#include <vector>

#include "device/VolumeWindow.h"
#include "support/faulty_reader.h"

namespace vantor {
namespace {

std::vector<std::uint8_t> numbered(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    return bytes;
}

TEST(VolumeWindow, FailedSectorsComeBackAsZerosAndAsRanges) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> bad;  // source sectors, inclusive
        std::uint64_t windowStart;
        std::uint64_t offset;
        std::size_t length;
        std::vector<ByteRange> unreadable;  // relative to the buffer
    };
    const Case cases[] = {
        {"nothing bad", {}, 0, 0, 65536, {}},
        {"one sector in the middle", {{40, 40}}, 0, 0, 65536, {{40 * 512, 512}}},
        {"a run of sectors", {{10, 13}}, 0, 0, 65536, {{10 * 512, 4 * 512}}},
        {"two runs", {{3, 3}, {100, 101}}, 0, 0, 65536, {{3 * 512, 512}, {100 * 512, 1024}}},
        {"the first sector asked for", {{0, 0}}, 0, 0, 4096, {{0, 512}}},
        {"a window that starts later", {{2050, 2050}}, 2048 * 512, 0, 8192, {{2 * 512, 512}}},
        {"a read that starts inside a sector", {{5, 5}}, 0, 100, 4096, {{5 * 512 - 100, 512}}},
    };
    const auto image = numbered(4 << 20);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FaultyReader source(image, c.bad);
        VolumeWindow window(source, c.windowStart, 0);
        std::vector<std::uint8_t> dest(c.length, 0xEE);
        std::vector<ByteRange> unreadable;
        const std::size_t arrived = window.readAt(c.offset, dest, &unreadable);
        EXPECT_EQ(unreadable, c.unreadable);
        std::uint64_t lost = 0;
        for (const ByteRange& r : c.unreadable) lost += r.length;
        EXPECT_EQ(arrived, c.length - lost);
        // Every byte outside the ranges is the source's; every byte inside is zero.
        for (std::size_t i = 0; i < dest.size(); ++i) {
            bool inside = false;
            for (const ByteRange& r : c.unreadable) inside |= i >= r.first && i < r.end();
            const std::uint8_t expected = inside ? 0 : image[c.windowStart + c.offset + i];
            ASSERT_EQ(dest[i], expected) << "byte " << i;
        }
        EXPECT_EQ(window.unreadableSectors(), lost / 512);
    }
}

TEST(VolumeWindow, EndOfTheSourceIsZerosButNotUnreadable) {
    const auto image = numbered(8192);
    test::FaultyReader source(image, {});
    VolumeWindow window(source, 4096, 0);
    EXPECT_EQ(window.length(), 4096u);
    std::vector<std::uint8_t> dest(8192, 0xEE);
    std::vector<ByteRange> unreadable;
    EXPECT_EQ(window.readAt(2048, dest, &unreadable), 2048u);
    EXPECT_TRUE(unreadable.empty());
    for (std::size_t i = 2048; i < dest.size(); ++i) ASSERT_EQ(dest[i], 0) << i;
    EXPECT_EQ(window.readAt(1u << 20, dest, &unreadable), 0u);
}

TEST(VolumeWindow, LengthIsClippedToTheSourceAndMovesWithTheStart) {
    const auto image = numbered(1 << 20);
    test::FaultyReader source(image, {});
    EXPECT_EQ(VolumeWindow(source, 0, 4 << 20).length(), 1u << 20);
    EXPECT_EQ(VolumeWindow(source, 2 << 20, 0).length(), 0u);
    VolumeWindow window(source, 0, 65536);
    window.moveStart(4096);
    EXPECT_EQ(window.start(), 4096u);
    EXPECT_EQ(window.length(), 65536u - 4096u);
    // Reads still reach past the length, to the source's end.
    EXPECT_EQ(window.reach(), (1u << 20) - 4096u);
}

}  // namespace
}  // namespace vantor
