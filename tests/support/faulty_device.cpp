#include "support/faulty_device.h"

#include "support/mounts.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>

#ifndef VANTOR_FAULTFS
#define VANTOR_FAULTFS ""
#endif

extern char** environ;

namespace vantor::test {
namespace fs = std::filesystem;

namespace {

// Polling for the mount and for faultfs to end: attempts of kPollStep each,
// bounded so a broken set-up fails the test instead of hanging it.
constexpr int kPollAttempts = 2000;
// Detaching is done when losetup -d returns unless the device is still open,
// and then waiting longer does not help.
constexpr int kDetachAttempts = 200;
constexpr long kPollStepNs = 5'000'000;

void waitAStep() {
    timespec step{0, kPollStepNs};
    ::nanosleep(&step, nullptr);
}

using Output = ToolOutput;
Output run(const std::vector<std::string>& args) { return runTool(args); }

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

std::string rangesArgument(const FaultyDevice::SectorRanges& ranges) {
    std::string out;
    for (const auto& [first, last] : ranges) {
        if (!out.empty()) out += ',';
        out += std::to_string(first) + '-' + std::to_string(last);
    }
    return out;
}

}  // namespace

FaultyDevice::FaultyDevice(const fs::path& image, SectorRanges badSectors) {
    if (!setUp(image, badSectors)) tearDown();
}

FaultyDevice::~FaultyDevice() { tearDown(); }

bool FaultyDevice::setUp(const fs::path& image, const SectorRanges& badSectors) {
    const std::string faultfs = VANTOR_FAULTFS;
    if (faultfs.empty() || ::access(faultfs.c_str(), X_OK) != 0) {
        reason = "vantor-faultfs was not built (needs libfuse3)";
        return false;
    }
    if (::geteuid() != 0) {
        reason = "needs root for the FUSE mount and the loop device";
        return false;
    }
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        reason = "no /dev/fuse";
        return false;
    }
    if (::access("/dev/loop-control", R_OK | W_OK) != 0) {
        reason = "no loop devices (/dev/loop-control)";
        return false;
    }
    for (const auto& [first, last] : badSectors) {
        if (first > last) {
            reason = "bad sector range " + std::to_string(first) + "-" + std::to_string(last) + " is backwards";
            return false;
        }
    }
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(image, ec);
    if (ec) {
        reason = "cannot read the size of " + image.string() + ": " + ec.message();
        return false;
    }

    std::string pattern = (fs::temp_directory_path() / "vantor-faulty-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        reason = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    dir = pattern;
    mountPoint = dir / "mnt";
    fs::create_directory(mountPoint, ec);
    if (ec) {
        reason = "cannot make " + mountPoint.string() + ": " + ec.message();
        return false;
    }

    // Foreground and single-threaded, so the child is faultfs itself and ends
    // when the file system is unmounted.
    std::vector<std::string> args = {faultfs, fs::absolute(image).string(), mountPoint.string(), "-f", "-s",
                                     "-o", "direct_io"};
    if (!badSectors.empty()) {
        args.push_back("--bad");
        args.push_back(rangesArgument(badSectors));
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string logPath = (dir / "faultfs.log").string();
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int err = ::posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        child = -1;
        reason = faultfs + ": " + std::strerror(err);
        return false;
    }
    if (!waitForMount(size)) return false;

    const Output attached = run({"losetup", "-r", "-f", "--show", "--direct-io=off", file().string()});
    const std::string name = trimmed(attached.text);
    if (attached.status != 0 || name.rfind("/dev/loop", 0) != 0 || name.find('\n') != std::string::npos) {
        reason = "losetup failed: " + name;
        return false;
    }
    loopDevice = name;
    // A loop device number used before may still hold pages of its last
    // backing file in its cache; start from nothing.
    const int fd = ::open(loopDevice.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::ioctl(fd, BLKFLSBUF, 0) != 0) {
        reason = "cannot flush " + loopDevice + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

bool FaultyDevice::mounted() const {
    std::ifstream mounts("/proc/self/mounts");
    std::string source, target;
    std::string rest;
    while (mounts >> source >> target && std::getline(mounts, rest)) {
        if (target == mountPoint.string()) return true;
    }
    return false;
}

bool FaultyDevice::waitForMount(std::uintmax_t size) {
    for (int attempt = 0; attempt < kPollAttempts; ++attempt) {
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            child = -1;
            reason = "vantor-faultfs exited before mounting: " + faultfsLog();
            return false;
        }
        struct stat st{};
        if (mounted() && ::stat(file().c_str(), &st) == 0 && static_cast<std::uintmax_t>(st.st_size) == size)
            return true;
        waitAStep();
    }
    reason = "vantor-faultfs did not mount: " + faultfsLog();
    return false;
}

std::string FaultyDevice::faultfsLog() const {
    std::ifstream in(dir / "faultfs.log");
    std::stringstream text;
    text << in.rdbuf();
    return trimmed(text.str());
}

void FaultyDevice::tearDown() {
    bool busy = false;
    if (!loopDevice.empty()) {
        run({"losetup", "-d", loopDevice});
        // While someone still has the device open, losetup -d only marks it to
        // go on last close, and the loop keeps the FUSE file busy.
        const fs::path backing = fs::path("/sys/block") / fs::path(loopDevice).filename() / "loop" / "backing_file";
        for (int attempt = 0; attempt < kDetachAttempts && fs::exists(backing); ++attempt) waitAStep();
        if (fs::exists(backing)) {
            std::fprintf(stderr, "FaultyDevice: %s is still open somewhere; it is detached on its last close\n",
                         loopDevice.c_str());
            busy = true;
        }
        loopDevice.clear();
    }
    const bool wasMounted = !mountPoint.empty() && mounted();
    if (wasMounted && ::umount2(mountPoint.c_str(), 0) != 0) {
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        busy = true;
    }
    if (child > 0) {
        // faultfs ends once unmounted; after a lazy unmount it would serve the
        // last user on, and one that never mounted has nothing to end it.
        if (busy || !wasMounted) ::kill(child, SIGTERM);
        int status = 0;
        bool reaped = false;
        for (int attempt = 0; attempt < kPollAttempts && !reaped; ++attempt) {
            reaped = ::waitpid(child, &status, WNOHANG) == child;
            if (!reaped) waitAStep();
        }
        if (!reaped) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        child = -1;
    }
    // Never remove files below a mount point that is still there.
    if (!dir.empty() && !mounted()) {
        std::error_code ec;
        fs::remove_all(dir, ec);
        dir.clear();
    }
}

}  // namespace vantor::test
