// Decoders of the superblock, group descriptors, inodes, extent headers and
// directory entry heads (layout.h).
#include "fs/ext/layout.h"

namespace vantor::ext {

Superblock decodeSuperblock(Bytes b) {
    Superblock s;
    s.inodesCount = le32(b, 0x00);
    s.blocksCount = le32(b, 0x04);
    // 0x08 reserved blocks, 0x0C free blocks, 0x10 free inodes
    s.firstDataBlock = le32(b, 0x14);
    s.logBlockSize = le32(b, 0x18);
    // 0x1C cluster size (bigalloc)
    s.blocksPerGroup = le32(b, 0x20);
    s.inodesPerGroup = le32(b, 0x28);
    // 0x2C..0x37 mount and write times, mount counts
    s.magic = le16(b, 0x38);
    s.revLevel = le32(b, 0x4C);
    s.rawInodeSize = le16(b, 0x58);
    s.blockGroupNr = le16(b, 0x5A);
    s.featureCompat = le32(b, 0x5C);
    s.featureIncompat = le32(b, 0x60);
    s.featureRoCompat = le32(b, 0x64);
    s.rawDescSize = le16(b, 0xFE);
    s.firstMetaBg = le32(b, 0x104);
    s.backupGroups[0] = le32(b, 0x24C);
    s.backupGroups[1] = le32(b, 0x250);
    if (s.featureIncompat & kIncompat64Bit) s.blocksCount |= std::uint64_t{le32(b, 0x150)} << 32;
    return s;
}

bool Superblock::accepted() const {
    // Block sizes up to 8 KiB; the group sizes must be set or no group can be found.
    return magic == kSuperblockMagic && logBlockSize <= 3 &&
           blocksPerGroup != 0 && inodesPerGroup != 0;
}

std::uint32_t Superblock::inodeSize() const {
    // Revision 0 has 128-byte inodes and no size field; a size that is not a
    // power of two between 128 and the block size cannot be right either, and
    // 128 bytes is the one layout every revision shares.
    if (revLevel == 0) return 128;
    const std::uint32_t size = rawInodeSize;
    if (size < 128 || size > blockSize() || !isPowerOfTwo(size)) return 128;
    return size;
}

std::uint32_t Superblock::descriptorSize() const {
    if (!(featureIncompat & kIncompat64Bit)) return 32;
    const std::uint32_t size = rawDescSize;
    if (size < 64 || size > 1024 || !isPowerOfTwo(size)) return 64;
    return size;
}

std::uint64_t Superblock::groupCount() const {
    if (blocksPerGroup == 0 || blocksCount <= firstDataBlock) return 0;
    return (blocksCount - firstDataBlock + blocksPerGroup - 1) / blocksPerGroup;
}

bool Superblock::groupHasSuperblock(std::uint64_t group) const {
    if (group == 0) return true;
    if (featureCompat & kCompatSparseSuper2) return group == backupGroups[0] || group == backupGroups[1];
    if (!(featureRoCompat & kRoCompatSparseSuper) || group == 1) return true;
    if (group % 2 == 0) return false;
    // Sparse copies: groups that are powers of 3, 5 or 7.
    for (const std::uint64_t base : {3, 5, 7}) {
        std::uint64_t p = base;
        while (p < group) p *= base;
        if (p == group) return true;
    }
    return false;
}

std::uint64_t Superblock::descriptorBlock(std::uint64_t index, std::uint64_t tableStart) const {
    if (!(featureIncompat & kIncompatMetaBg) || index < firstMetaBg) return tableStart + index;
    // Each meta group keeps its own descriptor block in its first group,
    // after the superblock copy when that group has one.
    const std::uint64_t perBlock = blockSize() / descriptorSize();
    const std::uint64_t group = index * perBlock;
    return firstDataBlock + group * blocksPerGroup + (groupHasSuperblock(group) ? 1 : 0);
}

GroupDescriptor decodeGroupDescriptor(Bytes b, std::uint32_t descriptorSize) {
    GroupDescriptor d;
    d.inodeTable = le32(b, 0x08);
    d.flags = le16(b, 0x12);
    d.itableUnused = le16(b, 0x1C);
    if (descriptorSize >= 64) {
        d.inodeTable |= std::uint64_t{le32(b, 0x28)} << 32;
        d.itableUnused |= std::uint32_t{le16(b, 0x32)} << 16;
    }
    return d;
}

Timestamp inodeTime(std::uint32_t seconds, std::optional<std::uint32_t> extra) {
    if (!extra) return fromUnix(static_cast<std::int64_t>(seconds));
    // With the extra word the seconds are signed and the two epoch bits
    // extend them past 2038.
    const std::int64_t s = static_cast<std::int64_t>(static_cast<std::int32_t>(seconds)) +
                           (static_cast<std::int64_t>(*extra & 3) << 32);
    std::uint32_t nanos = *extra >> 2;
    if (nanos > 999999999) nanos = 0;
    return fromUnix(s, nanos);
}

Inode decodeInode(Bytes record, bool largeDirs) {
    Inode n;
    n.record = record;
    n.mode = le16(record, 0x00);
    n.size = le32(record, 0x04);
    n.atime = le32(record, 0x08);
    n.ctime = le32(record, 0x0C);
    n.mtime = le32(record, 0x10);
    n.dtime = le32(record, 0x14);
    // 0x18 gid, 0x1C blocks
    n.linksCount = le16(record, 0x1A);
    n.flags = le32(record, 0x20);
    // 0x24 osd1
    n.blockArea = slice(record, 0x28, 60).value_or(Bytes{});
    // 0x64 generation, 0x68 file ACL
    const std::uint64_t sizeHigh = le32(record, 0x6C);
    if (!n.isDirectory() || largeDirs) n.size |= sizeHigh << 32;
    if (record.size() > 0x82) {
        n.extraIsize = le16(record, 0x80);
        if (n.extraIsize > record.size() - 0x80) n.extraIsize = 0;
        if (n.extraIsize >= 8) n.ctimeExtra = le32(record, 0x84);
        if (n.extraIsize >= 12) n.mtimeExtra = le32(record, 0x88);
        if (n.extraIsize >= 16) n.atimeExtra = le32(record, 0x8C);
    }
    return n;
}

Bytes inlineDataTail(const Inode& inode) {
    if (inode.record.size() <= 0x80 || inode.extraIsize == 0) return {};
    const std::size_t start = 0x80 + inode.extraIsize;
    if (le32(inode.record, start) != 0xEA020000) return {};
    const Bytes area = slice(inode.record, start + 4, inode.record.size() - start - 4).value_or(Bytes{});
    std::size_t at = 0;
    // Each entry: 0x00 name length, 0x01 name index, 0x02 value offset,
    // 0x04 value inode, 0x08 value size, 0x0C hash, 0x10 name; padded to 4.
    while (fits(area, at, 16) && le32(area, at) != 0) {
        const std::size_t nameLen = u8(area, at);
        const std::uint8_t nameIndex = u8(area, at + 1);
        const std::size_t valueOffset = le16(area, at + 2);
        const std::uint32_t valueInode = le32(area, at + 4);
        const std::size_t valueSize = le32(area, at + 8);
        if (nameIndex == 7 && nameLen == 4 && hasText(area, at + 16, "data") && valueInode == 0) {
            return slice(area, valueOffset, valueSize).value_or(Bytes{});
        }
        at += (16 + nameLen + 3) & ~std::size_t{3};
    }
    return {};
}

ExtentHeader decodeExtentHeader(Bytes b) {
    ExtentHeader h;
    h.magic = le16(b, 0x00);
    h.entries = le16(b, 0x02);
    h.max = le16(b, 0x04);
    h.depth = le16(b, 0x06);
    // 0x08 generation
    return h;
}

DirEntryHead decodeDirEntryHead(Bytes b, std::size_t at, bool typed) {
    DirEntryHead d;
    d.inode = le32(b, at + 0x00);
    d.recLen = le16(b, at + 0x04);
    if (typed) {
        d.nameLen = u8(b, at + 0x06);
        d.fileType = u8(b, at + 0x07);
    } else {
        d.nameLen = le16(b, at + 0x06);
    }
    return d;
}

}  // namespace vantor::ext
