#pragma once

#include "platform/fileinfo.h"

#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>

// The program's own small pictures (stars, arrows) decoded once, at the size they are shown,
// and kept while the file stays the same. A tap that needs them costs a look at the file's
// identity, never a decode, however large the file is.
class AssetPictures final
{
public:
    // The asset at relative (against folder, like tileimages::loadAsset) decoded
    // at size. Decodes only when nothing is kept for it at that size or the file has changed
    // (replaced, rewritten, removed). Throws KioskError naming the file when it is missing or no
    // picture, so every tap that needs a missing picture still reports it.
    QImage get(const QString &folder, const QString &relative, QSize size);

    // How many decodes have run so far.
    int decodes() const { return m_decodes; }
    // Forgets every kept picture.
    void clear() { m_entries.clear(); }

private:
    struct Entry
    {
        QSize size;
        platform::FileIdentity stamp;
        QImage image;
    };
    QHash<QString, Entry> m_entries;
    int m_decodes = 0;
};
