// The NTFS reader on a volume made by mkntfs and ntfs-3g, compared with the
// fixture's manifest: through the vantor command and through the contract.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <string>

#include "device/FileReadSeek.h"
#include "device/reader_context.h"
#include "fs/ntfs/ntfs.h"
#include "support/bytes_builder.h"
#include "support/contract_invariants.h"
#include "support/support.h"
#include "results/entry_save.h"

namespace vantor {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;

const json& manifest(const std::string& name = "ntfs_basic") {
    static std::map<std::string, json> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, test::readJsonFile(test::fixtureSource(name + ".manifest.json"))).first;
    return it->second;
}
fs::path image(const std::string& name = "ntfs_basic") { return test::fixtureImage(name + ".img"); }

// Where the reader shows a manifest entry: recycle-bin content files under
// their former names; of a hard-linked pair, whichever name it shows.
std::string shownPath(const std::string& path, const std::string& fixture = "ntfs_basic") {
    const auto& recycle = manifest(fixture)["recycleBin"];
    if (recycle.contains(path)) {
        return path.substr(0, path.rfind('/') + 1) + recycle[path].get<std::string>();
    }
    return path;
}

std::string isoOf(std::int64_t seconds) { return isoUtc(fromUnix(seconds)); }

std::map<std::string, json> listing(const std::string& fixture = "ntfs_basic", const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args = {"ls", image(fixture).string(), "-r", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = test::runVantor(args);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    std::map<std::string, json> byPath;
    const json out = json::parse(r.out, nullptr, false);
    if (out.is_discarded()) return byPath;
    for (const auto& e : out["entries"]) byPath[e["path"].get<std::string>()] = e;
    return byPath;
}

// Every fixture volume, whole-volume image or partitioned disk.
class NtfsFixtures : public ::testing::TestWithParam<std::string> {};
INSTANTIATE_TEST_SUITE_P(Images, NtfsFixtures, ::testing::Values("ntfs_basic", "ntfs_part"));

TEST_P(NtfsFixtures, ListingMatchesTheManifest) {
    const std::string fixture = GetParam();
    const test::SourceGuard guard(image(fixture));
    const auto shown = listing(fixture);
    std::map<std::string, int> linkGroups;
    for (const auto& e : manifest(fixture)["entries"]) {
        const std::string path = shownPath(e["path"].get<std::string>(), fixture);
        SCOPED_TRACE(path);
        if (e.contains("hardLinkGroup")) {
            linkGroups[e["hardLinkGroup"].get<std::string>()] += shown.count(path) ? 1 : 0;
            continue;
        }
        const auto it = shown.find(path);
        ASSERT_NE(it, shown.end());
        const json& s = it->second;
        EXPECT_EQ(s["folder"].get<bool>(), e["type"] == "folder");
        EXPECT_EQ(s["deleted"].get<bool>(), e["deleted"].get<bool>());
        EXPECT_FALSE(s["orphan"].get<bool>());
        if (e["type"] == "file") {
            EXPECT_EQ(s["size"].get<std::uint64_t>(), e["size"].get<std::uint64_t>());
            EXPECT_EQ(s["modification"].get<std::string>(), isoOf(e["mtime"].get<std::int64_t>()));
        }
    }
    // One record, two names: it is shown once, under one of them.
    for (const auto& [group, count] : linkGroups) EXPECT_EQ(count, 1) << group;
    EXPECT_TRUE(shown.count("ROOT/ORPHAN_ENTRY"));
    EXPECT_TRUE(shown.at("ROOT/ORPHAN_ENTRY")["folder"].get<bool>());
    if (fixture == "ntfs_basic") {
        EXPECT_NE(shown.at("ROOT/packed/text.txt")["attributes"].get<std::string>().find("-C"), std::string::npos);
    }
    EXPECT_TRUE(guard.unchanged());
}

TEST_P(NtfsFixtures, SaveWritesEveryFileByteExactWithItsTimes) {
    const std::string fixture = GetParam();
    const test::SourceGuard guard(image(fixture));
    test::ScratchDir out;
    const auto r = test::runVantor({"save", image(fixture).string(), "--out", out.path().string(), "--quiet"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    int linked = 0;
    for (const auto& e : manifest(fixture)["entries"]) {
        if (e["type"] != "file") continue;
        const std::string path = shownPath(e["path"].get<std::string>(), fixture);
        SCOPED_TRACE(path);
        const fs::path file = out.path() / path.substr(5);
        if (e.contains("hardLinkGroup")) {
            if (!fs::exists(file)) continue;
            ++linked;
        }
        ASSERT_TRUE(fs::exists(file));
        // Times first: reading the file to hash it may move its access time.
        struct stat st{};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, e["mtime"].get<std::int64_t>());
        EXPECT_EQ(st.st_atime, e["atime"].get<std::int64_t>());
        EXPECT_EQ(test::sha256File(file), e["sha256"].get<std::string>());
    }
    EXPECT_EQ(linked, fixture == "ntfs_basic" ? 1 : 0);
    // The alternate stream is not the file's content, and $BadClus is not written.
    EXPECT_FALSE(fs::exists(out.path() / "$BadClus"));
    EXPECT_TRUE(guard.unchanged());
}

TEST(NtfsFixture, SaveOfOneFolderAndSearchByName) {
    test::ScratchDir out;
    auto r = test::runVantor({"save", image().string(), "--out", out.path().string(), "--path", "ROOT/packed", "--quiet"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    for (const auto& e : manifest()["entries"]) {
        const std::string path = e["path"].get<std::string>();
        if (e["type"] != "file" || path.rfind("ROOT/packed/", 0) != 0) continue;
        SCOPED_TRACE(path);
        const fs::path file = out.path() / path.substr(12);
        EXPECT_EQ(fs::exists(file) ? test::sha256File(file) : "", e["sha256"].get<std::string>());
    }
    r = test::runVantor({"search", image().string(), "holiday|n0042", "--json"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    std::set<std::string> found;
    const json hits = json::parse(r.out, nullptr, false);
    if (hits.is_array()) {
        for (const auto& h : hits) found.insert(h["path"].get<std::string>());
    } else if (hits.is_object() && hits.contains("entries")) {
        for (const auto& h : hits["entries"]) found.insert(h["path"].get<std::string>());
    }
    EXPECT_TRUE(found.count("ROOT/$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1000/holiday.jpg")) << r.out;
    EXPECT_TRUE(found.count("ROOT/many/n0042.txt")) << r.out;
}

TEST(NtfsFixture, AgreesWithTheSleuthKit) {
    if (!test::onPath("fls")) GTEST_SKIP() << "The Sleuth Kit is not installed";
    const std::string cmd = "fls -r -p " + image().string();
    FILE* pipe = ::popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::map<std::string, bool> theirs;  // path -> deleted
    std::set<std::string> streamOwners;  // files that TSK lists by their named streams only
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string s(line);
        if (!s.empty() && s.back() == '\n') s.pop_back();
        const auto tab = s.find('\t');
        if (tab == std::string::npos) continue;
        const std::string path = s.substr(tab + 1);
        // Streams, the MFT itself and TSK's own orphan folder have no counterpart.
        if (const auto colon = path.find(':'); colon != std::string::npos) {
            streamOwners.insert("ROOT/" + path.substr(0, colon));
            continue;
        }
        if (path == "$MFT" || path.rfind("$OrphanFiles", 0) == 0) continue;
        theirs["ROOT/" + path] = s.find(" * ") != std::string::npos;
    }
    ::pclose(pipe);
    ASSERT_GT(theirs.size(), 3000u);
    auto ours = listing();
    // Compare under the names on disk.
    for (const auto& [path, name] : manifest()["recycleBin"].items()) {
        const std::string shown = shownPath(path);
        if (ours.count(shown)) {
            ours[path] = ours[shown];
            ours.erase(shown);
        }
    }
    std::set<std::string> hardLinks;
    for (const auto& e : manifest()["entries"]) {
        if (e.contains("hardLinkGroup")) hardLinks.insert(e["path"].get<std::string>());
    }
    for (const auto& [path, deleted] : theirs) {
        SCOPED_TRACE(path);
        if (hardLinks.count(path) && !ours.count(path)) continue;  // the other name is shown
        ASSERT_TRUE(ours.count(path));
        EXPECT_EQ(ours[path]["deleted"].get<bool>(), deleted);
    }
    for (const auto& [path, entry] : ours) {
        if (path == "ROOT/ORPHAN_ENTRY" || path.rfind("ROOT/ORPHAN_ENTRY/", 0) == 0) continue;
        EXPECT_TRUE(theirs.count(path) || streamOwners.count(path)) << path;
    }
}

// The reader driven directly over bytes in memory.
struct InMemory {
    MemoryReader source;
    AppState state;
    ntfs reader;
    InMemory(std::vector<std::uint8_t> bytes, std::string sizeText = "24 MB", std::int64_t startSector = 0)
        : source(std::move(bytes)),
          reader(ReaderContext{source, VolumeRecord{"NTFS", "", "0", sizeText, startSector}, state}) {}

    // Walks every entry (bounded) and returns the paths seen.
    std::set<std::string> walk(std::size_t limit = 200000) {
        std::set<std::string> paths;
        const auto root = reader.rootEntry();
        if (!root) return paths;
        std::vector<std::pair<EntryRef, std::string>> stack = {{*root, "ROOT"}};
        while (!stack.empty() && paths.size() < limit) {
            auto [folder, path] = stack.back();
            stack.pop_back();
            std::size_t steps = 0;
            for (auto c = reader.firstChild(folder); c && ++steps < limit; c = reader.nextSibling(*c)) {
                const RecoveredItem item = reader.describe(*c);
                const std::string p = path + "/" + item.name;
                if (!paths.insert(p).second) continue;
                if (reader.isSaveFolder(*c) && item.hasChildren) stack.emplace_back(*c, p);
            }
        }
        return paths;
    }
};

std::vector<std::uint8_t> fixtureBytes() { return test::readFileBytes(image()); }

TEST(NtfsFixture, ContractShowsTheStreamsKinds) {
    InMemory m(fixtureBytes());
    ASSERT_EQ(m.reader.scan(ScanMode::standard), ScanOutcome::done);
    EXPECT_EQ(m.reader.clusterBytes(), 4096u);
    EXPECT_EQ(m.reader.recordBytes(), 1024u);
    std::map<std::string, std::int64_t> byName;
    for (const auto& e : m.reader.entries()) byName.emplace(e.name, e.ownIndex);
    const auto many = m.reader.findDataStream(byName.at("many.bin"));
    ASSERT_TRUE(many);
    EXPECT_GT(many->runs.size(), 150u);  // the extents of two records put together
    EXPECT_EQ(many->runClusters, 420u);
    EXPECT_EQ(many->realSize, 420u * 4096u);
    EXPECT_FALSE(many->damaged);
    const auto text = m.reader.findDataStream(byName.at("text.txt"));
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->compressed);
    EXPECT_EQ(text->compressionUnit, 4);
    const auto sparse = m.reader.findDataStream(byName.at("sparse.bin"));
    ASSERT_TRUE(sparse);
    EXPECT_TRUE(std::any_of(sparse->runs.begin(), sparse->runs.end(), [](const MftRun& r) { return r.sparse; }));
    const auto tiny = m.reader.findDataStream(byName.at("tiny.txt"));
    ASSERT_TRUE(tiny);
    EXPECT_TRUE(tiny->resident);
    EXPECT_EQ(tiny->realSize, 28u);
}

std::vector<std::uint8_t> fixtureBytes(const std::string& name) { return test::readFileBytes(image(name)); }

TEST(NtfsFixture, DamagedBootSectorOrFirstRecordStillFindsTheMft) {
    struct Case {
        const char* what;
        const char* fixture;
        std::int64_t startSector;
        const char* sizeText;
        bool wipeBoot, wipeFirstRecord;
    };
    const Case cases[] = {
        {"boot sector wiped: swept for", "ntfs_basic", 0, "24 MB", true, false},
        {"boot sector wiped, 1 KiB clusters told by the $MFT run", "ntfs_part", 2048, "10 MB", true, false},
        {"first MFT record wiped: its mirror", "ntfs_basic", 0, "24 MB", false, true},
        {"first MFT record wiped in a partition", "ntfs_part", 2048, "10 MB", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InMemory whole(fixtureBytes(c.fixture), c.sizeText, c.startSector);
        ASSERT_EQ(whole.reader.scan(ScanMode::standard), ScanOutcome::done);
        const auto expected = whole.walk();
        ASSERT_GT(expected.size(), 20u);
        auto bytes = fixtureBytes(c.fixture);
        const std::size_t volumeStart = static_cast<std::size_t>(c.startSector) * 512;
        if (c.wipeBoot) std::fill_n(bytes.begin() + volumeStart, 512, 0);
        if (c.wipeFirstRecord) {
            const std::size_t mft = volumeStart + whole.reader.mftRunList().at(0).startCluster * whole.reader.clusterBytes();
            std::fill_n(bytes.begin() + mft, 1024, 0);
        }
        InMemory damaged(std::move(bytes), c.sizeText, c.startSector);
        EXPECT_EQ(damaged.reader.scan(ScanMode::standard), ScanOutcome::done);
        EXPECT_TRUE(damaged.reader.isMftLocated());
        EXPECT_EQ(damaged.reader.clusterBytes(), whole.reader.clusterBytes());
        EXPECT_EQ(damaged.walk(), expected);
    }
}

// $MFT's own record torn or garbled in place: its copy in $MFTMirr is read
// instead, and the scan says so. Where the record lies comes from the boot
// sector's bytes; the damage is what an interrupted or misplaced write leaves.
TEST(NtfsFixture, TornOrGarbledMftRecordIsReadFromTheMirror) {
    const auto original = fixtureBytes("ntfs_basic");
    const auto le = [&](std::size_t at, int width) {
        std::uint64_t v = 0;
        for (int k = width - 1; k >= 0; --k) v = (v << 8) | original.at(at + static_cast<std::size_t>(k));
        return v;
    };
    const std::uint64_t clusterBytes = le(0x0B, 2) * le(0x0D, 1);
    const auto perRecord = static_cast<std::int8_t>(le(0x40, 1));
    const std::size_t recordBytes = perRecord < 0 ? std::size_t{1} << -perRecord : perRecord * clusterBytes;
    const std::size_t mft = static_cast<std::size_t>(le(0x30, 8) * clusterBytes);
    ASSERT_EQ(recordBytes, 1024u);
    // The update sequence number each stride of a record ends in.
    const auto sequenceOf = [&](std::size_t record) { return le(record + le(record + 0x04, 2), 2); };
    ASSERT_NE(sequenceOf(mft), sequenceOf(mft + 2 * recordBytes));

    struct Case {
        const char* what;
        std::size_t from, to, length;  // bytes copied within the image, or
        std::uint64_t endOfSecondStride;  // the value written at the end of the record's second stride
    };
    const Case cases[] = {
        // Its second sector still holds the write before: an older sequence number.
        {"torn: its second sector from the write before", 0, 0, 0, sequenceOf(mft) - 1},
        // $LogFile's record (2) written over its first sector: a whole record's
        // header and attributes, but the strides no longer agree.
        {"garbled: its first sector from another record", mft + 2 * recordBytes, mft, 512, 0},
    };
    InMemory whole(fixtureBytes("ntfs_basic"));
    ASSERT_EQ(whole.reader.scan(ScanMode::standard), ScanOutcome::done);
    const auto expected = whole.walk();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = original;
        if (c.length) std::copy_n(original.begin() + c.from, c.length, bytes.begin() + c.to);
        if (c.endOfSecondStride) test::putLe(bytes, mft + 2 * 512 - 2, c.endOfSecondStride, 2);
        InMemory damaged(std::move(bytes));
        ASSERT_EQ(damaged.reader.scan(ScanMode::standard), ScanOutcome::done);
        EXPECT_EQ(damaged.walk(), expected);
        const auto& notes = damaged.reader.scanNotes();
        EXPECT_NE(std::find(notes.begin(), notes.end(),
                            "MFT record 0 could not be read whole or was damaged; its copy in $MFTMirr was used"),
                  notes.end());
        EXPECT_EQ(damaged.reader.scanWarnings(), std::vector<std::string>{});
    }
}

// The boot sector counts the volume in its own sectors: the same volume told
// in 4096-byte sectors must save the same bytes, not zeros past its first
// eighth.
TEST(NtfsFixture, VolumesCountedInLargerSectorsSaveTheSameBytes) {
    auto bytes = fixtureBytes("ntfs_basic");
    const auto le64At = [&](std::size_t at) {
        std::uint64_t v = 0;
        for (int k = 7; k >= 0; --k) v = (v << 8) | bytes[at + k];
        return v;
    };
    ASSERT_EQ(bytes[0x0B] | (bytes[0x0C] << 8), 512);
    ASSERT_EQ(bytes[0x0D] % 8, 0);
    test::putLe(bytes, 0x0B, 4096, 2);  // 4096 bytes per sector
    bytes[0x0D] /= 8;                   // the same cluster size
    test::putLe(bytes, 0x28, le64At(0x28) / 8, 8);
    test::ScratchDir dir;
    const fs::path relabelled = dir.path() / "ntfs-4k.img";
    {
        std::ofstream f(relabelled, std::ios::binary);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    const fs::path out = dir.path() / "out";
    fs::create_directory(out);
    const auto r = test::runVantor({"save", relabelled.string(), "--start-sector", "0", "--fs", "NTFS", "--out",
                                    out.string(), "--quiet"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    int compared = 0;
    for (const auto& e : manifest()["entries"]) {
        if (e["type"] != "file" || e.contains("hardLinkGroup") || e.value("deleted", false)) continue;
        const std::string path = shownPath(e["path"].get<std::string>());
        SCOPED_TRACE(path);
        const fs::path file = out / path.substr(5);
        ASSERT_TRUE(fs::exists(file));
        EXPECT_EQ(test::sha256File(file), e["sha256"].get<std::string>());
        ++compared;
    }
    EXPECT_GT(compared, 100);
}

TEST(NtfsFixture, AdvancedModeReadsFromTheChosenMftRecord) {
    InMemory whole(fixtureBytes());
    ASSERT_EQ(whole.reader.scan(ScanMode::standard), ScanOutcome::done);
    const auto expected = whole.walk();
    const std::uint64_t mftSector = whole.reader.mftRunList().at(0).startCluster * whole.reader.clusterBytes() / 512;

    MemoryReader source(fixtureBytes());
    AppState state;
    AdvancedPicks picks;
    picks.candidate = static_cast<std::int64_t>(mftSector);
    picks.sectorsPerCluster = 8;
    ntfs chosen(ReaderContext{source, VolumeRecord{"NTFS", "", "0", "24 MB", 0}, state, nullProgress(), silentMessages(), picks});
    EXPECT_EQ(chosen.scan(ScanMode::advanced), ScanOutcome::done);
    EXPECT_TRUE(chosen.isMftLocated());
    // Same walk as the standard scan.
    const auto root = chosen.rootEntry();
    ASSERT_TRUE(root);
    std::size_t count = 0;
    std::vector<EntryRef> stack = {*root};
    while (!stack.empty()) {
        const EntryRef f = stack.back();
        stack.pop_back();
        for (auto c = chosen.firstChild(f); c; c = chosen.nextSibling(*c)) {
            ++count;
            if (chosen.isSaveFolder(*c) && chosen.describe(*c).hasChildren) stack.push_back(*c);
        }
    }
    EXPECT_EQ(count, expected.size());
    EXPECT_EQ(chosen.scan(ScanMode::deep), ScanOutcome::unsupported);
}

// Asks the reader to stop once the parse has gone past its first records.
class StopPartWay final : public ProgressSink {
public:
    WorkerControl* control = nullptr;
    bool fired = false;
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t p) override {
        if (p >= 1024 && control && !fired) {
            control->stopRequested.request();
            fired = true;
        }
    }
    void setStatus(std::string_view) override {}
};

TEST(NtfsFixture, StopEndsTheParseWithAPartialTree) {
    InMemory whole(fixtureBytes());
    whole.reader.scan(ScanMode::standard);
    const auto all = whole.walk();

    MemoryReader source(fixtureBytes());
    AppState state;
    StopPartWay stopper;
    ntfs reader(ReaderContext{source, VolumeRecord{"NTFS", "", "0", "24 MB", 0}, state, stopper});
    stopper.control = &reader.control;
    EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    EXPECT_FALSE(reader.control.stopRequested.requested());  // taken by the phase it ended
    ASSERT_TRUE(reader.rootEntry());
    std::size_t shown = 0;
    std::vector<EntryRef> stack = {*reader.rootEntry()};
    while (!stack.empty()) {
        const EntryRef f = stack.back();
        stack.pop_back();
        for (auto c = reader.firstChild(f); c; c = reader.nextSibling(*c)) {
            ++shown;
            if (reader.isSaveFolder(*c) && reader.describe(*c).hasChildren) stack.push_back(*c);
        }
    }
    EXPECT_GT(shown, 10u);
    EXPECT_LT(shown, all.size());
}

// Random bytes over the MFT and the boot sector: whatever the reader makes of
// it, what it lists keeps the results contract, and any record's content is
// saved whole or not at all.
TEST(NtfsFixture, CorruptedCopiesKeepTheContract) {
    const auto original = fixtureBytes();
    // Every entry listed stands for a name in an MFT record: far more than 8
    // bytes of the volume each.
    test::ContractLimits limits;
    limits.maxEntries = original.size() / 8;
    InMemory clean(original);
    ASSERT_EQ(clean.reader.scan(ScanMode::standard), ScanOutcome::done);
    {
        SCOPED_TRACE("undamaged");
        test::ScratchDir scratch;
        const test::ContractTally whole = test::expectContractInvariants(clean.reader, scratch.path(), limits);
        EXPECT_GT(whole.entries, 100u);
        EXPECT_GT(whole.filesSaved, 0);
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> mft;  // byte ranges of the MFT
    for (const MftRun& r : clean.reader.mftRunList()) mft.emplace_back(r.startCluster * 4096, r.clusterCount * 4096);
    ASSERT_FALSE(mft.empty());
    int listed = 0;
    for (unsigned seed = 1; seed <= 8; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937_64 rng(seed);
        auto bytes = original;
        // Mostly the MFT, where the decoding happens; some anywhere, the boot sector included.
        for (int i = 0; i < 3000; ++i) {
            const auto& [start, length] = mft[rng() % mft.size()];
            const std::uint64_t at = (i % 10 == 0) ? rng() % bytes.size() : start + rng() % length;
            const int len = 1 + static_cast<int>(rng() % 8);
            for (int k = 0; k < len && at + k < bytes.size(); ++k) bytes[at + k] = static_cast<std::uint8_t>(rng());
        }
        if (seed % 4 == 0) std::fill(bytes.begin(), bytes.begin() + 64, 0xFF);
        InMemory m(std::move(bytes));
        m.reader.scan(ScanMode::standard);
        test::ScratchDir scratch;
        listed += test::expectContractInvariants(m.reader, scratch.path(), limits).entries > 1;

        // Records the tree does not reach are saved too (by their index):
        // each is written whole, as long as it says or as far as its runs
        // hold it (and then reported), or leaves no file.
        std::size_t saved = 0;
        for (std::size_t i = 0; i < m.reader.entries().size() && saved < 100; ++i) {
            const auto ref = static_cast<EntryRef>(i);
            if (!m.reader.isSaveFile(ref) || m.reader.describe(ref).size > (std::uint64_t{1} << 20)) continue;
            const fs::path file = scratch.path() / ("record-" + std::to_string(i));
            const SaveResult result = saveEntryToFile(m.reader, ref, file);
            if (result.written) {
                EXPECT_EQ(fs::file_size(file), result.bytes) << file;
                if (result.bytes < m.reader.describe(ref).size)
                    EXPECT_NE(result.problem.find("its size says"), std::string::npos) << file << ": " << result.problem;
            } else {
                EXPECT_FALSE(fs::exists(file)) << file << " was left behind: " << result.problem;
            }
            ++saved;
        }
    }
    // Damage that left nothing to list would check nothing.
    EXPECT_GT(listed, 0);
}

}  // namespace
}  // namespace vantor
