// faultfs: serves one read-only file, MOUNTPOINT/disk, with the bytes of a disk
// image, except that reads touching chosen 512-byte sectors fail like a bad
// disk would. A read-only loop device over that file gives the tests a real
// block device with bad sectors.
//
//   vantor-faultfs IMAGE MOUNTPOINT [--bad FIRST-LAST[,FIRST-LAST...]] [fuse options]
//
// Sector numbers are inclusive; without --bad every read succeeds.
// The file is always opened with direct_io (-o direct_io is accepted and
// changes nothing): through FUSE's page cache, reads come in whole readahead
// windows, and the kernel takes a short read for the end of the file, so
// everything after the first bad sector would read as past the end.
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kNone = UINT64_MAX;
const char kDiskPath[] = "/disk";

struct Range {
    std::uint64_t first, last;
};

int imageFd = -1;
off_t imageSize = 0;
std::vector<Range> bad;

// Parses "A-B,C-D"; a single number N stands for N-N.
bool parseBad(const char* text) {
    const char* p = text;
    while (*p) {
        char* end;
        errno = 0;
        std::uint64_t first = std::strtoull(p, &end, 10), last = first;
        if (end == p || errno) return false;
        p = end;
        if (*p == '-') {
            last = std::strtoull(++p, &end, 10);
            if (end == p || errno || last < first) return false;
            p = end;
        }
        if (*p == ',') p++;
        else if (*p) return false;
        bad.push_back({first, last});
    }
    return true;
}

// First bad sector within [first, last], or kNone.
std::uint64_t firstBad(std::uint64_t first, std::uint64_t last) {
    std::uint64_t found = kNone;
    for (const Range& r : bad) {
        if (r.last < first || r.first > last) continue;
        std::uint64_t s = r.first > first ? r.first : first;
        if (s < found) found = s;
    }
    return found;
}

int doGetattr(const char* path, struct stat* st, fuse_file_info*) {
    std::memset(st, 0, sizeof *st);
    if (std::strcmp(path, "/") == 0) {
        st->st_mode = S_IFDIR | 0555;
        st->st_nlink = 2;
    } else if (std::strcmp(path, kDiskPath) == 0) {
        st->st_mode = S_IFREG | 0444;
        st->st_nlink = 1;
        st->st_size = imageSize;
        st->st_blocks = (imageSize + 511) / 512;
    } else {
        return -ENOENT;
    }
    return 0;
}

int doTruncate(const char*, off_t, fuse_file_info*) { return -EROFS; }

int doOpen(const char* path, fuse_file_info* fi) {
    if (std::strcmp(path, kDiskPath) != 0) return -ENOENT;
    if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EROFS;
    fi->direct_io = 1;
    return 0;
}

int doRead(const char*, char* buf, size_t size, off_t off, fuse_file_info*) {
    if (off >= imageSize || size == 0) return 0;
    if (static_cast<off_t>(size) > imageSize - off) size = static_cast<size_t>(imageSize - off);
    const auto start = static_cast<std::uint64_t>(off);
    std::uint64_t hit = firstBad(start / kSector, (start + size - 1) / kSector);
    if (hit != kNone) {
        // Like a disk's partial read: the good bytes before the bad sector, and
        // an error only when there are none.
        std::uint64_t good = hit * kSector > start ? hit * kSector - start : 0;
        if (good == 0) return -EIO;
        size = static_cast<size_t>(good);
    }
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(imageFd, buf + done, size - done, off + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -errno;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(done);
}

int doWrite(const char*, const char*, size_t, off_t, fuse_file_info*) { return -EROFS; }

int doReaddir(const char* path, void* buf, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    if (std::strcmp(path, "/") != 0) return -ENOENT;
    fill(buf, ".", nullptr, 0, fuse_fill_dir_flags{});
    fill(buf, "..", nullptr, 0, fuse_fill_dir_flags{});
    fill(buf, kDiskPath + 1, nullptr, 0, fuse_fill_dir_flags{});
    return 0;
}

// libfuse 3 knows no direct_io mount option (it is set per open file); take
// it off the list so that libfuse does not reject it.
int directIoOption;
const fuse_opt kOptions[] = {
    {"direct_io", 0, 1},
    FUSE_OPT_END,
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s IMAGE MOUNTPOINT [--bad FIRST-LAST[,FIRST-LAST...]] [fuse options]\n",
                     argv[0]);
        return 2;
    }
    // Everything but IMAGE and --bad goes to libfuse, which takes MOUNTPOINT
    // as its one non-option argument.
    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    fuse_opt_add_arg(&args, argv[0]);
    for (int i = 2; i < argc; i++) {
        const char* list = nullptr;
        if (std::strcmp(argv[i], "--bad") == 0 && i + 1 < argc) list = argv[++i];
        else if (std::strncmp(argv[i], "--bad=", 6) == 0) list = argv[i] + 6;
        if (!list) {
            fuse_opt_add_arg(&args, argv[i]);
        } else if (!parseBad(list)) {
            std::fprintf(stderr, "faultfs: '%s' is not FIRST-LAST[,FIRST-LAST...]\n", list);
            return 2;
        }
    }
    if (fuse_opt_parse(&args, &directIoOption, kOptions, nullptr) != 0) return 2;
    imageFd = open(argv[1], O_RDONLY | O_CLOEXEC);
    // lseek rather than st_size, so a block device works as the image too.
    imageSize = imageFd < 0 ? -1 : lseek(imageFd, 0, SEEK_END);
    if (imageSize < 0) {
        std::perror(argv[1]);
        return 1;
    }
    fuse_opt_add_arg(&args, "-oro,fsname=faultfs,subtype=faultfs");

    fuse_operations ops{};
    ops.getattr = doGetattr;
    ops.truncate = doTruncate;
    ops.open = doOpen;
    ops.read = doRead;
    ops.write = doWrite;
    ops.readdir = doReaddir;
    int status = fuse_main(args.argc, args.argv, &ops, nullptr);
    fuse_opt_free_args(&args);
    close(imageFd);
    return status;
}
