// Bad sectors on a real block device: a loop device over a FUSE file that
// fails chosen sectors with EIO (root only; skipped elsewhere). A bad sector
// inside a file costs exactly that sector of that file, written as zeros and
// reported; every other file is saved byte-exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <iterator>
#include <set>
#include <filesystem>
#include <string>
#include <vector>

#include "support/faulty_device.h"
#include "support/support.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesBelow(const fs::path& top) {
    std::vector<fs::path> files;
    for (const std::string& rel : test::pathsBelow(top))
        if (rel.back() != '/') files.emplace_back(rel);
    std::sort(files.begin(), files.end());
    return files;
}

TEST(BadSectorDevice, ABadSectorInAFileCostsThatSectorOnly) {
    for (const char* fixture : {"ext4_default", "ntfs_basic", "fat32_basic"}) {
        SCOPED_TRACE(fixture);
        const fs::path image = test::fixtureImage(std::string(fixture) + ".img");
        test::ScratchDir scratch;
        const fs::path ref = scratch.path() / "ref", got = scratch.path() / "got";
        const auto clean = test::runVantor({"save", image.string(), "--out", ref.string(), "--quiet"});
        ASSERT_EQ(clean.exitStatus, 0) << clean.err;

        // A sector in the middle of a large file, found in the image by its
        // bytes: the largest file whose middle sector is unique there.
        auto files = filesBelow(ref);
        ASSERT_FALSE(files.empty());
        auto bySize = files;
        std::sort(bySize.begin(), bySize.end(),
                  [&](const fs::path& a, const fs::path& b) { return fs::file_size(ref / a) > fs::file_size(ref / b); });
        const auto bytes = test::readFileBytes(image);
        fs::path victim;
        std::vector<std::uint8_t> content;
        std::size_t at = 0;
        std::uint64_t offset = 0;
        for (const fs::path& f : bySize) {
            content = test::readFileBytes(ref / f);
            if (content.size() < 4096) break;
            at = content.size() / 2 / 512 * 512;
            const std::vector<std::uint8_t> sector(content.begin() + at, content.begin() + at + 512);
            if (std::all_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b == 0; })) continue;
            const auto hit = std::search(bytes.begin(), bytes.end(), sector.begin(), sector.end());
            if (hit == bytes.end() || std::search(hit + 1, bytes.end(), sector.begin(), sector.end()) != bytes.end())
                continue;
            offset = static_cast<std::uint64_t>(hit - bytes.begin());
            victim = f;
            break;
        }
        ASSERT_FALSE(victim.empty()) << "no file with a sector of its own";
        ASSERT_EQ(offset % 512, 0u);

        test::FaultyDevice device(image, {{offset / 512, offset / 512}});
        if (!device.available()) GTEST_SKIP() << device.why();
        test::SourceGuard guard(image);
        const auto damaged = test::runVantor({"save", device.device(), "--out", got.string(), "--quiet"});
        EXPECT_EQ(damaged.exitStatus, 1) << damaged.err;
        const std::string range = "unreadable: bytes " + std::to_string(at) + "-" + std::to_string(at + 511) +
                                  ", written as zeros";
        EXPECT_NE(damaged.err.find(range), std::string::npos) << damaged.err;
        EXPECT_NE(damaged.err.find(victim.filename().string()), std::string::npos) << damaged.err;

        EXPECT_EQ(filesBelow(got), files);
        for (const fs::path& f : files) {
            if (f == victim) {
                auto expected = content;
                std::fill(expected.begin() + static_cast<std::ptrdiff_t>(at),
                          expected.begin() + static_cast<std::ptrdiff_t>(at + 512), 0);
                EXPECT_EQ(test::readFileBytes(got / f), expected) << f;
            } else {
                EXPECT_EQ(test::sha256File(got / f), test::sha256File(ref / f)) << f;
            }
        }
        EXPECT_TRUE(guard.unchanged());
    }
}

// The first block of group 0's inode table, as The Sleuth Kit's fsstat reports it.
std::optional<std::uint64_t> firstInodeTableBlock(const fs::path& image) {
    const std::string command = "fsstat '" + image.string() + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    char line[512];
    std::optional<std::uint64_t> block;
    bool groupZero = false;
    while (std::fgets(line, sizeof line, pipe)) {
        const std::string text(line);
        if (text.rfind("Group: 0:", 0) == 0) groupZero = true;
        else if (text.rfind("Group: ", 0) == 0) groupZero = false;
        const auto at = text.find("Inode Table: ");
        if (groupZero && !block && at != std::string::npos) block = std::stoull(text.substr(at + 13));
    }
    ::pclose(pipe);
    return block;
}

