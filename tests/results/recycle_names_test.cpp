#include <gtest/gtest.h>

#include "results/recycle_names.h"
#include "support/fake_reader.h"
#include "support/support.h"

namespace vantor {
namespace {

Bytes bytesOf(const std::string& s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

TEST(RecycleRecord, FormerNameFromBothLayouts) {
    std::string v2Overlong = test::recycleRecord(2, u"C:\\a\\long.txt");
    v2Overlong[0x18] = '\xff';  // a length far beyond the record: read what is there
    v2Overlong[0x19] = '\xff';
    std::string v1NoNul = test::recycleRecord(1, u"C:\\x\\name.doc");
    v1NoNul.resize(0x18 + 2 * 13);  // the path runs to the record's end
    struct Case {
        const char* what;
        std::string record;
        std::optional<std::string> name;
    };
    const Case cases[] = {
        {"version 1", test::recycleRecord(1, u"C:\\Users\\me\\report.txt"), "report.txt"},
        {"version 2", test::recycleRecord(2, u"D:\\pics\\holiday.jpg"), "holiday.jpg"},
        {"no backslash", test::recycleRecord(2, u"plain.bin"), "plain.bin"},
        {"non-ASCII", test::recycleRecord(1, u"C:\\d\\\u00e9t\u00e9.txt"), "\xc3\xa9t\xc3\xa9.txt"},
        {"version 2 length beyond the record", v2Overlong, "long.txt"},
        {"version 1 without a NUL", v1NoNul, "name.doc"},
        {"ends in a backslash", test::recycleRecord(1, u"C:\\folder\\"), std::nullopt},
        {"too short", std::string(0x10, '\0'), std::nullopt},
        {"2048 bytes or more", std::string(2048, '\x01'), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(formerNameFromRecord(bytesOf(c.record)), c.name);
    }
}

TEST(RecycleNames, ContentEntriesGetTheirFormerNames) {
    test::StandardVolume v;
    test::ScratchDir scratch;
    EXPECT_EQ(restoreRecycleNames(v.reader, RecycleLayout::flat, scratch.path()), 2);
    std::vector<std::string> names;
    for (const EntryRef e : v.reader.entry(v.bin).children) names.push_back(v.reader.describe(e).name);
    EXPECT_EQ(names, (std::vector<std::string>{"$IAB12.txt", "report.txt", "$IXY9", "holiday.jpg"}));
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));  // the records' copies are gone
}

TEST(RecycleNames, PerUserFoldersAndLayoutsThatHaveNone) {
    test::FakeReader reader;
    const EntryRef bin = reader.addFolder(0, "$RECYCLE.BIN");
    const EntryRef user = reader.addFolder(bin, "S-1-5-21-1000");
    reader.addFile(user, "$I1.txt", test::recycleRecord(2, u"C:\\x\\one.txt"));
    const EntryRef content = reader.addFile(user, "$R1.txt", "1");
    const EntryRef stray = reader.addFile(bin, "$R1.txt", "not in a user folder");
    test::ScratchDir scratch;
    EXPECT_EQ(restoreRecycleNames(reader, RecycleLayout::none, scratch.path()), 0);
    EXPECT_EQ(restoreRecycleNames(reader, RecycleLayout::perUserFolders, scratch.path()), 1);
    EXPECT_EQ(reader.describe(content).name, "one.txt");
    EXPECT_EQ(reader.describe(stray).name, "$R1.txt");
}

TEST(RecycleNames, RecycleFolderNamesInAnyCaseAndNoOthers) {
    struct Case {
        const char* folder;
        bool renamed;
    };
    const Case cases[] = {{"$Recycle.Bin", true}, {"$RECYCLEBIN", true}, {"RECYCLER", false}, {"$RECYCLE", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        test::FakeReader reader;
        const EntryRef bin = reader.addFolder(0, c.folder);
        reader.addFile(bin, "$I1", test::recycleRecord(1, u"C:\\one"));
        const EntryRef content = reader.addFile(bin, "$R1", "1");
        test::ScratchDir scratch;
        EXPECT_EQ(restoreRecycleNames(reader, RecycleLayout::flat, scratch.path()), c.renamed ? 1 : 0);
        EXPECT_EQ(reader.describe(content).name, c.renamed ? "one" : "$R1");
    }
}

// A "$I" entry far larger than any record is not one: it is not copied out
// to the scratch folder at all (that folder may lie on the disk being rescued).
TEST(RecycleNames, OversizedRecordsAreNotCopiedOut) {
    test::FakeReader reader;
    const EntryRef bin = reader.addFolder(0, "$RECYCLE.BIN");
    std::string huge = test::recycleRecord(2, u"C:\\x\\big.txt");
    huge.resize(4 << 20, 'x');
    reader.addFile(bin, "$I2.txt", huge);
    const EntryRef content = reader.addFile(bin, "$R2.txt", "2");
    test::ScratchDir scratch;
    EXPECT_EQ(restoreRecycleNames(reader, RecycleLayout::flat, scratch.path()), 0);
    EXPECT_EQ(reader.saves.load(), 0);
    EXPECT_EQ(reader.describe(content).name, "$R2.txt");
}

}  // namespace
}  // namespace vantor
