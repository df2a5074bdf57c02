#pragma once

#include <QString>
#include <QStringList>

// The two caption lines that a photo's file name carries: order number "@" line 1 "#" line 2
// and the extension (".jpg", ".jpeg" or ".png" in any case, as cameras and phones write them).
struct Captions
{
    QString line1;
    QString line2;
    bool operator==(const Captions &) const = default;
};

// Splits a photo file name into its caption lines. Never fails: pieces that are missing give
// empty lines (see the rules in the implementation). The separators are searched as characters.
// The extension is never part of a caption: line 2 ends at the first lower-case ".jpg" or at
// the photo extension that ends the name, whichever comes first.
Captions SplitPhotoName(const QString &name);

// The photo extension that ends name, as written there (".JPG", ".jpeg", ".png" ...), or the
// empty text when name does not end in one.
QString photoExtensionOf(const QString &name);
// Whether name ends in a photo extension.
inline bool isPhotoFileName(const QString &name)
{
    return !photoExtensionOf(name).isEmpty();
}

// Number of pages of ten for n entries: the ceiling of n / 10.
int PageCountFor(int n);

// The photo file names in display order, ten to a page.
class Catalogue
{
public:
    // Appends the files of folderPath whose names end in ".jpg", ".jpeg" or ".png" (any case),
    // hidden ones included, folders and links leading out of the folder passed over, sorted
    // ascending without regard to case. A missing or unreadable folder appends nothing.
    void ListPhotoFolder(const QString &folderPath);

    // Entry i, or the empty name for an index outside the catalogue.
    QString entry(int i) const;
    int count() const { return int(m_names.size()); }
    const QStringList &names() const { return m_names; }

    // 0 until computed when the main window is shown.
    int PageCount = 0;
    void computePageCount() { PageCount = PageCountFor(count()); }

private:
    QStringList m_names;
};

// Whether the file at path lies inside folder once symbolic links are resolved, i.e. it is
// neither a link that leads out of the folder nor missing. Photos are listed and loaded only
// then, so a link in the photo folder can never bring another file onto the screen.
bool staysInsideFolder(const QString &folder, const QString &path);

// folder + "/" + name when that file stays inside folder, else the empty path (an empty tile).
QString photoPathIn(const QString &folder, const QString &name);

// Sorts names ascending without regard to case (ties in case-sensitive order), as both the
// catalogue and the picture editing window list the photo folder.
void sortFileNames(QStringList &names);
