#pragma once

#include <QByteArray>
#include <QString>

// The system code page of files and names: GBK (code page 936).
namespace gbk {

QString decode(QByteArrayView bytes);
QByteArray encode(QStringView text);

// The longest prefix of text whose GBK form has at most maxBytes bytes, never ending inside a
// double-byte character.
QString leftBytes(const QString &text, qsizetype maxBytes);

} // namespace gbk
