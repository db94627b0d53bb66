#pragma once
// A source in memory whose chosen sectors fail as a dying disk's do: a read
// returns the bytes before the first bad sector it touches (nothing when the
// first sector asked for is bad), and a read of a bad sector alone fails.
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "device/FileReadSeek.h"

namespace vantor::test {

class FaultyReader final : public readWriteInterface {
public:
    FaultyReader(std::vector<std::uint8_t> bytes, std::vector<std::pair<std::uint64_t, std::uint64_t>> badSectors)
        : data(std::move(bytes)), bad(std::move(badSectors)) {
        totalBytes = data.size();
        totalSectors = static_cast<std::int64_t>(totalBytes / kSectorSize);
    }
    bool open(const std::string&) override { return true; }
    std::size_t readAt(std::uint64_t offset, std::span<std::uint8_t> dest) override {
        ++reads;
        if (offset >= data.size() || dest.empty()) return 0;
        std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(dest.size(), data.size() - offset));
        for (const auto& [first, last] : bad) {
            const std::uint64_t from = first * kSectorSize, to = (last + 1) * kSectorSize;
            if (from < offset + got && to > offset) got = static_cast<std::size_t>(from > offset ? from - offset : 0);
        }
        if (got == 0) return 0;
        std::memcpy(dest.data(), data.data() + offset, got);
        if (got < dest.size()) std::memset(dest.data() + got, 0, dest.size() - got);
        return got;
    }
    std::uint64_t reads = 0;

private:
    std::vector<std::uint8_t> data;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> bad;
};

}  // namespace vantor::test
