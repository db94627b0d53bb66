#pragma once
// The one place that knows every file-system reader: picks the reader for a
// volume by its file-system name.
#include <memory>
#include <string_view>

#include "core/recovered.h"
#include "device/reader_context.h"

namespace vantor {

// The reader for a file-system name (compared without regard to case), or
// null when no reader handles it (RAW, unknown, or a reader not built yet).
std::unique_ptr<VolumeReader> makeVolumeReader(std::string_view fileSystem, const ReaderContext& context);

}  // namespace vantor
