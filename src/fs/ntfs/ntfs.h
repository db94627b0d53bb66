#pragma once
// The NTFS reader: finds the MFT, turns its records into a folder tree
// (deleted entries and orphans included) and writes a file's content back
// out, compressed, sparse and fragmented data included.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/recovered.h"
#include "device/reader_context.h"
#include "fs/ntfs/layout.h"
#include "fs/ntfs/run_list.h"

namespace vantor {

// One MFT record as the tree knows it; its index in the entry list is its
// record number (standard and advanced modes).
struct MftEntry {
    bool validSignature = false;      // the record read "FILE"
    std::uint64_t position = 0;       // byte offset of the record in the volume
    std::string name;                 // UTF-8; empty: never linked or shown
    std::int64_t parent = -1;         // parent record number
    std::uint64_t size = 0;           // allocated size from the file name
    std::uint16_t recordFlags = 0;    // bit 0 in use, bit 1 directory
    std::uint16_t sequence = 0;       // the record's sequence number
    std::uint16_t parentSequence = 0; // the sequence number the parent had when named
    char kind = 0;                    // 'D' for a directory
    std::int64_t ownIndex = 0;
    bool orphan = false;              // hangs under the orphan node
    std::int64_t firstChild = 0;      // 0: none (record 0 is never a child)
    std::int64_t nextSibling = 0;     // 0 or -1: end of the chain
    std::int64_t lastChild = 0;       // the chain's tail, so appending stays O(1)
    // Taken while the record is parsed, so listing needs no further reads.
    std::uint64_t creation = 0, modification = 0, access = 0;  // file times, when hasTimes
    bool hasTimes = false;
    std::uint32_t nameFlags = 0;      // flags of the file name that named the entry
    std::uint64_t dataSize = 0;       // real size of the unnamed data stream
    bool hasAttributeList = false;
    bool dataSizeKnown = false;
    bool linked = false;              // already in its parent's chain
    bool torn = false;                // a stride did not end in the update sequence number
};

// Where a file's unnamed data stream lives.
struct DataStream {
    bool resident = false;
    std::vector<std::uint8_t> residentBytes;
    std::vector<MftRun> runs;
    std::uint64_t runClusters = 0;
    std::uint64_t realSize = 0;
    std::uint64_t initializedSize = 0;
    bool compressed = false;
    bool encrypted = false;
    std::uint16_t compressionUnit = 0;  // exponent
    bool damaged = false;
    std::string problem;
};


class ntfs final : public VolumeReader {
public:
    explicit ntfs(const ReaderContext& context);

    ScanOutcome scan(ScanMode mode) override;
    RecycleLayout recycleLayout() const override { return RecycleLayout::perUserFolders; }
    // Children take their folder's check mark; deleted top-level entries are red at once.
    TreeTraits treeTraits() const override {
        TreeTraits t;
        t.childrenInheritCheck = true;
        t.redTopLevel = true;
        return t;
    }

    std::optional<EntryRef> rootEntry() const override;
    std::optional<EntryRef> firstChild(EntryRef folder) const override;
    std::optional<EntryRef> nextSibling(EntryRef entry) const override;
    RecoveredItem describe(EntryRef entry) const override;
    bool isSaveFolder(EntryRef entry) const override;
    bool isSaveFile(EntryRef entry) const override;
    ContentOutcome writeContent(EntryRef entry, ContentSink& sink) override;

    // The life cycle, in order (ntfs.cpp runs it).
    // mft_location.cpp: the boot sector, the MFT's own runs, the record list.
    bool readBootSector();
    bool locateMft();        // boot sector, then $MFTMirr, then the sweep
    bool sweepForMft();      // the sweep for the $MFT record alone
    bool applyCandidate(std::uint64_t mftRecordPosition);  // advanced mode's chosen record
    void enumerateMftRecords();
    // entry_tree.cpp: every record parsed, parents linked, the orphan node.
    bool buildEntryTree();

