#pragma once
// A real block device whose chosen sectors fail with EIO: vantor-faultfs serves
// the image through FUSE and a read-only loop device sits on top of it.
//
// Reads through the device's page cache fail a little wider than the bad
// sectors (whole pages, or whole readahead folios); reads with O_DIRECT fail
// exactly there.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace vantor::test {

class FaultyDevice {
public:
    // Inclusive ranges of 512-byte sectors that fail; an empty list gives a
    // device that reads like the image.
    using SectorRanges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

    // Mounts faultfs over `image` and attaches a read-only loop device to its
    // file. available() is false, with why(), when that cannot be done here:
    // not root, no /dev/fuse, no loop devices, or faultfs was not built.
    FaultyDevice(const std::filesystem::path& image, SectorRanges badSectors);
    // Detaches the loop device, unmounts, reaps faultfs, removes the temporary folder.
    ~FaultyDevice();
    FaultyDevice(const FaultyDevice&) = delete;
    FaultyDevice& operator=(const FaultyDevice&) = delete;

    bool available() const { return !loopDevice.empty(); }
    const std::string& why() const { return reason; }
    // "/dev/loopN"; empty when not available.
    const std::string& device() const { return loopDevice; }
    // The FUSE file under the loop device, failing the same way.
    std::filesystem::path file() const { return mountPoint / "disk"; }

private:
    bool setUp(const std::filesystem::path& image, const SectorRanges& badSectors);
    bool waitForMount(std::uintmax_t size);
    bool mounted() const;
    void tearDown();
    std::string faultfsLog() const;

    std::filesystem::path dir;
    std::filesystem::path mountPoint;
    pid_t child = -1;
    std::string loopDevice;
    std::string reason;
};

}  // namespace vantor::test
