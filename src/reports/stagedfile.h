#pragma once

#include <QFile>
#include <QString>

#include <memory>

class QTemporaryFile;

namespace reports {

// A file written beside its target under a temporary name and moved over the target only once
// it is complete and on the medium, so a reader (or a USB stick pulled out) finds either the
// old file or the whole new one, never half of it. An uncommitted file is removed again.
class StagedFile final
{
public:
    // Reserves the temporary file in the target's folder. Throws KioskError when the folder
    // cannot take it.
    explicit StagedFile(const QString &target);
    ~StagedFile();
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    const QString &target() const { return m_target; }
    // The temporary file's path, for writers that open files by name.
    QString tempPath() const;
    // The temporary file, open for writing.
    QIODevice &device();

    // Flushes the data to the medium and renames the file over the target. Throws KioskError.
    void commit();

private:
    QString m_target;
    std::unique_ptr<QTemporaryFile> m_file;
    bool m_committed = false;
};

} // namespace reports
