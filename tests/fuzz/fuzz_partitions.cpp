// Arbitrary bytes as a whole disk: the table scans and the sweep must neither
// crash nor loop, whatever the tables and boot sectors claim.
#include <cstdint>
#include <vector>

#include "device/FileReadSeek.h"
#include "device/Partition.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> disk(data, data + size);
    // Small inputs stand for the first sectors of a larger disk.
    if (disk.size() < 64 * 1024) disk.resize(64 * 1024, 0);
    vantor::MemoryReader reader(disk);
    for (bool gpt : {false, true}) {
        vantor::Partition tables(reader);
        tables.gptFormat = gpt;
        tables.scanPartitionTables();
    }
    for (bool skip : {true, false}) {
        vantor::Partition sweep(reader);
        sweep.skipVolumeSize = skip;
        sweep.sweepForVolumes();
    }
    return 0;
}