// A bad sector in an inode table costs the inodes it held and nothing else:
// their names still show, with a warning, and the scan says it met
// unreadable sectors.
TEST(BadSectorDevice, ABadSectorInAnInodeTableCostsItsInodesOnly) {
    const fs::path image = test::fixtureImage("ext4_default.img");
    const auto tableBlock = firstInodeTableBlock(image);
    if (!tableBlock) GTEST_SKIP() << "fsstat (The Sleuth Kit) is not installed";
    const auto clean = test::runVantor({"ls", image.string(), "-r", "--json", "--quiet"});
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    const auto listed = nlohmann::json::parse(clean.out)["entries"];
    // A file of the "fill" folder: its inode and the one sharing its sector are lost.
    std::uint64_t victim = 0;
    for (const auto& e : listed)
        if (!e["folder"].get<bool>() && e["path"].get<std::string>().rfind("ROOT/fill/f0100", 0) == 0)
            victim = e["id"].get<std::uint64_t>();
    ASSERT_NE(victim, 0u);
    constexpr std::uint64_t kInodeSize = 256, kBlockSize = 4096;
    const std::uint64_t sector = (*tableBlock * kBlockSize + (victim - 1) * kInodeSize) / 512;
    const std::uint64_t firstLost = sector * 512 / kInodeSize - *tableBlock * kBlockSize / kInodeSize + 1;
    std::set<std::string> expected, warned;
    std::vector<std::string> lostFolders;
    for (const auto& e : listed) {
        const auto id = e["id"].get<std::uint64_t>();
        const std::string path = e["path"].get<std::string>();
        expected.insert(path);
        if (id < firstLost || id >= firstLost + 512 / kInodeSize) continue;
        warned.insert(path);
        if (e["folder"].get<bool>()) lostFolders.push_back(path + "/");
    }
    // A folder whose inode is lost cannot be walked.
    for (const std::string& folder : lostFolders)
        std::erase_if(expected, [&](const std::string& p) { return p.rfind(folder, 0) == 0; });
    ASSERT_TRUE(warned.count("ROOT/fill/f0100"));

    test::FaultyDevice device(image, {{sector, sector}});
    if (!device.available()) GTEST_SKIP() << device.why();
    const auto damaged = test::runVantor({"ls", device.device(), "-r", "--json", "--quiet"});
    ASSERT_EQ(damaged.exitStatus, 0) << damaged.err;
    EXPECT_NE(damaged.err.find("warning: unreadable sectors in the inode tables"), std::string::npos) << damaged.err;
    const auto after = nlohmann::json::parse(damaged.out);
    std::set<std::string> got, gotWarned;
    for (const auto& e : after["entries"]) {
        got.insert(e["path"].get<std::string>());
        for (const auto& w : e["warnings"])
            if (w.get<std::string>() == "its inode could not be read") gotWarned.insert(e["path"].get<std::string>());
    }
    EXPECT_EQ(gotWarned, warned);
    // A save from the damaged volume does not claim that every file was saved.
    test::ScratchDir out;
    const auto saved = test::runVantor({"save", device.device(), "--out", out.path().string(), "--quiet"});
    EXPECT_EQ(saved.exitStatus, 1) << saved.err;
    EXPECT_NE(saved.err.find("some files may be missing"), std::string::npos) << saved.err;
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(missing));
    std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    EXPECT_EQ(missing, std::vector<std::string>{});
    EXPECT_EQ(extra, std::vector<std::string>{});
}

// The clusters of $MFT's data, in order, as The Sleuth Kit's istat lists them.
std::vector<std::uint64_t> mftClusters(const fs::path& image, std::uint64_t startSector = 0) {
    const std::string command =
        "istat -o " + std::to_string(startSector) + " '" + image.string() + "' 0 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::vector<std::uint64_t> clusters;
    if (!pipe) return clusters;
    char line[4096];
    bool inData = false;
    while (std::fgets(line, sizeof line, pipe)) {
        const std::string text(line);
        if (text.rfind("Type: ", 0) == 0) {
            inData = text.rfind("Type: $DATA", 0) == 0 && clusters.empty();
            continue;
        }
        if (!inData) continue;
        std::size_t at = 0;
        while (at < text.size()) {
            while (at < text.size() && (text[at] < '0' || text[at] > '9')) ++at;
            std::size_t end = at;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
            if (end > at) clusters.push_back(std::stoull(text.substr(at, end - at)));
            at = end;
        }
    }
    ::pclose(pipe);
    return clusters;
}

