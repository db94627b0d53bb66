#pragma once
// The sector reader: every byte taken from a disk, a partition or an image
// passes through one of these. Sources are opened read-only; nothing here can
// write to them. Offsets are bytes of the whole source; a reader sees its
// volume through a VolumeWindow.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/messages.h"

namespace vantor {

inline constexpr std::uint64_t kSectorSize = 512;

class readWriteInterface {
public:
    virtual ~readWriteInterface() = default;

    virtual bool open(const std::string& path) = 0;

    // Reads dest.size() bytes at `offset`. Returns how many arrived; when
    // some but not all arrived, the rest of dest is zero-filled; when none
    // arrived, dest is left untouched.
    virtual std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) = 0;
    // Reads one sector (or less) again after a failed read, past any cache
    // that would fail the whole page around it. The same as readAt unless
    // the source can do better.
    virtual std::size_t readSector(std::uint64_t offset, std::span<std::uint8_t> dest) { return readAt(offset, dest); }
    // The size of the pieces a failed read is tried again in.
    virtual std::uint64_t retryUnit() const { return kSectorSize; }

    // The positioned pair: seek to `offset`, then read from there.
    // read() is true only when every byte arrived; the position moves on by
    // what arrived.
    bool seek(std::uint64_t offset);
    bool read(std::span<std::uint8_t> dest);

    // The device number of the block device being read, when the source is
    // one (an image file is not).
    virtual std::optional<std::uint64_t> blockDevice() const { return std::nullopt; }

    // Size of the opened source in 512-byte sectors (rounded down), 0 before open.
    std::int64_t deviceTotalSectors() const { return totalSectors; }
    std::uint64_t sizeBytes() const { return totalBytes; }

protected:
    std::int64_t totalSectors = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t position = 0;
};

// A block device or image file, opened O_RDONLY. Size from BLKGETSIZE64 for
// block devices, from the file length otherwise.
class FileReadSeek final : public readWriteInterface {
public:
    explicit FileReadSeek(Messages& messages = silentMessages()) : messages(messages) {}
    ~FileReadSeek() override;
    FileReadSeek(const FileReadSeek&) = delete;
    FileReadSeek& operator=(const FileReadSeek&) = delete;

    bool open(const std::string& path) override;
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) override;
    // Through a second descriptor opened O_DIRECT, so the page cache does not
    // fail a whole page (or a read-ahead window) around one bad sector.
    std::size_t readSector(std::uint64_t offset, std::span<std::uint8_t> dest) override;
    std::uint64_t retryUnit() const override { return logicalSector; }
    std::optional<std::uint64_t> blockDevice() const override { return device; }
    bool isOpen() const { return fd >= 0; }

private:
    void closeAll();
    Messages& messages;
    int fd = -1;
    int directFd = -1;       // opened on the first retry; -2 when O_DIRECT is not to be had
    std::uint64_t logicalSector = kSectorSize;
    std::optional<std::uint64_t> device;
};

// Bytes in memory as a source: used by tests and the fuzz targets.
class MemoryReader final : public readWriteInterface {
public:
    explicit MemoryReader(std::vector<std::uint8_t> bytes);
    bool open(const std::string&) override { return true; }
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) override;

private:
    std::vector<std::uint8_t> data;
};

}  // namespace vantor
