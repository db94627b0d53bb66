#pragma once
// Real devices and mounts for tests that need them (root only): running a
// system tool, a loop device over an image, a mounted file system. Each
// says why it is not available, so a test can skip instead of failing.
#include <filesystem>
#include <string>
#include <vector>

namespace vantor::test {

struct ToolOutput {
    int status = -1;
    std::string text;  // stdout and stderr together
};

// Runs a program found on PATH, standard input from /dev/null.
ToolOutput runTool(const std::vector<std::string>& args);

// A loop device over an image file, detached on destruction.
class LoopDevice {
public:
    // `partitions`: the kernel also makes /dev/loopNpK for its partitions.
    LoopDevice(const std::filesystem::path& image, bool readOnly, bool partitions = false);
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    bool available() const { return !name.empty(); }
    const std::string& why() const { return reason; }
    const std::string& device() const { return name; }
    std::string partition(int number) const { return name + "p" + std::to_string(number); }

private:
    std::string name;
    std::string reason;
};

// A file system mounted on a folder of its own, unmounted on destruction.
// `program` is "mount" (with "-t TYPE" among the arguments) or a FUSE mount
// helper such as "mount.exfat-fuse".
class Mounted {
public:
    Mounted(std::vector<std::string> command, const std::filesystem::path& where);
    ~Mounted();
    Mounted(const Mounted&) = delete;
    Mounted& operator=(const Mounted&) = delete;
    bool available() const { return mounted; }
    const std::string& why() const { return reason; }
    const std::filesystem::path& path() const { return where; }

private:
    std::filesystem::path where;
    bool mounted = false;
    std::string reason;
};

// Whether this process may make loop devices and mounts.
bool mayMount();

}  // namespace vantor::test
