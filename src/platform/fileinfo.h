#pragma once

#include <QString>

class QFileInfo;

namespace platform {

// Which file a path names now and how it stands: existence, kind, size, modification and
// status-change time (nanoseconds), and the device and file number that tell one file from a
// file put in its place under the same name.
struct FileIdentity
{
    bool exists = false;
    bool regular = false;
    qint64 size = -1;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    quint64 device = 0;
    quint64 inode = 0;
    // Equal when nothing about the file changed.
    bool operator==(const FileIdentity &) const = default;
};

// The identity of the file at path; exists is false when there is none (or path is empty).
FileIdentity fileIdentity(const QString &path);

// Whether a and b are the same file (same device and file number, or both missing), however
// its content changed in between.
bool sameFile(const FileIdentity &a, const FileIdentity &b);

// Whether the file's own permission bits (owner, group or other) allow writing, or reading.
// Decided on the bits, not by trying: a privileged user could write anyway, but a file marked
// read-only is meant to stay as it is.
bool hasWritePermissionBits(const QFileInfo &info);
bool hasReadPermissionBits(const QFileInfo &info);

} // namespace platform
