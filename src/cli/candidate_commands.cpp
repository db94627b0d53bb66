// vantor candidates: the searches the advanced mode starts from. A volume
// whose boot sector is lost or was rewritten by a format still holds its old
// structures; this lists where they might start, and the cluster sizes to try.
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/commands.h"
#include "results/format_table.h"

namespace vantor::cli {
namespace {

int runCandidates(const std::string& source, const VolumeOptions& o, int max, bool json) {
    StderrMessages messages;
    FileReadSeek reader(messages);
    if (!openSource(reader, source)) return kFailed;
    TerminalProgress progress(o.quiet);
    const PickedVolume choice = pickVolume(reader, o, progress);
    if (!choice.volume) return choice.exitStatus;
    AppState state;
    const ReaderContext context{reader, *choice.volume, state, progress, messages, {}};
    if (max <= 0) max = 3;

    const FormatRow* format = formatFor(choice.volume->fileSystem);
    if (!format || !format->findCandidates) {
        std::cerr << "no candidate search for " << choice.volume->fileSystem << " volumes yet\n";
        return kUsage;
    }
    const CandidateList list = format->findCandidates(context, max);
    std::fprintf(stderr, "%zu candidates found\n", list.sectors.size());

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