// A bad sector at the start of an MFT record costs that record's entry and
// nothing else; the scan says it met unreadable sectors.
TEST(BadSectorDevice, ABadSectorInTheMftCostsItsRecordOnly) {
    const fs::path image = test::fixtureImage("ntfs_basic.img");
    const auto clusters = mftClusters(image);
    if (clusters.empty()) GTEST_SKIP() << "istat (The Sleuth Kit) is not installed";
    const auto clean = test::runVantor({"ls", image.string(), "-r", "--json", "--quiet"});
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    const auto listed = nlohmann::json::parse(clean.out)["entries"];
    // A live file far into the MFT, in the folder of many files.
    std::uint64_t victim = 0;
    std::string victimPath;
    for (const auto& e : listed) {
        const std::string path = e["path"].get<std::string>();
        if (e["folder"].get<bool>() || e["deleted"].get<bool>() || e["orphan"].get<bool>()) continue;
        if (e["id"].get<std::uint64_t>() > victim && path.find("/many/") != std::string::npos) {
            victim = e["id"].get<std::uint64_t>();
            victimPath = path;
        }
    }
    ASSERT_NE(victim, 0u);
    constexpr std::uint64_t kRecord = 1024, kCluster = 4096;
    ASSERT_LT(victim * kRecord / kCluster, clusters.size());
    const std::uint64_t sector = (clusters[victim * kRecord / kCluster] * kCluster + victim * kRecord % kCluster) / 512;
    std::set<std::string> expected;
    for (const auto& e : listed) expected.insert(e["path"].get<std::string>());
    expected.erase(victimPath);

    test::FaultyDevice device(image, {{sector, sector}});
    if (!device.available()) GTEST_SKIP() << device.why();
    const auto damaged = test::runVantor({"ls", device.device(), "-r", "--json", "--quiet"});
    ASSERT_EQ(damaged.exitStatus, 0) << damaged.err;
    EXPECT_NE(damaged.err.find("unreadable sectors while reading the MFT"), std::string::npos) << damaged.err;
    const auto after = nlohmann::json::parse(damaged.out);
    std::set<std::string> got;
    for (const auto& e : after["entries"]) got.insert(e["path"].get<std::string>());
    std::vector<std::string> missing, extra;
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(missing));
    std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    EXPECT_EQ(missing, std::vector<std::string>{});
    EXPECT_EQ(extra, std::vector<std::string>{});
}

// A number after `label` in fsstat's report ("* FAT 0: 32 - 1040" gives 32).
std::optional<std::uint64_t> fsstatNumber(const fs::path& image, const std::string& label,
                                          std::uint64_t startSector = 0) {
    const std::string command =
        "fsstat -o " + std::to_string(startSector) + " '" + image.string() + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    char line[512];
    std::optional<std::uint64_t> value;
    while (std::fgets(line, sizeof line, pipe)) {
        const std::string text(line);
        if (!value && text.rfind(label, 0) == 0) value = std::stoull(text.substr(label.size()));
    }
    ::pclose(pipe);
    return value;
}

