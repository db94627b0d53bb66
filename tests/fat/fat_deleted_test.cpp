// Deleted FAT files whose chain is gone are read from their first cluster on
// over the clusters no live file holds: a file that was written around a
// live one comes back whole, as The Sleuth Kit returns it.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/support.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

TEST(FatDeleted, AFileWrittenAroundALiveOneComesBackWhole) {
    const fs::path image = test::fixtureImage("fat16_fragdel.img");
    const auto manifest = test::readJsonFile(test::fixtureSource("fat16_fragdel.manifest.json"));
    const test::SourceGuard guard(image);
    test::ScratchDir out;
    const test::CommandResult r =
        test::runVantor({"save", image.string(), "--start-sector", "0", "--fs", "FAT16", "--out", out.path().string()});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    // The deleted file's first character is gone: find it by its size.
    for (const auto& e : manifest["entries"]) {
        bool found = false;
        for (const auto& name : test::pathsBelow(out.path())) {
            if (fs::file_size(out.path() / name) != e["size"].get<std::uint64_t>()) continue;
            found = true;
            EXPECT_EQ(test::sha256File(out.path() / name), e["sha256"].get<std::string>()) << e["path"];
        }
        EXPECT_TRUE(found) << e["path"];
    }
    EXPECT_TRUE(guard.unchanged());
}

}  // namespace
}  // namespace vantor
