// Hostile volumes cost what their size allows: a size no allocation backs is
// saved up to what the allocation holds and reported, never written out as
// gigabytes of zeros or an exabyte hole, and the command says so.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/mounts.h"
#include "support/support.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

// Writes `value` little-endian over the 4 bytes at `offset` of `file`.
void patch32(const fs::path& file, std::uint64_t offset, std::uint32_t value) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    for (int i = 0; i < 4; ++i) f.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Where an 11-byte short name first lies in the image (a directory slot).
std::uint64_t offsetOfShortName(const fs::path& image, const std::string& name) {
    std::ifstream in(image, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const auto at = bytes.find(name);
    return at == std::string::npos ? 0 : at;
}

struct SizeCase {
    const char* fixture;
    const char* path;      // the entry whose size is made absurd
    const char* why;       // what the report must say
    std::uint64_t savedAtMost;
};

TEST(HostileSizes, ASizeNoAllocationBacksIsSavedUpToTheAllocationAndReported) {
    const SizeCase cases[] = {
        // A FAT directory slot claiming 4 GiB in a volume of a few MiB.
        {"fat16_basic.img", "ROOT/readme.txt", "the cluster chain ends early: its size says 4294967280 bytes", 64u << 20},
        // An ext inode claiming 2^62 bytes, past what any ext file can hold.
        {"ext4_default.img", "ROOT/docs/report.txt",
         "larger than an ext file can be: its size says 4611686018427387904 bytes", 1u << 20},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.fixture);
        test::ScratchDir scratch;
        const fs::path image = scratch.path() / "image";
        fs::copy_file(test::fixtureImage(c.fixture), image);
        if (std::string(c.fixture).rfind("fat", 0) == 0) {
            const std::uint64_t slot = offsetOfShortName(image, "README  TXT");
            ASSERT_NE(slot, 0u);
            patch32(image, slot + 28, 0xFFFFFFF0u);
        } else {
            const auto set = test::runTool({"debugfs", "-w", "-R", "sif /docs/report.txt size 4611686018427387904",
                                            image.string()});
            ASSERT_EQ(set.status, 0) << set.text;
        }
        const test::SourceGuard guard(image);
        const fs::path out = scratch.path() / "out";
        const test::CommandResult r = test::runVantor({"save", image.string(), "--path", c.path, "--out", out.string()});
        EXPECT_EQ(r.exitStatus, 1) << r.err;
        EXPECT_NE(r.err.find(std::string("saved damaged: ") + c.path + ": " + c.why), std::string::npos) << r.err;
        const fs::path saved = out / fs::path(c.path).filename();
        ASSERT_TRUE(fs::exists(saved)) << r.err;
        EXPECT_LE(fs::file_size(saved), c.savedAtMost);
        EXPECT_TRUE(guard.unchanged());
    }
}

// Patches `value` (little-endian, `bytes` wide) at `offset` of `file`.
void patch(const fs::path& file, std::uint64_t offset, std::uint64_t value, int bytes) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    for (int i = 0; i < bytes; ++i) f.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A superblock forged to claim 2^24 groups of 8 blocks on a 12 MiB image
// (every count consistent, so it passes the superblock's checks): the scan
// costs what a 12 MiB volume costs and says the tables do not fit.
TEST(HostileCounts, AForgedGroupCountCostsWhatTheImageCosts) {
    test::ScratchDir scratch;
    const fs::path image = scratch.path() / "image";
    fs::copy_file(test::fixtureImage("ext2_1k.img"), image);
    constexpr std::uint64_t kSuperblock = 1024;
    patch(image, kSuperblock + 0x00, std::uint64_t{1} << 27, 4);  // inodes
    patch(image, kSuperblock + 0x04, std::uint64_t{1} << 27, 4);  // blocks
    patch(image, kSuperblock + 0x20, 8, 4);                      // blocks per group
    patch(image, kSuperblock + 0x24, 8, 4);                      // clusters per group
    patch(image, kSuperblock + 0x28, 8, 4);                      // inodes per group
    const test::SourceGuard guard(image);
    const test::CommandResult r = test::runVantor({"ls", "-r", image.string()});
    // Nothing of the forged layout lists: an honest failure, not an empty volume.
    EXPECT_EQ(r.exitStatus, 1) << r.err;
    EXPECT_NE(r.err.find("warning: "), std::string::npos) << r.err;
    // Millions of group descriptors would take hundreds of megabytes.
    EXPECT_LT(r.peakMemoryKb, 160 * 1024);
    EXPECT_TRUE(guard.unchanged());
}

// Names spelled "." or ".." that are not a folder's own links are entries:
// listed, saved under a name a folder can hold, and the new name reported.
TEST(HostileNames, DotNamesThatAreNotLinksAreSavedUnderSafeNames) {
    struct Case {
        const char* fixture;
        const char* victim;   // the name rewritten in its directory slot
        const char* spelled;  // "." or ".."
        const char* savedAs;
    };
    for (const Case& c : {Case{"ext2_1k.img", "direct.bin", ".", "_"},
                          Case{"ext4_default.img", "fragmented.bin", "..", "__"}}) {
        SCOPED_TRACE(c.fixture);
        test::ScratchDir scratch;
        const fs::path image = scratch.path() / "image";
        fs::copy_file(test::fixtureImage(c.fixture), image);
        // Every slot of that name (the journal may hold copies): the name
        // length before it and the name itself are rewritten in place.
        std::string bytes;
        {
            std::ifstream in(image, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), {});
        }
        const std::string victim = c.victim;
        int patched = 0;
        for (auto at = bytes.find(victim); at != std::string::npos; at = bytes.find(victim, at + 1)) {
            if (at < 2 || static_cast<unsigned char>(bytes[at - 2]) != victim.size()) continue;
            bytes[at - 2] = static_cast<char>(std::string(c.spelled).size());
            std::copy_n(c.spelled, std::string(c.spelled).size(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
            ++patched;
        }
        ASSERT_GT(patched, 0);
        {
            std::ofstream(image, std::ios::binary | std::ios::trunc) << bytes;
        }
        const fs::path out = scratch.path() / "out";
        const test::CommandResult r = test::runVantor({"save", image.string(), "--out", out.string()});
        EXPECT_EQ(r.exitStatus, 0) << r.err;
        EXPECT_NE(r.err.find(std::string("renamed: ROOT/") + c.spelled + ": saved as " + c.savedAs), std::string::npos)
            << r.err;
        const auto manifest = test::readJsonFile(test::fixtureSource(std::string(c.fixture).replace(
            std::string(c.fixture).find(".img"), 4, ".manifest.json")));
        std::string hash;
        for (const auto& e : manifest["entries"])
            if (e["path"] == std::string("ROOT/") + c.victim) hash = e["sha256"].get<std::string>();
        ASSERT_FALSE(hash.empty());
        ASSERT_TRUE(fs::exists(out / c.savedAs));
        EXPECT_EQ(test::sha256File(out / c.savedAs), hash);
    }
}

}  // namespace
}  // namespace vantor
