#pragma once
// The ext2/ext3/ext4 reader. It finds the superblock, reads the group
// descriptors and the used part of every inode table, walks every live
// directory, and chains each named entry under the folder it was found in.
// Content is read again from the volume when a file is saved.
//
// Files: layout.h/records.cpp (on-disk records), block_map.* (where an inode's
// data lies), directory.* (directory blocks), superblock_search.cpp,
// inode_tables.cpp, names.cpp (the life cycle's steps), content.cpp (a file's
// content), ext2Class.cpp (the life cycle and the results contract).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/recovered.h"
#include "device/reader_context.h"
#include "fs/ext/block_map.h"
#include "fs/ext/layout.h"

namespace vantor {

class ext2Class final : public VolumeReader {
public:
    explicit ext2Class(const ReaderContext& context);

    ScanOutcome scan(ScanMode mode) override;

    // The life cycle, in the order scan() runs it.
    // superblock_search.cpp
    bool attachVolume();
    bool findSuperblock();
    bool readGroupDescriptors();
    // inode_tables.cpp
    // False when a stop ended it early.
    bool readInodeTables();
    // names.cpp
    bool walkDirectories();
    bool buildEntryMap();
    bool linkParentsAndChildren();

    // The results contract. EntryRef 0 is the root folder; every other ref is
    // one directory entry, so each name of a hard-linked file has its own.
    std::optional<EntryRef> rootEntry() const override;
    std::optional<EntryRef> firstChild(EntryRef folder) const override;
    std::optional<EntryRef> nextSibling(EntryRef entry) const override;
    RecoveredItem describe(EntryRef entry) const override;
    bool isSaveFolder(EntryRef entry) const override;
    bool isSaveFile(EntryRef entry) const override;
    ContentOutcome writeContent(EntryRef entry, ContentSink& sink) override;
    TreeTraits treeTraits() const override;


    // What the scan found, for tests and diagnostics.
    std::uint64_t superblockOffset() const { return foundSuperblockAt; }
    // Where the volume turned out to start on the source.
    std::uint64_t volumeStart() const { return window.start(); }
    const ext::Superblock& superblock() const { return sb; }
    std::uint64_t descriptorTableOffset() const { return descriptorTableAt; }
    // Inodes read one at a time since the scan began (saves, missing inodes).
    std::uint32_t singleInodeReads() const { return inodeReads; }

private:
    // What a listing needs of one inode, kept from the inode-table pass.
    struct InodeInfo {
        std::uint32_t ino = 0;
        std::uint16_t mode = 0;
        std::uint8_t extras = 0;  // bit 0 atime, 1 ctime, 2 mtime: an extra word is present
        std::uint64_t size = 0;
        std::uint32_t atime = 0, ctime = 0, mtime = 0;
        std::uint32_t atimeExtra = 0, ctimeExtra = 0, mtimeExtra = 0;
    };
    // One directory entry; entries[0] is the root folder.
    struct NameEntry {
        std::uint32_t ino = 0;
        std::uint32_t parentDir = 0;  // inode of the directory it was found in
        std::uint32_t nameOffset = 0; // into namePool
        std::uint32_t nameLength = 0;
        std::int32_t firstChild = -1;
        std::int32_t nextSibling = -1;
        std::uint8_t fileType = 0;    // from the entry, 0 when the volume has none
    };
    struct GroupInfo {
        std::uint64_t inodeTable = 0;
        std::uint32_t usedSlots = 0;  // slots worth reading (all, unless the checksummed hints say fewer)
    };

    // superblock_search.cpp: one block of the descriptor table, or a copy of it.
    bool readDescriptorBlock(std::uint64_t index, std::uint64_t groupCount, std::span<std::uint8_t> table,
                             bool& fromCopy);
    // A status line with two numbers.
    static std::string printed(const char* format, long long a, long long b);
    // Reads one inode record into inodeBuffer; nullopt when it lies nowhere (inode_tables.cpp).
    std::optional<ext::Inode> readInode(std::uint32_t ino);
    static InodeInfo infoOf(std::uint32_t ino, const ext::Inode& inode);
    const InodeInfo* findInfo(std::uint32_t ino) const;
    std::uint16_t typeOf(const NameEntry& e) const;
    bool validRef(EntryRef ref) const { return ref < entries.size(); }
    std::string_view nameOf(const NameEntry& e) const;
    void recordName(std::uint32_t dir, std::uint32_t ino, std::string_view name, std::uint8_t fileType);
    void walkOneDirectory(std::uint32_t dir);
    bool copyRuns(const ext::BlockList& list, std::uint64_t size, ContentSink& out);

    VolumeWindow window;
    VolumeRecord volume;
    AppState& state;
    ProgressSink& progress;
    Messages& messages;

    std::uint64_t foundSuperblockAt = 0;
    std::uint64_t descriptorTableAt = 0;
    ext::Superblock sb;
    std::uint32_t blockSize = 0;
    std::uint32_t inodeSize = 0;
    std::optional<ext::VolumeBlocks> blocks;
    std::vector<GroupInfo> groups;
    std::vector<InodeInfo> inodes;         // ascending ino
    std::vector<std::uint32_t> directories;  // live directory inodes, ascending
    std::vector<NameEntry> entries;
    std::string namePool;
    std::vector<std::uint8_t> inodeBuffer;
    std::vector<std::uint8_t> dataBuffer;
    std::uint32_t inodeReads = 0;
    std::uint64_t directoryBlocksRead = 0;
};

}  // namespace vantor