// A bad sector in the first FAT is read from the second copy, and costs
// nothing. Where both copies fail, no file changes silently: a file whose
// chain they held is reported damaged (its clusters read in a row, as a
// guess), and every other file is byte-exact.
TEST(BadSectorDevice, ABadSectorInTheFatIsNeverSilent) {
    const fs::path image = test::fixtureImage("fat32_basic.img");
    const auto fatStart = fsstatNumber(image, "* FAT 0: ");
    const auto secondFat = fsstatNumber(image, "* FAT 1: ");
    const auto dataStart = fsstatNumber(image, "* Data Area: ");
    const auto clusterSize = fsstatNumber(image, "Cluster Size: ");
    if (!fatStart || !secondFat || !dataStart || !clusterSize) GTEST_SKIP() << "fsstat (The Sleuth Kit) is not installed";
    test::ScratchDir scratch;
    const fs::path ref = scratch.path() / "ref";
    const auto clean = test::runVantor({"save", image.string(), "--out", ref.string(), "--quiet"});
    ASSERT_EQ(clean.exitStatus, 0) << clean.err;
    // The FAT sector holding the entry of the fragmented file's first cluster,
    // found by the file's first bytes.
    const auto content = test::readFileBytes(ref / "fragmented.bin");
    ASSERT_GT(content.size(), *clusterSize);
    const auto bytes = test::readFileBytes(image);
    const auto hit = std::search(bytes.begin(), bytes.end(), content.begin(), content.begin() + 512);
    ASSERT_NE(hit, bytes.end());
    const std::uint64_t dataSector = static_cast<std::uint64_t>(hit - bytes.begin()) / 512;
    const std::uint64_t cluster = (dataSector - *dataStart) / (*clusterSize / 512) + 2;
    const std::uint64_t inFat = cluster * 4 / 512;

    struct Case {
        const char* what;
        test::FaultyDevice::SectorRanges bad;
        bool whole;  // every file saved byte-exact
    };
    const Case cases[] = {
        {"the first copy", {{*fatStart + inFat, *fatStart + inFat}}, true},
        {"both copies", {{*fatStart + inFat, *fatStart + inFat}, {*secondFat + inFat, *secondFat + inFat}}, false},
    };
    const auto files = filesBelow(ref);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FaultyDevice device(image, c.bad);
        if (!device.available()) GTEST_SKIP() << device.why();
        const fs::path got = scratch.path() / c.what;
        const auto damaged = test::runVantor({"save", device.device(), "--out", got.string(), "--quiet"});
        if (c.whole) {
            EXPECT_EQ(damaged.exitStatus, 0) << damaged.err;
            EXPECT_EQ(filesBelow(got), files);
            // The copy that served is told, though nothing was lost.
            EXPECT_NE(damaged.err.find("a later copy gave them"), std::string::npos) << damaged.err;
        } else {
            EXPECT_EQ(damaged.exitStatus, 1) << damaged.err;
            EXPECT_NE(damaged.err.find("saved damaged: ROOT/fragmented.bin: its FAT sector is unreadable"),
                      std::string::npos) << damaged.err;
        }
        // Whatever was saved is the file's own or reported; a file not saved is
        // either reported or lost with a warning about the folder it was in.
        for (const fs::path& f : filesBelow(got)) {
            if (test::sha256File(got / f) == test::sha256File(ref / f)) continue;
            EXPECT_NE(damaged.err.find("saved damaged: ROOT/" + f.generic_string() + ":"), std::string::npos)
                << f << " differs and was not reported";
        }
        if (filesBelow(got) != files) {
            EXPECT_NE(damaged.err.find("warning: "), std::string::npos) << damaged.err;
        }
    }
}

// The live paths The Sleuth Kit's fls lists, as vantor names them ("ROOT/..."):
// no streams, no $MFT (never shown) and nothing of fls's own orphan folder.
std::set<std::string> liveNamesByFls(const fs::path& image, std::uint64_t startSector) {
    const std::string command =
        "fls -r -p -u -o " + std::to_string(startSector) + " '" + image.string() + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    std::set<std::string> paths;
    if (!pipe) return paths;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        const auto tab = text.find('\t');
        if (tab == std::string::npos) continue;
        const std::string path = text.substr(tab + 1);
        if (path.find(':') != std::string::npos || path == "$MFT" || path.rfind("$OrphanFiles", 0) == 0) continue;
        paths.insert("ROOT/" + path);
    }
    ::pclose(pipe);
    return paths;
}

// The names fls gives, as vantor shows them: recycle-bin files under their
// former names; hard-linked names are left out, since vantor shows such a
// record once, under either name.
std::set<std::string> shownNames(const std::set<std::string>& byFls, const std::string& fixture) {
    const auto manifest = test::readJsonFile(test::fixtureSource(fixture + ".manifest.json"));
    std::set<std::string> linked;
    for (const auto& e : manifest["entries"])
        if (e.contains("hardLinkGroup")) linked.insert(e["path"].get<std::string>());
    std::set<std::string> shown;
    for (const std::string& path : byFls) {
        if (linked.count(path)) continue;
        const auto& recycle = manifest["recycleBin"];
        shown.insert(recycle.contains(path) ? path.substr(0, path.rfind('/') + 1) + recycle[path].get<std::string>()
                                            : path);
    }
    return shown;
}

