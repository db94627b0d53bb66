// Bad sectors on a real block device: a loop device over a FUSE file that
// fails chosen sectors with EIO (root only; skipped elsewhere). A bad sector
// inside a file costs exactly that sector of that file, written as zeros and
// reported; every other file is saved byte-exact.
#include <gtest/gtest.h>

#include <algorithm>
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
    for (const auto& e : fs::recursive_directory_iterator(top))
        if (e.is_regular_file()) files.push_back(fs::relative(e.path(), top));
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

}  // namespace
}  // namespace vantor
