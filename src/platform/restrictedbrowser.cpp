#include "platform/restrictedbrowser.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The real path (links resolved), empty when the path does not exist.
QString realPath(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).canonicalFilePath();
}

bool within(const QString &real, const QString &realRoot)
{
    if (real.isEmpty() || realRoot.isEmpty())
        return false;
    if (real == realRoot)
        return true;
    const QString prefix = realRoot.endsWith(u'/') ? realRoot : realRoot + u'/';
    return real.startsWith(prefix);
}

bool byName(const RestrictedBrowser::Entry &a, const RestrictedBrowser::Entry &b)
{
    const int c = a.name.compare(b.name, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a.name < b.name;
}

} // namespace

QStringList RestrictedBrowser::defaultMediaBases()
{
    return {u"/media"_s, u"/run/media"_s};
}

namespace {

// What the places are called: the picture folder, the photo folder, the prefix of a medium.
struct PlaceNames
{
    QString pictures, photos, medium;
};

QList<RestrictedBrowser::Root> places(const PlaceNames &names, const QString &workDir,
                                      const QString &exeDir, const QStringList &mediaBases)
{
    QList<RestrictedBrowser::Root> roots;
    auto add = [&roots](const QString &label, const QString &path) {
        if (QFileInfo(path).isDir())
            roots.append({label, QDir::cleanPath(path)});
    };
    add(names.pictures, workDir + u"/pic"_s);
    add(names.photos, exeDir + u"/图片"_s);

    // A mounted medium is a folder directly below a base that holds files itself, or a folder
    // below a per-user folder. Both levels are looked at; mount points are never links.
    const QDir::Filters folders = QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks;
    for (const QString &base : mediaBases) {
        const QDir baseDir(base);
        for (const QFileInfo &first : baseDir.entryInfoList(folders, QDir::Name)) {
            const QDir firstDir(first.absoluteFilePath());
            const QFileInfoList second = firstDir.entryInfoList(folders, QDir::Name);
            const bool userFolder =
                !second.isEmpty() &&
                firstDir.entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty();
            if (userFolder) {
                for (const QFileInfo &medium : second)
                    add(names.medium + medium.fileName(), medium.absoluteFilePath());
            } else if (!firstDir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot)) {
                add(names.medium + first.fileName(), first.absoluteFilePath());
            }
        }
    }
    return roots;
}

} // namespace

QList<RestrictedBrowser::Root> RestrictedBrowser::standardRoots(const QString &workDir,
                                                                const QString &exeDir,
                                                                const QStringList &mediaBases)
{
    return places({u"背景图片"_s, u"照片"_s, u"U盘 "_s}, workDir, exeDir, mediaBases);
}

QList<RestrictedBrowser::Root> RestrictedBrowser::exportRoots(const QString &workDir,
                                                              const QString &exeDir,
                                                              const QStringList &mediaBases)
{
    return places({u"本机背景图片文件夹"_s, u"本机照片文件夹"_s, u"U 盘 "_s}, workDir, exeDir,
                  mediaBases);
}

RestrictedBrowser::RestrictedBrowser(QList<Root> roots, Mode mode, QStringList suffixes)
    : m_roots(std::move(roots)), m_mode(mode), m_suffixes(std::move(suffixes))
{
    for (QString &suffix : m_suffixes)
        suffix = suffix.toLower();
    for (const Root &root : m_roots)
        m_realRoots.append(realPath(root.path));
}

QStringList RestrictedBrowser::suffixesOfFilter(const QString &filter)
{
    QStringList suffixes;
    static const QRegularExpression pattern(u"\\*\\.([A-Za-z0-9]+)"_s);
    for (auto it = pattern.globalMatch(filter); it.hasNext();) {
        const QString suffix = it.next().captured(1).toLower();
        if (!suffixes.contains(suffix))
            suffixes.append(suffix);
    }
    return suffixes;
}

int RestrictedBrowser::rootOf(const QString &path) const
{
    const QString real = realPath(path);
    for (int i = 0; i < m_realRoots.size(); ++i) {
        if (within(real, m_realRoots[i]))
            return i;
    }
    return -1;
}

bool RestrictedBrowser::contains(const QString &path) const
{
    return rootOf(path) >= 0;
}

bool RestrictedBrowser::listedPicture(const QString &name) const
{
    return m_suffixes.contains(QFileInfo(name).suffix().toLower());
}

bool RestrictedBrowser::acceptable(const QString &path) const
{
    if (!contains(path))
        return false;
    const QFileInfo info(path);
    if (m_mode == Mode::Folders)
        return info.isDir();
    return info.isFile() && !info.isHidden() && listedPicture(info.fileName());
}

QString RestrictedBrowser::parentOf(const QString &folder) const
{
    const int root = rootOf(folder);
    if (root < 0)
        return {};
    const QString real = realPath(folder);
    if (real == m_realRoots[root])
        return {};
    const QString up = QFileInfo(real).absolutePath();
    return within(up, m_realRoots[root]) ? up : QString();
}

QList<RestrictedBrowser::Entry> RestrictedBrowser::list(const QString &folder) const
{
    const int root = rootOf(folder);
    if (root < 0 || !QFileInfo(folder).isDir())
        return {};
    QList<Entry> folders, pictures;
    const QDir dir(realPath(folder));
    const QFileInfoList infos =
        dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Readable, QDir::NoSort);
    for (const QFileInfo &info : infos) {
        if (info.isHidden())
            continue;
        // A link is listed only when what it names stays inside the same root.
        if (!within(info.canonicalFilePath(), m_realRoots[root]))
            continue;
        const QString path = info.absoluteFilePath();
        if (info.isDir())
            folders.append({info.fileName(), path, true});
        else if (m_mode == Mode::Pictures && info.isFile() && listedPicture(info.fileName()))
            pictures.append({info.fileName(), path, false});
    }
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(pictures.begin(), pictures.end(), byName);
    return folders + pictures;
}
