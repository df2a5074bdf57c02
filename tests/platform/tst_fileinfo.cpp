#include "platform/fileinfo.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFileInfo : public QObject
{
    Q_OBJECT

private slots:
    // What happens to a file between two looks, and whether the look tells it.
    void identity_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("sameFile");
        QTest::addColumn<bool>("unchanged");
        QTest::newRow("nothing") << u"none"_s << true << true;
        QTest::newRow("rewritten in place") << u"rewrite"_s << true << false;
        QTest::newRow("modification time set back") << u"touch"_s << true << false;
        QTest::newRow("replaced by renaming another file over it")
            << u"replace"_s << false << false;
        QTest::newRow("removed") << u"remove"_s << false << false;
        QTest::newRow("turned into a folder") << u"folder"_s << false << false;
    }
    void identity()
    {
        QFETCH(QString, change);
        QFETCH(bool, sameFile);
        QFETCH(bool, unchanged);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"db.dll"_s);
        writeBytes(path, "first");
        const platform::FileIdentity before = platform::fileIdentity(path);
        QVERIFY(before.exists);
        QVERIFY(before.regular);
        QCOMPARE(before.size, 5);

        if (change == u"rewrite"_s) {
            writeBytes(path, "second, longer");
        } else if (change == u"touch"_s) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0)),
                                  QFileDevice::FileModificationTime));
        } else if (change == u"replace"_s) {
            writeBytes(dir.filePath(u"new"_s), "first");
            QVERIFY(::rename(QFile::encodeName(dir.filePath(u"new"_s)).constData(),
                             QFile::encodeName(path).constData()) == 0);
        } else if (change == u"remove"_s) {
            QVERIFY(QFile::remove(path));
        } else if (change == u"folder"_s) {
            // Made while the file still exists, so it cannot get the file's number.
            QVERIFY(QDir(dir.path()).mkdir(u"folder"_s));
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir(dir.path()).rename(u"folder"_s, u"db.dll"_s));
        }

        const platform::FileIdentity after = platform::fileIdentity(path);
        QCOMPARE(platform::sameFile(before, after), sameFile);
        QCOMPARE(before == after, unchanged);
    }

    void missing()
    {
        const platform::FileIdentity none = platform::fileIdentity(QString());
        QVERIFY(!none.exists);
        QTemporaryDir dir;
        const platform::FileIdentity gone = platform::fileIdentity(dir.filePath(u"nothing"_s));
        QVERIFY(!gone.exists);
        QVERIFY(platform::sameFile(none, gone));
    }

    // Decided on the file's own bits, also for root, who could write anyway.
    void permissionBits_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("readable");
        QTest::newRow("0644") << 0644 << true << true;
        QTest::newRow("0444 read-only") << 0444 << false << true;
        QTest::newRow("0200 owner may only write") << 0200 << true << false;
        QTest::newRow("0020 group may write") << 0020 << true << false;
        QTest::newRow("0002 others may write") << 0002 << true << false;
        QTest::newRow("0004 others may read") << 0004 << false << true;
        QTest::newRow("0000 nothing") << 0000 << false << false;
    }
    void permissionBits()
    {
        QFETCH(int, mode);
        QFETCH(bool, writable);
        QFETCH(bool, readable);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(u"opt.ini"_s);
        writeBytes(path, "[canshu]\r\n");
        QFileDevice::Permissions perms;
        const std::pair<int, QFileDevice::Permission> bits[] = {
            {0400, QFileDevice::ReadOwner}, {0200, QFileDevice::WriteOwner},
            {0040, QFileDevice::ReadGroup}, {0020, QFileDevice::WriteGroup},
            {0004, QFileDevice::ReadOther}, {0002, QFileDevice::WriteOther}};
        for (const auto &[bit, permission] : bits) {
            if (mode & bit)
                perms |= permission;
        }
        QVERIFY(QFile::setPermissions(path, perms));
        const QFileInfo info(path);
        QCOMPARE(platform::hasWritePermissionBits(info), writable);
        QCOMPARE(platform::hasReadPermissionBits(info), readable);
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
};

QTEST_APPLESS_MAIN(TestFileInfo)
#include "tst_fileinfo.moc"
