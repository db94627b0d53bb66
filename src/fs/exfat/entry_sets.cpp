// Decoding exFAT entry sets (layout.h).
#include <ctime>

#include "core/text.h"
#include "fs/exfat/layout.h"

namespace vantor::exfat {

namespace {

std::uint8_t typeAt(Bytes dir, std::size_t entry) { return u8(dir, entry * kEntryBytes); }

// The set checksum: every byte of the set but the checksum field itself.
std::uint16_t setChecksum(Bytes set) {
    std::uint16_t sum = 0;
    for (std::size_t i = 0; i < set.size(); ++i) {
        if (i == 2 || i == 3) continue;
        sum = static_cast<std::uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + set[i]);
    }
    return sum;
}

Stamp stampAt(Bytes file, std::size_t at, std::size_t tenMsAt, std::size_t offsetAt) {
    Stamp s;
    s.value = le32(file, at);
    s.tenMs = tenMsAt ? u8(file, tenMsAt) : 0;
    s.utcOffset = u8(file, offsetAt);
    return s;
}

// The set that starts at `first` (a file entry), or nullopt when it is not whole.
std::optional<EntrySet> decodeSet(Bytes dir, std::size_t first, std::size_t entries) {
    const Bytes file = dir.subspan(first * kEntryBytes, kEntryBytes);
    const std::uint8_t secondaries = u8(file, 1);
    if (secondaries < kMinSecondaries || secondaries > kMaxSecondaries || first + secondaries >= entries) return std::nullopt;
    const std::uint8_t inUse = typeAt(dir, first) & kInUse;
    const std::uint8_t streamType = typeAt(dir, first + 1);
    if (streamType != (kTypeStream & ~kInUse) + inUse) return std::nullopt;
    const Bytes stream = dir.subspan((first + 1) * kEntryBytes, kEntryBytes);
    EntrySet set;
    set.inUse = inUse != 0;
    set.attributes = le16(file, 4);
    set.created = stampAt(file, 8, 20, 22);
    set.modified = stampAt(file, 12, 21, 23);
    set.accessed = stampAt(file, 16, 0, 24);
    set.flags = u8(stream, 1);
    set.nameLength = u8(stream, 3);
    set.validDataLength = le64(stream, 8);
    set.firstCluster = le32(stream, 20);
    set.dataLength = le64(stream, 24);
    set.offset = first * kEntryBytes;
    const std::size_t nameEntries = (set.nameLength + kNameCharsPerEntry - 1) / kNameCharsPerEntry;
    if (set.nameLength == 0 || nameEntries + 1 > secondaries) return std::nullopt;
    std::u16string name;
    for (std::size_t n = 0; n < nameEntries; ++n) {
        const std::size_t at = first + 2 + n;
        if (typeAt(dir, at) != (kTypeName & ~kInUse) + inUse) return std::nullopt;
        for (std::size_t c = 0; c < kNameCharsPerEntry && name.size() < set.nameLength; ++c)
            name.push_back(static_cast<char16_t>(le16(dir, at * kEntryBytes + 2 + 2 * c)));
    }
    set.name = utf16ToUtf8(name);
    set.checksumMatches = setChecksum(dir.subspan(first * kEntryBytes, (secondaries + 1u) * kEntryBytes)) == le16(file, 2);
    return set;
}

}  // namespace

std::vector<EntrySet> decodeEntrySets(Bytes directory) {
    std::vector<EntrySet> sets;
    const std::size_t entries = directory.size() / kEntryBytes;
    for (std::size_t i = 0; i < entries;) {
        const std::uint8_t type = typeAt(directory, i);
        if ((type | kInUse) != kTypeFile) {
            ++i;
            continue;
        }
        // A set that is not whole (a deleted one partly reused) is stepped
        // over entry by entry: nothing of it stands in for another set.
        if (auto set = decodeSet(directory, i, entries)) {
            i += 1u + u8(directory, i * kEntryBytes + 1);
            sets.push_back(std::move(*set));
        } else {
            ++i;
        }
    }
    return sets;
}

std::optional<BitmapEntry> findBitmapEntry(Bytes root) {
    for (std::size_t at = 0; at + kEntryBytes <= root.size(); at += kEntryBytes) {
        // The first bitmap; a second one (TexFAT) is not used.
        if (u8(root, at) == kTypeBitmap && (u8(root, at + 1) & 1) == 0)
            return BitmapEntry{le32(root, at + 20), le64(root, at + 24)};
    }
    return std::nullopt;
}

std::optional<Timestamp> stampTime(const Stamp& stamp) {
    const auto date = static_cast<std::uint16_t>(stamp.value >> 16);
    const auto time = static_cast<std::uint16_t>(stamp.value & 0xFFFF);
    if (!(stamp.utcOffset & 0x80)) return fromDosDateTime(date, time, stamp.tenMs);
    auto tm = dosToTm(date, time);
    if (!tm) return std::nullopt;
    // Seven bits of signed quarter hours east of UTC.
    const int quarters = (stamp.utcOffset & 0x40) ? (stamp.utcOffset & 0x7F) - 0x80 : (stamp.utcOffset & 0x7F);
    const std::int64_t local = static_cast<std::int64_t>(timegm(&*tm));
    const unsigned extra = stamp.tenMs < 200 ? stamp.tenMs : 0;
    return Timestamp{local - quarters * 15 * 60 + extra / 100, (extra % 100) * 10000000u};
}

}  // namespace vantor::exfat
