#pragma once
// Finding the volumes of a drive: from its partition tables (MBR with the
// extended boot record chain, or GPT), or by sweeping every sector for boot
// sectors and volume headers when the tables are gone.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/progress.h"
#include "core/worker_control.h"
#include "device/FileReadSeek.h"
#include "device/VolumeRecord.h"

namespace vantor {

class Partition {
public:
    Partition(readWriteInterface& reader, ProgressSink& progress = nullProgress())
        : reader(reader), progress(progress) {}

    // Options of the scan mode page.
    bool gptFormat = false;           // read the GUID partition table
    bool skipVolumeSize = true;       // the sweep jumps over each volume it finds
    std::int64_t customStartSector = 0;  // 0: from the start of the drive
    std::int64_t customEndSector = 0;    // 0 or less: to its end

    WorkerControl control;            // Stop and Pause of the sweep

    // Every record found, in the order found.
    std::vector<VolumeRecord> volumes;
    // Told of each record as it is found (the sweep's list fills as it goes).
    std::function<void(const VolumeRecord&)> onFound;

    // Reads the partition tables with baseOffset 0. Returns 0 when it ran to
    // its end, or an errno when a table could not be read.
    int scanPartitionTables();
    // Sweeps the sectors. Returns 1 when it ended or was stopped, or an errno
    // when nothing could be read.
    int sweepForVolumes();

private:
    std::size_t readTable(std::uint64_t offset, std::span<std::uint8_t> dest);
    int scanMbr(bool protectiveFallback);
    int scanGpt();
    void addRecord(VolumeRecord record, std::string_view status);
    void addMbrEntry(std::uint8_t type, std::int64_t start, std::uint64_t sectors, bool inExtended);
    std::string nextVolumeId() { return std::to_string(recordCount++); }

    readWriteInterface& reader;
    ProgressSink& progress;
    int recordCount = 0;
    int ntfsCount = 0;
};

bool isExfatAt(readWriteInterface& reader, std::int64_t sector);
bool isHfsPlusAt(readWriteInterface& reader, std::int64_t sector);

}  // namespace vantor
