#pragma once
// The FAT32 reader (fs/fat/FatVolume.h has the shared implementation).
#include "fs/fat/FatVolume.h"

namespace vantor {

class Fat32Class final : public fat::FatVolume {
public:
    explicit Fat32Class(const ReaderContext& context) : FatVolume(context, fat::FatVersion::fat32) {}
};

}  // namespace vantor
