#pragma once
// Where a FAT starts, for a volume whose boot sector is lost: the first two
// entries of every FAT hold the media byte and end marks no file data is
// likely to repeat at a sector's start.
#include <cstdint>

#include "core/bytes.h"
#include "fs/fat/layout.h"

namespace vantor::fat {

// FAT32: entry 0 = 0x0FFFFFF8, entry 1 = 0x0FFFFFFF (F8 FF FF 0F FF FF FF FF);
// FAT16: F8 FF FF FF. The two "clean" flags of entry 1 may be cleared on a
// volume that was not unmounted, so those bits are not required.
bool matchesFatStart(Bytes sector, FatVersion version);

}  // namespace vantor::fat
