#pragma once
// Names from a disk are data, not paths. Every file or folder a save creates
// gets a name that cannot leave the folder it is written in, stays readable,
// and never lands on a file the same save wrote before.
#include <filesystem>
#include <optional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace vantor {

// The longest name most Linux file systems take, in bytes.
inline constexpr std::size_t kMaxNameBytes = 255;

// "/" and control characters (NUL included) become "_"; "." and ".." and the
// empty name become "_", "__" and "_"; a name longer than 255 bytes is cut
// before its extension on a character boundary.
std::string safeName(std::string_view name);

// A safe name a FAT, exFAT or NTFS target can hold as well: the characters
// Windows refuses (<>:"\|?*) become "_", so do a trailing dot or space, and
// a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) gets a "_" in front.
std::string portableName(std::string_view safe);

// "name.ext" -> "name (n).ext"; the extension is what follows the last dot
// that is not the first character. Kept within 255 bytes.
std::string numberedName(std::string_view safe, int n);

// Picks where one save writes. Nothing already there is ever written over:
// not the user's files, not an earlier save's, not this save's, and never
// through a link (it could lead outside); the next free "name (n)" is taken
// instead. Folders already there are used as they stand.
//
// A target whose file system cannot tell "a.txt" from "A.TXT" makes the
// second one "A (2).TXT" (a folder too, rather than mixing two folders'
// files); one that refuses some characters gets portable names.
class SaveNamer {
public:
    // Learns what the file system of `outDir` can hold by trying it there
    // (the probe files are removed again).
    void probe(const std::filesystem::path& outDir);
    // The target refused a name this namer gave: portable names from now on.
    void nameRefused() { portable = true; }
    bool caseBlindTarget() const { return caseBlind; }
    bool portableTarget() const { return portable; }

    // The path for a new file named `name` in `folder`; nullopt when no free
    // name was found.
    std::optional<std::filesystem::path> fileIn(const std::filesystem::path& folder, std::string_view name);
    // A folder named `name` in `folder`, created or reused when it is a real
    // folder; nullopt when it cannot be made.
    std::optional<std::filesystem::path> folderIn(const std::filesystem::path& folder, std::string_view name);

private:
    std::string baseName(std::string_view name) const;
    bool caseBlind = false;
    bool portable = false;
    // Where the numbering of a clashing name goes on ("name (n)" below it are
    // taken), so thousands of files of one name cost no quadratic probing.
    std::map<std::string, int> nextNumber;
};

}  // namespace vantor
