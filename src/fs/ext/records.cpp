// Decoders of the group descriptors, inodes, extent headers and
// directory entry heads (layout.h).
#include "fs/ext/layout.h"

namespace vantor::ext {

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
