#pragma once
// NTFS on-disk structures as this reader uses them: value types decoded from
// bounds-checked spans, never cast over a buffer.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "formats/ntfs_boot.h"

namespace vantor::ntfs_layout {

inline constexpr std::uint32_t kStandardInformation = 0x10;
inline constexpr std::uint32_t kAttributeList = 0x20;
inline constexpr std::uint32_t kFileName = 0x30;
inline constexpr std::uint32_t kData = 0x80;
inline constexpr std::uint32_t kEndOfAttributes = 0xFFFFFFFF;

// Records with fixed numbers.
inline constexpr std::uint64_t kMftRecord = 0;
inline constexpr std::uint64_t kMirrorRecord = 1;
inline constexpr std::uint64_t kRootRecord = 5;
// $MFTMirr copies at least the first four records, or one cluster's worth
// where a cluster holds more.
inline constexpr std::uint64_t kMinMirroredRecords = 4;

inline constexpr std::uint16_t kRecordInUse = 0x0001;
inline constexpr std::uint16_t kRecordIsDirectory = 0x0002;
inline constexpr std::uint32_t kFileNameIsDirectory = 0x10000000;

inline constexpr std::uint16_t kAttrCompressed = 0x0001;
inline constexpr std::uint16_t kAttrEncrypted = 0x4000;
inline constexpr std::uint16_t kAttrSparse = 0x8000;

// The fixed header of an MFT record.
struct RecordHeader {
    // 0x00 signature "FILE"
    std::uint16_t fixupOffset = 0;      // 0x04
    std::uint16_t fixupCount = 0;       // 0x06
    // 0x08 $LogFile sequence number
    std::uint16_t sequence = 0;         // 0x10 (raised each time the record is freed)
    // 0x12 link count
    std::uint16_t firstAttribute = 0;   // 0x14
    std::uint16_t flags = 0;            // 0x16
    // 0x18 bytes in use
    std::uint32_t allocatedSize = 0;    // 0x1C
    std::uint64_t baseRecord = 0;       // 0x20 (low 48 bits)
};
bool hasFileSignature(Bytes record);
RecordHeader decodeRecordHeader(Bytes record);

// Applies the update sequence of a record in place: the last two bytes of
// every 512-byte stride are put back from the sequence array. The check value
// is not compared: a torn record is still the best copy there is.
// Puts the protected words back; false when a stride did not end in the
// update sequence number (a torn or damaged record).
bool applyFixup(std::span<std::uint8_t> record);

// One attribute of a record, its bytes bounded by the record.
struct Attribute {
    std::uint32_t type = 0;             // 0x00
    std::uint32_t length = 0;           // 0x04
    bool nonResident = false;           // 0x08
    std::uint8_t nameLength = 0;        // 0x09 (UTF-16 units; 0 = unnamed)
    // 0x0A name offset
    std::uint16_t flags = 0;            // 0x0C
    Bytes bytes;                        // the whole attribute
    // Resident part
    Bytes value;                        // 0x10 length, 0x14 offset (empty when out of bounds)
    // Non-resident part
    std::uint64_t startVcn = 0;         // 0x10
    std::uint64_t lastVcn = 0;          // 0x18
    std::uint16_t runListOffset = 0;    // 0x20
    std::uint16_t compressionUnit = 0;  // 0x22 (exponent)
    std::uint64_t allocatedSize = 0;    // 0x28
    std::uint64_t realSize = 0;         // 0x30
    std::uint64_t initializedSize = 0;  // 0x38
    Bytes runList;                      // run-list offset .. attribute end
};
// The attributes of a (fixed-up) record in order. The walk ends at the end
// marker, at a length that could not hold a header, or at an attribute that
// would run past the record.
std::vector<Attribute> attributesOf(Bytes record);

// $STANDARD_INFORMATION value.
struct StandardInformation {
    std::uint64_t creation = 0;         // 0x00
    std::uint64_t modification = 0;     // 0x08
    // 0x10 MFT change time
    std::uint64_t access = 0;           // 0x18
    std::uint32_t flags = 0;            // 0x20
};
std::optional<StandardInformation> decodeStandardInformation(Bytes value);

// $FILE_NAME value.
struct FileName {
    std::uint64_t parentRecord = 0;     // 0x00 (low 48 bits)
    std::uint16_t parentSequence = 0;   // 0x06
    // 0x08..0x27 four times
    std::uint64_t allocatedSize = 0;    // 0x28
    std::uint64_t realSize = 0;         // 0x30
    std::uint32_t flags = 0;            // 0x38
    std::uint8_t nameLength = 0;        // 0x40 (UTF-16 units)
    std::uint8_t nameSpace = 0;         // 0x41 (0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS)
    std::string name;                   // 0x42, UTF-8
};
inline constexpr std::uint8_t kDosNameSpace = 2;
std::optional<FileName> decodeFileName(Bytes value);

// One entry of an $ATTRIBUTE_LIST value.
struct AttributeListEntry {
    std::uint32_t type = 0;             // 0x00
    std::uint16_t length = 0;           // 0x04
    std::uint8_t nameLength = 0;        // 0x06
    // 0x07 name offset
    std::uint64_t startVcn = 0;         // 0x08
    std::uint64_t record = 0;           // 0x10 (low 48 bits)
    // 0x18 attribute id
};
// The entries of an attribute list, in order, until its end or a malformed entry.
std::vector<AttributeListEntry> decodeAttributeList(Bytes value);

}  // namespace vantor::ntfs_layout
