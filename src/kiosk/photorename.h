#pragma once

#include <QString>
#include <QStringList>

// The picture editing window's work on the photo folder: listing it, reading a photo's order
// number from its name, composing a new name and renaming the file. No window involved.

// The names of every file in folder (any extension, hidden ones too), folders passed over and
// exactly "Thumbs.db" left out (a name that differs only in case is kept), in the order the
// main window's catalogue uses. A missing or empty folder gives an empty list.
QStringList ListPictureFiles(const QString &folder);

// The order number as the window shows it: the first four bytes of the name in GBK, one byte
// less when the fourth byte would cut a double-byte character ("一号窗口.jpg" gives "一号",
// "12@AB#CD.jpg" gives "12@A"). All of the name when it is shorter.
QString orderNumberOf(const QString &name);

// trimmed order + "@" + trimmed line1 + "#" + trimmed line2 + extension, where trimmed removes
// leading and trailing blanks and control characters. Nothing is padded or checked.
QString composePhotoName(const QString &order, const QString &line1, const QString &line2,
                         const QString &extension = QStringLiteral(".jpg"));

// The extension a renamed file keeps: its own photo extension as written (".JPG", ".png" ...),
// or ".jpg" for a name without one.
QString renamedExtension(const QString &oldName);

// Whether name can be a file inside the photo folder: not empty, not "." or "..", and without
// "/", "\" or a NUL character, any of which would put the file somewhere else.
bool isPlainFileName(const QString &name);

// What a rename did.
enum class RenameResult
{
    Renamed,      // the file has its new name
    TargetExists, // a file of the new name exists (the same name included); nothing changed
    InvalidName,  // either name is no plain file name (isPlainFileName); nothing changed
    Failed,       // the source is missing or the file system refused; nothing changed
};

// Renames folder/oldName to folder/newName. Never replaces an existing file, not even one that
// appears while the rename runs, and changes nothing unless it returns Renamed.
RenameResult renamePhoto(const QString &folder, const QString &oldName, const QString &newName);
