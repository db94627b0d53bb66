// Which 32-byte slots count as directory entries when a volume without a
// usable boot sector is swept (sweep.h).
#include <cstdint>

#include "fs/fat/sweep.h"

namespace vantor::fat {

namespace {

bool isDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
bool isAlpha(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
// FAT32's sweep takes 'A'..'[' and '_'..'z'; FAT16's 'A'..'[' and 'a'..'z'.
bool isNameLetter(std::uint8_t c, FatVersion v) {
    if (c >= 'A' && c <= '[') return true;
    return v == FatVersion::fat32 ? (c >= '_' && c <= 'z') : (c >= 'a' && c <= 'z');
}
bool oneOf(std::uint8_t c, const char* set) {
    for (; *set; ++set)
        if (c == static_cast<std::uint8_t>(*set)) return true;
    return false;
}

// The three dates and two times of a slot: present (nonzero) and valid.
bool datesPresentAndValid(const DirSlot& d) {
    if (!d.accessDate || !d.creationDate || !d.writeDate || !d.creationTime || !d.writeTime) return false;
    return validDosDate(d.accessDate) && validDosDate(d.creationDate) && validDosDate(d.writeDate) &&
           validDosTime(d.creationTime) && validDosTime(d.writeTime);
}
bool datesValid(const DirSlot& d) {
    return validDosDate(d.accessDate) && validDosDate(d.creationDate) && validDosDate(d.writeDate) &&
           validDosTime(d.creationTime) && validDosTime(d.writeTime);
}

bool longNameSlot(Bytes s, FatVersion v) {
    const std::uint8_t b0 = s[0], b1 = s[1];
    const bool live = b0 != kDeletedMark;
    const bool b1ok = isNameLetter(b1, v) || isDigit(b1) || oneOf(b1, v == FatVersion::fat32 ? " ~,.)" : " ~.)") ||
                      b1 == kDeletedMark || (v == FatVersion::fat16 && live && b1 == '_');
    return b1ok && s[12] == 0 && le16(s, 26) == 0;
}

bool folderSlot(Bytes s, const DirSlot& d, FatVersion v, std::uint32_t totalClusters) {
    const std::uint8_t b0 = s[0], b1 = s[1];
    const bool deleted = b0 == kDeletedMark;
    if (!(isNameLetter(b0, v) || isDigit(b0) || b0 == kDeletedMark || b0 == '~' || b0 == '$')) return false;
    const std::uint32_t c = v == FatVersion::fat32 ? d.firstCluster() : d.clusterLow;
    if (v == FatVersion::fat32) {
        if (!(isNameLetter(b1, v) || isDigit(b1) || oneOf(b1, " ~.)_") || b1 == kDeletedMark)) return false;
        if (c == 0 || c >= totalClusters) return false;
        // Creation tenths are not required: formatters other than Windows
        // write 0 there, and so does Windows on an even second.
        if (!datesPresentAndValid(d)) return false;
        return deleted || d.size == 0;
    }
    if (!(isNameLetter(b1, v) || isDigit(b1) || oneOf(b1, " ).~") || b1 == kDeletedMark)) return false;
    if (deleted) return datesValid(d);
    return d.size == 0 && c > 0 && c < totalClusters && datesValid(d);
}

bool fileSlot(Bytes s, const DirSlot& d, FatVersion v, std::uint32_t totalClusters) {
    const std::uint8_t b0 = s[0], b1 = s[1];
    if (!(isNameLetter(b0, v) || isDigit(b0) || b0 == kDeletedMark || b0 == '~')) return false;
    if (d.caseFlags != 0 && d.caseFlags != 0x18) return false;
    const std::uint32_t c = v == FatVersion::fat32 ? d.firstCluster() : d.clusterLow;
    if (v == FatVersion::fat32) {
        if (!(isNameLetter(b1, v) || isDigit(b1) || oneOf(b1, " ~._") || b1 == kDeletedMark)) return false;
        return c > 0 && c < totalClusters && d.size != 0 && datesPresentAndValid(d);
    }
    if (!(isNameLetter(b1, v) || isDigit(b1) || oneOf(b1, " ).~") || b1 == kDeletedMark)) return false;
    return c < totalClusters && datesValid(d);
}

bool rootMarkerSlot(Bytes s, const DirSlot& d) {
    const std::uint8_t b0 = s[0], b1 = s[1];
    if (!(isAlpha(b0) || isDigit(b0) || b0 == kDeletedMark || b0 == '~' || b0 == '$')) return false;
    if (!(isAlpha(b1) || isDigit(b1) || oneOf(b1, " ~.)") || b1 == kDeletedMark)) return false;
    return (d.caseFlags == 0 || d.caseFlags == 0x18) && (d.size & 0xFF) == 0;
}

}  // namespace

bool isSweptFolderAttribute(std::uint8_t a) {
    return a == 0x10 || a == 0x11 || a == 0x12 || a == 0x14 || a == 0x15 || a == 0x16 || a == 0x30;
}

SweptSlot classifySweptSlot(Bytes s, FatVersion v, std::uint32_t totalClusters, bool rootFound) {
    SweptSlot out;
    if (s.size() < kSlotSize) return out;
    const std::uint8_t a = s[0x0B];
    const std::uint8_t b0 = s[0];
    // Every test below wants a first byte that is a letter, a digit, one of
    // a few marks or the deleted mark: settle the rest before decoding.
    if (a != attr::longName && !(isNameLetter(b0, v) || isAlpha(b0) || isDigit(b0) || b0 == kDeletedMark ||
                                 b0 == '~' || b0 == '$'))
        return out;
    const DirSlot d = decodeSlot(s);
    if (a == attr::longName) {
        if (longNameSlot(s, v)) out.kind = SweptKind::longName;
    } else if (isSweptFolderAttribute(a)) {
        if (folderSlot(s, d, v, totalClusters)) out.kind = SweptKind::folder;
    } else if (a == 0x20 || (v == FatVersion::fat16 && a == 0x26)) {
        if (fileSlot(s, d, v, totalClusters)) out.kind = SweptKind::file;
    }
    if (!rootFound && (a == attr::volumeLabel || hasText(s, 1, "RECYCLE")))
        out.rootMarker = rootMarkerSlot(s, d);
    return out;
}

bool isDotSlot(Bytes s) {
    if (s.size() < kSlotSize || s[0] != '.' || !isFolderAttribute(s[0x0B])) return false;
    for (std::size_t i = 1; i < 11; ++i)
        if (s[i] != ' ') return false;
    return true;
}

}  // namespace vantor::fat
