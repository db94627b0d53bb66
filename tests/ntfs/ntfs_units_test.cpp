// The NTFS reader's parts on tiny hand-built buffers: run lists, fixups,
// LZNT1, the tree rules and the writers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/FileReadSeek.h"
#include "device/reader_context.h"
#include "fs/ntfs/layout.h"
#include "fs/ntfs/lznt1.h"
#include "fs/ntfs/ntfs.h"
#include "fs/ntfs/run_list.h"
#include "ntfs/tiny_volume.h"
#include "support/bytes_builder.h"
#include "support/support.h"
#include "results/entry_save.h"
#include "results/entry_texts.h"

namespace vantor {
namespace {

using Runs = std::vector<MftRun>;
std::vector<std::uint8_t> B(std::initializer_list<int> v) { return {v.begin(), v.end()}; }

TEST(NtfsRunList, DecodesRunsAsLaidOut) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::uint64_t budget;
        Runs expected;
        bool damaged;
    };
    const Case cases[] = {
        {"one run", B({0x21, 0x18, 0x34, 0x56, 0x00}), 100, {{0x5634, 0x18, false}}, false},
        {"second run relative to the first", B({0x11, 0x30, 0x60, 0x21, 0x10, 0x00, 0x01, 0x00}), 0x40,
         {{0x60, 0x30, false}, {0x160, 0x10, false}}, false},
        {"sparse run has no offset", B({0x11, 0x04, 0x20, 0x01, 0x08, 0x11, 0x02, 0x10, 0x00}), 100,
         {{0x20, 4, false}, {0, 8, true}, {0x30, 2, false}}, false},
        {"negative offset moves back", B({0x31, 0x01, 0x00, 0x00, 0x20, 0x31, 0x01, 0x00, 0x00, 0xF0, 0x00}), 10,
         {{0x200000, 1, false}, {0x100000, 1, false}}, false},
        {"runs past the budget are dropped", B({0x11, 0x30, 0x60, 0x21, 0x10, 0x00, 0x01, 0x00}), 0x30,
         {{0x60, 0x30, false}}, false},
        {"length of zero adds nothing", B({0x11, 0x00, 0x10, 0x11, 0x02, 0x10, 0x00}), 10, {{0x20, 2, false}}, false},
        {"header promising more bytes than there are", B({0x11, 0x02, 0x10, 0x44, 0x01}), 10, {{0x10, 2, false}}, true},
        {"offset before the volume start", B({0x11, 0x02, 0x10, 0x11, 0x02, 0x80, 0x00}), 10, {{0x10, 2, false}}, true},
        {"64-bit cluster numbers", B({0x51, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}), 1, {{0x100000000ull, 1, false}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const DecodedRuns d = decodeRunList(c.bytes, c.budget);
        EXPECT_EQ(d.damaged, c.damaged);
        ASSERT_EQ(d.runs.size(), c.expected.size());
        for (std::size_t i = 0; i < d.runs.size(); ++i) {
            EXPECT_EQ(d.runs[i].startCluster, c.expected[i].startCluster) << i;
            EXPECT_EQ(d.runs[i].clusterCount, c.expected[i].clusterCount) << i;
            EXPECT_EQ(d.runs[i].sparse, c.expected[i].sparse) << i;
        }
    }
}

TEST(NtfsFixup, PutsBackTheProtectedWords) {
    std::vector<std::uint8_t> rec(1024, 0xAB);
    test::putLe(rec, 4, 0x30, 2);  // update sequence at 0x30
    test::putLe(rec, 6, 3, 2);     // number + two protected words
    test::putLe(rec, 0x30, 0x0007, 2);
    test::putLe(rec, 0x32, 0x2211, 2);
    test::putLe(rec, 0x34, 0x4433, 2);
    test::putLe(rec, 510, 0x0007, 2);
    test::putLe(rec, 1022, 0x0007, 2);
    auto fixed = rec;
    ntfs_layout::applyFixup(fixed);
    EXPECT_EQ(fixed[510], 0x11);
    EXPECT_EQ(fixed[511], 0x22);
    EXPECT_EQ(fixed[1022], 0x33);
    EXPECT_EQ(fixed[1023], 0x44);

    // A count that runs past the record stops at the record's end.
    auto huge = rec;
    test::putLe(huge, 6, 0xFFFF, 2);
    ntfs_layout::applyFixup(huge);
    EXPECT_EQ(huge[510], 0x11);
    // An offset outside the record changes nothing.
    auto outside = rec;
    test::putLe(outside, 4, 0x0800, 2);
    const auto before = outside;
    ntfs_layout::applyFixup(outside);
    EXPECT_EQ(outside, before);
}

TEST(NtfsBootSector, TakesGeometryFromTheSector) {
    struct Case {
        const char* what;
        int bytesPerSector, sectorsPerCluster, clustersPerRecord;
        std::uint64_t cluster, record;
        bool accepted;
    };
    const Case cases[] = {
        {"512 x 8 gives 4096", 512, 8, 0xF6, 4096, 1024, true},
        {"256 x 2 gives 512", 256, 2, 0xF6, 512, 1024, true},
        {"4096-byte records", 512, 8, 0xF4, 4096, 4096, true},
        {"record in whole clusters", 512, 2, 0x02, 1024, 2048, true},
        {"128 KiB clusters as a negative exponent", 512, 0xF8, 0xF6, 131072, 1024, true},
        {"nonsense record size falls back", 512, 8, 0x70, 4096, 1024, true},
        {"sectors per cluster not a power of two", 512, 3, 0xF6, 0, 0, false},
        {"sector size of 100", 100, 8, 0xF6, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> s(512, 0);
        test::putText(s, 3, "NTFS    ");
        test::putLe(s, 0x0B, c.bytesPerSector, 2);
        s[0x0D] = static_cast<std::uint8_t>(c.sectorsPerCluster);
        s[0x40] = static_cast<std::uint8_t>(c.clustersPerRecord);
        s[0x28] = 0x80;  // 128 sectors
        s[0x1FE] = 0x55, s[0x1FF] = 0xAA;
        const auto b = ntfs_layout::decodeBootSector(s);
        ASSERT_EQ(b.has_value(), c.accepted);
        if (!b) continue;
        EXPECT_EQ(b->clusterSize, c.cluster);
        EXPECT_EQ(b->recordSize, c.record);
    }
}

TEST(NtfsLznt1, DecodesLiteralsAndBackReferences) {
    // "A" then a reference one byte back for 4095 bytes: 4096 x 'A'; then a
    // second chunk of 'B'. Every chunk stands for 4096 bytes of output.
    const auto twoChunks = B({0x03, 0xB0, 0x02, 'A', 0xFC, 0x0F, 0x03, 0xB0, 0x02, 'B', 0xFC, 0x0F, 0x00, 0x00});
    std::vector<std::uint8_t> out(8192, 0xEE);
    auto r = lznt1Decompress(twoChunks, out);
    EXPECT_FALSE(r.damaged);
    EXPECT_EQ(r.produced, 8192u);
    EXPECT_EQ(std::count(out.begin(), out.begin() + 4096, 'A'), 4096);
    EXPECT_EQ(std::count(out.begin() + 4096, out.end(), 'B'), 4096);

    // At position 17 the offset takes 5 bits: token 0x8000 is offset 17, length 3.
    std::vector<std::uint8_t> in = {0, 0};
    const std::string alphabet = "abcdefghijklmnopq";
    for (std::size_t i = 0; i < 16; ++i) {
        if (i % 8 == 0) in.push_back(0x00);  // eight literals follow
        in.push_back(alphabet[i]);
    }
    in.push_back(0x02);  // literal 'q', then a reference
    in.push_back('q');
    in.push_back(0x00);
    in.push_back(0x80);
    const std::size_t total = in.size();
    in[0] = static_cast<std::uint8_t>((total - 3) & 0xFF);
    in[1] = static_cast<std::uint8_t>(0xB0 | ((total - 3) >> 8));
    std::vector<std::uint8_t> small(4096, 0);
    r = lznt1Decompress(in, small);
    EXPECT_EQ(std::string(small.begin(), small.begin() + 20), "abcdefghijklmnopqabc");

    // An uncompressed chunk is copied as it stands.
    std::vector<std::uint8_t> raw = {0xFF, 0x3F};
    for (int i = 0; i < 4096; ++i) raw.push_back(static_cast<std::uint8_t>(i * 7));
    std::vector<std::uint8_t> rawOut(4096, 0);
    r = lznt1Decompress(raw, rawOut);
    EXPECT_EQ(r.produced, 4096u);
    EXPECT_TRUE(std::equal(rawOut.begin(), rawOut.end(), raw.begin() + 2));

    // Hostile input: a reference before the chunk's start, and a chunk that
    // claims more bytes than there are.
    std::vector<std::uint8_t> out2(4096, 0);
    EXPECT_TRUE(lznt1Decompress(B({0x02, 0xB0, 0x01, 0x05, 0x00}), out2).damaged);
    EXPECT_TRUE(lznt1Decompress(B({0xFF, 0xBF, 0x00, 'x'}), out2).damaged);
}

// Runs the standard scan over an in-memory volume.
struct Scanned {
    MemoryReader source;
    AppState state;
    ntfs reader;
    explicit Scanned(std::vector<std::uint8_t> image)
        : source(std::move(image)), reader(ReaderContext{source, VolumeRecord{"NTFS", "", "0", "2 MB", 0}, state}) {
        EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    }
    std::vector<std::string> children(std::optional<EntryRef> folder) {
        std::vector<std::string> names;
        if (!folder) return names;
        for (auto c = reader.firstChild(*folder); c && names.size() < 1000; c = reader.nextSibling(*c)) {
            names.push_back(reader.describe(*c).name);
        }
        return names;
    }
    std::optional<EntryRef> find(std::optional<EntryRef> folder, const std::string& name) {
        if (!folder) return std::nullopt;
        for (auto c = reader.firstChild(*folder); c; c = reader.nextSibling(*c)) {
            if (reader.describe(*c).name == name) return c;
        }
        return std::nullopt;
    }
};

test::TinyVolume treeVolume(std::size_t recordSize) {
    using test::TinyRecord;
    test::TinyVolume v(recordSize);
    auto file = [](std::vector<test::TinyName> names, bool inUse = true) {
        TinyRecord r;
        r.names = std::move(names);
        r.inUse = inUse;
        return r;
    };
    auto dir = [](std::vector<test::TinyName> names) {
        TinyRecord r;
        r.names = std::move(names);
        r.directory = true;
        return r;
    };
    v.add(1, file({{"$MFTMirr", 5}}));
    v.add(10, file({{"A", 40}}));        // parent is a file
    v.add(12, dir({{"self", 12}}));      // parent is itself
    v.add(14, dir({{"docs", 5}}));
    v.add(15, file({{"deleted.txt", 14}}, false));
    v.add(16, dir({{"PROGRA~1", 5, 2}, {"Program Files", 5, 1}}));
    v.add(17, file({{"unnamed", 5, 1, true}}));
    v.add(18, file({{"one.txt", 14}, {"two.txt", 5}}));
    v.add(19, file({{"Long Name.txt", 14, 1}, {"LONGNA~1.TXT", 14, 2}}));
    v.add(20, file({{"B", 900}}));       // parent beyond the MFT
    v.add(30, dir({{"loopA", 31}}));
    v.add(31, dir({{"loopB", 30}}));
    v.add(40, file({{"F40", 5}}));
    v.add(41, file({{"child-of-deleted", 42}}, false));
    TinyRecord gone = dir({{"gone", 14}});
    gone.inUse = false;
    gone.sequence = 2;  // freed: one ahead of its children's references
    v.add(42, gone);
    // Record 50 was a folder, freed, and is now another folder: the old
    // child's reference names the earlier use.
    TinyRecord reused = dir({{"reused", 5}});
    reused.sequence = 3;
    v.add(50, reused);
    v.add(51, file({{"stale.txt", 50, 1, false, 1}}, false));
    v.add(52, file({{"fresh.txt", 50, 1, false, 3}}));
    return v;
}

TEST(NtfsTree, LinksFoldersOrphansAndNames) {
    for (std::size_t recordSize : {1024u, 4096u}) {
        SCOPED_TRACE(recordSize);
        Scanned s(treeVolume(recordSize).build());
        EXPECT_EQ(s.reader.recordBytes(), recordSize);
        const auto root = s.reader.rootEntry();
        ASSERT_TRUE(root);
        EXPECT_EQ(s.children(root),
                  (std::vector<std::string>{"$MFTMirr", "docs", "Program Files", "two.txt", "F40", "reused",
                                            "ORPHAN_ENTRY"}));
        EXPECT_EQ(s.children(s.find(root, "reused")), (std::vector<std::string>{"fresh.txt"}));
        const auto docs = s.find(root, "docs");
        EXPECT_EQ(s.children(docs), (std::vector<std::string>{"deleted.txt", "Long Name.txt", "gone"}));
        const auto deleted = s.find(docs, "deleted.txt");
        ASSERT_TRUE(deleted);
        EXPECT_TRUE(s.reader.describe(*deleted).isDeleted);
        const auto gone = s.find(docs, "gone");
        ASSERT_TRUE(gone);
        EXPECT_TRUE(s.reader.describe(*gone).isDeleted);
        EXPECT_EQ(s.children(gone), (std::vector<std::string>{"child-of-deleted"}));

        // Orphans in reverse record order; a parent loop is cut so both stay reachable.
        const auto orphans = s.find(root, "ORPHAN_ENTRY");
        ASSERT_TRUE(orphans);
        EXPECT_TRUE(s.reader.describe(*orphans).isOrphanGroup);
        EXPECT_EQ(s.children(orphans), (std::vector<std::string>{"stale.txt", "loopA", "B", "self", "A"}));
        EXPECT_EQ(s.children(s.find(orphans, "loopA")), (std::vector<std::string>{"loopB"}));
        EXPECT_TRUE(s.children(s.find(orphans, "self")).empty());
    }
}

TEST(NtfsTree, MftExtentsNamedByItsAttributeListAreFollowed) {
    test::TinyVolume v;
    v.splitMftAt(32);
    test::TinyRecord near, far;
    near.names = {{"near.txt", 5}};
    far.names = {{"far.txt", 5}};
    v.add(20, near);
    v.add(40, far);
    Scanned s(v.build());
    EXPECT_EQ(s.reader.entries().size(), 64u + 1u);  // every record, and the orphan node
    EXPECT_EQ(s.children(s.reader.rootEntry()), (std::vector<std::string>{"near.txt", "far.txt", "ORPHAN_ENTRY"}));
}

TEST(NtfsContent, ResidentDataAcrossTheProtectedWordComesBackWhole) {
    test::TinyVolume v;
    test::TinyRecord r;
    r.names = {{"straddle.bin", 5}};
    r.residentData = B({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'});
    r.dataAttributeAt = 480;  // the value lies at 504..513, over the word at 510
    r.modification = 133500000000000000ull;
    v.add(24, r);
    Scanned s(v.build());
    const auto f = s.find(s.reader.rootEntry(), "straddle.bin");
    ASSERT_TRUE(f);
    EXPECT_EQ(s.reader.describe(*f).size, 10u);
    test::ScratchDir dir;
    const auto saved = saveEntryToFile(s.reader, *f, dir.path() / "out");
    EXPECT_TRUE(saved.written);
    EXPECT_FALSE(saved.damaged);
    const auto bytes = test::readFileBytes(dir.path() / "out");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "0123456789");
    EXPECT_EQ(std::filesystem::last_write_time(dir.path() / "out").time_since_epoch().count() != 0, true);
}

// A volume whose clusters hold known bytes; streams are described by hand.
struct StreamVolume {
    test::TinyVolume v;
    std::vector<std::uint8_t> image;
    StreamVolume() { image = v.build(); }
    void cluster(std::uint64_t n, const std::vector<std::uint8_t>& bytes) {
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(n * 512));
    }
};

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t v) { return std::vector<std::uint8_t>(n, v); }

TEST(NtfsContent, PlainWriterCutsAtTheSizeAndKeepsTheShape) {
    StreamVolume sv;
    sv.cluster(1000, filled(512, 'a'));
    sv.cluster(1001, filled(512, 'b'));
    sv.cluster(1002, filled(512, 'c'));
    Scanned s(sv.image);
    struct Case {
        const char* what;
        Runs runs;
        std::uint64_t size;
        std::string expected;  // one letter per 64 bytes, '.' for zeros
        bool damaged;
    };
    const Case cases[] = {
        {"whole cluster then part", {{1000, 2, false}}, 900, std::string(8, 'a') + std::string(7, 'b'), false},
        {"exact multiple of the cluster", {{1000, 2, false}}, 1024, std::string(8, 'a') + std::string(8, 'b'), false},
        {"sparse run in the middle", {{1000, 1, false}, {0, 1, true}, {1002, 1, false}}, 1536,
         std::string(8, 'a') + std::string(8, '.') + std::string(8, 'c'), false},
        {"cluster past the volume is zeros, not dropped", {{1000, 1, false}, {999999, 1, false}, {1002, 1, false}}, 1536,
         std::string(8, 'a') + std::string(8, '.') + std::string(8, 'c'), true},
        // Saved as far as the runs hold it, and reported: not padded with zeros.
        {"runs shorter than the size", {{1000, 1, false}}, 1024, std::string(8, 'a'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataStream d;
        d.runs = c.runs;
        d.realSize = d.initializedSize = c.size;
        MemorySink sink(1 << 20);
        EXPECT_TRUE(s.reader.writeStream(d, sink));
        EXPECT_EQ(sink.isDamaged(), c.damaged);
        const auto& bytes = sink.bytes();
        ASSERT_EQ(bytes.size(), sink.endedEarly() ? c.expected.size() * 64 : c.size);
        std::string shape;
        for (std::size_t i = 0; i < bytes.size(); i += 64) shape += bytes[i] == 0 ? '.' : static_cast<char>(bytes[i]);
        EXPECT_EQ(shape, c.expected);
    }
}

TEST(NtfsContent, CompressedWriterFollowsTheUnitRules) {
    // Units of 16 clusters of 512 bytes: 8192 bytes.
    StreamVolume sv;
    for (int i = 0; i < 16; ++i) sv.cluster(1100 + i, filled(512, static_cast<std::uint8_t>('a' + i)));
    // Two LZNT1 chunks in one cluster: 4096 x 'X' then 4096 x 'Y'.
    auto packed = B({0x03, 0xB0, 0x02, 'X', 0xFC, 0x0F, 0x03, 0xB0, 0x02, 'Y', 0xFC, 0x0F, 0x00, 0x00});
    packed.resize(512, 0);
    sv.cluster(1200, packed);
    Scanned s(sv.image);
    DataStream d;
    d.compressed = true;
    d.compressionUnit = 4;
    // Unit 0 stored as it is (its 16th cluster allocated), unit 1 compressed
    // into one cluster and 15 sparse, unit 2 all sparse, unit 3 cut by the size.
    d.runs = {{1100, 16, false}, {1200, 1, false}, {0, 15, true}, {0, 16, true}, {1100, 16, false}};
    d.realSize = d.initializedSize = 3 * 8192 + 1000;
    MemorySink sink(1 << 20);
    EXPECT_TRUE(s.reader.writeStream(d, sink));
    EXPECT_FALSE(sink.isDamaged());
    const auto& bytes = sink.bytes();
    ASSERT_EQ(bytes.size(), d.realSize);
    EXPECT_EQ(bytes[0], 'a');
    EXPECT_EQ(bytes[8191], 'p');
    EXPECT_EQ(std::count(bytes.begin() + 8192, bytes.begin() + 12288, 'X'), 4096);
    EXPECT_EQ(std::count(bytes.begin() + 12288, bytes.begin() + 16384, 'Y'), 4096);
    EXPECT_EQ(std::count(bytes.begin() + 16384, bytes.begin() + 24576, 0), 8192);
    EXPECT_EQ(bytes[24576], 'a');
    EXPECT_EQ(bytes[24576 + 999], 'b');
}

TEST(NtfsContent, HostileRunsEndQuickly) {
    // Runs claiming 2^40 clusters, a hole and one beyond the volume: the
    // writers pass over them at once instead of unit by unit.
    StreamVolume sv;
    Scanned s(sv.image);
    struct Case {
        const char* what;
        bool compressed;
        Runs runs;
    };
    const Case cases[] = {
        {"compressed hole", true, {{0, std::uint64_t{1} << 40, true}}},
        {"compressed run beyond the volume", true, {{1 << 20, std::uint64_t{1} << 40, false}}},
        {"plain run beyond the volume", false, {{3000, std::uint64_t{1} << 40, false}}},
        {"plain hole", false, {{0, std::uint64_t{1} << 40, true}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DataStream d;
        d.compressed = c.compressed;
        d.compressionUnit = 4;
        d.runs = c.runs;
        d.realSize = d.initializedSize = std::uint64_t{1} << 49;
        // Holes cost nothing here, as they cost nothing in a saved file.
        struct CountingSink final : ContentSink {
            std::uint64_t bytes = 0;
            bool write(std::span<const std::uint8_t> b) override { bytes += b.size(); return true; }
            bool skip(std::uint64_t count) override { bytes += count; return true; }
            std::uint64_t size() const override { return bytes; }
        } sink;
        EXPECT_TRUE(s.reader.writeStream(d, sink));
        EXPECT_EQ(sink.size(), d.realSize);
    }
}

TEST(NtfsTexts, AttributeLettersInTheirOrder) {
    EXPECT_EQ(attributeText(AttributeKind::ntfsFileName, 0x0021), "-R-A");
    EXPECT_EQ(attributeText(AttributeKind::ntfsFileName, 0x4A23), "-R-H-S-A-C-E");
    EXPECT_EQ(attributeText(AttributeKind::ntfsFileName, 0), "");
}

}  // namespace
}  // namespace vantor
