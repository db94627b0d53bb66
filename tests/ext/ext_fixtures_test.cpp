// End-to-end: every ext fixture is listed and saved, and what comes out is
// compared with the manifest its recipe wrote from the staging tree, and
// with The Sleuth Kit's listing where that is installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/FileReadSeek.h"
#include "fs/ext/ext2Class.h"
#include "support/support.h"
#include "results/entry_save.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;
using test::fixtureImage;
using test::fixtureSource;

struct Fixture {
    const char* name;
    std::int64_t startSector;
    std::vector<std::string> volumeArgs;
    // fls reads the descriptors of the first meta group only, so on a
    // meta_bg volume it loses the inodes of later groups; the manifest
    // (checked above) is the reference there.
    bool flsReadsIt = true;
};

const Fixture kFixtures[] = {
    {"ext2_1k", 0, {}},
    {"ext3_journal", 0, {}},
    {"ext4_default", 0, {}},
    {"ext4_partitioned", 2048, {"--volume", "0"}},
    {"ext4_metabg", 0, {}, false},
    {"ext4_16k", 0, {}},
    {"ext4_64k", 0, {}},
};

fs::path imageOf(const Fixture& f) { return fixtureImage(std::string(f.name) + ".img"); }
nlohmann::json manifestOf(const Fixture& f) {
    return test::readJsonFile(fixtureSource(std::string(f.name) + ".manifest.json"));
}

// A reader scanned over one fixture, with everything it refers to kept alive.
struct Scanned {
    FileReadSeek source;
    AppState state;
    std::unique_ptr<ext2Class> reader;
    ScanOutcome outcome = ScanOutcome::failed;
};

std::unique_ptr<Scanned> scanFixture(const Fixture& f) {
    auto s = std::make_unique<Scanned>();
    if (!s->source.open(imageOf(f).string())) return s;
    VolumeRecord volume{"extX", "", "0", "0", f.startSector};
    s->reader = std::make_unique<ext2Class>(ReaderContext{s->source, volume, s->state});
    s->outcome = s->reader->scan(ScanMode::standard);
    return s;
}

// Every entry under the root by its "ROOT/..." path; the walk is bounded in
// depth and count so a looping tree fails the test instead of hanging it.
std::map<std::string, EntryRef> listTree(const EntrySource& source) {
    std::map<std::string, EntryRef> paths;
    std::size_t budget = 100000;
    const std::function<void(EntryRef, const std::string&, int)> walk = [&](EntryRef folder, const std::string& at,
                                                                             int depth) {
        if (depth > 64) return;
        for (auto child = source.firstChild(folder); child && budget > 0; child = source.nextSibling(*child)) {
            --budget;
            const std::string path = at + "/" + source.describe(*child).name;
            paths[path] = *child;
            walk(*child, path, depth + 1);
        }
    };
    if (const auto root = source.rootEntry()) walk(*root, "ROOT", 0);
    return paths;
}

std::int64_t mtimeOf(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return -1;
    return st.st_mtim.tv_sec;
}

// Compares the saved tree below `out` with the manifest's files.
void expectSavedAsManifest(const fs::path& out, const nlohmann::json& manifest) {
    for (const auto& e : manifest["entries"]) {
        const std::string path = e["path"];
        SCOPED_TRACE(path);
        const fs::path saved = out / path.substr(5);  // drop "ROOT/"
        if (e["deleted"].get<bool>()) {
            // Names come only from live directory entries.
            EXPECT_FALSE(fs::exists(saved));
            continue;
        }
        if (e["type"] == "folder") {
            EXPECT_TRUE(fs::is_directory(saved));
            continue;
        }
        ASSERT_TRUE(fs::is_regular_file(saved));
        EXPECT_EQ(fs::file_size(saved), e["size"].get<std::uint64_t>());
        EXPECT_EQ(test::sha256File(saved), e["sha256"].get<std::string>());
        EXPECT_EQ(mtimeOf(saved), e["mtime"].get<std::int64_t>());
    }
}

// The live entries' paths.
std::set<std::string> manifestPaths(const nlohmann::json& manifest) {
    std::set<std::string> paths;
    for (const auto& e : manifest["entries"]) {
        if (!e["deleted"].get<bool>()) paths.insert(e["path"].get<std::string>());
    }
    return paths;
}

