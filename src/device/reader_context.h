#pragma once
// What a file-system reader is given when it is made: the shared sector
// reader, the volume it works on, the application state and the seams.
#include <cstdint>
#include <optional>

#include "core/app_state.h"
#include "core/messages.h"
#include "core/progress.h"
#include "device/FileReadSeek.h"
#include "device/VolumeRecord.h"
#include "device/VolumeWindow.h"

namespace vantor {

// The user's picks for the advanced mode, from the candidate searches.
struct AdvancedPicks {
    std::optional<std::int64_t> candidate;          // sector of a found MFT/FAT, volume-relative
    std::optional<std::uint32_t> sectorsPerCluster;
    std::optional<std::int64_t> heap;               // exFAT cluster heap sector
};

struct ReaderContext {
    readWriteInterface& reader;  // the shared reader: the whole source
    VolumeRecord volume;
    AppState& state;
    ProgressSink& progress = nullProgress();
    Messages& messages = silentMessages();
    AdvancedPicks picks{};

    // The volume as a reader reads it.
    VolumeWindow window() const { return VolumeWindow::of(reader, volume); }
};

}  // namespace vantor
