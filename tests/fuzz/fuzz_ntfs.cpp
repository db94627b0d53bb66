// Arbitrary bytes as an NTFS volume: the scan, the tree walk and the saves
// must neither crash nor loop, whatever the boot sector and records claim.
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "core/app_state.h"
#include "device/FileReadSeek.h"
#include "device/reader_context.h"
#include "fs/ntfs/ntfs.h"

namespace {

const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("fuzz_ntfs." + std::to_string(::getpid()));
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
    // Small inputs stand for the first sectors of a larger volume.
    if (volume.size() < 64 * 1024) volume.resize(64 * 1024, 0);
    MemoryReader source(std::move(volume));
    AppState state;
    ntfs reader(ReaderContext{source, VolumeRecord{"NTFS", "", "0", "1 MB", 0}, state});
    reader.scan(ScanMode::standard);

    // Walk and describe every entry, bounded.
    std::size_t seen = 0, saved = 0;
    std::vector<EntryRef> stack;
    if (auto root = reader.rootEntry()) stack.push_back(*root);
    while (!stack.empty() && seen < 20000) {
        const EntryRef folder = stack.back();
        stack.pop_back();
        for (auto c = reader.firstChild(folder); c && seen < 20000; c = reader.nextSibling(*c)) {
            ++seen;
            const RecoveredItem item = reader.describe(*c);
            if (reader.isSaveFolder(*c) && item.hasChildren) stack.push_back(*c);
            if (reader.isSaveFile(*c) && saved < 8) {
                reader.saveEntry(*c, scratch() / "out");
                ++saved;
            }
        }
    }
    return 0;
}
