// The FAT readers on volumes made by mkfs.fat and mtools, compared with the
// fixtures' manifests through the vantor command, and with The Sleuth Kit's
// listing where it is installed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "support/support.h"

namespace vantor {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;

const char* const kBasic[] = {"fat16_basic", "fat32_basic"};

json manifestOf(const std::string& name) { return test::readJsonFile(test::fixtureSource(name + ".manifest.json")); }
fs::path imageOf(const std::string& name) { return test::fixtureImage(name + ".img"); }

// Where the reader shows a manifest path: recycle-bin content under its former name.
std::string shownPath(const json& manifest, const std::string& path) {
    if (manifest.contains("recycleBin") && manifest["recycleBin"].contains(path))
        return path.substr(0, path.rfind('/') + 1) + manifest["recycleBin"][path].get<std::string>();
    return path;
}

std::string isoOf(std::int64_t seconds) {
    char buf[32];
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::map<std::string, json> listing(const std::vector<std::string>& args) {
    const auto r = test::runVantor(args);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    std::map<std::string, json> byPath;
    const json out = json::parse(r.out, nullptr, false);
    if (out.is_discarded() || !out.contains("entries")) return byPath;
    for (const auto& e : out["entries"]) byPath[e["path"].get<std::string>()] = e;
    return byPath;
}

TEST(FatFixtures, ListingMatchesTheManifest) {
    for (const std::string name : kBasic) {
        SCOPED_TRACE(name);
        const json m = manifestOf(name);
        const test::SourceGuard guard(imageOf(name));
        const auto shown = listing({"ls", imageOf(name).string(), "-r", "--json", "--quiet"});
        for (const auto& e : m["entries"]) {
            const std::string path = shownPath(m, e["path"].get<std::string>());
            SCOPED_TRACE(path);
            const auto it = shown.find(path);
            ASSERT_NE(it, shown.end());
            const json& s = it->second;
            EXPECT_EQ(s["folder"].get<bool>(), e["type"] == "folder");
            EXPECT_EQ(s["deleted"].get<bool>(), e["deleted"].get<bool>());
            EXPECT_FALSE(s["orphan"].get<bool>());
            EXPECT_EQ(s["modification"].get<std::string>(), isoOf(e["mtime"].get<std::int64_t>()));
            if (e["type"] == "file") {
                EXPECT_EQ(s["size"].get<std::uint64_t>(), e["size"].get<std::uint64_t>());
            }
        }
        // The big folder spans dozens of clusters: every one of its entries is there.
        int many = 0;
        for (const auto& [path, e] : shown) many += path.rfind("ROOT/many/", 0) == 0;
        EXPECT_EQ(many, 300);
        // Attributes as the list shows them.
        EXPECT_EQ(shown.at("ROOT/ro.txt")["attributes"], "-R-A");
        EXPECT_EQ(shown.at("ROOT/hidden.txt")["attributes"], "-H-A");
        EXPECT_EQ(shown.at("ROOT/readme.txt")["modificationText"], "01/01/2021  09:01 AM");
        EXPECT_TRUE(guard.unchanged());
    }
}

// Every live file, and every deleted one whose clusters were not reused,
// comes back byte-exact with its modification time.
TEST(FatFixtures, SaveWritesEveryFileByteExactWithItsTime) {
    for (const std::string name : kBasic) {
        SCOPED_TRACE(name);
        const json m = manifestOf(name);
        const test::SourceGuard guard(imageOf(name));
        test::ScratchDir out;
        const auto r = test::runVantor({"save", imageOf(name).string(), "--out", out.path().string(), "--quiet"});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        int deleted = 0;
        for (const auto& e : m["entries"]) {
            if (e["type"] != "file") continue;
            const std::string path = shownPath(m, e["path"].get<std::string>());
            SCOPED_TRACE(path);
            const fs::path file = out.path() / fs::u8path(path.substr(5));
            ASSERT_TRUE(fs::exists(file));
            struct stat st{};
            ASSERT_EQ(::stat(file.c_str(), &st), 0);
            EXPECT_EQ(st.st_mtime, e["mtime"].get<std::int64_t>());
            EXPECT_EQ(test::sha256File(file), e["sha256"].get<std::string>());
            deleted += e["deleted"].get<bool>();
        }
        // Two deleted files of one and several clusters, two in a deleted folder.
        EXPECT_EQ(deleted, 4);
        EXPECT_TRUE(guard.unchanged());
    }
}

TEST(FatFixtures, SaveOfOneFolderAndSearch) {
    const std::string name = "fat32_basic";
    test::ScratchDir out;
    auto r = test::runVantor({"save", imageOf(name).string(), "--out", out.path().string(), "--path",
                              "ROOT/docs", "--quiet"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_TRUE(fs::exists(out.path() / "docs" / "nested" / "deeper" / "data.bin") ||
                fs::exists(out.path() / "nested" / "deeper" / "data.bin"));

    r = test::runVantor({"search", imageOf(name).string(), "^file_0[0-4][0-9]\\.txt$", "--json", "--quiet"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    const json found = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(found.is_discarded());
    const json& list = found.is_array() ? found : found["entries"];
    EXPECT_EQ(list.size(), 50u);
}

// With "the drive was formatted" every file is read in a row from its first
// cluster: the fragmented file then comes back wrong, the others still right.
TEST(FatFixtures, FormattedFlagReadsClustersInARow) {
    const std::string name = "fat32_basic";
    const json m = manifestOf(name);
    test::ScratchDir out;
    const auto r = test::runVantor({"save", imageOf(name).string(), "--formatted", "--out", out.path().string(), "--quiet"});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    for (const auto& e : m["entries"]) {
        const std::string path = e["path"].get<std::string>();
        if (path != "ROOT/fragmented.bin" && path != "ROOT/Mixed Case Name.dat") continue;
        SCOPED_TRACE(path);
        const std::string got = test::sha256File(out.path() / path.substr(5));
        if (path == "ROOT/fragmented.bin") EXPECT_NE(got, e["sha256"].get<std::string>());
        else EXPECT_EQ(got, e["sha256"].get<std::string>());
    }
}

// A volume reformatted by mkfs.fat: the new root is empty but the old
// folders' clusters remain; the advanced mode finds them and their files.
TEST(FatFixtures, AdvancedModeFindsTheFilesOfAReformattedVolume) {
    const std::string name = "fat32_formatted";
    const json m = manifestOf(name);
    const std::string img = imageOf(name).string();
    const test::SourceGuard guard(imageOf(name));

    auto r = test::runVantor({"candidates", img, "--json", "--quiet"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const json candidates = json::parse(r.out, nullptr, false);
    ASSERT_FALSE(candidates.is_discarded());
    ASSERT_GE(candidates["candidates"].size(), 1u);
    const std::int64_t fatSector = candidates["candidates"][0]["sector"].get<std::int64_t>();
    EXPECT_EQ(fatSector, m["geometry"]["fatSector"].get<std::int64_t>());
    EXPECT_EQ(candidates["candidates"][0]["label"], "FAT32_ENTRY:0");
    EXPECT_EQ(candidates["sectorsPerCluster"][0].get<int>(), 1);  // the boot sector's own, first

    const std::vector<std::string> mode = {"--mode", "advanced", "--candidate", std::to_string(fatSector), "--spc", "1"};
    std::vector<std::string> args = {"ls", img, "-r", "--json", "--quiet"};
    args.insert(args.end(), mode.begin(), mode.end());
    const auto shown = listing(args);
    ASSERT_TRUE(shown.count("ROOT/ORPHAN ENTRY"));
    EXPECT_TRUE(shown.at("ROOT/ORPHAN ENTRY")["folder"].get<bool>());
    EXPECT_TRUE(shown.count("ROOT/new.txt"));  // the new root is read too

    // Each old file is found once, by name, below the orphan node.
    std::map<std::string, std::string> foundAt;
    for (const auto& [path, e] : shown)
        if (path.rfind("ROOT/ORPHAN ENTRY/", 0) == 0 && !e["folder"].get<bool>()) foundAt[e["name"]] = path;
    for (const auto& e : m["oldEntries"]) {
        const std::string path = e["path"].get<std::string>();
        const std::string base = path.substr(path.rfind('/') + 1);
        SCOPED_TRACE(path);
        ASSERT_TRUE(foundAt.count(base));
        EXPECT_TRUE(shown.at(foundAt[base])["orphan"].get<bool>());
        EXPECT_EQ(shown.at(foundAt[base])["size"].get<std::uint64_t>(), e["size"].get<std::uint64_t>());
        EXPECT_EQ(shown.at(foundAt[base])["modification"].get<std::string>(), isoOf(e["mtime"].get<std::int64_t>()));
    }
    // Folders below a lost folder keep their names ("sub" inside "olddir").
    bool sub = false;
    for (const auto& [path, e] : shown) sub = sub || (e["name"] == "sub" && e["folder"].get<bool>());
    EXPECT_TRUE(sub);

    // Their content comes back byte-exact (old files were written in a row).
    test::ScratchDir out;
    args = {"save", img, "--out", out.path().string(), "--quiet"};
    args.insert(args.end(), mode.begin(), mode.end());
    r = test::runVantor(args);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    std::map<std::string, std::string> savedHash;
    for (const auto& f : fs::recursive_directory_iterator(out.path()))
        if (f.is_regular_file()) savedHash[f.path().filename().string()] = test::sha256File(f.path());
    for (const auto& e : m["oldEntries"]) {
        const std::string path = e["path"].get<std::string>();
        SCOPED_TRACE(path);
        EXPECT_EQ(savedHash[path.substr(path.rfind('/') + 1)], e["sha256"].get<std::string>());
    }
    EXPECT_TRUE(guard.unchanged());
}

// The same volume as fat16_basic with its boot sector zeroed: the standard
// mode refuses it, the advanced mode with the formatter's geometry gets
// every file back where it was.
TEST(FatFixtures, AdvancedModeRebuildsAVolumeWithoutBootSector) {
    const std::string name = "fat16_noboot";
    const json m = manifestOf(name);
    const std::string img = imageOf(name).string();
    const test::SourceGuard guard(imageOf(name));
    const std::vector<std::string> volume = {"--start-sector", "0", "--size-mb", "16", "--fs", "FAT16", "--quiet"};

    std::vector<std::string> args = {"ls", img};
    args.insert(args.end(), volume.begin(), volume.end());
    auto r = test::runVantor(args);
    EXPECT_EQ(r.exitStatus, 1);
    EXPECT_NE(r.err.find("is not a FAT16 volume"), std::string::npos) << r.err;
    // The wizard's message-box texts are not the command line's.
    EXPECT_EQ(r.err.find("Selected Drive"), std::string::npos) << r.err;

    args = {"candidates", img, "--json", "--max", "1"};
    args.insert(args.end(), volume.begin(), volume.end());
    r = test::runVantor(args);
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const json candidates = json::parse(r.out, nullptr, false);
    ASSERT_EQ(candidates["candidates"].size(), 1u);  // --max 1 stops at the first
    const std::string fatSector = std::to_string(candidates["candidates"][0]["sector"].get<std::int64_t>());
    const std::string spc = std::to_string(m["geometry"]["sectorsPerCluster"].get<int>());

    std::vector<std::string> mode = {"--mode", "advanced", "--candidate", fatSector, "--spc", spc};
    mode.insert(mode.end(), volume.begin(), volume.end());
    args = {"ls", img, "-r", "--json"};
    args.insert(args.end(), mode.begin(), mode.end());
    const auto shown = listing(args);
    test::ScratchDir out;
    args = {"save", img, "--out", out.path().string()};
    args.insert(args.end(), mode.begin(), mode.end());
    r = test::runVantor(args);
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    for (const auto& e : m["entries"]) {
        const std::string path = e["path"].get<std::string>();
        SCOPED_TRACE(path);
        ASSERT_TRUE(shown.count(path));
        EXPECT_EQ(shown.at(path)["deleted"].get<bool>(), e["deleted"].get<bool>());
        if (e["type"] != "file") continue;
        EXPECT_EQ(test::sha256File(out.path() / fs::u8path(path.substr(5))), e["sha256"].get<std::string>());
    }
    EXPECT_TRUE(guard.unchanged());
}

// --- The Sleuth Kit as an oracle ---

struct TskEntry {
    bool folder = false;
    bool deleted = false;
};

// fls -r -p: "r/r * 37:\tpath" (the star for deleted), virtual entries "v/v".
std::map<std::string, TskEntry> flsListing(const fs::path& image) {
    std::map<std::string, TskEntry> out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("fls -r -p '" + image.string() + "'").c_str(), "r"), pclose);
    if (!pipe) return out;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe.get())) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const auto tab = s.find('\t');
        if (tab == std::string::npos || s.size() < 3) continue;
        const std::string type = s.substr(0, 3);
        if (type != "r/r" && type != "d/d" && type != "-/r" && type != "-/d") continue;
        std::string path = s.substr(tab + 1);
        if (path.find("(Volume Label Entry)") != std::string::npos || path.rfind("$OrphanFiles", 0) == 0) continue;
        TskEntry e;
        e.folder = type[2] == 'd';
        e.deleted = s.find(" * ") != std::string::npos;
        out["ROOT/" + path] = e;
    }
    return out;
}

TEST(FatFixtures, ListingAgreesWithTheSleuthKit) {
    if (!test::onPath("fls")) GTEST_SKIP() << "The Sleuth Kit (fls) is not installed";
    for (const std::string name : kBasic) {
        SCOPED_TRACE(name);
        const json m = manifestOf(name);
        const auto tsk = flsListing(imageOf(name));
        ASSERT_FALSE(tsk.empty());
        const auto shown = listing({"ls", imageOf(name).string(), "-r", "--json", "--quiet"});
        std::size_t live = 0;
        for (const auto& [path, t] : tsk) {
            // A deleted short-name-only entry: the Sleuth Kit writes '_' for
            // its lost first letter, this reader keeps the 0xE5 byte.
            if (t.deleted && path.find("/_") != std::string::npos) continue;
            const std::string ours = shownPath(m, path);
            SCOPED_TRACE(ours);
            const auto it = shown.find(ours);
            ASSERT_NE(it, shown.end());
            EXPECT_EQ(it->second["folder"].get<bool>(), t.folder);
            EXPECT_EQ(it->second["deleted"].get<bool>(), t.deleted);
            live += !t.deleted;
        }
        // Nothing live that the Sleuth Kit does not know.
        std::size_t ourLive = 0;
        for (const auto& [path, e] : shown) ourLive += !e["deleted"].get<bool>() && path != "ROOT";
        EXPECT_EQ(ourLive, live);
    }
}

}  // namespace
}  // namespace vantor
