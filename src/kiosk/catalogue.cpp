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

Captions SplitPhotoName(const QString &name)
{
    const qsizetype pAt = name.indexOf(u'@') + 1;
    const qsizetype pHash = name.indexOf(u'#') + 1;
    const qsizetype pExt = name.indexOf(u".jpg"_s, 0, Qt::CaseSensitive) + 1;
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
        {u"*.jpg"_s}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDir::NoSort);
    // The name filter ignores case already; keep only real ".jpg" endings (no "x.jpg.bak").
    names.removeIf([](const QString &n) { return !n.endsWith(u".jpg"_s, Qt::CaseInsensitive); });
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
