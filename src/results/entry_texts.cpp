// List texts (entry_texts.h).
#include "results/entry_texts.h"

namespace vantor {

namespace {

struct Letter {
    std::uint32_t bit;
    const char* text;
};

std::string lettersOf(std::uint32_t bits, const Letter* letters, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        if (bits & letters[i].bit) text += letters[i].text;
    return text;
}

}  // namespace

std::string attributeText(AttributeKind kind, std::uint32_t bits) {
    // Permission bits from the lowest up: others, group, user; execute, write, read.
    static constexpr Letter kUnix[] = {{0001, "-OE"}, {0002, "-OW"}, {0004, "-OR"}, {0010, "-GE"}, {0020, "-GW"},
                                       {0040, "-GR"}, {0100, "-UE"}, {0200, "-UW"}, {0400, "-UR"}};
    static constexpr Letter kNtfs[] = {{0x0001, "-R"}, {0x0002, "-H"}, {0x0200, "-S"},
                                       {0x0020, "-A"}, {0x0800, "-C"}, {0x4000, "-E"}};
    static constexpr Letter kFat[] = {{0x01, "-R"}, {0x02, "-H"}, {0x04, "-S"}, {0x20, "-A"}};
    switch (kind) {
        case AttributeKind::unixMode: return lettersOf(bits, kUnix, std::size(kUnix));
        case AttributeKind::ntfsFileName: return lettersOf(bits, kNtfs, std::size(kNtfs));
        case AttributeKind::fat: return lettersOf(bits, kFat, std::size(kFat));
        case AttributeKind::none: break;
    }
    return {};
}

void fillListTexts(RecoveredItem& item) {
    if (item.creationText.empty() && item.creation) item.creationText = formatTimeText(*item.creation);
    if (item.accessText.empty() && item.access)
        item.accessText = item.accessIsDateOnly ? formatDateText(toLocalTm(*item.access)) : formatTimeText(*item.access);
    if (item.modificationText.empty() && item.modification) item.modificationText = formatTimeText(*item.modification);
    if (item.sizeColumnText.empty()) item.sizeColumnText = formatSizeText(static_cast<std::int64_t>(item.size));
    if (item.attributeText.empty()) item.attributeText = attributeText(item.attributeKind, item.attributes);
}

}  // namespace vantor
