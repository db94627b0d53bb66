#pragma once
// The list columns of an entry, made once here for every reader from the
// values it gives: time texts in the local zone (a date alone where the file
// system keeps only the day), the size text, and the attribute letters.
#include <cstdint>
#include <string>

#include "core/recovered.h"

namespace vantor {

// Fills the texts that are still empty.
void fillListTexts(RecoveredItem& item);

// The attribute column for bits of a kind: ext "-OR-GR-UW-UR" (others, group,
// user; execute, write, read), NTFS "-R-H-S-A-C-E", FAT "-R-H-S-A".
std::string attributeText(AttributeKind kind, std::uint32_t bits);

}  // namespace vantor
