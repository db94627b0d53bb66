#include "fs/fat/layout.h"

namespace vantor::fat {

DirSlot decodeSlot(Bytes s) {
    DirSlot d;
    for (std::size_t i = 0; i < 11; ++i) d.name[i] = u8(s, i);
    d.attributes = u8(s, 0x0B);
    d.caseFlags = u8(s, 0x0C);
    d.creationTenths = u8(s, 0x0D);
    d.creationTime = le16(s, 0x0E);
    d.creationDate = le16(s, 0x10);
    d.accessDate = le16(s, 0x12);
    d.clusterHigh = le16(s, 0x14);
    d.writeTime = le16(s, 0x16);
    d.writeDate = le16(s, 0x18);
    d.clusterLow = le16(s, 0x1A);
    d.size = le32(s, 0x1C);
    return d;
}

}  // namespace vantor::fat
