// The FAT readers through the results contract, on fixture images held in
// memory: the life cycle's outcomes, stop, folders sharing a cluster, a
// folder whose cluster was reused, and damaged copies of every fixture.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "device/FileReadSeek.h"
#include "device/reader_context.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"
#include "support/bytes_builder.h"
#include "support/contract_invariants.h"
#include "support/support.h"
#include "results/entry_save.h"

namespace vantor {
namespace {

class RecordingMessages final : public Messages {
public:
    void inform(std::string_view text) override { told.emplace_back(text); }
    bool ask(std::string_view) override { return true; }
    std::vector<std::string> told;
};

// A reader over bytes in memory, as the scan page would set it up.
struct Harness {
    explicit Harness(std::vector<std::uint8_t> bytes, const char* fileSystem, std::int64_t sizeMb)
        : source(std::move(bytes)),
          context{source, VolumeRecord{fileSystem, "", "0", std::to_string(sizeMb) + "  MB", 0}, state,
                  nullProgress(), messages, {}} {}
    MemoryReader source;
    AppState state;
    RecordingMessages messages;
    ReaderContext context;
};

std::vector<std::uint8_t> fixtureBytes(const char* name) { return test::readFileBytes(test::fixtureImage(name)); }

// Every entry below the root, depth first, at most `limit`.
void forEachEntry(const EntrySource& r, const std::function<void(EntryRef, const std::string&)>& visit,
                  std::size_t limit = 100000) {
    std::vector<std::pair<EntryRef, std::string>> stack;
    if (const auto root = r.rootEntry()) stack.emplace_back(*root, "ROOT");
    std::size_t seen = 0;
    while (!stack.empty() && seen < limit) {
        const auto [ref, path] = stack.back();
        stack.pop_back();
        for (auto c = r.firstChild(ref); c && seen < limit; c = r.nextSibling(*c), ++seen) {
            const std::string childPath = path + "/" + r.describe(*c).name;
            visit(*c, childPath);
            if (r.describe(*c).isFolder) stack.emplace_back(*c, childPath);
        }
    }
}

std::map<std::string, EntryRef> pathsOf(const EntrySource& r) {
    std::map<std::string, EntryRef> out;
    forEachEntry(r, [&](EntryRef ref, const std::string& path) { out[path] = ref; });
    return out;
}

TEST(FatReader, LifeCycleOutcomes) {
    {
        Harness h(fixtureBytes("fat16_basic.img"), "FAT16", 16);
        Fat16Class reader(h.context);
        EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
        const auto paths = pathsOf(reader);
        EXPECT_TRUE(paths.count("ROOT/docs/nested/deeper/data.bin"));
        EXPECT_EQ(reader.describe(*reader.rootEntry()).name, "ROOT");
        EXPECT_TRUE(reader.isSaveFolder(paths.at("ROOT/docs")));
        EXPECT_FALSE(reader.isSaveFile(paths.at("ROOT/docs")));
        EXPECT_TRUE(reader.isSaveFile(paths.at("ROOT/readme.txt")));
        EXPECT_EQ(reader.recycleLayout(), RecycleLayout::none);
        EXPECT_EQ(reader.scan(ScanMode::deep), ScanOutcome::unsupported);
    }
    {
        // A FAT16 volume is not FAT32: the user is told, nothing is listed.
        Harness h(fixtureBytes("fat16_basic.img"), "FAT32", 16);
        Fat32Class reader(h.context);
        EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::wrongKind);
        ASSERT_EQ(h.messages.told.size(), 1u);
        EXPECT_EQ(h.messages.told[0], "Selected Drive is not in Fat32 Format");
    }
    {
        // The advanced mode needs a cluster size.
        Harness h(fixtureBytes("fat32_basic.img"), "FAT32", 64);
        Fat32Class reader(h.context);
        EXPECT_EQ(reader.scan(ScanMode::advanced), ScanOutcome::failed);
        EXPECT_EQ(reader.recycleLayout(), RecycleLayout::flat);
    }
}

class RecordingProgress final : public ProgressSink {
public:
    void setRange(std::int64_t, std::int64_t) override {}
    void setPosition(std::int64_t) override {}
    void setStatus(std::string_view text) override { statuses.emplace_back(text); }
    std::vector<std::string> statuses;
};

TEST(FatReader, StatusTextsOfEachLifeCycle) {
    struct Case { const char* image; const char* fs; std::int64_t mb; ScanMode mode; std::vector<std::string> steps; };
    const Case cases[] = {
        {"fat16_basic.img", "FAT16", 16, ScanMode::standard,
         {"Finding Fat16 File And Directory entries recursively....", "maintaining tree Structure in vector...",
          "Creating Tree Structure....", "Tree Structure Created."}},
        {"fat32_basic.img", "FAT32", 64, ScanMode::standard,
         {"Finding Fat32 File And Directory entries recursively....", "maintaining tree Structure in vector...",
          "Creating Tree Structure....", "Tree Structure Created."}},
        {"fat32_formatted.img", "FAT32", 64, ScanMode::advanced,
         {"found file or directory =  ", "Maintaining directory Structure in AdvanceScanning",
          "Maintaining TreeStructure for Tree Control"}},
        {"fat16_noboot.img", "FAT16", 16, ScanMode::advanced,
         {"currently at sector 0 of 32768", "Maintaining directory Structure in AdvanceScanning",
          "Maintaining Tree Structure for Tree Control"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        Harness h(fixtureBytes(c.image), c.fs, c.mb);
        RecordingProgress progress;
        ReaderContext context{h.source, h.context.volume, h.state, progress, h.messages, {}};
        context.picks.candidate = std::string(c.fs) == "FAT32" ? 32 : 4;
        context.picks.sectorsPerCluster = std::string(c.fs) == "FAT32" ? 1 : 4;
        std::unique_ptr<fat::FatVolume> reader;
        if (std::string(c.fs) == "FAT16") reader = std::make_unique<Fat16Class>(context);
        else reader = std::make_unique<Fat32Class>(context);
        ASSERT_EQ(reader->scan(c.mode), ScanOutcome::done);
        // Each step's text, in order (texts with a count are matched by their start).
        std::size_t at = 0;
        for (const std::string& status : progress.statuses)
            if (at < c.steps.size() && status.rfind(c.steps[at], 0) == 0) ++at;
        EXPECT_EQ(at, c.steps.size());
    }
}

TEST(FatReader, StopEndsTheWalkAndTheLaterStepsStillRun) {
    Harness h(fixtureBytes("fat32_basic.img"), "FAT32", 64);
    Fat32Class reader(h.context);
    reader.control.stopRequested.request();
    EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    EXPECT_FALSE(reader.control.stopRequested.requested());  // taken by the walk
    // The walk ended at once: only the root placeholder, linked and answerable.
    EXPECT_TRUE(reader.rootEntry());
    EXPECT_LT(reader.entries().size(), 10u);
    // A new scan runs in full.
    EXPECT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    EXPECT_GT(reader.entries().size(), 300u);
}

// Offset in the image of an entry's short slot, found by a first scan.
std::uint64_t slotOf(fat::FatVolume& reader, const std::string& path) {
    const auto paths = pathsOf(reader);
    return reader.entries().at(paths.at(path)).position;
}

TEST(FatReader, TwoFolderEntriesSharingAClusterGiveOneFolder) {
    auto bytes = fixtureBytes("fat16_basic.img");
    std::uint64_t manySlot = 0;
    std::uint32_t docsCluster = 0;
    {
        Harness h(bytes, "FAT16", 16);
        Fat16Class reader(h.context);
        ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
        manySlot = slotOf(reader, "ROOT/many");
        docsCluster = reader.entries().at(pathsOf(reader).at("ROOT/docs")).firstCluster;
    }
    test::putLe(bytes, manySlot + 0x1A, docsCluster, 2);
    Harness h(bytes, "FAT16", 16);
    Fat16Class reader(h.context);
    ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    int reports = 0, folders = 0;
    forEachEntry(reader, [&](EntryRef ref, const std::string& path) {
        reports += path.size() > 16 && path.substr(path.size() - 16) == "/report 2021.txt";
        const auto& e = reader.entries().at(ref);
        folders += e.folder && e.firstCluster == docsCluster;
    });
    // The folder's content appears once, under the one entry that names it
    // (the later name: "many").
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(folders, 1);
    EXPECT_TRUE(pathsOf(reader).count("ROOT/many/report 2021.txt"));
}

TEST(FatReader, AFolderWhoseClusterWasReusedShowsNoChildren) {
    auto bytes = fixtureBytes("fat32_basic.img");
    std::uint64_t docsData = 0;
    {
        Harness h(bytes, "FAT32", 64);
        Fat32Class reader(h.context);
        ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
        const auto& docs = reader.entries().at(pathsOf(reader).at("ROOT/docs"));
        docsData = reader.dataStart() + (docs.firstCluster - 2) * reader.clusterBytes();
    }
    bytes[docsData] = 'X';  // the "." slot is gone: file data now
    Harness h(bytes, "FAT32", 64);
    Fat32Class reader(h.context);
    ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    const auto paths = pathsOf(reader);
    ASSERT_TRUE(paths.count("ROOT/docs"));
    EXPECT_FALSE(reader.firstChild(paths.at("ROOT/docs")));
    EXPECT_FALSE(reader.describe(paths.at("ROOT/docs")).hasChildren);
}

TEST(FatReader, ALiveFileWhoseChainEndsEarlyIsSavedDamaged) {
    auto bytes = fixtureBytes("fat16_basic.img");
    std::uint32_t cluster = 0;
    std::uint64_t fatStart = 0;
    {
        Harness h(bytes, "FAT16", 16);
        Fat16Class reader(h.context);
        ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
        cluster = reader.entries().at(pathsOf(reader).at("ROOT/docs/nested/deeper/data.bin")).firstCluster;
        fatStart = reader.bootGeometry()->fatStart;
    }
    // The file's first FAT entry now says "end of chain": 9000 bytes, one cluster known.
    test::putLe(bytes, fatStart + 2 * cluster, 0xFFFF, 2);
    Harness h(bytes, "FAT16", 16);
    Fat16Class reader(h.context);
    ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    test::ScratchDir out;
    const auto result = saveEntryToFile(reader, pathsOf(reader).at("ROOT/docs/nested/deeper/data.bin"), out.path() / "data.bin");
    EXPECT_TRUE(result.written);
    EXPECT_TRUE(result.damaged);
    // Saved as far as the chain holds it (one cluster of 2048 bytes), not
    // padded with zeros nobody can vouch for; the report gives both sizes.
    EXPECT_NE(result.problem.find("the cluster chain ends early: its size says 9000 bytes, 2048 were saved"),
              std::string::npos)
        << result.problem;
    EXPECT_EQ(std::filesystem::file_size(out.path() / "data.bin"), 2048u);
}

// A FAT32 root need not start at cluster 2 nor lie in a row: it is read
// from the boot sector's root cluster along its chain.
TEST(FatReader, TheRootIsReadFromTheBootSectorsClusterAlongItsChain) {
    auto bytes = fixtureBytes("fat32_basic.img");
    std::vector<std::uint32_t> chain;
    std::uint64_t dataStart = 0, clusterBytes = 0, fatStart = 0, fatBytes = 0;
    std::size_t before = 0;
    {
        Harness h(bytes, "FAT32", 64);
        Fat32Class reader(h.context);
        ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
        before = pathsOf(reader).size();
        const auto& g = *reader.bootGeometry();
        dataStart = g.dataStart, clusterBytes = g.clusterBytes, fatStart = g.fatStart, fatBytes = g.fatBytes;
        auto le32at = [&](std::uint64_t at) {
            return std::uint32_t{bytes[at]} | std::uint32_t{bytes[at + 1]} << 8 | std::uint32_t{bytes[at + 2]} << 16 |
                   std::uint32_t{bytes[at + 3]} << 24;
        };
        for (std::uint32_t c = g.rootCluster; c >= 2 && c < 0x0FFFFFF8 && chain.size() < 64;
             c = le32at(fatStart + 4ull * c) & 0x0FFFFFFF)
            chain.push_back(c);
    }
    ASSERT_GE(chain.size(), 2u);  // the fixture's root spans several clusters
    // Move the root to free clusters near the end, last piece first, and
    // wipe where it was: reading cluster 2 in a row would find nothing.
    const std::uint32_t base = 120000;
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::uint32_t to = base - static_cast<std::uint32_t>(2 * i);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(dataStart + (chain[i] - 2) * clusterBytes), clusterBytes,
                    bytes.begin() + static_cast<std::ptrdiff_t>(dataStart + (to - 2) * clusterBytes));
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(dataStart + (chain[i] - 2) * clusterBytes), clusterBytes, 0);
        for (std::uint64_t copy = 0; copy < 2; ++copy) {
            test::putLe(bytes, fatStart + copy * fatBytes + 4ull * chain[i], 0, 4);
            test::putLe(bytes, fatStart + copy * fatBytes + 4ull * to, i + 1 < chain.size() ? to - 2 : 0x0FFFFFFF, 4);
        }
    }
    test::putLe(bytes, 0x2C, base, 4);
    Harness h(bytes, "FAT32", 64);
    Fat32Class reader(h.context);
    ASSERT_EQ(reader.scan(ScanMode::standard), ScanOutcome::done);
    const auto paths = pathsOf(reader);
    EXPECT_EQ(paths.size(), before);
    EXPECT_TRUE(paths.count("ROOT/oldfolder/kept_inside_2.txt"));  // in the root's last cluster
}

