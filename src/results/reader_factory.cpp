#include "results/reader_factory.h"

#include "fs/ext/ext2Class.h"

#include "fs/ntfs/ntfs.h"

#include "fs/fat/Fat16Class.h"
#include "fs/fat/Fat32Class.h"

// Each reader adds its header and one case below.

namespace vantor {

std::unique_ptr<VolumeReader> makeVolumeReader(std::string_view fileSystem, const ReaderContext& context) {
    switch (fsKindFromName(fileSystem)) {
        case FsKind::extX: return std::make_unique<ext2Class>(context);
        case FsKind::ntfs: return std::make_unique<ntfs>(context);
        case FsKind::fat16: return std::make_unique<Fat16Class>(context);
        case FsKind::fat32: return std::make_unique<Fat32Class>(context);
        default: break;
    }
    return nullptr;
}

}  // namespace vantor
