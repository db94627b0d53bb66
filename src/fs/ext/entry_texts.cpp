// The list texts of ext entries that are the reader's own.
#include "fs/ext/ext2Class.h"

namespace vantor {

std::string ext2Class::attributeText(std::uint16_t mode) {
    // Permission bits from the lowest up: others, group, user; execute,
    // write, read within each.
    static constexpr const char* kBits[9] = {"-OE", "-OW", "-OR", "-GE", "-GW", "-GR", "-UE", "-UW", "-UR"};
    std::string text;
    for (int bit = 0; bit < 9; ++bit) {
        if (mode & (1u << bit)) text += kBits[bit];
    }
    return text;
}

}  // namespace vantor