// Advanced mode on the reformatted fixture: a folder reached before its own
// entry stands in under the orphans until the entry turns up, which then
// gives it its name.
TEST(FatReader, AFolderFoundBeforeItsEntryTakesTheEntrysName) {
    auto bytes = fixtureBytes("fat32_formatted.img");
    auto advanced = [](Harness& h) {
        h.context.picks.candidate = 32;
        h.context.picks.sectorsPerCluster = 1;
    };
    std::uint64_t olddirData = 0;
    {
        Harness h(bytes, "FAT32", 64);
        advanced(h);
        Fat32Class reader(h.context);
        ASSERT_EQ(reader.scan(ScanMode::advanced), ScanOutcome::done);
        for (const auto& [path, ref] : pathsOf(reader)) {
            if (path.size() > 10 && path.substr(path.size() - 10) == "/alpha.txt") {
                const auto& folder = reader.entries().at(reader.entries().at(ref).parent);
                olddirData = reader.dataStart() + (folder.firstCluster - 2) * reader.clusterBytes();
            }
        }
    }
    ASSERT_NE(olddirData, 0u);
    // The lost folder's "." slot is damaged: its cluster no longer reads as a
    // folder, so "sub" is met first on its own and its entry only later.
    bytes[olddirData] = 'X';
    Harness h(bytes, "FAT32", 64);
    advanced(h);
    Fat32Class reader(h.context);
    ASSERT_EQ(reader.scan(ScanMode::advanced), ScanOutcome::done);
    const auto paths = pathsOf(reader);
    EXPECT_TRUE(paths.count("ROOT/ORPHAN ENTRY/sub/gamma.txt"));
    EXPECT_TRUE(paths.count("ROOT/ORPHAN ENTRY/alpha.txt"));
    // Once: the stand-in became "sub" and left no copy behind.
    int gammas = 0;
    for (const auto& [path, ref] : paths) gammas += path.find("gamma.txt") != std::string::npos;
    EXPECT_EQ(gammas, 1);
}

