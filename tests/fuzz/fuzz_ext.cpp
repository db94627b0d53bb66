// Arbitrary bytes as an ext volume: the superblock search, the inode tables,
// the directory walk, the tree, the content of every file (block maps,
// extent trees, inline data) and a few saves must neither crash nor loop,
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
#include "fuzz_support.h"
#include "fs/ext/ext2Class.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    MemoryReader source(fuzz::paddedVolume(data, size));
    AppState state;
    ext2Class reader(ReaderContext{source, VolumeRecord{"extX", "", "0", "0", 0}, state});
    reader.scan(ScanMode::standard);

    fuzz::walkDescribeAndSave(reader, fuzz::scratchFolder("fuzz_ext"), {.maxSaves = 4});
    return 0;
}
