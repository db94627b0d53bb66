#include <gtest/gtest.h>

#include <vector>

#include "core/bytes.h"
#include "core/text.h"

using namespace vantor;

TEST(Bytes, FieldsOutsideTheBufferReadAsZero) {
    const std::vector<std::uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05};
    EXPECT_EQ(le32(b, 0), 0x04030201u);
    EXPECT_EQ(be32(b, 1), 0x02030405u);
    EXPECT_EQ(le32(b, 2), 0u);            // runs one byte past the end
    EXPECT_EQ(le64(b, SIZE_MAX - 2), 0u);  // offset + length would wrap
    EXPECT_EQ(u8(b, 5), 0);
    EXPECT_FALSE(slice(b, 4, 2));
    EXPECT_FALSE(slice(b, SIZE_MAX, 2));
    ASSERT_TRUE(slice(b, 5, 0));
    EXPECT_TRUE(slice(b, 5, 0)->empty());
    EXPECT_TRUE(hasText(std::vector<std::uint8_t>{'N', 'T', 'F', 'S'}, 0, "NTFS"));
    EXPECT_FALSE(hasText(std::vector<std::uint8_t>{'N', 'T'}, 0, "NTFS"));
}

TEST(Text, Utf16PairsAndBrokenSurrogates) {
    struct Case { const char* what; std::vector<std::uint8_t> le; bool stopAtNul; std::string utf8; };
    const Case cases[] = {
        {"ascii", {'a', 0, 'b', 0}, false, "ab"},
        {"e acute", {0xE9, 0x00}, false, "\xC3\xA9"},
        {"surrogate pair (U+1F600)", {0x3D, 0xD8, 0x00, 0xDE}, false, "\xF0\x9F\x98\x80"},
        {"lone high surrogate", {0x3D, 0xD8, 'x', 0}, false, "\xEF\xBF\xBDx"},
        {"lone low surrogate", {0x00, 0xDE}, false, "\xEF\xBF\xBD"},
        {"stops at NUL", {'a', 0, 0, 0, 'b', 0}, true, "a"},
        {"keeps NUL when asked", {'a', 0, 0, 0}, false, std::string("a\0", 2)},
        {"odd trailing byte ignored", {'a', 0, 'b'}, false, "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(utf16leToUtf8(c.le, c.stopAtNul), c.utf8);
        std::vector<std::uint8_t> be(c.le);
        for (std::size_t i = 0; i + 1 < be.size(); i += 2) std::swap(be[i], be[i + 1]);
        EXPECT_EQ(utf16beToUtf8(be, c.stopAtNul), c.utf8);
    }
}

TEST(Text, CodePage1252BothWays) {
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");   // euro sign
    EXPECT_EQ(cp1252ToUtf8("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(cp1252ToUtf8("\x81"), "\xC2\x81");       // undefined: passed through as C1
    EXPECT_EQ(utf8ToCp1252("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
    EXPECT_EQ(utf8ToCp1252("\xE4\xB8\xAD"), "?");      // not in the code page
}

TEST(Text, BytesOfUnknownEncodingBecomeValidUtf8) {
    EXPECT_EQ(bytesToUtf8("plain"), "plain");
    EXPECT_EQ(bytesToUtf8("caf\xC3\xA9"), "caf\xC3\xA9");  // already UTF-8
    EXPECT_EQ(bytesToUtf8("caf\xE9"), "caf\xC3\xA9");      // a Latin-1 name
    EXPECT_EQ(bytesToUtf8("\xC3"), "\xC3\x83");            // truncated sequence
    EXPECT_EQ(bytesToUtf8("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xE2\x82\xAC");  // encoded surrogate is not UTF-8
}

TEST(Text, Trimming) {
    EXPECT_EQ(trimBlanks("  a b  "), "a b");
    EXPECT_EQ(trimBlanks("   "), "");
    EXPECT_EQ(trimTrailingBlanks("  a  "), "  a");
}
