// vantor candidates: the searches the advanced mode starts from. A volume
// whose boot sector is lost or was rewritten by a format still holds its old
// structures; this lists where they might start, and the cluster sizes to try.
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"

namespace vantor::cli {
namespace {

struct CandidateList {
    std::string labelPrefix;                   // "FAT_ENTRY", "FAT32_ENTRY"
    std::vector<std::int64_t> sectors;          // volume-relative; what --candidate takes
    std::vector<std::uint32_t> sectorsPerCluster;
};

// FAT16 and FAT32: copies of the FAT, found by their first two entries.
CandidateList fatCandidates(fat::FatVolume& reader, int max) {
    reader.attachVolume();
    reader.checkBootSector();  // only for its cluster size, offered first
    CandidateList list;
    list.labelPrefix = reader.version() == fat::FatVersion::fat32 ? "FAT32_ENTRY" : "FAT_ENTRY";
    list.sectors = reader.findFatCandidates(max);
    list.sectorsPerCluster = reader.sectorsPerClusterChoices();
    return list;
}

void tellCount(Messages& messages, const CandidateList& list, FsKind kind) {
    char text[200];
    if (kind == FsKind::fat32 && list.sectors.empty()) {
        messages.inform("NO FAT  FAT32-ENTRY found ..");
        return;
    }
    std::snprintf(text, sizeof text,
                  "Number of %s found = %d . Please select the choice from combo box and click Next button to proceed.",
                  kind == FsKind::fat32 ? "FAT32-ENTRY" : "FAT-ENTRY", static_cast<int>(list.sectors.size()));
    messages.inform(text);
}

int runCandidates(const std::string& source, const VolumeOptions& o, int max, bool json) {
    StderrMessages messages;
    FileReadSeek reader(messages);
    if (!openSource(reader, source)) return kFailed;
    TerminalProgress progress(o.quiet);
    const VolumeChoice choice = chooseVolume(reader, o, progress);
    if (!choice.volume) return choice.exitStatus;
    AppState state;
    const ReaderContext context{reader, *choice.volume, state, progress, messages, {}};
    if (max <= 0) max = 3;

    CandidateList list;
    const FsKind kind = fsKindFromName(choice.volume->fileSystem);
    switch (kind) {
        case FsKind::fat16: {
            Fat16Class fat(context);
            list = fatCandidates(fat, max);
            break;
        }
        case FsKind::fat32: {
            Fat32Class fat(context);
            list = fatCandidates(fat, max);
            break;
        }
        // NTFS: the MFT record search, and exFAT: FAT and heap searches, go here.
        default:
            std::cerr << "no candidate search for " << choice.volume->fileSystem << " volumes yet\n";
            return kUsage;
    }
    tellCount(messages, list, kind);

    if (json) {
        nlohmann::json out = {{"volume", {{"fileSystem", choice.volume->fileSystem},
                                          {"startSector", choice.volume->startSector},
                                          {"sizeText", choice.volume->sizeText}}},
                              {"candidates", nlohmann::json::array()},
                              {"sectorsPerCluster", list.sectorsPerCluster}};
        for (std::size_t i = 0; i < list.sectors.size(); ++i)
            out["candidates"].push_back(
                {{"index", i}, {"label", list.labelPrefix + ":" + std::to_string(i)}, {"sector", list.sectors[i]}});
        std::cout << out.dump(2) << '\n';
        return kDone;
    }
    for (std::size_t i = 0; i < list.sectors.size(); ++i)
        std::printf("%s:%zu  sector %lld\n", list.labelPrefix.c_str(), i, static_cast<long long>(list.sectors[i]));
    std::printf("sectors per cluster:");
    for (std::uint32_t s : list.sectorsPerCluster) std::printf(" %u", s);
    std::printf("\n(scan with --mode advanced --candidate SECTOR --spc N)\n");
    return kDone;
}

}  // namespace

void addCandidateCommands(CLI::App& app, int& status) {
    auto* cmd = app.add_subcommand("candidates", "find where a lost file system's structures start (advanced mode)");
    auto source = std::make_shared<std::string>();
    auto options = std::make_shared<VolumeOptions>();
    auto max = std::make_shared<int>(3);
    auto json = std::make_shared<bool>(false);
    cmd->add_option("SOURCE", *source, "block device or image file")->required();
    addVolumeOptions(*cmd, *options, false);
    cmd->add_option("--max", *max, "stop after this many candidates (default 3)");
    cmd->add_flag("--json", *json, "print JSON");
    cmd->callback([&status, source, options, max, json] { status = runCandidates(*source, *options, *max, *json); });
}

}  // namespace vantor::cli
