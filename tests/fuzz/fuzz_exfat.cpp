// Arbitrary bytes as an exFAT volume: the boot sector (or its backup), the
// FAT, the bitmap, every directory along its chain or run, the entry sets,
// the tree, the content of every file (chained, contiguous, deleted over
// free clusters) and a few saves must neither crash nor loop, whatever the
// boot region, the FAT and the entry sets claim.
#include <cstdint>
#include <vector>

#include "core/app_state.h"
#include "device/FileReadSeek.h"
#include "device/reader_context.h"
#include "fuzz_support.h"
#include "fs/exfat/Fat64Class.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    MemoryReader source(fuzz::paddedVolume(data, size));
    AppState state;
    Fat64Class reader(ReaderContext{source, VolumeRecord{"FAT64", "", "0", "0", 0}, state});
    reader.scan(ScanMode::standard);

    fuzz::walkDescribeAndSave(reader, fuzz::scratchFolder("fuzz_exfat"), {.maxSaves = 4});
    return 0;
}
