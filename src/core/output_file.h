#pragma once
// A file being written by a save: sequential writes, holes kept as holes, and
// the found times restored at the end. Linux has no settable creation time,
// so only access and modification times are restored.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "core/texts.h"

namespace vantor {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the file, which must not exist yet. False, with error() set,
    // when it cannot; nameTaken() when something was there already.
    bool create(const std::filesystem::path& path);
    bool nameTaken() const { return taken; }
    bool write(std::span<const std::uint8_t> bytes);
    // Leaves `count` zero bytes at the current end: a hole where the file
    // system supports one.
    bool skip(std::uint64_t count);
    std::uint64_t size() const { return written; }
    // Fixes the length (holes at the end need it), closes the file and sets
    // its times. False when any write or the close failed.
    bool finish(std::optional<Timestamp> access, std::optional<Timestamp> modification);
    const std::string& error() const { return problem; }

private:
    bool fail(const char* what);
    int fd = -1;
    std::uint64_t written = 0;
    bool failed = false;
    bool taken = false;
    std::string problem;
    std::filesystem::path target;
};

// Sets a file's or folder's access and modification times; an absent time is
// left as it is. False when the system refused.
bool restoreTimes(const std::filesystem::path& path, std::optional<Timestamp> access,
                  std::optional<Timestamp> modification);

}  // namespace vantor
