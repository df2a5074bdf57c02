#include "config/settingsfile.h"
#include "platform/error.h"
#include "platform/gbk.h"
#include "support/files.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestSettingsFile : public QObject
{
    Q_OBJECT

private:
private slots:
    void conversion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << u"120"_s << true << 120;
        QTest::newRow("leading blank") << u" 120"_s << true << 120;
        QTest::newRow("several leading blanks") << u"   7"_s << true << 7;
        QTest::newRow("negative") << u"-15"_s << true << -15;
        QTest::newRow("plus sign") << u"+15"_s << true << 15;
        QTest::newRow("dollar hex") << u"$78"_s << true << 120;
        QTest::newRow("0x hex") << u"0x78"_s << true << 120;
        QTest::newRow("0X hex") << u"0X78"_s << true << 120;
        QTest::newRow("x hex") << u"x78"_s << true << 120;
        QTest::newRow("X hex lower digits") << u"Xff"_s << true << 255;
        QTest::newRow("negative hex") << u"-$10"_s << true << -16;
        QTest::newRow("hex all ones wraps") << u"$FFFFFFFF"_s << true << -1;
        QTest::newRow("max") << u"2147483647"_s << true << 2147483647;
        QTest::newRow("min") << u"-2147483648"_s << true << int(-2147483647 - 1);
        QTest::newRow("leading zeros") << u"0007"_s << true << 7;
        QTest::newRow("no-colour value") << u"536870911"_s << true << 536870911;
        QTest::newRow("unit suffix") << u"120px"_s << false << 0;
        QTest::newRow("letters") << u"abc"_s << false << 0;
        QTest::newRow("empty") << QString() << false << 0;
        QTest::newRow("blank only") << u"  "_s << false << 0;
        QTest::newRow("trailing blank") << u"120 "_s << false << 0;
        QTest::newRow("sign only") << u"-"_s << false << 0;
        QTest::newRow("double sign") << u"+-5"_s << false << 0;
        QTest::newRow("prefix only") << u"$"_s << false << 0;
        QTest::newRow("0x only") << u"0x"_s << false << 0;
        QTest::newRow("above max") << u"2147483648"_s << false << 0;
        QTest::newRow("below min") << u"-2147483649"_s << false << 0;
        QTest::newRow("hex over 32 bits") << u"$100000000"_s << false << 0;
        QTest::newRow("huge decimal") << u"99999999999999999999"_s << false << 0;
        QTest::newRow("hex digit in decimal") << u"12a"_s << false << 0;
        QTest::newRow("full-width digits") << u"１２０"_s << false << 0;
        QTest::newRow("tab before") << u"\t5"_s << false << 0;
        QTest::newRow("key name") << u"pic_width"_s << false << 0;
    }
    void conversion()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, value);
        const auto result = TryStrToInt(text);
        QCOMPARE(result.has_value(), ok);
        if (ok) {
            QCOMPARE(*result, value);
            QCOMPARE(StrToInt(text), value);
        } else {
            try {
                StrToInt(text);
                QFAIL("no error");
            } catch (const KioskError &e) {
                QCOMPARE(e.message(), u"'%1' is not a valid integer value"_s.arg(text));
            }
        }
    }

    void missingFileReadsKeyName()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        QCOMPARE(s.ReadSetting(u"pic_width"_s), u"pic_width"_s);
        QVERIFY(!QFile::exists(s.path()));
        try {
            s.ReadSettingNumber(u"biaoti_top"_s);
            QFAIL("no error");
        } catch (const KioskError &e) {
            QCOMPARE(e.message(), u"'biaoti_top' is not a valid integer value"_s);
        }
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("simple") << QByteArray("[canshu]\r\npic_width=150\r\n") << u"pic_width"_s
                                << u"150"_s;
        QTest::newRow("LF line ends")
            << QByteArray("[canshu]\npic_width=150\n") << u"pic_width"_s << u"150"_s;
        QTest::newRow("section case")
            << QByteArray("[CanShu]\npic_width=150\n") << u"pic_width"_s << u"150"_s;
        QTest::newRow("key case") << QByteArray("[canshu]\nPIC_Width=150\n") << u"pic_width"_s
                                  << u"150"_s;
        QTest::newRow("blanks around")
            << QByteArray("[canshu]\n  pic_width  =  150  \n") << u"pic_width"_s << u"150"_s;
        QTest::newRow("quoted value")
            << QByteArray("[canshu]\npic_bg=\"a b.jpg\"\n") << u"pic_bg"_s << u"a b.jpg"_s;
        QTest::newRow("other section only")
            << QByteArray("[other]\npic_width=150\n") << u"pic_width"_s << u"pic_width"_s;
        QTest::newRow("key in other section after")
            << QByteArray("[canshu]\na=1\n[x]\npic_width=9\n") << u"pic_width"_s << u"pic_width"_s;
        QTest::newRow("first duplicate wins")
            << QByteArray("[canshu]\npic_width=1\npic_width=2\n") << u"pic_width"_s << u"1"_s;
        QTest::newRow("comment line")
            << QByteArray("[canshu]\n;pic_width=1\npic_width=2\n") << u"pic_width"_s << u"2"_s;
        QTest::newRow("empty value")
            << QByteArray("[canshu]\npic_width=\n") << u"pic_width"_s << QString();
        QTest::newRow("no final line end")
            << QByteArray("[canshu]\npic_width=150") << u"pic_width"_s << u"150"_s;
        QTest::newRow("empty file") << QByteArray() << u"pic_width"_s << u"pic_width"_s;
        QTest::newRow("GBK value")
            << (QByteArray("[canshu]\r\npic_bg=") + gbk::encode(u"D:\\图片\\背景.jpg") + "\r\n")
            << u"pic_bg"_s << u"D:\\图片\\背景.jpg"_s;
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[canshu\x01\n\x80=\x81\n", 14)
                                        << u"pic_width"_s << u"pic_width"_s;
    }
    void reading()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        writeBytes(s.path(), content);
        QCOMPARE(s.ReadSetting(key), expected);
    }

    void longValueIsCutAt2047Bytes()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        // A double-byte character straddling byte 2047 is left out whole.
        const QString value = QString(2046, u'a') + u"图片"_s + QString(5000, u'b');
        writeBytes(s.path(), "[canshu]\npic_bg=" + gbk::encode(value) + "\n");
        const QString read = s.ReadSetting(u"pic_bg"_s);
        QCOMPARE(read, QString(2046, u'a'));
        writeBytes(s.path(), "[canshu]\npic_bg=" + QByteArray(1024 * 1024, 'x') + "\n");
        QCOMPARE(s.ReadSetting(u"pic_bg"_s).size(), 2047);
    }

    void writeCreatesFileSectionAndKey()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        s.WriteSetting(u"pic_width"_s, u"150"_s);
        QCOMPARE(readBytes(s.path()), QByteArray("[canshu]\r\npic_width=150\r\n"));
        s.WriteSetting(u"pic_height"_s, u"180"_s);
        QCOMPARE(readBytes(s.path()),
                 QByteArray("[canshu]\r\npic_width=150\r\npic_height=180\r\n"));
        QCOMPARE(s.ReadSettingNumber(u"pic_height"_s), 180);
    }

    void writeKeepsOtherLines()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        const QByteArray before = "; kiosk settings\n[other]\npic_width=1\n\n[CANSHU]\nPIC_WIDTH = "
                                  "100\nextra=keep me\n\n; end\n[tail]\nz=9";
        writeBytes(s.path(), before);
        s.WriteSetting(u"pic_width"_s, u"150"_s);
        QCOMPARE(
            readBytes(s.path()),
            QByteArray(
                "; kiosk settings\n[other]\npic_width=1\n\n[CANSHU]\npic_width=150\nextra=keep "
                "me\n\n; end\n[tail]\nz=9"));
        s.WriteSetting(u"biaoti_top"_s, u"40"_s);
        QCOMPARE(
            readBytes(s.path()),
            QByteArray(
                "; kiosk settings\n[other]\npic_width=1\n\n[CANSHU]\npic_width=150\nextra=keep "
                "me\nbiaoti_top=40\n\n; end\n[tail]\nz=9"));
        QCOMPARE(s.ReadSetting(u"z"_s), u"z"_s); // outside canshu
    }

    void writeAppendsSectionToFileWithoutIt()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        writeBytes(s.path(), "[other]\r\na=1");
        s.WriteSetting(u"pic_bg"_s, u"x.jpg"_s);
        QCOMPARE(readBytes(s.path()), QByteArray("[other]\r\na=1\r\n[canshu]\r\npic_bg=x.jpg\r\n"));
    }

    // Broken files: setting a key and reading it back gives the value, the other keys read as
    // before, and every line of the file is still there byte for byte (before the new lines).
    void writeReadsBackInBrokenFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("header without ], invalid GBK, lone CR (found by fuzzing)")
            << QByteArray::fromBase64("CltjYW5zaHWIDQ==");
        QTest::newRow("lone CR after a quote") << QByteArray("'\r");
        QTest::newRow("header without ]") << QByteArray("[canshu\npic_bg=a.jpg\n");
        QTest::newRow("header without ], last line") << QByteArray("pic_bg=a.jpg\n[canshu");
        QTest::newRow("header cut by a lead byte") << QByteArray("[canshu\x88\npic_bg=a.jpg");
        QTest::newRow("lead byte before ]") << QByteArray("[canshu\x88]\r\npic_bg=a.jpg\r\n");
        QTest::newRow("section, last line ends in CR") << QByteArray("[canshu]\npic_bg=a.jpg\r");
        QTest::newRow("only CRs") << QByteArray("\r\r\r");
        QTest::newRow("CR LF CR") << QByteArray("[canshu]\r\n\r");
        QTest::newRow("NUL in header") << QByteArray("[can\0shu]\npic_bg=a.jpg\n", 24);
        QTest::newRow("NUL after section") << QByteArray("[canshu]\npic_bg=a.jpg\n\0", 23);
        QTest::newRow("lead byte at the very end") << QByteArray("[canshu]\npic_bg=a.jpg\n\xfe");
        QTest::newRow("key line cut by a lead byte") << QByteArray("[canshu]\npic_width\x81");
    }
    void writeReadsBackInBrokenFiles()
    {
        QFETCH(QByteArray, content);
        const QString keys[] = {u"pic_bg"_s, u"biaoti_color"_s};
        for (const QString &value : {u"150"_s, u"大厅 2"_s, QString()}) {
            const QByteArray updated = withProfileValue(content, u"pic_width"_s, value);
            QCOMPARE(profileValue(updated, u"pic_width"_s), std::optional<QString>(value));
            for (const QString &other : keys)
                QCOMPARE(profileValue(updated, other), profileValue(content, other));
            if (!profileValue(content, u"pic_width"_s))
                QVERIFY2(updated.startsWith(content) ||
                             updated.startsWith(content.left(content.lastIndexOf('\n') + 1)),
                         updated.toPercentEncoding().constData());
        }
    }

    void gbkRoundTrip()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        const QString path = u"/home/大厅/背景图片 2.jpg"_s;
        s.WriteSetting(u"pic_bg"_s, path);
        QVERIFY(readBytes(s.path()).contains(gbk::encode(path)));
        QVERIFY(!readBytes(s.path()).contains(path.toUtf8()));
        QCOMPARE(s.ReadSetting(u"pic_bg"_s), path);
    }

    void valueWithLineBreakStaysOneLine()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        s.WriteSetting(u"pic_bg"_s, u"a\r\n[canshu]\r\npic_width=1"_s);
        QCOMPARE(s.ReadSetting(u"pic_width"_s), u"pic_width"_s);
    }

    void readOnlyFileIsNotWritten()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        const QByteArray before = "[canshu]\npic_width=150\n";
        writeBytes(s.path(), before);
        QVERIFY(QFile::setPermissions(s.path(), QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                    QFileDevice::ReadOther));
        QVERIFY_THROWS_EXCEPTION(KioskError, s.WriteSetting(u"pic_width"_s, u"1"_s));
        QCOMPARE(readBytes(s.path()), before);
    }

    void directoryInPlaceOfFile()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        QVERIFY(QDir(dir.path()).mkdir(u"opt.ini"_s));
        QCOMPARE(s.ReadSetting(u"pic_width"_s), u"pic_width"_s);
        QVERIFY_THROWS_EXCEPTION(KioskError, s.WriteSetting(u"pic_width"_s, u"1"_s));
    }

    void missingFolderRefusesWrite()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path() + u"/no/such/folder"_s);
        QVERIFY_THROWS_EXCEPTION(KioskError, s.WriteSetting(u"pic_width"_s, u"1"_s));
    }

    void writeKeepsPermissions()
    {
        QTemporaryDir dir;
        SettingsFile s(dir.path());
        writeBytes(s.path(), "[canshu]\n");
        const auto perms =
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
        QVERIFY(QFile::setPermissions(s.path(), perms));
        s.WriteSetting(u"a"_s, u"1"_s);
        QCOMPARE(QFile::permissions(s.path()) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
                 perms);
    }
};

QTEST_APPLESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
