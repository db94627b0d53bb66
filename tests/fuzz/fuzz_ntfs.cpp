// Arbitrary bytes as an NTFS volume, in the standard mode and in the advanced
// mode started at the $MFT the boot sector names: the scan, the tree walk, the
// content of every file (resident, run lists, sparse and compressed) and the
// saves must neither crash nor loop, whatever the boot sector and records
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
#include "fs/ntfs/ntfs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vantor;
    const std::vector<std::uint8_t> volume = fuzz::paddedVolume(data, size);
    {
        MemoryReader source(volume);
        AppState state;
        ntfs reader(ReaderContext{source, VolumeRecord{"NTFS", "", "0", "1 MB", 0}, state});
        reader.scan(ScanMode::standard);
        fuzz::walkDescribeAndSave(reader, fuzz::scratchFolder("fuzz_ntfs"), {.maxSaves = 4});
    }
    {
        // The advanced mode's picks as a user would make them from this boot
        // sector: the sector of its $MFT cluster and its cluster size.
        const Bytes boot(volume.data(), 512);
        const std::uint32_t sectorsPerCluster = u8(boot, 0x0D) ? u8(boot, 0x0D) : 8;
        AdvancedPicks picks;
        picks.candidate = static_cast<std::int64_t>(le64(boot, 0x30) % (std::uint64_t{1} << 40)) * sectorsPerCluster;
        picks.sectorsPerCluster = sectorsPerCluster;
        MemoryReader source(volume);
        AppState state;
        ntfs reader(ReaderContext{source, VolumeRecord{"NTFS", "", "0", "1 MB", 0}, state, nullProgress(),
                                  silentMessages(), picks});
        reader.scan(ScanMode::advanced);
        fuzz::walkDescribeAndSave(reader, fuzz::scratchFolder("fuzz_ntfs"), {.maxSaves = 4});
    }
    return 0;
}
