#include "device/enumeration.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "device/FileReadSeek.h"
#include "device/boot_sector.h"

namespace vantor {
namespace fs = std::filesystem;
namespace {

bool startsWith(const std::string& s, std::string_view prefix) { return s.rfind(prefix, 0) == 0; }

// Whole disks worth offering; partitions, ram disks and device-mapper nodes are not drives.
bool isDriveName(const std::string& name, const fs::path& dir) {
    if (startsWith(name, "loop")) return fs::exists(dir / "loop" / "backing_file");
    if (startsWith(name, "nvme")) return name.find('n', 4) != std::string::npos && name.find('p') == std::string::npos;
    return startsWith(name, "sd") || startsWith(name, "vd") || startsWith(name, "xvd") ||
           startsWith(name, "mmcblk") || startsWith(name, "hd");
}

std::string readTrimmed(const fs::path& path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::vector<std::string> sortedNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Mount points by device path, from the mount table.
std::map<std::string, std::string> mountPoints(const fs::path& mounts) {
    std::map<std::string, std::string> points;
    std::ifstream in(mounts);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string source, target;
        if (fields >> source >> target && startsWith(source, "/dev/") && !points.count(source))
            points[source] = target;
    }
    return points;
}

}  // namespace

std::string volumeSizeText(std::uint64_t bytes) {
    return std::to_string(static_cast<std::int32_t>(bytes >> 20)) + "  MB";
}

std::vector<PhysicalDrive> enumerateDrives(const SystemRoots& roots) {
    std::vector<PhysicalDrive> drives;
    for (const std::string& name : sortedNames(roots.sys / "block")) {
        const fs::path dir = roots.sys / "block" / name;
        if (!isDriveName(name, dir)) continue;
        PhysicalDrive d;
        d.number = static_cast<int>(drives.size());
        d.devicePath = (roots.dev / name).string();
        const std::string vendor = readTrimmed(dir / "device" / "vendor");
        const std::string model = readTrimmed(dir / "device" / "model");
        d.label = vendor.empty() ? model : model.empty() ? vendor : vendor + " " + model;
        if (d.label.empty()) d.label = d.devicePath;
        drives.push_back(d);
    }
    return drives;
}

std::vector<VolumeRecord> enumerateVolumes(const SystemRoots& roots) {
    const auto points = mountPoints(roots.mounts);
    std::vector<std::string> names;
    for (const std::string& disk : sortedNames(roots.sys / "block")) {
        const fs::path dir = roots.sys / "block" / disk;
        if (!isDriveName(disk, dir)) continue;
        for (const std::string& part : sortedNames(dir))
            if (fs::exists(dir / part / "partition")) names.push_back(part);
    }
    // Mounted block volumes that are no partition of a listed drive (a whole
    // unpartitioned disk, a device-mapper volume).
    for (const auto& [device, target] : points) {
        const std::string name = fs::path(device).filename().string();
        if (std::find(names.begin(), names.end(), name) == names.end() &&
            fs::exists(roots.sys / "class" / "block" / name))
            names.push_back(name);
    }

    std::vector<VolumeRecord> volumes;
    for (const std::string& name : names) {
        const std::string device = (roots.dev / name).string();
        FileReadSeek reader;
        if (!reader.open(device)) continue;  // no media, or no rights to read it
        std::vector<std::uint8_t> first(1536, 0);
        reader.readAt(0, first);
        const auto id = identifyVolumeStart(first);
        std::uint64_t bytes = reader.sizeBytes();
        const std::string sectors = readTrimmed(roots.sys / "class" / "block" / name / "size");
        if (const std::int64_t n = leadingNumber(sectors); n > 0) bytes = static_cast<std::uint64_t>(n) * 512;
        VolumeRecord r;
        r.fileSystem = id ? id->name : "Unknown";
        const auto mounted = points.find("/dev/" + name);
        r.rootPath = mounted != points.end() ? mounted->second : device;
        r.volumeId = device;
        r.sizeText = volumeSizeText(bytes);
        r.sizeBytes = bytes;
        r.startSector = 0;
        volumes.push_back(r);
    }
    return volumes;
}

}  // namespace vantor
