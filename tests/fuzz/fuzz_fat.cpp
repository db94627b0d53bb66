// Arbitrary bytes as a FAT16 and as a FAT32 volume, in the standard and the
// advanced mode: the scan, the tree walk and the saves must neither crash nor
// loop, whatever the boot sector, the FAT and the directories claim. Every
// file's content is written too, following its cluster chain.
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
#include "fuzz_support.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    const std::vector<std::uint8_t> volume = fuzz::paddedVolume(data, size);
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
            // Four scans per input: each writes less content than a lone reader would.
            fuzz::walkDescribeAndSave(*reader, fuzz::scratchFolder("fuzz_fat"),
                                      {.maxSaves = 2, .maxContents = 1024, .totalBytes = std::uint64_t{16} << 20});
        }
    }
    return 0;
}
