#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What the kiosk's own file chooser may show: a few fixed places (roots) and what lies inside
// them, never anything outside. A folder or file is inside a root when its real path (symbolic
// links resolved) lies within the root's real path, so neither ".." nor a link leads out.
class RestrictedBrowser
{
public:
    struct Root
    {
        QString label; // shown on the root's button, e.g. "照片"
        QString path;  // absolute path of the place
    };
    struct Entry
    {
        QString name; // as shown: the file or folder name
        QString path; // absolute path, for listing a folder or returning a file
        bool isFolder = false;
    };
    enum class Mode
    {
        Pictures,
        Folders
    };

    // The places staff need: the run folder's pictures (pic/), the photo folder (图片/ beside
    // the executable) and every mounted removable medium, i.e. each folder found one or two
    // levels below the media bases (/media/USB, /media/<user>/USB, /run/media/<user>/USB). Places
    // that do not exist are left out.
    static QList<Root> standardRoots(const QString &workDir, const QString &exeDir,
                                     const QStringList &mediaBases = defaultMediaBases());
    // The same places for saving files (the report exports), named for what they are:
    // "本机背景图片文件夹", "本机照片文件夹" and "U 盘 <name>" for each removable medium.
    static QList<Root> exportRoots(const QString &workDir, const QString &exeDir,
                                   const QStringList &mediaBases = defaultMediaBases());
    static QStringList defaultMediaBases();

    // suffixes: the lower-case picture extensions listed in Pictures mode ("jpg", "png").
    RestrictedBrowser(QList<Root> roots, Mode mode, QStringList suffixes = {QStringLiteral("jpg")});

    const QList<Root> &roots() const { return m_roots; }
    Mode mode() const { return m_mode; }

    // Folders first, then (Pictures mode) the pictures, each group in name order without
    // regard to case. Hidden entries and anything whose real path leaves the folder's root are
    // not listed. An empty list for a folder that is not inside a root.
    QList<Entry> list(const QString &folder) const;

    // Whether path (a file or a folder) lies inside one of the roots; false for a missing path.
    bool contains(const QString &path) const;
    // Whether path may be returned as the choice: in Pictures mode a listed picture file inside
    // a root, in Folders mode a folder inside a root.
    bool acceptable(const QString &path) const;
    // The folder one level up, or empty when folder is a root itself (or outside every root).
    QString parentOf(const QString &folder) const;
    // The root that holds path, or -1.
    int rootOf(const QString &path) const;

    // The lower-case extensions named in a dialog filter such as "JPEG 图像文件 (*.jpg)".
    static QStringList suffixesOfFilter(const QString &filter);

private:
    bool listedPicture(const QString &name) const;

    QList<Root> m_roots;
    QStringList m_realRoots; // real paths of the roots, same order
    Mode m_mode;
    QStringList m_suffixes;
};
