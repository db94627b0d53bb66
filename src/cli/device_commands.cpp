// vantor drives, vantor partitions
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli/commands.h"
#include "device/enumeration.h"

namespace vantor::cli {
namespace {

int runDrives(bool json) {
    const auto drives = enumerateDrives();
    const auto volumes = enumerateVolumes();
    if (json) {
        nlohmann::json out = {{"drives", nlohmann::json::array()}, {"volumes", nlohmann::json::array()}};
        for (const auto& d : drives)
            out["drives"].push_back({{"number", d.number}, {"devicePath", d.devicePath}, {"label", d.label}});
        for (const auto& v : volumes)
            out["volumes"].push_back({{"volumeId", v.volumeId}, {"rootPath", v.rootPath},
                                      {"fileSystem", v.fileSystem}, {"sizeText", v.sizeText}});
        std::cout << out.dump(2) << '\n';
        return kDone;
    }
    std::printf("Physical drives\n");
    for (const auto& d : drives) std::printf("  %d  %-16s %s\n", d.number, d.devicePath.c_str(), d.label.c_str());
    if (drives.empty()) std::printf("  (none readable; block devices need root, images work without)\n");
    std::printf("Volumes\n");
    for (const auto& v : volumes)
        std::printf("  %-16s %-24s %-8s %s\n", v.volumeId.c_str(), v.rootPath.c_str(), v.fileSystem.c_str(),
                    v.sizeText.c_str());
    return kDone;
}

int runPartitions(const std::string& source, const VolumeOptions& o, bool json) {
    StderrMessages messages;
    FileReadSeek reader(messages);
    if (!openSource(reader, source)) return kFailed;
    TerminalProgress progress(o.quiet);
    const auto volumes = listSourceVolumes(reader, o, progress);
    if (!volumes) return kFailed;
    printVolumes(*volumes, json);
    return kDone;
}

}  // namespace

void addDeviceCommands(CLI::App& app, int& status) {
    auto* drives = app.add_subcommand("drives", "list the physical drives and volumes of this machine");
    auto drivesJson = std::make_shared<bool>(false);
    drives->add_flag("--json", *drivesJson, "print JSON");
    drives->callback([&status, drivesJson] { status = runDrives(*drivesJson); });

    auto* partitions = app.add_subcommand("partitions", "list the volumes of a disk or image");
    auto source = std::make_shared<std::string>();
    auto options = std::make_shared<VolumeOptions>();
    auto json = std::make_shared<bool>(false);
    partitions->add_option("SOURCE", *source, "block device or image file")->required();
    addScanOptions(*partitions, *options);
    partitions->add_flag("--json", *json, "print JSON");
    partitions->callback([&status, source, options, json] { status = runPartitions(*source, *options, *json); });
}

}  // namespace vantor::cli
