#include "platform/fileinfo.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace platform {

FileIdentity fileIdentity(const QString &path)
{
    FileIdentity id;
    if (path.isEmpty())
        return id;
#ifdef Q_OS_UNIX
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return id;
    id.exists = true;
    id.regular = S_ISREG(st.st_mode);
    id.size = qint64(st.st_size);
    id.modifiedNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    id.changedNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return id;
    id.exists = true;
    id.regular = info.isFile();
    id.size = info.size();
    id.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
    id.changedNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1'000'000;
#endif
    return id;
}

bool sameFile(const FileIdentity &a, const FileIdentity &b)
{
    return a.exists == b.exists && a.device == b.device && a.inode == b.inode;
}

// The *User flags tell what the current user may do (everything, for root); only the owner,
// group and other bits are the file's own marking.
bool hasWritePermissionBits(const QFileInfo &info)
{
    return info.permissions() &
           (QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther);
}

bool hasReadPermissionBits(const QFileInfo &info)
{
    return info.permissions() &
           (QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
}

} // namespace platform
