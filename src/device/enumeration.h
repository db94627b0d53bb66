#pragma once
// What the machine offers: whole-disk block devices (the "physical drives")
// and the volumes on them, read from /sys and the mount table. The roots are
// parameters so tests can run against a fake tree.
#include <filesystem>
#include <string>
#include <vector>

#include "device/VolumeRecord.h"

namespace vantor {

struct PhysicalDrive {
    int number = 0;          // position in name order
    std::string devicePath;  // /dev/NAME
    std::string label;       // vendor and model, or the device path
};

struct SystemRoots {
    std::filesystem::path sys = "/sys";
    std::filesystem::path dev = "/dev";
    std::filesystem::path mounts = "/proc/self/mounts";
};

std::vector<PhysicalDrive> enumerateDrives(const SystemRoots& roots = {});

// Partitions of the drives and mounted block volumes, each once, in name
// order. The file system is identified by reading the volume (read-only);
// volumes that cannot be opened are left out.
std::vector<VolumeRecord> enumerateVolumes(const SystemRoots& roots = {});

// "%d  MB" of a byte count shifted right by 20.
std::string volumeSizeText(std::uint64_t bytes);

}  // namespace vantor
