#pragma once
// The ext2/ext3/ext4 records this reader decodes, each as a plain value with
// its fields in on-disk order, and the decoders that fill them. Every decoder
// takes a span and reads through the bounds-checked helpers, so a short or
// damaged buffer yields zeros, never a read past its end.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/bytes.h"
#include "core/texts.h"

namespace vantor::ext {

inline constexpr std::uint16_t kSuperblockMagic = 0xEF53;
inline constexpr std::uint16_t kExtentMagic = 0xF30A;
inline constexpr std::uint32_t kRootInode = 2;
inline constexpr std::uint32_t kSuperblockSize = 1024;

// Feature bits this reader acts on.
inline constexpr std::uint32_t kIncompatFileType = 0x2;
inline constexpr std::uint32_t kIncompatMetaBg = 0x10;
inline constexpr std::uint32_t kIncompat64Bit = 0x80;
inline constexpr std::uint32_t kIncompatLargeDir = 0x4000;
inline constexpr std::uint32_t kCompatSparseSuper2 = 0x200;
inline constexpr std::uint32_t kRoCompatSparseSuper = 0x1;
inline constexpr std::uint32_t kRoCompatGdtCsum = 0x10;
inline constexpr std::uint32_t kRoCompatMetadataCsum = 0x400;

// Inode flags.
inline constexpr std::uint32_t kInodeExtents = 0x80000;
inline constexpr std::uint32_t kInodeInlineData = 0x10000000;

// i_mode file types (the top four bits).
inline constexpr std::uint16_t kTypeMask = 0xF000;
inline constexpr std::uint16_t kTypeDirectory = 0x4000;
inline constexpr std::uint16_t kTypeRegular = 0x8000;

// Group descriptor flags.
inline constexpr std::uint16_t kGroupInodeUninit = 0x1;

struct Superblock {
    std::uint32_t inodesCount = 0;      // 0x00
    std::uint64_t blocksCount = 0;      // 0x04 lo, 0x150 hi (64bit feature)
    std::uint32_t firstDataBlock = 0;   // 0x14
    std::uint32_t logBlockSize = 0;     // 0x18
    std::uint32_t blocksPerGroup = 0;   // 0x20
    std::uint32_t inodesPerGroup = 0;   // 0x28
    std::uint16_t magic = 0;            // 0x38
    std::uint32_t revLevel = 0;         // 0x4C
    std::uint16_t rawInodeSize = 0;     // 0x58, dynamic revision only
    std::uint16_t blockGroupNr = 0;     // 0x5A, which group holds this copy
    std::uint32_t featureCompat = 0;    // 0x5C
    std::uint32_t featureIncompat = 0;  // 0x60
    std::uint32_t featureRoCompat = 0;  // 0x64
    std::uint16_t rawDescSize = 0;      // 0xFE, 64bit feature only
    std::uint32_t firstMetaBg = 0;      // 0x104, meta_bg feature only
    std::uint32_t backupGroups[2] = {0, 0};  // 0x24C, sparse_super2 feature only

    // Derived geometry, valid once accepted().
    std::uint32_t blockSize() const { return 1024u << (logBlockSize & 0x1F); }
    bool accepted() const;
    std::uint32_t inodeSize() const;
    std::uint32_t descriptorSize() const;
    std::uint64_t groupCount() const;
    // Whether a group starts with a superblock copy (and descriptors after it).
    bool groupHasSuperblock(std::uint64_t group) const;
    // The volume block holding descriptor block `index` of the table that
    // starts at `tableStart`: in a row, or spread over the groups (meta_bg).
    std::uint64_t descriptorBlock(std::uint64_t index, std::uint64_t tableStart) const;
    bool hasDirEntryType() const { return (featureIncompat & kIncompatFileType) != 0; }
    // Descriptors' unused-inode counts and uninit flags are only kept honest
    // by the checksum features; without them the fields may be stale.
    bool groupHintsTrusted() const {
        return (featureRoCompat & (kRoCompatGdtCsum | kRoCompatMetadataCsum)) != 0;
    }
};

Superblock decodeSuperblock(Bytes b);

struct GroupDescriptor {
    // 0x00 block bitmap, 0x04 inode bitmap: not needed to list or save
    std::uint64_t inodeTable = 0;      // 0x08 lo, 0x28 hi (64-byte descriptors)
    // 0x0C free blocks, 0x0E free inodes, 0x10 used dirs
    std::uint16_t flags = 0;           // 0x12
    std::uint32_t itableUnused = 0;    // 0x1C lo, 0x32 hi
};

GroupDescriptor decodeGroupDescriptor(Bytes b, std::uint32_t descriptorSize);

// An inode time: seconds plus, in large inodes, an "extra" word holding two
// epoch bits (times past 2038) and the nanoseconds.
Timestamp inodeTime(std::uint32_t seconds, std::optional<std::uint32_t> extra);

struct Inode {
    std::uint16_t mode = 0;             // 0x00
    std::uint64_t size = 0;             // 0x04 lo, 0x6C hi
    std::uint32_t atime = 0;            // 0x08
    std::uint32_t ctime = 0;            // 0x0C
    std::uint32_t mtime = 0;            // 0x10
    std::uint32_t dtime = 0;            // 0x14
    std::uint16_t linksCount = 0;       // 0x1A
    std::uint32_t flags = 0;            // 0x20
    Bytes blockArea;                    // 0x28, 60 bytes: block map, extent root or inline data
    std::uint16_t extraIsize = 0;       // 0x80, large inodes only
    std::optional<std::uint32_t> ctimeExtra, mtimeExtra, atimeExtra;  // 0x84, 0x88, 0x8C
    Bytes record;                       // the whole inode record, for in-inode attributes

    std::uint16_t type() const { return mode & kTypeMask; }
    bool isDirectory() const { return type() == kTypeDirectory; }
    bool isRegular() const { return type() == kTypeRegular; }
    bool hasExtents() const { return (flags & kInodeExtents) != 0; }
    bool hasInlineData() const { return (flags & kInodeInlineData) != 0; }
    std::uint32_t blockPointer(std::size_t i) const { return le32(blockArea, i * 4); }
};

// `largeDirs`: the high size word of a directory is its size only on volumes
// with the largedir feature; older volumes kept another field there.
Inode decodeInode(Bytes record, bool largeDirs);

// The value of the in-inode attribute "system.data": the part of inline
// content that does not fit the 60-byte block area. Empty when absent.
Bytes inlineDataTail(const Inode& inode);

struct ExtentHeader {
    std::uint16_t magic = 0;    // 0x00
    std::uint16_t entries = 0;  // 0x02
    std::uint16_t max = 0;      // 0x04
    std::uint16_t depth = 0;    // 0x06
};

ExtentHeader decodeExtentHeader(Bytes b);

struct DirEntryHead {
    std::uint32_t inode = 0;      // 0x00
    std::uint16_t recLen = 0;     // 0x04
    std::uint16_t nameLen = 0;    // 0x06, one byte when entries carry a type
    std::uint8_t fileType = 0;    // 0x07, typed entries only
};

DirEntryHead decodeDirEntryHead(Bytes b, std::size_t at, bool typed);

}  // namespace vantor::ext
