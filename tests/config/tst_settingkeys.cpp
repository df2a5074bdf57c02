#include "config/settingkeys.h"
#include "config/settingsfile.h"
#include "support/files.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Setting)
Q_DECLARE_METATYPE(SettingKind)

// The names in opt.ini are what staff and existing files rely on: each row spells one out.
class TestSettingKeys : public QObject
{
    Q_OBJECT

private slots:
    void onDisk_data()
    {
        QTest::addColumn<Setting>("setting");
        QTest::addColumn<QString>("key");
        QTest::addColumn<SettingKind>("kind");
        QTest::newRow("tile width") << Setting::PicWidth << u"pic_width"_s << SettingKind::Number;
        QTest::newRow("tile height")
            << Setting::PicHeight << u"pic_height"_s << SettingKind::Number;
        QTest::newRow("horizontal gap")
            << Setting::PicZuoyoujiange << u"pic_zuoyoujiange"_s << SettingKind::Number;
        QTest::newRow("vertical gap")
            << Setting::PicShangxiajiange << u"pic_shangxiajiange"_s << SettingKind::Number;
        QTest::newRow("grid shift")
            << Setting::PicShangxiaxiuzheng << u"pic_shangxiaxiuzheng"_s << SettingKind::Number;
        QTest::newRow("title top") << Setting::BiaotiTop << u"biaoti_top"_s << SettingKind::Number;
        QTest::newRow("title size")
            << Setting::BiaotiSize << u"biaoti_size"_s << SettingKind::Number;
        QTest::newRow("title colour")
            << Setting::BiaotiColor << u"biaoti_color"_s << SettingKind::Colour;
        QTest::newRow("caption 1 size")
            << Setting::Xiaobiaoti1 << u"xiaobiaoti1"_s << SettingKind::Number;
        QTest::newRow("caption 2 size")
            << Setting::Xiaobiaoti2 << u"xiaobiaoti2"_s << SettingKind::Number;
        QTest::newRow("caption 1 colour")
            << Setting::Xiaobiaoti1Color << u"xiaobiaoti1_color"_s << SettingKind::Colour;
        QTest::newRow("caption 2 colour")
            << Setting::Xiaobiaoti2Color << u"xiaobiaoti2_color"_s << SettingKind::Colour;
        QTest::newRow("background picture") << Setting::PicBg << u"pic_bg"_s << SettingKind::Path;
        QTest::newRow("welcome title")
            << Setting::BiaotiWenzi << u"biaoti_wenzi"_s << SettingKind::Text;
        QTest::newRow("least ratings to be ranked")
            << Setting::PaimingZuishao << u"paiming_zuishao"_s << SettingKind::Number;
        QTest::newRow("window of suspected repeats")
            << Setting::ChongfuMiao << u"chongfu_miao"_s << SettingKind::Number;
        QTest::newRow("reasons for a bad rating")
            << Setting::ChapingYuanyin << u"chaping_yuanyin"_s << SettingKind::Text;
    }
    // The table row of each setting, and a write through the setting lands under its name on
    // disk, where a read by that name finds it.
    void onDisk()
    {
        QFETCH(Setting, setting);
        QFETCH(QString, key);
        QFETCH(SettingKind, kind);
        QCOMPARE(settingKey(setting).setting, setting);
        QCOMPARE(keyName(setting), key);
        QCOMPARE(settingKey(setting).kind, kind);
        QVERIFY(!settingKey(setting).meaning.isEmpty());

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const SettingsFile ini(dir.path());
        ini.WriteSetting(setting, u"-42"_s);
        QCOMPARE(readBytes(ini.path()), "[canshu]\r\n" + key.toLatin1() + "=-42\r\n");
        QCOMPARE(ini.ReadSetting(key), u"-42"_s);
        QCOMPARE(ini.ReadSettingNumber(setting), -42);
    }

    void everyKeyOnce()
    {
        QSet<QString> names;
        QSet<int> settings;
        for (const SettingKey &row : SettingKeys) {
            names.insert(row.key.toString().toLower());
            settings.insert(int(row.setting));
        }
        QCOMPARE(names.size(), qsizetype(SettingKeys.size()));
        QCOMPARE(settings.size(), qsizetype(SettingKeys.size()));
    }
};

QTEST_APPLESS_MAIN(TestSettingKeys)
#include "tst_settingkeys.moc"
