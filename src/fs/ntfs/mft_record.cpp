// Decoding of MFT record headers, attributes and the values
// this reader takes from them.
#include "fs/ntfs/layout.h"

#include "core/text.h"

namespace vantor::ntfs_layout {

bool hasFileSignature(Bytes record) { return hasText(record, 0, "FILE"); }

RecordHeader decodeRecordHeader(Bytes r) {
    RecordHeader h;
    h.fixupOffset = le16(r, 0x04);
    h.fixupCount = le16(r, 0x06);
    h.sequence = le16(r, 0x10);
    h.firstAttribute = le16(r, 0x14);
    h.flags = le16(r, 0x16);
    h.allocatedSize = le32(r, 0x1C);
    h.baseRecord = le48(r, 0x20);
    return h;
}

bool applyFixup(std::span<std::uint8_t> record) {
    const Bytes r(record.data(), record.size());
    const std::size_t u = le16(r, 0x04);
    const std::size_t n = le16(r, 0x06);
    if (u + 2 > record.size()) return false;
    const std::uint16_t sequence = le16(r, u);
    bool intact = true;
    for (std::size_t k = 1; k < n; ++k) {
        const std::size_t from = u + 2 * k;
        const std::size_t to = kFixupStride * k - 2;
        if (from + 2 > record.size() || to + 2 > record.size()) break;
        // Each stride ends in the sequence number while the record is whole;
        // anything else is a write that did not finish, or damage.
        if (le16(r, to) != sequence) intact = false;
        record[to] = record[from];
        record[to + 1] = record[from + 1];
    }
    return intact;
}

std::vector<Attribute> attributesOf(Bytes r) {
    std::vector<Attribute> out;
    std::size_t off = le16(r, 0x14);
    // Each attribute takes at least 16 bytes, so the walk is bounded by the record.
    while (off + 16 <= r.size()) {
        const std::uint32_t type = le32(r, off);
        if (type == kEndOfAttributes) break;
        const std::uint32_t length = le32(r, off + 4);
        if (length < 16 || length > r.size() - off) break;
        Attribute a;
        a.bytes = r.subspan(off, length);
        a.type = type;
        a.length = length;
        a.nonResident = u8(a.bytes, 0x08) != 0;
        a.nameLength = u8(a.bytes, 0x09);
        a.flags = le16(a.bytes, 0x0C);
        if (!a.nonResident) {
            if (auto v = slice(a.bytes, le16(a.bytes, 0x14), le32(a.bytes, 0x10))) a.value = *v;
        } else {
            a.startVcn = le64(a.bytes, 0x10);
            a.lastVcn = le64(a.bytes, 0x18);
            a.runListOffset = le16(a.bytes, 0x20);
            a.compressionUnit = le16(a.bytes, 0x22);
            a.allocatedSize = le64(a.bytes, 0x28);
            a.realSize = le64(a.bytes, 0x30);
            a.initializedSize = le64(a.bytes, 0x38);
            if (a.runListOffset < a.length) a.runList = a.bytes.subspan(a.runListOffset);
        }
        out.push_back(a);
        off += length;
    }
    return out;
}

std::optional<StandardInformation> decodeStandardInformation(Bytes v) {
    if (v.size() < 0x24) return std::nullopt;
    StandardInformation s;
    s.creation = le64(v, 0x00);
    s.modification = le64(v, 0x08);
    s.access = le64(v, 0x18);
    s.flags = le32(v, 0x20);
    return s;
}

std::optional<FileName> decodeFileName(Bytes v) {
    if (v.size() < 0x42) return std::nullopt;
    FileName f;
    f.parentRecord = le48(v, 0x00);
    f.parentSequence = le16(v, 0x06);
    f.allocatedSize = le64(v, 0x28);
    f.realSize = le64(v, 0x30);
    f.flags = le32(v, 0x38);
    f.nameLength = u8(v, 0x40);
    f.nameSpace = u8(v, 0x41);
    const auto units = slice(v, 0x42, std::size_t{f.nameLength} * 2);
    if (!units) return std::nullopt;  // the name runs past its value
    f.name = utf16leToUtf8(*units);
    return f;
}

std::vector<AttributeListEntry> decodeAttributeList(Bytes v) {
    std::vector<AttributeListEntry> out;
    std::size_t off = 0;
    while (off + 0x1A <= v.size()) {
        AttributeListEntry e;
        e.type = le32(v, off);
        if (e.type == kEndOfAttributes) break;
        e.length = le16(v, off + 0x04);
        if (e.length < 0x1A || e.length > v.size() - off) break;
        e.nameLength = u8(v, off + 0x06);
        e.startVcn = le64(v, off + 0x08);
        e.record = le48(v, off + 0x10);
        out.push_back(e);
        off += e.length;
    }
    return out;
}

}  // namespace vantor::ntfs_layout
