// Reading through a volume window (VolumeWindow.h).
#include "device/VolumeWindow.h"

#include <algorithm>
#include <cstring>

namespace vantor {

VolumeWindow::VolumeWindow(readWriteInterface& source, std::uint64_t start, std::uint64_t length)
    : reader(&source), first(start) {
    const std::uint64_t total = source.sizeBytes();
    const std::uint64_t available = total > start ? total - start : 0;
    size = length == 0 ? available : std::min(length, available);
}

VolumeWindow VolumeWindow::of(readWriteInterface& source, const VolumeRecord& volume) {
    const std::uint64_t start = volume.startSector > 0 ? static_cast<std::uint64_t>(volume.startSector) * kSectorSize : 0;
    return VolumeWindow(source, start, volume.sizeBytes);
}

std::uint64_t VolumeWindow::reach() const {
    const std::uint64_t total = reader->sizeBytes();
    return total > first ? total - first : 0;
}

void VolumeWindow::moveStart(std::uint64_t newStart) {
    const std::uint64_t end = first + size;
    first = newStart;
    size = end > first ? std::min(end - first, reach()) : 0;
}

std::size_t VolumeWindow::readAt(std::uint64_t offset, std::span<std::uint8_t> dest,
                                 std::vector<ByteRange>* unreadable) {
    if (dest.empty()) return 0;
    const std::uint64_t at = first + offset;
    const std::uint64_t limit = reach();
    const std::size_t inSource =
        at < first || offset >= limit ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(dest.size(), limit - offset));
    if (inSource < dest.size()) std::memset(dest.data() + inSource, 0, dest.size() - inSource);
    if (inSource == 0) return 0;
    const std::span<std::uint8_t> part = dest.first(inSource);
    std::size_t got = reader->readAt(at, part);
    if (got >= inSource) return inSource;
    if (got == 0) std::memset(part.data(), 0, part.size());
    return retryBySector(at, part, got, unreadable);
}

// The source stopped at byte `good` of `dest`: read the rest one sector at a
// time (sectors of the source, not of the window, so each read is aligned).
std::size_t VolumeWindow::retryBySector(std::uint64_t at, std::span<std::uint8_t> dest, std::size_t good,
                                        std::vector<ByteRange>* unreadable) {
    const std::uint64_t unit = std::max<std::uint64_t>(kSectorSize, reader->retryUnit());
    // Back to the sector the failure lies in: its first bytes may be stale.
    std::size_t pos = static_cast<std::size_t>(good - std::min<std::uint64_t>(good, (at + good) % unit));
    std::size_t arrived = pos;
    while (pos < dest.size()) {
        const std::size_t len =
            static_cast<std::size_t>(std::min<std::uint64_t>(dest.size() - pos, unit - (at + pos) % unit));
        const std::span<std::uint8_t> piece = dest.subspan(pos, len);
        const std::size_t n = reader->readSector(at + pos, piece);
        if (n >= len) {
            arrived += len;
        } else {
            std::memset(piece.data(), 0, len);
            ++badSectors;
            if (unreadable) {
                if (!unreadable->empty() && unreadable->back().end() == pos) unreadable->back().length += len;
                else unreadable->push_back({pos, len});
            }
        }
        pos += len;
    }
    return arrived;
}

}  // namespace vantor
