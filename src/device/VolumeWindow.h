#pragma once
// One volume of a source: its start and length in bytes, and the only way a
// reader reads it. A read that fails is read again sector by sector, so one
// bad sector costs that sector and not the megabyte around it; what still
// cannot be read comes back as zeros and as a byte range the caller can
// report ("unreadable: bytes A-B, written as zeros").
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/bytes.h"
#include "device/FileReadSeek.h"
#include "device/VolumeRecord.h"

namespace vantor {

class VolumeWindow {
public:
    // `length` 0 means "to the end of the source". Both are clipped to the source.
    VolumeWindow(readWriteInterface& source, std::uint64_t start, std::uint64_t length);
    // The window a volume list row describes.
    static VolumeWindow of(readWriteInterface& source, const VolumeRecord& volume);

    std::uint64_t start() const { return first; }
    // The volume's length as its list row gave it, within the source.
    std::uint64_t length() const { return size; }
    // Bytes of the source from the start on: reads reach this far, since a
    // partition table that understates a volume must not cost its last files.
    std::uint64_t reach() const;
    // A header found later than expected moves the volume's start (ext).
    void moveStart(std::uint64_t newStart);

    // Reads dest.size() bytes at `offset` from the start. Returns the bytes
    // that arrived; everything else in dest is zero. Ranges (relative to
    // dest) that the source failed to deliver are appended to `unreadable`;
    // bytes beyond the source's end are zeros but not "unreadable".
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest,
                       std::vector<ByteRange>* unreadable = nullptr);
    // All-or-nothing: true only when every byte arrived.
    bool readAll(std::uint64_t offset, std::span<std::uint8_t> dest) { return readAt(offset, dest) == dest.size(); }

    // Sectors that failed even when read one at a time, since the window was made.
    std::uint64_t unreadableSectors() const { return badSectors; }
    readWriteInterface& source() { return *reader; }

private:
    std::size_t retryBySector(std::uint64_t at, std::span<std::uint8_t> dest, std::size_t good,
                              std::vector<ByteRange>* unreadable);

    readWriteInterface* reader;
    std::uint64_t first = 0;
    std::uint64_t size = 0;
    std::uint64_t badSectors = 0;
};

}  // namespace vantor
