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
#include "formats/ext_superblock.h"

namespace vantor::ext {

inline constexpr std::uint16_t kExtentMagic = 0xF30A;
inline constexpr std::uint32_t kRootInode = 2;

// Inode flags.
inline constexpr std::uint32_t kInodeExtents = 0x80000;
inline constexpr std::uint32_t kInodeInlineData = 0x10000000;

// i_mode file types (the top four bits).
inline constexpr std::uint16_t kTypeMask = 0xF000;
inline constexpr std::uint16_t kTypeDirectory = 0x4000;
inline constexpr std::uint16_t kTypeRegular = 0x8000;

// Group descriptor flags.
inline constexpr std::uint16_t kGroupInodeUninit = 0x1;

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
