#pragma once
// A file being written by a save: sequential writes, holes kept as holes, the
// found times restored at the end. It is written under a temporary name of
// its own in the target folder and gets its real name only when it is
// complete, so a save that is interrupted or fails never leaves a half file
// under a name a user would take for the recovered one. Linux has no settable
// creation time, so only access and modification times are restored.
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
    // A temporary file that was never published is removed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates a new temporary file in `folder`. False, with error() set, when
    // it cannot.
    bool create(const std::filesystem::path& folder);
    bool write(std::span<const std::uint8_t> bytes);
    // Leaves `count` zero bytes at the current end: a hole where the file
    // system supports one.
    bool skip(std::uint64_t count);
    std::uint64_t size() const { return written; }
    // Fixes the length (holes at the end need it), sets the times and closes
    // the file. False when any write or the close failed; the temporary file
    // is gone then.
    bool finish(std::optional<Timestamp> access, std::optional<Timestamp> modification);

    enum class Publish {
        done,
        nameTaken,    // something is there already: nothing was replaced
        nameRefused,  // the target's file system cannot hold that name
        failed,
    };
    // Gives the finished file its name. Never replaces anything: not a file
    // of the user's, not a link planted in the folder, not another save's.
    Publish publish(const std::filesystem::path& path);

    // The error of the failed step; after a good finish, a note such as
    // "times not restored".
    const std::string& error() const { return problem; }
    // Whether the last failure was the target's disk being full.
    bool targetFull() const { return full; }
    const std::filesystem::path& temporaryPath() const { return temporary; }

private:
    bool fail(const char* what);
    void discard();
    int fd = -1;
    std::uint64_t written = 0;
    bool failed = false;
    bool full = false;
    bool published = false;
    std::string problem;
    std::filesystem::path temporary;
};

// Sets a file's or folder's access and modification times; an absent time is
// left as it is. False when the system refused.
bool restoreTimes(const std::filesystem::path& path, std::optional<Timestamp> access,
                  std::optional<Timestamp> modification);

}  // namespace vantor
