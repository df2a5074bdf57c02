#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

// Whole-file reads and writes for test set-ups and checks.

// Writes bytes as the whole content of path; a file that cannot be opened fails the test.
inline void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The whole content of path; empty when it cannot be read.
inline QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
