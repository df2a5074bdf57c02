#include "kiosk/assetpictures.h"

#include "kiosk/tileimages.h"
#include <QDir>

QImage AssetPictures::get(const QString &folder, const QString &relative, QSize size)
{
    const QString path = QDir::cleanPath(folder + u'/' + relative);
    const platform::FileIdentity stamp = platform::fileIdentity(path);
    const auto kept = m_entries.constFind(path);
    if (stamp.exists && kept != m_entries.cend() && kept->size == size && kept->stamp == stamp)
        return kept->image;

    m_entries.remove(path);
    ++m_decodes;
    // Throws with the file's name when it is missing or cannot be decoded.
    // Kept in the format the screen draws fastest.
    const QImage image = tileimages::loadAsset(folder, relative, size)
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    m_entries.insert(path, Entry{size, stamp, image});
    return image;
}
