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

}  // namespace
}  // namespace vantor
