#include "device/FileReadSeek.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

FileReadSeek::~FileReadSeek() {
    if (fd >= 0) ::close(fd);
}

bool FileReadSeek::open(const std::string& path) {
    if (fd >= 0) ::close(fd);
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    totalBytes = 0;
    totalSectors = 0;
    position = 0;
    if (fd < 0) {
        messages.inform("invalid handle ...");
        return false;
    }
    struct stat st{};
    if (::fstat(fd, &st) == 0) {
        if (S_ISBLK(st.st_mode)) {
            std::uint64_t bytes = 0;
            if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) totalBytes = bytes;
        } else {
            totalBytes = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
        }
    }
    totalSectors = static_cast<std::int64_t>(totalBytes / kSectorSize);
    return true;
}

std::size_t FileReadSeek::readAt(std::uint64_t offset, std::span<std::uint8_t> dest) {
    if (fd < 0 || dest.empty()) return 0;
    std::uint64_t at = baseOffset + offset;
    if (at < offset || at > static_cast<std::uint64_t>(INT64_MAX)) return 0;  // no wrap past 2^63
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

MemoryReader::MemoryReader(std::vector<std::uint8_t> bytes) : data(std::move(bytes)) {
    totalBytes = data.size();
    totalSectors = static_cast<std::int64_t>(totalBytes / kSectorSize);
}

std::size_t MemoryReader::readAt(std::uint64_t offset, std::span<std::uint8_t> dest) {
    const std::uint64_t at = baseOffset + offset;
    if (at < offset || at >= data.size() || dest.empty()) return 0;
    const std::size_t got = std::min<std::uint64_t>(dest.size(), data.size() - at);
    std::memcpy(dest.data(), data.data() + at, got);
    if (got < dest.size()) std::memset(dest.data() + got, 0, dest.size() - got);
    return got;
}

}  // namespace vantor
