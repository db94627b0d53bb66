#include "core/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vantor {

OutputFile::~OutputFile() {
    if (fd >= 0) ::close(fd);
}

bool OutputFile::fail(const char* what) {
    failed = true;
    if (problem.empty()) problem = std::string(what) + ": " + std::strerror(errno);
    return false;
}

bool OutputFile::create(const std::filesystem::path& path) {
    target = path;
    // Never onto something already there: not a file of the user's, not a
    // link or hard link planted in the output folder, not another save's file.
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        taken = errno == EEXIST;
        return fail("cannot create the file");
    }
    return true;
}

bool OutputFile::write(std::span<const std::uint8_t> bytes) {
    if (fd < 0 || failed) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(written + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("cannot write the file");
        done += static_cast<std::size_t>(n);
    }
    written += done;
    return true;
}

bool OutputFile::skip(std::uint64_t count) {
    if (fd < 0 || failed) return false;
    written += count;
    return true;
}

bool OutputFile::finish(std::optional<Timestamp> access, std::optional<Timestamp> modification) {
    if (fd < 0) return false;
    if (!failed && ::ftruncate(fd, static_cast<off_t>(written)) != 0) fail("cannot set the file length");
    if (::close(fd) != 0 && !failed) fail("cannot close the file");
    fd = -1;
    if (failed) return false;
    if (!restoreTimes(target, access, modification)) {
        problem = "times not restored";
    }
    return true;
}

bool restoreTimes(const std::filesystem::path& path, std::optional<Timestamp> access,
                  std::optional<Timestamp> modification) {
    struct timespec times[2];
    const auto set = [](struct timespec& ts, const std::optional<Timestamp>& t) {
        if (t) {
            ts.tv_sec = static_cast<time_t>(t->seconds);
            ts.tv_nsec = static_cast<long>(t->nanoseconds);
        } else {
            ts.tv_sec = 0;
            ts.tv_nsec = UTIME_OMIT;
        }
    };
    set(times[0], access);
    set(times[1], modification);
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace vantor