TEST(ExtFixtures, ContractListsAndSavesEveryEntryOfTheManifest) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const auto scanned = scanFixture(f);
        ASSERT_TRUE(scanned->reader);
        ASSERT_EQ(scanned->outcome, ScanOutcome::done);
        ext2Class& reader = *scanned->reader;
        const auto manifest = manifestOf(f);
        const auto listed = listTree(reader);

        std::set<std::string> listedPaths;
        for (const auto& [path, ref] : listed) listedPaths.insert(path);
        EXPECT_EQ(listedPaths, manifestPaths(manifest));

        test::ScratchDir scratch;
        for (const auto& e : manifest["entries"]) {
            const std::string path = e["path"];
            SCOPED_TRACE(path);
            const auto it = listed.find(path);
            if (it == listed.end()) continue;  // reported by the set comparison (deleted ones too)
            const RecoveredItem item = reader.describe(it->second);
            EXPECT_EQ(item.isFolder, e["type"] == "folder");
            EXPECT_FALSE(item.isDeleted);
            if (item.isFolder) {
                EXPECT_TRUE(reader.isSaveFolder(it->second));
                continue;
            }
            EXPECT_EQ(item.size, e["size"].get<std::uint64_t>());
            ASSERT_TRUE(item.modification.has_value());
            EXPECT_EQ(item.modification->seconds, e["mtime"].get<std::int64_t>());
            ASSERT_TRUE(reader.isSaveFile(it->second));
            const fs::path saved = scratch.path() / "file";
            fs::remove(saved);  // a save never writes over a file
            const SaveResult r = saveEntryToFile(reader, it->second, saved);
            EXPECT_TRUE(r.written) << r.problem;
            EXPECT_FALSE(r.damaged) << r.problem;
            EXPECT_EQ(r.bytes, e["size"].get<std::uint64_t>());
            EXPECT_EQ(test::sha256File(saved), e["sha256"].get<std::string>());
            EXPECT_EQ(mtimeOf(saved), e["mtime"].get<std::int64_t>());
        }
    }
}

TEST(ExtFixtures, ListingReadsNothingMoreFromTheVolume) {
    // The listing is served from what the scan kept: describing every entry
    // reads nothing more from the volume.
    const auto scanned = scanFixture(kFixtures[2]);
    ASSERT_EQ(scanned->outcome, ScanOutcome::done);
    const std::uint32_t before = scanned->reader->singleInodeReads();
    const auto listed = listTree(*scanned->reader);
    ASSERT_GT(listed.size(), 3000u);
    for (const auto& [path, ref] : listed) scanned->reader->describe(ref);
    EXPECT_EQ(scanned->reader->singleInodeReads(), before);
    // A save reads its one inode again, and only that.
    test::ScratchDir scratch;
    saveEntryToFile(*scanned->reader, listed.at("ROOT/docs/report.txt"), scratch.path() / "report.txt");
    EXPECT_EQ(scanned->reader->singleInodeReads(), before + 1);
}

TEST(ExtFixtures, VantorSaveWritesEveryFileWithItsBytesAndTime) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const fs::path image = imageOf(f);
        test::SourceGuard guard(image);
        test::ScratchDir out;
        std::vector<std::string> args{"save", image.string()};
        args.insert(args.end(), f.volumeArgs.begin(), f.volumeArgs.end());
        args.insert(args.end(), {"--out", out.path().string(), "--quiet"});
        const auto run = test::runVantor(args);
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        expectSavedAsManifest(out.path(), manifestOf(f));
        EXPECT_TRUE(guard.unchanged());
    }
}

TEST(ExtFixtures, SampleDiskExtVolumeIsRecovered) {
    // The README's first job: the bundled sample disk's ext4 partition,
    // chosen by its row of the volume list.
    const fs::path image = fixtureImage("sample-disk.img");
    test::SourceGuard guard(image);
    test::ScratchDir out;
    const auto run = test::runVantor({"save", image.string(), "--volume", "0", "--out", out.path().string(), "--quiet"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto manifest = test::readJsonFile(fixtureSource("sample-disk.manifest.json"));
    int files = 0;
    for (const auto& e : manifest["files"]) {
        if (e["volume"] != 0 || e["deleted"].get<bool>() || e["type"] != "file") continue;
        const std::string path = e["path"];
        SCOPED_TRACE(path);
        const fs::path saved = out.path() / path.substr(5);
        ASSERT_TRUE(fs::is_regular_file(saved));
        EXPECT_EQ(test::sha256File(saved), e["sha256"].get<std::string>());
        EXPECT_EQ(mtimeOf(saved), e["mtime"].get<std::int64_t>());
        ++files;
    }
    EXPECT_GT(files, 0);
    EXPECT_TRUE(guard.unchanged());
}

// The 3000 bytes the recipes' sparse() writes for a tag.
std::string sparseChunk(const std::string& tag) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%s %06d\n", tag.c_str(), i);
        text += line;
    }
    return text.substr(0, 3000);
}

