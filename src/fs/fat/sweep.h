#pragma once
// The tests a 32-byte slot must pass to count as a directory entry when a
// volume without a usable boot sector is swept: plausible name bytes, an
// attribute a formatter writes, a first cluster inside the volume, and dates
// and times that name real moments.
#include <cstdint>

#include "core/bytes.h"
#include "fs/fat/layout.h"

namespace vantor::fat {

enum class SweptKind { none, longName, folder, file };

struct SweptSlot {
    SweptKind kind = SweptKind::none;
    bool rootMarker = false;  // a volume label or recycle-bin slot: the root's first cluster
};

// The attribute values a swept folder slot may carry: the ones formatters
// and Windows write, fewer than a walk accepts, since here stray bytes abound.
bool isSweptFolderAttribute(std::uint8_t attributes);

// `totalClusters` bounds the first cluster; `rootFound` stops the marker test.
SweptSlot classifySweptSlot(Bytes slot, FatVersion version, std::uint32_t totalClusters, bool rootFound);

// A "." slot: the first slot of every folder but the root; its cluster is the
// folder's own, which ties the slot's position to the data area's start.
bool isDotSlot(Bytes slot);

}  // namespace vantor::fat
