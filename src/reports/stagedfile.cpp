#include "reports/stagedfile.h"

#include "platform/error.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace reports {

namespace {

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Makes the data of the file at path durable before it gets its final name.
void syncPath(const QString &path, bool directory)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0) {
        if (directory)
            return; // some file systems do not open folders; the rename stands anyway
        throw KioskError(u"无法写入 %1：%2"_s.arg(path, systemMessage(errno)));
    }
    const int rc = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // A folder that cannot be synced (EINVAL on some file systems) does not undo the rename.
    if (rc != 0 && !directory)
        throw KioskError(u"无法写入 %1：%2"_s.arg(path, systemMessage(error)));
}

} // namespace

StagedFile::StagedFile(const QString &target) : m_target(QFileInfo(target).absoluteFilePath())
{
    const QFileInfo info(m_target);
    if (!info.dir().exists())
        throw KioskError(u"文件夹不存在：%1"_s.arg(QDir::toNativeSeparators(info.absolutePath())));
    if (info.isDir())
        throw KioskError(u"已有同名文件夹：%1"_s.arg(QDir::toNativeSeparators(m_target)));
    m_file = std::make_unique<QTemporaryFile>(info.absolutePath() + u"/."_s + info.fileName() +
                                              u".XXXXXX.part"_s);
    if (!m_file->open())
        throw KioskError(u"无法在 %1 写入文件：%2"_s.arg(
            QDir::toNativeSeparators(info.absolutePath()), m_file->errorString()));
}

StagedFile::~StagedFile()
{
    if (!m_committed && m_file) {
        m_file->close();
        m_file->remove();
    }
}

QString StagedFile::tempPath() const
{
    return m_file->fileName();
}

QIODevice &StagedFile::device()
{
    return *m_file;
}

void StagedFile::commit()
{
    const QString temp = m_file->fileName();
    if (m_file->isOpen()) {
        if (!m_file->flush())
            throw KioskError(u"无法写入 %1：%2"_s.arg(m_target, m_file->errorString()));
        m_file->close();
    }
    syncPath(temp, false);
    // Readable by others like any file the user saves, not private like a temporary file.
    QFile::setPermissions(temp, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    QFile::ReadOther);
    // rename() replaces the target in one step.
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(m_target).constData()) !=
        0)
        throw KioskError(u"无法写入 %1：%2"_s.arg(m_target, systemMessage(errno)));
    m_committed = true;
    m_file->setAutoRemove(false);
    syncPath(QFileInfo(m_target).absolutePath(), true);
}

} // namespace reports
