#pragma once
// Directory blocks: the chain of entries linked by their record lengths, in
// the typed form (one-byte name length and a file type) or the untyped form
// of volumes without the filetype feature.
#include <cstdint>
#include <functional>
#include <string_view>

#include "core/bytes.h"

namespace vantor::ext {

// Directory entry file types.
inline constexpr std::uint8_t kDirTypeRegular = 1;
inline constexpr std::uint8_t kDirTypeDirectory = 2;

struct DirEntry {
    std::uint32_t inode = 0;
    std::string_view name;
    std::uint8_t fileType = 0;  // 0 in the untyped form
};

// Calls `found` for every named entry with an inode number from 1 to
// `inodeCount`, "." and ".." included. An entry that does not fit the block,
// a zero record length or a zero name length ends the block; in the typed
// form so does an inode number past the volume's count, which only damage
// can write.
void parseDirectoryBlock(Bytes block, bool typed, std::uint32_t inodeCount,
                         const std::function<void(const DirEntry&)>& found);

}  // namespace vantor::ext
