#pragma once
// The sector reader: every byte taken from a disk, a partition or an image
// passes through one of these. Sources are opened read-only; nothing here can
// write to them. Offsets given to seek/readAt are relative to baseOffset, the
// first byte of the volume being worked on.
#include <cstddef>
#include <cstdint>
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

    // Reads dest.size() bytes at (baseOffset + offset). Returns how many
    // arrived; when some but not all arrived, the rest of dest is zero-filled;
    // when none arrived, dest is left untouched.
    virtual std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) = 0;

    // The positioned pair: seek to (baseOffset + offset), then read from there.
    // read() is true only when every byte arrived; the position moves on by
    // what arrived.
    bool seek(std::uint64_t offset);
    bool read(std::span<std::uint8_t> dest);

    std::uint64_t baseOffset = 0;

    // Size of the opened source in 512-byte sectors (rounded down), 0 before open.
    std::int64_t deviceTotalSectors() const { return totalSectors; }
    std::uint64_t sizeBytes() const { return totalBytes; }

protected:
    std::int64_t totalSectors = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t position = 0;  // relative to baseOffset
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
    bool isOpen() const { return fd >= 0; }

private:
    Messages& messages;
    int fd = -1;
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
