// exFAT volumes made by mkfs.exfat and the FUSE driver: every live file is
// saved byte-exact with its modification time at its path, every deleted
// file whose clusters are still free comes back byte-exact, and the live
// tree agrees with The Sleuth Kit's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/support.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

struct Fixture {
    const char* name;
    std::int64_t startSector;
};
const Fixture kFixtures[] = {{"exfat_basic", 0}, {"exfat_part", 2048}};

fs::path imageOf(const Fixture& f) { return test::fixtureImage(std::string(f.name) + ".img"); }
nlohmann::json manifestOf(const Fixture& f) {
    return test::readJsonFile(test::fixtureSource(std::string(f.name) + ".manifest.json"));
}

std::vector<std::string> volumeArgs(const Fixture& f) {
    return {"--start-sector", std::to_string(f.startSector), "--fs", "FAT64"};
}

TEST(ExfatFixtures, EveryLiveAndRecoverableDeletedFileIsSavedWhole) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const test::SourceGuard guard(imageOf(f));
        test::ScratchDir out;
        std::vector<std::string> args{"save", imageOf(f).string()};
        for (const auto& a : volumeArgs(f)) args.push_back(a);
        args.insert(args.end(), {"--out", out.path().string()});
        const test::CommandResult r = test::runVantor(args);
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        std::size_t checked = 0;
        const nlohmann::json manifest = manifestOf(f);
        for (const auto& e : manifest["entries"]) {
            if (e["type"] != "file") continue;
            const bool deleted = e.value("deleted", false);
            if (deleted && !e.value("recoverable", false)) continue;
            const std::string path = e["path"].get<std::string>();
            const fs::path saved = out.path() / path.substr(5);  // below "ROOT/"
            ASSERT_TRUE(fs::exists(saved)) << path;
            EXPECT_EQ(test::sha256File(saved), e["sha256"].get<std::string>()) << path;
            struct stat st {};
            ASSERT_EQ(::stat(saved.c_str(), &st), 0);
            if (!deleted) EXPECT_EQ(st.st_mtim.tv_sec, e["mtime"].get<std::int64_t>()) << path;
            ++checked;
        }
        EXPECT_GT(checked, 5u);
        EXPECT_TRUE(guard.unchanged());
    }
}

TEST(ExfatFixtures, LiveTreeAgreesWithTheSleuthKit) {
    if (!test::onPath("fls")) GTEST_SKIP() << "The Sleuth Kit (fls) is not installed";
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        std::vector<std::string> args{"ls", "-r", "--json", imageOf(f).string()};
        for (const auto& a : volumeArgs(f)) args.push_back(a);
        const test::CommandResult r = test::runVantor(args);
        ASSERT_EQ(r.exitStatus, 0) << r.err;
        std::set<std::string> ours;
        const nlohmann::json listing = nlohmann::json::parse(r.out);
        for (const auto& e : listing["entries"]) {
            if (e["deleted"].get<bool>()) continue;
            ours.insert((e["folder"].get<bool>() ? "d " : "r ") + e["path"].get<std::string>());
        }
        EXPECT_EQ(ours, test::flsLiveTree(imageOf(f), f.startSector));
    }
}

}  // namespace
}  // namespace vantor
