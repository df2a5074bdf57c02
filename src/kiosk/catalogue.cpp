#include "kiosk/catalogue.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// Substring by 1-based start and length: a start below 1 counts as 1, a start after the end
// or a length of zero or less gives the empty text, a length past the end stops at the end.
QString copy(const QString &s, qsizetype start, qsizetype length)
{
    if (start < 1)
        start = 1;
    if (start > s.size() || length <= 0)
        return {};
    return s.mid(start - 1, length);
}

bool insideRealFolder(const QString &realFolder, const QString &real)
{
    if (realFolder.isEmpty() || real.isEmpty())
        return false;
    return real.startsWith(realFolder.endsWith(u'/') ? realFolder : realFolder + u'/');
}

} // namespace

QString photoExtensionOf(const QString &name)
{
    for (const QString &ext : {u".jpg"_s, u".jpeg"_s, u".png"_s}) {
        if (name.endsWith(ext, Qt::CaseInsensitive))
            return name.right(ext.size());
    }
    return {};
}

Captions SplitPhotoName(const QString &name)
{
    const qsizetype pAt = name.indexOf(u'@') + 1;
    const qsizetype pHash = name.indexOf(u'#') + 1;
    // Line 2 ends at the first lower-case ".jpg", as it always has for the names the kiosk
    // writes, or at the extension that ends the name (".JPG", ".jpeg", ".png" ...) when that
    // comes first, so no extension ever shows as part of a caption.
    qsizetype pExt = name.indexOf(u".jpg"_s, 0, Qt::CaseSensitive) + 1;
    const qsizetype ext = photoExtensionOf(name).size();
    if (ext > 0) {
        const qsizetype end = name.size() - ext + 1;
        if (pExt == 0 || pExt > end)
            pExt = end;
    }
    return {copy(name, pAt + 1, pHash - pAt - 1), copy(name, pHash + 1, pExt - pHash - 1)};
}

int PageCountFor(int n)
{
    if (n <= 0)
        return 0;
    return n % 10 == 0 ? n / 10 : n / 10 + 1;
}

void sortFileNames(QStringList &names)
{
    std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.compare(b, Qt::CaseSensitive) < 0;
    });
}

void Catalogue::ListPhotoFolder(const QString &folderPath)
{
    if (folderPath.isEmpty())
        return;
    QDir dir(folderPath);
    QStringList names = dir.entryList(
        {u"*.jpg"_s, u"*.jpeg"_s, u"*.png"_s},
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    // Keep only real photo endings (no "x.jpg.bak"), in any case.
    names.removeIf([](const QString &n) { return !isPhotoFileName(n); });
    const QString realFolder = QFileInfo(dir.path()).canonicalFilePath();
    names.removeIf([&dir, &realFolder](const QString &n) {
        return !insideRealFolder(realFolder, QFileInfo(dir.filePath(n)).canonicalFilePath());
    });
    sortFileNames(names);
    m_names += names;
}

QString Catalogue::entry(int i) const
{
    return (i >= 0 && i < m_names.size()) ? m_names.at(i) : QString();
}

bool staysInsideFolder(const QString &folder, const QString &path)
{
    return insideRealFolder(QFileInfo(folder).canonicalFilePath(),
                            QFileInfo(path).canonicalFilePath());
}

QString photoPathIn(const QString &folder, const QString &name)
{
    if (name.isEmpty())
        return {};
    const QString path = folder + u'/' + name;
    return staysInsideFolder(folder, path) ? path : QString();
}
