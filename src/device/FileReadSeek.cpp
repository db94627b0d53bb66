#include "device/FileReadSeek.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace vantor {

bool readWriteInterface::seek(std::uint64_t offset) {
    position = offset;
    return true;
}

bool readWriteInterface::read(std::span<std::uint8_t> dest) {
    if (dest.empty()) return true;
    const std::size_t got = readAt(position, dest);
    position += got;
    return got == dest.size();
}

FileReadSeek::~FileReadSeek() { closeAll(); }

void FileReadSeek::closeAll() {
    if (fd >= 0) ::close(fd);
    if (directFd >= 0) ::close(directFd);
    fd = directFd = -1;
    logicalSector = kSectorSize;
}

bool FileReadSeek::open(const std::string& path) {
    closeAll();
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    totalBytes = 0;
    totalSectors = 0;
    position = 0;
    device.reset();
    if (fd < 0) {
        messages.inform("invalid handle ...");
        return false;
    }
    struct stat st{};
    if (::fstat(fd, &st) == 0) {
        if (S_ISBLK(st.st_mode)) {
            device = st.st_rdev;
            std::uint64_t bytes = 0;
            if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) totalBytes = bytes;
            int sectorBytes = 0;
            if (::ioctl(fd, BLKSSZGET, &sectorBytes) == 0 && sectorBytes >= 512 && sectorBytes <= 65536)
                logicalSector = static_cast<std::uint64_t>(sectorBytes);
        } else {
            totalBytes = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
        }
    }
    totalSectors = static_cast<std::int64_t>(totalBytes / kSectorSize);
    return true;
}

std::size_t FileReadSeek::readAt(std::uint64_t offset, std::span<std::uint8_t> dest) {
    if (fd < 0 || dest.empty()) return 0;
    const std::uint64_t at = offset;
    if (at > static_cast<std::uint64_t>(INT64_MAX)) return 0;  // no wrap past 2^63
    std::size_t got = 0;
    while (got < dest.size()) {
        const ssize_t n = ::pread(fd, dest.data() + got, dest.size() - got, static_cast<off_t>(at + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > 0 && got < dest.size()) std::memset(dest.data() + got, 0, dest.size() - got);
    return got;
}

std::size_t FileReadSeek::readSector(std::uint64_t offset, std::span<std::uint8_t> dest) {
    if (fd < 0 || dest.empty()) return 0;
    if (directFd == -1) {
        // The same open file, not whatever the path names by now.
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        directFd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
        if (directFd < 0) directFd = -2;
    }
    const std::uint64_t unit = logicalSector;
    const std::uint64_t alignedStart = offset / unit * unit;
    const std::uint64_t alignedEnd = (offset + dest.size() + unit - 1) / unit * unit;
    if (directFd < 0 || alignedEnd - alignedStart > (std::uint64_t{1} << 20)) return readAt(offset, dest);
    // O_DIRECT wants the buffer, the offset and the length aligned.
    const std::size_t length = static_cast<std::size_t>(alignedEnd - alignedStart);
    void* raw = nullptr;
    if (::posix_memalign(&raw, 4096, length) != 0) return readAt(offset, dest);
    std::unique_ptr<std::uint8_t, decltype(&std::free)> bounce(static_cast<std::uint8_t*>(raw), &std::free);
    ssize_t n;
    do {
        n = ::pread(directFd, bounce.get(), length, static_cast<off_t>(alignedStart));
    } while (n < 0 && errno == EINTR);
    // A file system that refuses O_DIRECT answers EINVAL: read through the cache.
    if (n < 0 && errno == EINVAL) return readAt(offset, dest);
    const std::uint64_t skip = offset - alignedStart;
    if (n <= 0 || static_cast<std::uint64_t>(n) <= skip) return 0;
    const std::size_t got = static_cast<std::size_t>(std::min<std::uint64_t>(dest.size(), static_cast<std::uint64_t>(n) - skip));
    std::memcpy(dest.data(), bounce.get() + skip, got);
    if (got < dest.size()) std::memset(dest.data() + got, 0, dest.size() - got);
    return got;
}

MemoryReader::MemoryReader(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {
    totalBytes = data.size();
    totalSectors = static_cast<std::int64_t>(totalBytes / kSectorSize);
}

std::size_t MemoryReader::readAt(std::uint64_t offset, std::span<std::uint8_t> dest) {
    const std::uint64_t at = offset;
    if (at >= data.size() || dest.empty()) return 0;
    const std::size_t got = std::min<std::uint64_t>(dest.size(), data.size() - at);
    std::memcpy(dest.data(), data.data() + at, got);
    if (got < dest.size()) std::memset(dest.data() + got, 0, dest.size() - got);
    return got;
}

}  // namespace vantor
