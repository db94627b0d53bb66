#include "support/mounts.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace vantor::test {

namespace {

std::string trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

}  // namespace

ToolOutput runTool(const std::vector<std::string>& args) {
    ToolOutput result;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<char*> argv;
    std::vector<std::string> copies = args;
    for (auto& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int err = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (err == 0) {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            result.text.append(buf, static_cast<std::size_t>(n));
        }
    } else {
        result.text = args[0] + ": " + std::strerror(err);
    }
    ::close(pipeFds[0]);
    int status = 0;
    if (err == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

bool mayMount() { return ::geteuid() == 0 && ::access("/dev/loop-control", F_OK) == 0; }

LoopDevice::LoopDevice(const std::filesystem::path& image, bool readOnly, bool partitions) {
    if (!mayMount()) {
        reason = "needs root and loop devices";
        return;
    }
    std::vector<std::string> args{"losetup", "-f", "--show"};
    if (readOnly) args.push_back("-r");
    if (partitions) args.push_back("-P");
    args.push_back(image.string());
    const ToolOutput out = runTool(args);
    const std::string device = trimmed(out.text);
    if (out.status != 0 || device.rfind("/dev/loop", 0) != 0 || device.find('\n') != std::string::npos) {
        reason = "losetup failed: " + device;
        return;
    }
    name = device;
    if (partitions) runTool({"udevadm", "settle"});
}

LoopDevice::~LoopDevice() {
    if (!name.empty()) runTool({"losetup", "-d", name});
}

Mounted::Mounted(std::vector<std::string> command, const std::filesystem::path& where) : where(where) {
    if (!mayMount()) {
        reason = "needs root";
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(where, ec);
    command.push_back(where.string());
    const ToolOutput out = runTool(command);
    mounted = out.status == 0;
    if (!mounted) reason = command[0] + " failed: " + trimmed(out.text);
}

Mounted::~Mounted() {
    if (mounted && ::umount2(where.c_str(), 0) != 0) ::umount2(where.c_str(), MNT_DETACH);
}

}  // namespace vantor::test