// Random bytes written over the metadata of every fixture: whatever the
// readers make of it, what they list keeps the results contract.
TEST(FatReader, DamagedCopiesOfTheFixturesKeepTheContract) {
    struct Case { const char* image; const char* fs; std::int64_t mb; std::int64_t fatSector; std::uint32_t spc; };
    const Case cases[] = {
        {"fat16_basic.img", "FAT16", 16, 4, 4},
        {"fat32_basic.img", "FAT32", 64, 32, 1},
        {"fat32_formatted.img", "FAT32", 64, 32, 1},
        {"fat16_noboot.img", "FAT16", 16, 4, 4},
    };
    std::mt19937 random(20240517);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.image);
        const auto original = fixtureBytes(c.image);
        // Every entry listed stands for a 32-byte directory slot.
        test::ContractLimits limits;
        limits.maxEntries = original.size() / 32 + 2;  // and the root and orphan nodes
        int listed = 0;
        for (int round = 0; round < 8; ++round) {
            SCOPED_TRACE(round);
            auto bytes = original;
            // Most damage lands where the structures are: the first 2 MiB.
            const std::size_t span = std::min<std::size_t>(bytes.size(), 2u << 20);
            const int hits = 20 + static_cast<int>(random() % 400);
            for (int i = 0; i < hits; ++i) bytes[random() % span] = static_cast<std::uint8_t>(random());
            for (ScanMode mode : {ScanMode::standard, ScanMode::advanced}) {
                SCOPED_TRACE(mode == ScanMode::standard ? "standard" : "advanced");
                Harness h(bytes, c.fs, c.mb);
                h.context.picks.candidate = c.fatSector;
                h.context.picks.sectorsPerCluster = c.spc;
                h.state.isDriveFormatted = round % 3 == 0;
                std::unique_ptr<fat::FatVolume> reader;
                if (std::string(c.fs) == "FAT16") reader = std::make_unique<Fat16Class>(h.context);
                else reader = std::make_unique<Fat32Class>(h.context);
                reader->scan(mode);
                test::ScratchDir scratch;
                listed += test::expectContractInvariants(*reader, scratch.path(), limits).entries > 1;
            }
        }
        // Damage that left nothing to list would check nothing.
        EXPECT_GT(listed, 0);
    }
}

}  // namespace
}  // namespace vantor
