#pragma once
// exFAT directory entries: what one entry set (a file entry, its stream
// extension, its name entries) says, decoded in one place, and the exFAT
// clock.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/texts.h"

namespace vantor::exfat {

inline constexpr std::size_t kEntryBytes = 32;
// Entry types with the in-use bit (0x80) set; a deleted set clears it.
inline constexpr std::uint8_t kInUse = 0x80;
inline constexpr std::uint8_t kTypeBitmap = 0x81;
inline constexpr std::uint8_t kTypeFile = 0x85;
inline constexpr std::uint8_t kTypeStream = 0xC0;
inline constexpr std::uint8_t kTypeName = 0xC1;
inline constexpr std::size_t kNameCharsPerEntry = 15;
// A set has 2 to 18 secondary entries: the stream, 1 to 17 names, others.
inline constexpr std::uint8_t kMinSecondaries = 2;
inline constexpr std::uint8_t kMaxSecondaries = 18;

inline constexpr std::uint16_t kAttrDirectory = 0x10;
// GeneralSecondaryFlags of the stream entry.
inline constexpr std::uint8_t kAllocationPossible = 0x01;
inline constexpr std::uint8_t kNoFatChain = 0x02;
// No directory is larger than this.
inline constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{256} << 20;

// A 32-bit exFAT time stamp with its 10 ms increment and UTC offset byte.
struct Stamp {
    std::uint32_t value = 0;     // DOS date in the high word, time in the low
    std::uint8_t tenMs = 0;      // 0..199
    std::uint8_t utcOffset = 0;  // bit 7: valid; bits 0..6: signed quarter hours
};

// One file or folder as its entry set describes it.
struct EntrySet {
    bool inUse = false;
    std::uint16_t attributes = 0;
    Stamp created, modified, accessed;
    std::uint8_t flags = 0;  // GeneralSecondaryFlags
    std::uint8_t nameLength = 0;
    std::uint64_t validDataLength = 0;
    std::uint32_t firstCluster = 0;
    std::uint64_t dataLength = 0;
    std::string name;  // UTF-8
    bool checksumMatches = true;
    std::uint64_t offset = 0;  // of its file entry in the directory's bytes

    bool isFolder() const { return (attributes & kAttrDirectory) != 0; }
    bool noFatChain() const { return (flags & kNoFatChain) != 0; }
};

// The entry sets of a directory's bytes, in order. A set is taken only when
// it is whole: SecondaryCount secondaries, the stream first, as many name
// entries as NameLength needs, all of one in-use state; its name is cut at
// NameLength. A checksum that does not match is kept as a flag on the set.
std::vector<EntrySet> decodeEntrySets(Bytes directory);

// Where the allocation bitmap lies, from the root directory's bitmap entry.
struct BitmapEntry {
    std::uint32_t firstCluster = 0;
    std::uint64_t dataLength = 0;
};
std::optional<BitmapEntry> findBitmapEntry(Bytes rootDirectory);

// The stamp as a time: the UTC offset applied when it is valid, otherwise
// taken as local time like FAT's; nullopt for no real date.
std::optional<Timestamp> stampTime(const Stamp& stamp);

}  // namespace vantor::exfat
