#pragma once
// The FAT16 reader (fs/fat/FatVolume.h has the shared implementation).
#include "fs/fat/FatVolume.h"

namespace vantor {

class Fat16Class final : public fat::FatVolume {
public:
    explicit Fat16Class(const ReaderContext& context) : FatVolume(context, fat::FatVersion::fat16) {}
};

}  // namespace vantor
