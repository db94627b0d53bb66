#include "device/same_disk.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "device/FileReadSeek.h"

namespace vantor {

namespace {

namespace fs = std::filesystem;

// Device stacks are shallow; this only ends a loop a broken sysfs could make.
constexpr int kMaxDepth = 16;

fs::path sysfsDir(std::uint64_t device) {
    return fs::path("/sys/dev/block") / (std::to_string(major(device)) + ":" + std::to_string(minor(device)));
}

// "8:1" as a device number.
std::optional<std::uint64_t> deviceInFile(const fs::path& file) {
    std::ifstream in(file);
    unsigned maj = 0, min = 0;
    char colon = 0;
    if (!(in >> maj >> colon >> min) || colon != ':') return std::nullopt;
    return makedev(maj, min);
}

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Mount points in mountinfo escape spaces and the like as \ooo.
std::string unescapeMountField(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string octal = field.substr(i + 1, 3);
            if (octal.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(octal, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// The source device of the mount holding `path` (a canonical path): file
// systems such as btrfs give their files device numbers of their own.
std::optional<std::uint64_t> mountSourceOf(const fs::path& path) {
    std::ifstream in("/proc/self/mountinfo");
    std::string line, bestSource;
    std::size_t bestLength = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint)) continue;
        mountPoint = unescapeMountField(mountPoint);
        const std::string p = path.string();
        const bool below = p == mountPoint || mountPoint == "/" ||
                           (p.rfind(mountPoint, 0) == 0 && p.size() > mountPoint.size() && p[mountPoint.size()] == '/');
        if (!below || mountPoint.size() < bestLength) continue;
        std::string word, type, source;
        while (fields >> word && word != "-") {}
        if (!(fields >> type >> source)) continue;
        bestLength = mountPoint.size();
        bestSource = unescapeMountField(source);
    }
    struct stat st {};
    if (bestSource.rfind("/dev/", 0) != 0 || ::stat(bestSource.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return std::nullopt;
    return st.st_rdev;
}

void collectDisks(std::uint64_t device, bool followLoops, int depth, std::set<std::uint64_t>& disks);

void collectHolding(const fs::path& existing, std::set<std::uint64_t>& devices) {
    struct stat st {};
    if (::stat(existing.c_str(), &st) == 0) devices.insert(st.st_dev);
    std::error_code ec;
    const fs::path canonical = fs::canonical(existing, ec);
    if (!ec)
        if (const auto source = mountSourceOf(canonical)) devices.insert(*source);
}

void collectDisks(std::uint64_t device, bool followLoops, int depth, std::set<std::uint64_t>& disks) {
    if (depth > kMaxDepth) return;
    std::error_code ec;
    const fs::path dir = fs::canonical(sysfsDir(device), ec);
    if (ec) return;
    bool stacked = false;
    for (const auto& slave : fs::directory_iterator(dir / "slaves", ec)) {
        if (const auto below = deviceInFile(slave.path() / "dev")) {
            stacked = true;
            collectDisks(*below, followLoops, depth + 1, disks);
        }
    }
    if (followLoops && fs::exists(dir / "loop" / "backing_file", ec)) {
        const fs::path backing = firstLine(dir / "loop" / "backing_file");
        std::set<std::uint64_t> holding;
        if (!backing.empty()) collectHolding(backing, holding);
        for (const std::uint64_t d : holding) collectDisks(d, followLoops, depth + 1, disks);
    }
    if (stacked) return;
    if (fs::exists(dir / "partition", ec)) {
        if (const auto disk = deviceInFile(dir.parent_path() / "dev")) disks.insert(*disk);
        return;
    }
    disks.insert(device);
}

std::string deviceName(std::uint64_t device) {
    std::error_code ec;
    const fs::path dir = fs::canonical(sysfsDir(device), ec);
    if (ec) return std::to_string(major(device)) + ":" + std::to_string(minor(device));
    return "/dev/" + dir.filename().string();
}

}  // namespace

std::set<std::uint64_t> disksUnder(std::uint64_t device, bool followLoops) {
    std::set<std::uint64_t> disks;
    collectDisks(device, followLoops, 0, disks);
    return disks;
}

std::set<std::uint64_t> devicesHolding(const fs::path& folder) {
    std::error_code ec;
    fs::path existing = fs::absolute(folder, ec);
    while (!existing.empty() && !fs::exists(existing, ec) && existing != existing.parent_path())
        existing = existing.parent_path();
    std::set<std::uint64_t> devices;
    collectHolding(existing, devices);
    return devices;
}

std::optional<std::string> outputOnSourceDisk(const fs::path& outDir, std::uint64_t source) {
    // The source's own disks; a loop device's backing file is not followed:
    // an image's free neighbours on its disk are not the image.
    std::set<std::uint64_t> sourceDisks = disksUnder(source, false);
    sourceDisks.insert(source);
    for (const std::uint64_t device : devicesHolding(outDir)) {
        std::set<std::uint64_t> outDisks = disksUnder(device, true);
        outDisks.insert(device);
        for (const std::uint64_t disk : outDisks) {
            if (sourceDisks.count(disk) == 0) continue;
            return "the output folder " + outDir.string() + " is on " + deviceName(disk) + ", the disk being recovered: "
                   "saving there would overwrite the free space where lost files still lie; choose a folder on "
                   "another disk";
        }
    }
    return std::nullopt;
}

std::optional<std::string> outputOnSource(const readWriteInterface& source, const fs::path& outDir) {
    const auto device = source.blockDevice();
    return device ? outputOnSourceDisk(outDir, *device) : std::nullopt;
}

}  // namespace vantor
