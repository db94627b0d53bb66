// Arbitrary bytes as an ext volume: the superblock search, the inode tables,
// the directory walk, the tree and a few saves must neither crash nor loop,
// whatever the superblock, the descriptors, the inodes and the directories
// claim.
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "core/app_state.h"
#include "device/FileReadSeek.h"
#include "device/reader_context.h"
#include "fs/ext/ext2Class.h"

namespace {

const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("fuzz_ext." + std::to_string(::getpid()));
        std::error_code ec;
        std::filesystem::create_directories(d, ec);
        return d;
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    std::vector<std::uint8_t> volume(data, data + size);
    // Small inputs stand for the first blocks of a larger volume.
    if (volume.size() < 64 * 1024) volume.resize(64 * 1024, 0);
    MemoryReader source(std::move(volume));
    AppState state;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
    reader.scan(ScanMode::standard);

    std::size_t seen = 0, saved = 0;
    std::vector<std::pair<EntryRef, int>> stack;
    if (auto root = reader.rootEntry()) stack.emplace_back(*root, 0);
    while (!stack.empty() && seen < 20000) {
        const auto [folder, depth] = stack.back();
        stack.pop_back();
        for (auto c = reader.firstChild(folder); c && seen < 20000; c = reader.nextSibling(*c)) {
            ++seen;
            const RecoveredItem item = reader.describe(*c);
            if (reader.isSaveFolder(*c) && item.hasChildren && depth < 64) stack.emplace_back(*c, depth + 1);
            if (reader.isSaveFile(*c) && saved < 4 && item.size < (std::uint64_t{1} << 20)) {
                reader.saveEntry(*c, scratch() / "out");
                ++saved;
            }
        }
    }
    return 0;
}
