// Fuzzes the photo-name split and the order-number prefix.
#include "kiosk/catalogue.h"
#include "platform/gbk.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString name = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const Captions c = SplitPhotoName(name);
    // Each caption is a piece of the name.
    if (!name.contains(c.line1) || !name.contains(c.line2))
        __builtin_trap();
    const QString order = gbk::leftBytes(name, 4);
    if (!name.startsWith(order) || gbk::encode(order).size() > 4)
        __builtin_trap();
    return 0;
}
