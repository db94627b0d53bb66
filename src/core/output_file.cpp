#include "core/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace vantor {

namespace {

// Fills `times` for utimensat/futimens; an absent time is left as it is.
void toTimespecs(const std::optional<Timestamp>& access, const std::optional<Timestamp>& modification,
                 struct timespec (&times)[2]) {
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
}

// A temporary name no other save (of this or another process) uses.
std::string temporaryName() {
    static std::atomic<unsigned long> counter{0};
    char name[64];
    std::snprintf(name, sizeof name, ".vantor-%ld-%lu.part", static_cast<long>(::getpid()), ++counter);
    return name;
}

bool nameError(int error) { return error == EINVAL || error == EILSEQ || error == ENAMETOOLONG || error == ENOENT; }

}  // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    if (!published && !temporary.empty()) ::unlink(temporary.c_str());
    temporary.clear();
}

bool OutputFile::fail(const char* what) {
    failed = true;
    full = full || errno == ENOSPC || errno == EDQUOT;
    if (problem.empty()) problem = std::string(what) + ": " + std::strerror(errno);
    return false;
}

bool OutputFile::create(const std::filesystem::path& folder) {
    // Never onto something already there, nor through a link.
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        temporary = folder / temporaryName();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        temporary.clear();
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
        if (n == 0) errno = ENOSPC;
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
    struct timespec times[2];
    toTimespecs(access, modification, times);
    const bool timesSet = failed || ::futimens(fd, times) == 0;
    if (::close(fd) != 0 && !failed) fail("cannot close the file");
    fd = -1;
    if (failed) {
        discard();
        return false;
    }
    if (!timesSet) problem = "times not restored";
    return true;
}

OutputFile::Publish OutputFile::publish(const std::filesystem::path& path) {
    if (temporary.empty() || fd >= 0 || failed) return Publish::failed;
    const auto done = [this] {
        published = true;
        temporary.clear();
        return Publish::done;
    };
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return done();
    if (errno == EEXIST) return Publish::nameTaken;
    // Some file systems (FUSE ones among them) have no renaming that refuses
    // to replace: a hard link does the same where links exist.
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) {
        if (::link(temporary.c_str(), path.c_str()) == 0) {
            ::unlink(temporary.c_str());
            return done();
        }
        if (errno == EEXIST) return Publish::nameTaken;
        if (nameError(errno)) return Publish::nameRefused;
        // No links either (FAT, exFAT): look, then rename. Only another
        // process creating that very name in between could be replaced.
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) return Publish::nameTaken;
        if (errno == ENOENT && ::rename(temporary.c_str(), path.c_str()) == 0) return done();
    }
    if (nameError(errno)) return Publish::nameRefused;
    fail("cannot name the file");
    return Publish::failed;
}

bool restoreTimes(const std::filesystem::path& path, std::optional<Timestamp> access,
                  std::optional<Timestamp> modification) {
    struct timespec times[2];
    toTimespecs(access, modification, times);
    return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace vantor
