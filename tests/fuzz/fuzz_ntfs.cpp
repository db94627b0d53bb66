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
#include "fuzz_support.h"
#include "fs/ntfs/ntfs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    MemoryReader source(fuzz::paddedVolume(data, size));
    AppState state;
    ntfs reader(ReaderContext{source, VolumeRecord{"NTFS", "", "0", "1 MB", 0}, state});
    reader.scan(ScanMode::standard);

    fuzz::walkDescribeAndSave(reader, fuzz::scratchFolder("fuzz_ntfs"), 8);
    return 0;
}
