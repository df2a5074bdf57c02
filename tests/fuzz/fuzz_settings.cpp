// Fuzzes the profile format and the number conversion: any bytes as opt.ini content.
#include "config/settingsfile.h"
#include "platform/gbk.h"

#include <cstddef>
#include <cstdint>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QString &key : {u"pic_width"_s, u"pic_bg"_s, u"biaoti_color"_s}) {
        const auto value = profileValue(content, key);
        if (value) {
            (void)TryStrToInt(*value);
            if (gbk::encode(*value).size() > SettingsFile::MaxValueBytes)
                __builtin_trap();
        }
    }
    // Setting a key and reading it back gives the value.
    const QString written = gbk::decode(content.left(64)).remove(u'\r').remove(u'\n').trimmed();
    const QByteArray updated = withProfileValue(content, u"pic_width"_s, written);
    const auto after = profileValue(updated, u"pic_width"_s);
    if (!after)
        __builtin_trap();
    const bool plain = !written.contains(u'"') && !written.contains(u'\'') &&
                       gbk::decode(gbk::encode(written)) == written;
    if (plain && *after != written)
        __builtin_trap();
    // The other keys read as before.
    for (const QString &other : {u"pic_bg"_s, u"biaoti_color"_s}) {
        if (profileValue(updated, other) != profileValue(content, other))
            __builtin_trap();
    }
    (void)TryStrToInt(gbk::decode(content));
    return 0;
}
