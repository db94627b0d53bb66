// Directory block parsing (directory.h).
#include "fs/ext/directory.h"

#include "fs/ext/layout.h"

namespace vantor::ext {

namespace {

constexpr std::size_t kEntryHead = 8;
// The untyped form allows 16-bit name lengths; no name is longer than this.
constexpr std::size_t kMaxUntypedName = 1024;

}  // namespace

void parseDirectoryBlock(Bytes block, bool typed, std::uint32_t inodeCount,
                         const std::function<void(const DirEntry&)>& found) {
    std::size_t at = 0;
    while (fits(block, at, kEntryHead)) {
        const DirEntryHead head = decodeDirEntryHead(block, at, typed);
        std::size_t recLen = head.recLen;
        // A record spanning a whole 64 KiB block cannot say 65536 in 16 bits:
        // it is stored as 65535 or 0.
        if (block.size() >= 65536 && (recLen == 65535 || recLen == 0)) recLen = 65536;
        if (head.nameLen == 0 || recLen == 0) return;
        if (!typed && head.nameLen > kMaxUntypedName) return;
        const auto name = slice(block, at + kEntryHead, head.nameLen);
        if (!name) return;
        if (typed && head.inode > inodeCount) return;

        std::size_t next = recLen;
        if (typed) {
            // A record length below the entry's own size is damage; step over
            // the entry itself so the rest of the block can still be read.
            const std::size_t minimum = (kEntryHead + head.nameLen + 3) & ~std::size_t{3};
            if (recLen < minimum + 4) next = minimum;
        }
        if (head.inode != 0 && head.inode <= inodeCount) {
            found(DirEntry{head.inode,
                           std::string_view(reinterpret_cast<const char*>(name->data()), name->size()),
                           typed ? head.fileType : std::uint8_t{0}});
        }
        at += next;
    }
}

}  // namespace vantor::ext