struct Listing {
    int status = -1;
    std::string err;
    std::set<std::string> paths;
};

Listing listPaths(const std::string& source, const std::vector<std::string>& volume = {}) {
    std::vector<std::string> args = {"ls", source, "-r", "--json", "--quiet"};
    args.insert(args.end(), volume.begin(), volume.end());
    const auto r = test::runVantor(args);
    Listing l{r.exitStatus, r.err, {}};
    const auto out = nlohmann::json::parse(r.out, nullptr, false);
    if (!out.is_discarded() && out.contains("entries"))
        for (const auto& e : out["entries"]) l.paths.insert(e["path"].get<std::string>());
    return l;
}

std::vector<std::string> missingFrom(const std::set<std::string>& expected, const std::set<std::string>& got) {
    std::vector<std::string> missing;
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(missing));
    return missing;
}

// The first MFT records, $MFT's own (whose runs locate every other record)
// and the root folder's, are read from their copies in $MFTMirr when their
// sectors fail: every live file The Sleuth Kit lists on the whole image is
// still listed under its path, and the scan says the mirror was used. The
// root's record lies beyond a mirror of four records; without a copy, its
// entries still hang under the root.
TEST(BadSectorDevice, FirstMftRecordsThatFailAreReadFromTheMirror) {
    struct Case {
        const char* what;
        const char* fixture;
        std::uint64_t startSector;
        std::vector<std::uint64_t> records;  // whose sectors fail
        std::vector<std::string> warnings;
        bool mended;                          // no sector was read as zeros
    };
    const std::string mirrored = "; its copy in $MFTMirr was used";
    const Case cases[] = {
        {"$MFT's record", "ntfs_basic", 0, {0}, {"MFT record 0 could not be read whole or was damaged" + mirrored}, true},
        {"$MFT's record, 1 KiB clusters in a partition", "ntfs_part", 2048, {0},
         {"MFT record 0 could not be read whole or was damaged" + mirrored}, true},
        {"the root's record, mirrored with 8 KiB clusters", "ntfs_8k", 0, {5},
         {"MFT record 5 could not be read whole or was damaged" + mirrored}, true},
        {"both, mirrored with 8 KiB clusters", "ntfs_8k", 0, {0, 5},
         {"MFT record 0 could not be read whole or was damaged" + mirrored,
          "MFT record 5 could not be read whole or was damaged" + mirrored}, true},
        {"the root's record beyond a mirror of four", "ntfs_basic", 0, {5},
         {"the root folder's MFT record (5) could not be read; its entries are listed under the root",
          "2 unreadable sectors while reading the MFT, read as zeros"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path image = test::fixtureImage(std::string(c.fixture) + ".img");
        const auto clusters = mftClusters(image, c.startSector);
        const auto clusterSize = fsstatNumber(image, "Cluster Size: ", c.startSector);
        const auto recordSize = fsstatNumber(image, "Size of MFT Entries: ", c.startSector);
        if (clusters.empty() || !clusterSize || !recordSize) GTEST_SKIP() << "The Sleuth Kit is not installed";
        test::FaultyDevice::SectorRanges bad;
        for (const std::uint64_t record : c.records) {
            const std::uint64_t at = record * *recordSize;
            ASSERT_LT(at / *clusterSize, clusters.size());
            const std::uint64_t first = c.startSector + (clusters[at / *clusterSize] * *clusterSize + at % *clusterSize) / 512;
            bad.emplace_back(first, first + *recordSize / 512 - 1);
        }
        const Listing clean = listPaths(image.string());
        ASSERT_EQ(clean.status, 0) << clean.err;
        const std::set<std::string> expected = shownNames(liveNamesByFls(image, c.startSector), c.fixture);
        ASSERT_FALSE(expected.empty());

        test::FaultyDevice device(image, bad);
        if (!device.available()) GTEST_SKIP() << device.why();
        const Listing damaged = listPaths(device.device());
        ASSERT_EQ(damaged.status, 0) << damaged.err;
        EXPECT_EQ(missingFrom(expected, damaged.paths), std::vector<std::string>{});
        EXPECT_EQ(damaged.paths, clean.paths);
        for (const std::string& w : c.warnings)
            EXPECT_NE(damaged.err.find("warning: " + w), std::string::npos) << w << "\n" << damaged.err;
        if (!c.mended) continue;
        EXPECT_EQ(damaged.err.find("unreadable sectors while reading the MFT"), std::string::npos) << damaged.err;
        // Nothing was lost, so a save does not say files may be missing.
        test::ScratchDir out;
        const auto saved = test::runVantor({"save", device.device(), "--path", "ROOT/$Volume", "--out",
                                            out.path().string(), "--quiet"});
        EXPECT_EQ(saved.exitStatus, 0) << saved.err;
    }
}

// Where dumpe2fs says each group keeps a group descriptor block (the first,
// when a group keeps a row of them), and the block size.
struct DescriptorLayout {
    std::uint64_t blockSize = 0;
    std::map<std::uint64_t, std::uint64_t> blockOfGroup;
};

DescriptorLayout descriptorLayout(const fs::path& image) {
    const std::string command = "dumpe2fs '" + image.string() + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    DescriptorLayout layout;
    if (!pipe) return layout;
    char line[1024];
    std::optional<std::uint64_t> group;
    while (std::fgets(line, sizeof line, pipe)) {
        const std::string text(line);
        if (text.rfind("Block size:", 0) == 0) layout.blockSize = std::stoull(text.substr(11));
        if (text.rfind("Group ", 0) == 0 && std::isdigit(static_cast<unsigned char>(text[6])))
            group = std::stoull(text.substr(6));
        for (const char* label : {"Group descriptors at ", "Group descriptor at "}) {
            const auto at = text.find(label);
            if (group && at != std::string::npos) layout.blockOfGroup[*group] = std::stoull(text.substr(at + std::strlen(label)));
        }
    }
    ::pclose(pipe);
    return layout;
}

// A group descriptor block that cannot be read is read from a backup copy:
// every live file of the manifest is still listed and saved byte-exact, and
// the scan says which copy served.
TEST(BadSectorDevice, UnreadableGroupDescriptorsAreReadFromABackup) {
    struct Case {
        const char* what;
        const char* fixture;
        std::vector<std::uint64_t> failingCopies;  // groups whose descriptor block fails
        bool superblockFails;                       // the primary superblock's sectors too
        std::string note;
    };
    const Case cases[] = {
        {"the table of a 1 KiB ext2", "ext2_1k", {0}, false,
         "the group descriptors of groups 0-1 could not be read; their copy in group 1 was used"},
        // Written through the kernel, which leaves the backup as mke2fs made
        // it: by its counts, groups 0 and 1 hold almost no inodes.
        {"a copy whose unused-inode counts are stale", "ext4_mounted", {0}, false,
         "the group descriptors of groups 0-2 could not be read; their copy in group 1 was used"},
        {"the primary superblock: the table behind its copy is stale too", "ext4_mounted", {}, true,
         "the primary superblock could not be read or was damaged; its copy in group 1 was used"},
        {"meta_bg: the first meta group's block", "ext4_metabg", {0}, false,
         "the group descriptors of groups 0-15 could not be read; their copy in group 1 was used"},
        {"meta_bg: a later meta group's block", "ext4_metabg", {16}, false,
         "the group descriptors of groups 16-31 could not be read; their copy in group 17 was used"},
        {"meta_bg: that block and its copy in the second group", "ext4_metabg", {16, 17}, false,
         "the group descriptors of groups 16-31 could not be read; their copy in group 31 was used"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path image = test::fixtureImage(std::string(c.fixture) + ".img");
        const DescriptorLayout layout = descriptorLayout(image);
        if (layout.blockOfGroup.empty()) GTEST_SKIP() << "dumpe2fs (e2fsprogs) is not installed";
        test::FaultyDevice::SectorRanges bad;
        for (const std::uint64_t group : c.failingCopies) {
            ASSERT_TRUE(layout.blockOfGroup.count(group)) << "group " << group << " keeps no descriptors";
            const std::uint64_t first = layout.blockOfGroup.at(group) * layout.blockSize / 512;
            bad.emplace_back(first, first + layout.blockSize / 512 - 1);
        }
        // Without its primary superblock the image is not recognised as a
        // volume of its own: it is named as one by hand.
        std::vector<std::string> volume;
        if (c.superblockFails) {
            bad.emplace_back(2, 3);  // bytes 1024-2047 of the volume
            volume = {"--start-sector", "0", "--fs", "extX"};
        }
        const auto manifest = test::readJsonFile(test::fixtureSource(std::string(c.fixture) + ".manifest.json"));
        std::set<std::string> live;
        for (const auto& e : manifest["entries"])
            if (!e["deleted"].get<bool>()) live.insert(e["path"].get<std::string>());

        test::FaultyDevice device(image, bad);
        if (!device.available()) GTEST_SKIP() << device.why();
        const Listing damaged = listPaths(device.device(), volume);
        EXPECT_EQ(damaged.status, 0) << damaged.err;
        EXPECT_EQ(damaged.paths, live);
        EXPECT_NE(damaged.err.find("warning: " + c.note), std::string::npos) << damaged.err;

        test::ScratchDir out;
        std::vector<std::string> save = {"save", device.device(), "--out", out.path().string(), "--quiet"};
        save.insert(save.end(), volume.begin(), volume.end());
        const auto saved = test::runVantor(save);
        EXPECT_EQ(saved.exitStatus, 0) << saved.err;
        for (const auto& e : manifest["entries"]) {
            if (e["deleted"].get<bool>() || e["type"] != "file") continue;
            const std::string path = e["path"].get<std::string>();
            const fs::path file = out.path() / path.substr(5);
            EXPECT_EQ(fs::exists(file) ? test::sha256File(file) : "missing", e["sha256"].get<std::string>()) << path;
        }
    }
}

// The rows `vantor partitions` prints, as "fileSystem@startSector sizeText".
std::vector<std::string> volumeRows(const nlohmann::json& volumes) {
    std::vector<std::string> rows;
    if (!volumes.is_array()) return rows;
    for (const auto& v : volumes)
        rows.push_back(v["fileSystem"].get<std::string>() + "@" + std::to_string(v["startSector"].get<std::int64_t>()) +
                       " " + v["sizeText"].get<std::string>());
    return rows;
}

// A bad sector beside a partition table or a volume's first sectors costs
// that sector only, not the page the kernel reads around it: every volume of
// the table is still listed, named by its own first sectors.
TEST(BadSectorDevice, ABadSectorBesideThePartitionTablesCostsOnlyItself) {
    const fs::path image = test::fixtureImage("parts-mbr.img");
    const auto manifest = test::readJsonFile(test::fixtureSource("parts-mbr.manifest.json"));
    const auto expected = volumeRows(manifest["volumes"]);
    ASSERT_FALSE(expected.empty());
    struct Case {
        const char* what;
        std::uint64_t sector;
    };
    const Case cases[] = {
        {"in the disk's first page, after the MBR", 5},
        {"beside the last extended boot record", 106496 + 3},
        {"in the first page of the exFAT volume, which its type byte calls NTFS", 108544 + 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::FaultyDevice device(image, {{c.sector, c.sector}});
        if (!device.available()) GTEST_SKIP() << device.why();
        const auto r = test::runVantor({"partitions", device.device(), "--json", "--quiet"});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(volumeRows(nlohmann::json::parse(r.out, nullptr, false)), expected) << r.err;
    }
}

// The sweep passes over sectors that cannot be read and goes on: a disk
// with bad sectors between its volumes, or inside one when the sweep reads
// every sector, still shows every volume after them.
TEST(BadSectorDevice, TheSweepGoesOnPastUnreadableSectors) {
    const fs::path image = test::fixtureImage("parts-wiped.img");
    const auto manifest = test::readJsonFile(test::fixtureSource("parts-wiped.manifest.json"));
    struct Case {
        const char* what;
        test::FaultyDevice::SectorRanges bad;
        bool everySector;  // --no-skip
    };
    const Case cases[] = {
        {"a bad sector between two volumes", {{19000, 19000}}, false},
        {"a bad run just before a boot sector", {{20400, 20479}}, false},
        {"a whole MiB between two volumes", {{88064, 90111}}, false},
        {"bad sectors inside a volume, read when no volume is jumped over", {{5000, 5100}, {30000, 30010}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto expected = volumeRows(manifest[c.everySector ? "noSkipVolumes" : "volumes"]);
        ASSERT_FALSE(expected.empty());
        test::FaultyDevice device(image, c.bad);
        if (!device.available()) GTEST_SKIP() << device.why();
        std::vector<std::string> args = {"partitions", device.device(), "--sweep", "--json", "--quiet"};
        if (c.everySector) args.push_back("--no-skip");
        const auto r = test::runVantor(args);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_EQ(volumeRows(nlohmann::json::parse(r.out, nullptr, false)), expected) << r.err;
    }
}

}  // namespace
}  // namespace vantor
