// Arbitrary bytes as a FAT16 and as a FAT32 volume, in the standard and the
// advanced mode: the scan, the tree walk and the saves must neither crash nor
// loop, whatever the boot sector, the FAT and the directories claim.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "core/app_state.h"
#include "device/FileReadSeek.h"
#include "device/reader_context.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"

namespace {

const std::filesystem::path& scratch() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("fuzz_fat." + std::to_string(::getpid()));
        std::error_code ec;
        std::filesystem::create_directories(d, ec);
        return d;
    }();
    return dir;
}

void walkAndSave(vantor::fat::FatVolume& reader) {
    using namespace vantor;
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
            if (reader.isSaveFile(*c) && saved < 6) {
                reader.saveEntry(*c, scratch() / "out");
                ++saved;
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    std::vector<std::uint8_t> volume(data, data + size);
    // Small inputs stand for the first sectors of a larger volume.
    if (volume.size() < 64 * 1024) volume.resize(64 * 1024, 0);
    // The advanced mode's picks come from the input too: a FAT sector and a
    // cluster size of 1 to 8 sectors.
    AdvancedPicks picks;
    picks.candidate = size > 1 ? data[1] : 0;
    picks.sectorsPerCluster = 1u << (size > 0 ? data[0] % 4 : 0);
    for (const char* kind : {"FAT16", "FAT32"}) {
        for (ScanMode mode : {ScanMode::standard, ScanMode::advanced}) {
            MemoryReader source(volume);
            AppState state;
            const ReaderContext context{source, VolumeRecord{kind, "", "0", "1 MB", 0}, state, nullProgress(),
                                        silentMessages(), picks};
            std::unique_ptr<fat::FatVolume> reader;
            if (kind[3] == '1') reader = std::make_unique<Fat16Class>(context);
            else reader = std::make_unique<Fat32Class>(context);
            reader->scan(mode);
            walkAndSave(*reader);
        }
    }
    return 0;
}