    // Record access (mft_location.cpp).
    // Reads a record at a byte position and applies its fixup; false when
    // nothing could be read. `whole` tells whether every byte arrived.
    bool readRecordAt(std::uint64_t position, std::vector<std::uint8_t>& out, bool* torn = nullptr,
                      bool* whole = nullptr) const;
    // Reads the record of an entry (through the MFT's runs, so records that
    // straddle two runs come out whole; the first records as kept from the
    // MFT or its mirror).
    bool readEntryRecord(std::int64_t index, std::vector<std::uint8_t>& out, bool* torn = nullptr) const;
    // The runs of the first unnamed non-resident attribute of a type in the record at position.
    std::vector<MftRun> getAttributeRuns(std::uint64_t position, std::uint32_t type) const;
    // The same in a record already read.
    static std::vector<MftRun> runsOf(Bytes record, std::uint32_t type);
    // Calls `visit` for every 512-byte slot of the volume that starts with
    // "FILE", 10 MiB at a time; a record slot is followed by the slot one
    // record further on. `visit` returns false to end the sweep.
    void sweepForRecords(const std::function<bool(std::uint64_t position)>& visit);

    // The entry tree (entry_tree.cpp).
    void parseEntry(std::int64_t index, std::span<const std::uint8_t> record);
    void linkToParent(std::int64_t index);

    // Content (content.cpp).
    std::optional<DataStream> findDataStream(std::int64_t index) const;
    // Writes a data stream: the writers on their own. False when the sink refused bytes.
    bool writeStream(const DataStream& data, ContentSink& out) const;

    const std::vector<MftEntry>& entries() const { return entryList; }
    std::uint64_t clusterBytes() const { return clusterSize; }
    std::uint64_t recordBytes() const { return recordSize; }
    bool isMftLocated() const { return mftLocated; }
    std::int64_t orphanEntryIndex() const { return orphanIndex; }
    const std::vector<MftRun>& mftRunList() const { return mftRuns; }

private:
    bool validIndex(EntryRef e) const { return e < entryList.size(); }
    // mft_location.cpp
    void setMftRuns(std::vector<MftRun> runs);
    void completeMftRuns();  // the MFT's further extents, through its attribute list
    bool readRecordThroughRuns(std::int64_t index, std::vector<std::uint8_t>& out, bool* torn, bool* whole) const;
    // mft_mirror.cpp: the first records, each read once and kept: the MFT's
    // copy, or $MFTMirr's where the MFT's cannot be read whole or is damaged.
    struct KeptRecord {
        std::vector<std::uint8_t> bytes;
        bool arrived = false;  // some of it could be read
        bool torn = false;
    };
    // Record `index` from `position`, or through the MFT's runs when none is given.
    void keepFirstRecord(std::uint64_t index, std::optional<std::uint64_t> position = std::nullopt);
    void keepMirroredRecords();  // the rest of those $MFTMirr holds, once the runs are known
    std::uint64_t mirroredRecordCount() const;
    std::optional<std::vector<std::uint8_t>> mirrorCopy(std::uint64_t index) const;
    std::vector<KeptRecord> firstRecords;
    std::uint64_t mendedSectors = 0;  // unreadable sectors of records whose mirror copy stood in
    // entry_tree.cpp
    void resolveParents();
    void attachOrphans();
    void standInForTheRoot();
    // content.cpp
    bool writePlain(const DataStream& data, ContentSink& out) const;
    bool writeCompressed(const DataStream& data, ContentSink& out) const;
    bool readClusters(std::uint64_t cluster, std::span<std::uint8_t> dest,
                      std::vector<ByteRange>* unreadable = nullptr) const;
    std::uint64_t bytesOfClusters(std::uint64_t clusters) const;  // saturating

    mutable VolumeWindow window;  // reading does not change what the reader found
    VolumeRecord volume;
    ProgressSink& progress;
    Messages& messages;
    AdvancedPicks picks;

    std::uint64_t volumeSize = 0;
    std::vector<std::uint8_t> bootSector;
    std::optional<ntfs_layout::BootSector> boot;
    std::uint64_t clusterSize = 0;
    std::uint64_t recordSize = ntfs_layout::kDefaultRecordSize;
    std::vector<MftRun> mftRuns;
    std::vector<std::uint64_t> mftRunStart;  // byte offset within the MFT where each run begins
    std::vector<MftEntry> entryList;
    bool mftLocated = false;
    ScanMode scanMode = ScanMode::standard;  // kept for the deep and advanced sweeps
    std::int64_t orphanIndex = -1;
    std::int64_t rootIndex = -1;
    // Extension records that carry the first extent of their base record's
    // data: (base record, real size), applied once every record is parsed.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> extensionSizes;
    // File names found in extension records, for base records left unnamed.
    std::vector<std::pair<std::uint64_t, ntfs_layout::FileName>> extensionNames;
    void applyExtensionRecords();
    void nameFrom(MftEntry& e, ntfs_layout::FileName&& fn);
};

}  // namespace vantor