std::string bytesAt(const fs::path& file, std::uint64_t offset, std::size_t length) {
    std::string out(length, '\0');
    FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) return {};
    if (::fseeko(f, static_cast<off_t>(offset), SEEK_SET) != 0) out.clear();
    else out.resize(std::fread(out.data(), 1, length, f));
    std::fclose(f);
    return out;
}

TEST(ExtFixtures, FileOverFourGiBKeepsItsDataAtItsOffsetsAndItsHolesAsHoles) {
    const Fixture f{"ext4_large", 0, {}};
    const auto scanned = scanFixture(f);
    ASSERT_EQ(scanned->outcome, ScanOutcome::done);
    const auto listed = listTree(*scanned->reader);
    ASSERT_EQ(listed.count("ROOT/huge.bin"), 1u);
    const EntryRef huge = listed.at("ROOT/huge.bin");
    const std::uint64_t size = 5000003000;
    EXPECT_EQ(scanned->reader->describe(huge).size, size);

    test::ScratchDir scratch;
    const fs::path saved = scratch.path() / "huge.bin";
    const SaveResult r = saveEntryToFile(*scanned->reader, huge, saved);
    ASSERT_TRUE(r.written) << r.problem;
    EXPECT_FALSE(r.damaged) << r.problem;
    EXPECT_EQ(fs::file_size(saved), size);
    const std::pair<std::uint64_t, const char*> chunks[] = {{0, "start"}, {4296015872, "past4g"}, {5000000000, "end"}};
    for (const auto& [offset, tag] : chunks) {
        SCOPED_TRACE(tag);
        EXPECT_EQ(bytesAt(saved, offset, 3000), sparseChunk(tag));
    }
    EXPECT_EQ(bytesAt(saved, 4294967296, 16), std::string(16, '\0'));
    struct stat st {};
    ASSERT_EQ(::stat(saved.c_str(), &st), 0);
    EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, std::uint64_t{16} << 20);  // holes stayed holes
    EXPECT_EQ(mtimeOf(saved), manifestOf(f)["entries"][0]["mtime"].get<std::int64_t>());
}

nlohmann::json lsJson(const Fixture& f) {
    std::vector<std::string> args{"ls", imageOf(f).string()};
    args.insert(args.end(), f.volumeArgs.begin(), f.volumeArgs.end());
    args.insert(args.end(), {"-r", "--json", "--quiet"});
    const auto run = test::runVantor(args);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    return nlohmann::json::parse(run.out, nullptr, false);
}

TEST(ExtFixtures, VantorLsListsTheManifestTree) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const auto listing = lsJson(f);
        ASSERT_TRUE(listing.contains("entries"));
        std::set<std::string> paths;
        for (const auto& e : listing["entries"]) {
            paths.insert(e["path"].get<std::string>());
            EXPECT_FALSE(e["deleted"].get<bool>());
            EXPECT_FALSE(e["orphan"].get<bool>());
        }
        EXPECT_EQ(paths, manifestPaths(manifestOf(f)));
    }
}

TEST(ExtFixtures, VantorSearchFindsNamesInAnIndexedDirectory) {
    const Fixture& f = kFixtures[2];
    const auto run = test::runVantor({"search", imageOf(f).string(), "^entry-004[0-9]\\.txt$", "--json", "--quiet"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    const auto found = nlohmann::json::parse(run.out, nullptr, false);
    std::set<std::string> paths;
    const auto& list = found.is_array() ? found : found["entries"];
    for (const auto& e : list) paths.insert(e["path"].get<std::string>());
    std::set<std::string> expected;
    for (int i = 40; i < 50; ++i) expected.insert("ROOT/big/entry-00" + std::to_string(i) + ".txt");
    EXPECT_EQ(paths, expected);
}

// The live files and folders that fls reports, as "d ROOT/..." / "r ROOT/...".
std::set<std::string> flsTree(const Fixture& f) { return test::flsLiveTree(imageOf(f), f.startSector); }

TEST(ExtFixtures, LiveTreeAgreesWithTheSleuthKit) {
    if (!test::onPath("fls")) GTEST_SKIP() << "The Sleuth Kit (fls) is not installed";
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        if (!f.flsReadsIt) continue;
        const auto listing = lsJson(f);
        std::set<std::string> ours;
        for (const auto& e : listing["entries"]) {
            ours.insert(std::string(e["folder"].get<bool>() ? "d " : "r ") + e["path"].get<std::string>());
        }
        EXPECT_EQ(ours, flsTree(f));
    }
}

}  // namespace
}  // namespace vantor
