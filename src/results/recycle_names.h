#pragma once
// The Windows recycle bin keeps each deleted file as a pair: "$I..." holds
// the file's former path, "$R..." its content. After a scan the "$R" entries
// get their former names back.
#include <map>
#include <optional>
#include <string>

#include "core/bytes.h"
#include "core/recovered.h"

namespace vantor {

// Record files of this size or more are not "$I" records.
inline constexpr std::size_t kMaxRecycleRecord = 2048;

// The former file name (after the last backslash) held by a "$I" record:
// version 1 has the UTF-16 path from 0x18 to the first NUL; version 2 has
// its length in characters at 0x18 and the path from 0x1C.
std::optional<std::string> formerNameFromRecord(Bytes record);

// The former names of the "$R" entries of the recycle-bin folders at the
// top of the volume, read from their "$I" records in memory.
std::map<EntryRef, std::string> recycledNames(EntrySource& source, RecycleLayout layout);

}  // namespace vantor
