#include "kiosk/photorename.h"

#include "kiosk/catalogue.h"
#include "platform/gbk.h"
#include "store/statements.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

#ifdef Q_OS_UNIX

bool fileSystemLacks(int error)
{
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM;
}

// Renames without ever replacing the target. The atomic ways come first: renameat2 with
// RENAME_NOREPLACE, then a hard link to the new name followed by removing the old one (link
// refuses an existing target). Only a file system that offers neither (FAT without hard links)
// gets the plain check before the rename, whose gap is harmless on a single-user kiosk.
RenameResult renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    const auto refused = [](int error) {
        return error == EEXIST ? RenameResult::TargetExists : RenameResult::Failed;
    };
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return RenameResult::Renamed;
    if (!fileSystemLacks(errno))
        return refused(errno);

    if (::link(from.constData(), to.constData()) == 0) {
        if (::unlink(from.constData()) == 0)
            return RenameResult::Renamed;
        // The old name could not go: take the new one away again so nothing has changed.
        ::unlink(to.constData());
        return RenameResult::Failed;
    }
    if (!fileSystemLacks(errno))
        return refused(errno);

    struct stat st;
    if (::lstat(to.constData(), &st) == 0)
        return RenameResult::TargetExists;
    if (errno != ENOENT)
        return RenameResult::Failed;
    return ::rename(from.constData(), to.constData()) == 0 ? RenameResult::Renamed
                                                           : RenameResult::Failed;
}

#endif

} // namespace

QStringList ListPictureFiles(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    QStringList names = QDir(folder).entryList(
        QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    // The thumbnail cache of the Windows explorer is no photo; only its exact name is left out.
    names.removeIf([](const QString &n) { return n == u"Thumbs.db"_s; });
    // A link that leads out of the photo folder is neither listed nor opened.
    names.removeIf(
        [&folder](const QString &n) { return !staysInsideFolder(folder, folder + u'/' + n); });
    sortFileNames(names);
    return names;
}

QString orderNumberOf(const QString &name)
{
    return gbk::leftBytes(name, 4);
}

QString composePhotoName(const QString &order, const QString &line1, const QString &line2,
                         const QString &extension)
{
    return statements::trimmedText(order) + u'@' + statements::trimmedText(line1) + u'#' +
           statements::trimmedText(line2) + extension;
}

QString renamedExtension(const QString &oldName)
{
    const QString ext = photoExtensionOf(oldName);
    return ext.isEmpty() ? u".jpg"_s : ext;
}

bool isPlainFileName(const QString &name)
{
    return !name.isEmpty() && name != u"."_s && name != u".."_s && !name.contains(u'/') &&
           !name.contains(u'\\') && !name.contains(QChar(0));
}

RenameResult renamePhoto(const QString &folder, const QString &oldName, const QString &newName)
{
    if (!isPlainFileName(oldName) || !isPlainFileName(newName))
        return RenameResult::InvalidName;
    const QString from = folder + u'/' + oldName;
    const QString to = folder + u'/' + newName;
#ifdef Q_OS_UNIX
    return renameNoReplace(QFile::encodeName(from), QFile::encodeName(to));
#else
    // The platform's move never replaces an existing file.
    if (QFile::rename(from, to))
        return RenameResult::Renamed;
    return QFileInfo::exists(to) ? RenameResult::TargetExists : RenameResult::Failed;
#endif
}
