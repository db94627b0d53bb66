#pragma once
// Whether a folder lies on the disk being recovered. Writing there would
// overwrite the free space where deleted files still lie, so a save refuses
// it before any work.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace vantor {

// The whole disks a block device is made of: the device itself when it is a
// disk, a partition's disk, the disks under a device-mapper, RAID or other
// stacked device, and, with `followLoops`, the disks holding a loop device's
// backing file. Read from sysfs; empty when the device is unknown there.
std::set<std::uint64_t> disksUnder(std::uint64_t device, bool followLoops);

// The block devices a folder's file system writes to (the nearest existing
// folder when `folder` is still to be made).
std::set<std::uint64_t> devicesHolding(const std::filesystem::path& folder);

// Why `outDir` must not take a save from the block device `source`: the
// reason in words, or nullopt when it lies on other disks.
std::optional<std::string> outputOnSourceDisk(const std::filesystem::path& outDir, std::uint64_t source);

class readWriteInterface;
// The same for a source as opened: only block devices are checked (an image
// file's disk may take a save: it is not the image).
std::optional<std::string> outputOnSource(const readWriteInterface& source, const std::filesystem::path& outDir);

}  // namespace vantor
