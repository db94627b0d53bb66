// The volume choice (volume_choice.h).
#include "results/volume_choice.h"

#include "device/Partition.h"
#include "device/VolumeWindow.h"
#include "device/boot_sector.h"

namespace vantor {

std::optional<std::vector<VolumeRecord>> listVolumes(readWriteInterface& source, const VolumeQuery& query,
                                                     ProgressSink& progress) {
    Partition scan(source, progress);
    scan.gptFormat = query.gpt;
    if (query.sweep) {
        scan.skipVolumeSize = !query.noSkip;
        scan.customStartSector = query.sweepStart;
        scan.customEndSector = query.sweepEnd;
        if (scan.sweepForVolumes() != 1) return std::nullopt;
    } else if (scan.scanPartitionTables() != 0 && scan.volumes.empty()) {
        return std::nullopt;
    }
    return scan.volumes;
}

VolumeRecord customVolume(const readWriteInterface& source, std::int64_t startSector, std::uint64_t sizeBytes,
                          FsKind kind) {
    VolumeRecord r;
    r.fileSystem = std::string(fsKindName(kind));
    r.volumeId = "custom";
    r.startSector = startSector;
    r.sizeBytes = sizeBytes;
    const std::int64_t mb = sizeBytes ? static_cast<std::int64_t>(sizeBytes / 1048576)
                                      : (source.deviceTotalSectors() - startSector) / 2048;
    r.sizeText = std::to_string(mb) + "  MB";
    return r;
}

VolumeChoice chooseVolume(readWriteInterface& source, const VolumeQuery& query, ProgressSink& progress) {
    VolumeChoice choice;
    if (query.customStart) {
        const FsKind kind = query.customKind ? fsKindFromName(*query.customKind) : FsKind::unknown;
        if (*query.customStart < 0 || (query.customSizeMb && *query.customSizeMb < 0) || kind == FsKind::unknown) {
            choice.outcome = VolumeChoice::Outcome::badCustom;
            return choice;
        }
        const std::uint64_t bytes = query.customSizeMb ? static_cast<std::uint64_t>(*query.customSizeMb) * 1048576 : 0;
        choice.volume = customVolume(source, *query.customStart, bytes, kind);
        choice.outcome = VolumeChoice::Outcome::chosen;
        return choice;
    }
    if (!query.row && !query.sweep && !query.gpt) {
        // A partition image: the source is the volume. Read through a window,
        // so a bad sector near the start costs that sector, not the page around it.
        std::vector<std::uint8_t> first(1536, 0);
        VolumeWindow(source, 0, 0).readAt(0, first);
        if (const auto id = identifyVolumeStart(first); id && id->kind != FsKind::unknown) {
            VolumeRecord r;
            r.fileSystem = id->name;
            r.volumeId = "0";
            r.sizeText = std::to_string(id->sizeBytes / 1048576) + "  MB";
            r.sizeBytes = static_cast<std::uint64_t>(id->sizeBytes);
            choice.volume = r;
            choice.outcome = VolumeChoice::Outcome::chosen;
            return choice;
        }
    }
    auto volumes = listVolumes(source, query, progress);
    if (!volumes) {
        choice.outcome = VolumeChoice::Outcome::listUnreadable;
        return choice;
    }
    choice.volumes = std::move(*volumes);
    if (query.row) {
        if (*query.row < 0 || static_cast<std::size_t>(*query.row) >= choice.volumes.size()) {
            choice.outcome = VolumeChoice::Outcome::noSuchRow;
            return choice;
        }
        choice.volume = choice.volumes[static_cast<std::size_t>(*query.row)];
        choice.outcome = VolumeChoice::Outcome::chosen;
        return choice;
    }
    if (choice.volumes.size() == 1) {
        choice.volume = choice.volumes.front();
        choice.outcome = VolumeChoice::Outcome::chosen;
        return choice;
    }
    choice.outcome = choice.volumes.empty() ? VolumeChoice::Outcome::noneFound : VolumeChoice::Outcome::needsChoice;
    return choice;
}

}  // namespace vantor
