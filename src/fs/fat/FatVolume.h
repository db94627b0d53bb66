#pragma once
// The FAT16/FAT32 reader: one implementation, two versions. Fat16Class and
// Fat32Class fix the version; everything else is shared here.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/recovered.h"
#include "device/reader_context.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/layout.h"
#include "fs/fat/names.h"

namespace vantor::fat {

inline constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;

// One file or folder found, live or deleted.
struct FatEntry {
    std::uint8_t attributes = 0;
    std::uint8_t creationTenths = 0;
    std::uint16_t creationTime = 0;
    std::uint16_t creationDate = 0;
    std::uint16_t accessDate = 0;
    std::uint32_t firstCluster = 0;
    std::uint16_t writeTime = 0;
    std::uint16_t writeDate = 0;
    std::uint32_t size = 0;
    bool deleted = false;
    bool folder = false;
    bool standsIn = false;  // made up for a folder whose own entry was not found
    std::string name;
    std::uint32_t parent = 0;
    std::uint32_t ownIndex = 0;
    std::uint32_t firstChild = kNoEntry;
    std::uint32_t nextSibling = kNoEntry;
    std::uint32_t lastChild = kNoEntry;  // makes linking one step per entry
    std::uint64_t position = 0;          // byte offset of its short slot in the volume
};

// Entry 0 is the root; in the advanced mode entry 1 gathers the orphans.
inline constexpr std::uint32_t kRootIndex = 0;
inline constexpr std::uint32_t kOrphanIndex = 1;

class FatVolume : public VolumeReader {
public:
    FatVolume(const ReaderContext& context, FatVersion version);

    ScanOutcome scan(ScanMode mode) override;
    RecycleLayout recycleLayout() const override;
    TreeTraits treeTraits() const override;

    // The results contract.
    std::optional<EntryRef> rootEntry() const override;
    std::optional<EntryRef> firstChild(EntryRef folder) const override;
    std::optional<EntryRef> nextSibling(EntryRef entry) const override;
    RecoveredItem describe(EntryRef entry) const override;
    bool isSaveFolder(EntryRef entry) const override;
    bool isSaveFile(EntryRef entry) const override;
    ContentOutcome writeContent(EntryRef entry, ContentSink& sink) override;

    // The standard life cycle, in order (FatVolume.cpp, dir_walk.cpp).
    void attachVolume();
    bool checkBootSector();
    bool readFat();
    void readRootDirectory();
    void walkRoot();
    void linkEntries();

    // The advanced life cycle (sweep.cpp): the FAT at `fatSector` (volume
    // sectors) and clusters of `sectorsPerCluster` × 512 bytes.
    bool advancedSetup(std::int64_t fatSector, std::uint32_t sectorsPerCluster);
    void sweepForEntries();
    void buildFromSweep();

    // The search for FAT starts on a volume whose boot sector is lost
    // (candidates.cpp): sectors of the FAT copies found, at most `max`.
    std::vector<std::int64_t> findFatCandidates(int max);
    // Cluster sizes to offer with the candidates, the boot sector's first.
    std::vector<std::uint32_t> sectorsPerClusterChoices() const;

    // Writes one file's content (content.cpp). False when the sink refused bytes.
    // The cluster after `cluster` in a row; with `skipLive`, the next one no
    // live file holds.
    std::uint32_t nextInRow(std::uint32_t cluster, bool skipLive);
    bool writeFatContent(const FatEntry& entry, ContentSink& sink);
    // The next cluster of a chain, or nullopt at its end or when clusters are
    // taken in a row (a formatted drive).
    std::optional<std::uint32_t> nextCluster(std::uint32_t cluster);

    FatVersion version() const { return fatVersion; }
    const std::vector<FatEntry>& entries() const { return fatEntries; }
    const std::optional<BootGeometry>& bootGeometry() const { return geometry; }
    std::uint64_t clusterBytes() const { return clusterSize; }
    std::uint64_t dataStart() const { return dataOffset; }
    const std::vector<std::uint64_t>& sweptPositions() const { return swept; }

protected:
    // dir_walk.cpp
    // The state of one directory's walk across its clusters.
    struct SlotWalk {
        std::uint32_t parent = 0;
        bool isRoot = false;
        bool checkDot = false;  // a folder's first slot must be "." or the cluster was reused
        bool firstSlot = true;
        LongNameGroup group;
        struct Pending {
            std::uint32_t index;
            std::uint32_t cluster;
            bool deleted;
        };
        std::vector<Pending> folders;  // walked once the current folder is done
    };
    enum class SlotsEnd { more, folderEnded };
    SlotsEnd walkSlots(Bytes slots, std::uint64_t position, SlotWalk& walk);
    void walkFolder(std::uint32_t folderIndex, std::uint32_t cluster, bool deletedFolder, int depth);
    void walkClusterChain(std::uint32_t parentIndex, std::uint32_t first, bool followChain, bool isRoot, int depth);
    std::uint32_t addEntry(const DirSlot& slot, std::string name, bool deleted, std::uint32_t parent,
                           std::uint64_t position);
    std::uint32_t addFolderOnce(const DirSlot& slot, std::string name, bool deleted, std::uint32_t parent,
                                std::uint64_t position, bool& isNew);
    std::uint32_t slotCluster(const DirSlot& slot) const;
    void fillFromSlot(FatEntry& entry, const DirSlot& slot) const;
    bool isAncestorOrSelf(std::uint32_t candidate, std::uint32_t entry) const;
    std::uint64_t clusterOffset(std::uint32_t cluster) const;
    bool readCluster(std::uint32_t cluster, std::vector<std::uint8_t>& buffer);
    void appendRootEntry();

    // sweep.cpp
    std::uint64_t resolveDataStart();
    void placeSweptSlot(std::uint64_t position, std::uint32_t parentIndex, std::unordered_set<std::uint64_t>& consumed);

    const char* versionText() const { return fatVersion == FatVersion::fat32 ? "Fat32" : "Fat16"; }

    ReaderContext ctx;
    VolumeWindow window;
    FatVersion fatVersion;
    std::uint64_t volumeSize = 0;
    std::optional<BootGeometry> geometry;
    std::uint64_t clusterSize = 0;
    std::uint64_t dataOffset = 0;
    std::uint64_t fatOffset = 0;
    std::uint32_t clusterCount = 0;
    FatTable table;
    std::vector<std::uint8_t> rootDirectory;  // FAT16's fixed root area
    std::vector<FatEntry> fatEntries;
    std::unordered_map<std::uint32_t, std::uint32_t> clusterIndex;  // folder's first cluster -> entry
    std::unordered_set<std::uint32_t> walkedClusters;               // every cluster read as a folder
    bool advanced = false;
    bool walkStopped = false;
    std::uint64_t guessedFolderChains = 0;  // folders read in a row past an unreadable FAT sector
    std::uint64_t unreadableFolderBytes = 0;  // of folder clusters, read as zeros

    // The sweep's findings.
    std::vector<std::uint64_t> swept;
    std::vector<std::pair<std::uint64_t, std::uint32_t>> dotSlots;  // "." slots: position, own cluster
    std::optional<std::uint64_t> rootMarker;
    bool dataStartGuessed = false;  // neither folders nor a root marker placed the data area
};

}  // namespace vantor::fat
