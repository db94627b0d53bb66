#include <gtest/gtest.h>

#include "results/named_entries.h"
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
    NamedEntries named(v.reader);
    named.setNames(recycledNames(v.reader, RecycleLayout::flat));
    EXPECT_EQ(named.givenNames().size(), 2u);
    std::vector<std::string> names;
    for (const EntryRef e : v.reader.entry(v.bin).children) names.push_back(named.describe(e).name);
    EXPECT_EQ(names, (std::vector<std::string>{"$IAB12.txt", "report.txt", "$IXY9", "holiday.jpg"}));
    // The reader itself keeps its own names.
    EXPECT_EQ(v.reader.describe(v.reader.entry(v.bin).children[1]).name.rfind("$R", 0), 0u);
}

TEST(RecycleNames, PerUserFoldersAndLayoutsThatHaveNone) {
    test::FakeReader reader;
    const EntryRef bin = reader.addFolder(0, "$RECYCLE.BIN");
    const EntryRef user = reader.addFolder(bin, "S-1-5-21-1000");
    reader.addFile(user, "$I1.txt", test::recycleRecord(2, u"C:\\x\\one.txt"));
    const EntryRef content = reader.addFile(user, "$R1.txt", "1");
    const EntryRef stray = reader.addFile(bin, "$R1.txt", "not in a user folder");
    EXPECT_TRUE(recycledNames(reader, RecycleLayout::none).empty());
    const auto names = recycledNames(reader, RecycleLayout::perUserFolders);
    EXPECT_EQ(names, (std::map<EntryRef, std::string>{{content, "one.txt"}}));
    EXPECT_FALSE(names.count(stray));
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
        const auto names = recycledNames(reader, RecycleLayout::flat);
        EXPECT_EQ(names.size(), c.renamed ? 1u : 0u);
        if (c.renamed) {
            EXPECT_EQ(names.at(content), "one");
        }
    }
}

// A "$I" entry far larger than any record is not one: it is not read at all.
TEST(RecycleNames, OversizedRecordsAreNotCopiedOut) {
    test::FakeReader reader;
    const EntryRef bin = reader.addFolder(0, "$RECYCLE.BIN");
    std::string huge = test::recycleRecord(2, u"C:\\x\\big.txt");
    huge.resize(4 << 20, 'x');
    reader.addFile(bin, "$I2.txt", huge);
    const EntryRef content = reader.addFile(bin, "$R2.txt", "2");
    EXPECT_TRUE(recycledNames(reader, RecycleLayout::flat).empty());
    EXPECT_EQ(reader.saves.load(), 0);
    EXPECT_EQ(reader.describe(content).name, "$R2.txt");
}

}  // namespace
}  // namespace vantor
