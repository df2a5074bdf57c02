#include "config/badreasons.h"
#include "config/settingsfile.h"
#include "config/tform5.h"
#include "kiosk/layout.h"
#include "platform/color.h"
#include "platform/gbk.h"
#include "platform/widgets/coloredit.h"
#include "platform/widgets/labelededit.h"
#include "platform/widgets/rzbutton.h"
#include "support/files.h"
#include "support/recorder.h"

#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The twelve keys of the window, in the order it saves them, with the values of a delivered file.
const QList<std::pair<QString, QString>> Delivered{
    {u"pic_width"_s, u"150"_s},
    {u"pic_height"_s, u"200"_s},
    {u"pic_zuoyoujiange"_s, u"30"_s},
    {u"pic_shangxiajiange"_s, u"60"_s},
    {u"pic_shangxiaxiuzheng"_s, u"-15"_s},
    {u"biaoti_top"_s, u"40"_s},
    {u"xiaobiaoti1"_s, u"14"_s},
    {u"xiaobiaoti2"_s, u"12"_s},
    {u"biaoti_size"_s, u"36"_s},
    {u"biaoti_color"_s, u"255"_s},
    {u"xiaobiaoti1_color"_s, u"16777215"_s},
    {u"xiaobiaoti2_color"_s, u"-16777201"_s},
};

const QStringList EditKeys{
    u"pic_width"_s,          u"pic_height"_s,           u"pic_zuoyoujiange"_s,
    u"pic_shangxiajiange"_s, u"pic_shangxiaxiuzheng"_s, u"biaoti_top"_s,
    u"xiaobiaoti1"_s,        u"xiaobiaoti2"_s,          u"biaoti_size"_s};
const QStringList EditNames{u"LabeledEdit1"_s, u"LabeledEdit2"_s, u"LabeledEdit3"_s,
                            u"LabeledEdit4"_s, u"LabeledEdit5"_s, u"LabeledEdit6"_s,
                            u"LabeledEdit7"_s, u"LabeledEdit8"_s, u"LabeledEdit9"_s};

QByteArray iniWith(const QList<std::pair<QString, QString>> &entries)
{
    QByteArray bytes = "; delivered with the kiosk\r\n[other]\r\npic_width=1\r\n[canshu]\r\n";
    for (const auto &[key, value] : entries)
        bytes += gbk::encode(key) + '=' + gbk::encode(value) + "\r\n";
    bytes += "pic_bg=D:\\\xCD\xBC\xC6\xAC\\bg.jpg\r\n"; // 图片 in GBK
    return bytes;
}

QList<std::pair<QString, QString>> without(const QString &key)
{
    QList<std::pair<QString, QString>> entries = Delivered;
    entries.removeIf([&](const auto &e) { return e.first == key; });
    return entries;
}

QList<std::pair<QString, QString>> with(const QString &key, const QString &value)
{
    QList<std::pair<QString, QString>> entries = Delivered;
    for (auto &e : entries)
        if (e.first == key)
            e.second = value;
    return entries;
}

} // namespace

class TestTForm5 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir *m_dir = nullptr;
    RecordingServices *m_services = nullptr;
    TForm5 *m_form = nullptr;

    QString iniPath() const { return m_dir->path() + u"/opt.ini"_s; }
    void writeIni(const QByteArray &bytes) { writeBytes(iniPath(), bytes); }
    QByteArray iniBytes() const { return readBytes(iniPath()); }
    QString stored(const QString &key) const
    {
        return profileValue(iniBytes(), key).value_or(u"<none>"_s);
    }
    LabeledEdit *edit(int i) const { return m_form->findChild<LabeledEdit *>(EditNames.at(i)); }
    ColorEdit *picker(int i) const
    {
        return m_form->findChild<ColorEdit *>(u"RzColorEdit%1"_s.arg(i));
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        m_services = new RecordingServices(m_dir->path(), m_dir->path());
        m_form = new TForm5;
    }
    void cleanup()
    {
        delete m_form;
        delete m_services;
        delete m_dir;
    }

    void saveUnchangedRewritesTheSameValues()
    {
        writeIni(iniWith(Delivered));
        m_form->show();
        for (int i = 0; i < 9; ++i)
            QCOMPARE(edit(i)->text(), stored(EditKeys[i]));
        QCOMPARE(picker(1)->selectedColor(), 255);
        QCOMPARE(picker(2)->selectedColor(), 16777215);
        QCOMPARE(picker(3)->selectedColor(), -16777201);

        // The file in some other form than the one the window writes: the values must still be
        // read and written back as they are.
        writeIni(iniWith(Delivered).replace("=", " = "));
        m_form->hide();
        m_form->show();
        m_form->findChild<RzButton *>(u"RzButton1"_s)->click();

        for (const auto &[key, value] : Delivered)
            QCOMPARE(stored(key), value);
        QVERIFY(iniBytes().contains("[other]\r\npic_width = 1\r\n"));
        QVERIFY(iniBytes().contains("pic_bg = D:\\\xCD\xBC\xC6\xAC\\bg.jpg"));
        QCOMPARE(m_services->messages, QStringList{u"保存成功！"_s});
        QCOMPARE(m_services->restarts, 1);
    }

    void savedAsTyped_data()
    {
        QTest::addColumn<int>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved");
        QTest::newRow("blanks around a number") << 0 << u"  150  "_s << u"150"_s;
        QTest::newRow("control characters at the ends") << 8 << u"\t36\u0001"_s << u"36"_s;
        QTest::newRow("letters saved as they stand") << 1 << u"abc"_s << u"abc"_s;
        QTest::newRow("inner blanks kept") << 4 << u" - 1 5 "_s << u"- 1 5"_s;
        QTest::newRow("empty box") << 5 << u"   "_s << QString();
    }
    void savedAsTyped()
    {
        QFETCH(int, box);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        writeIni(iniWith(Delivered));
        m_form->show();
        edit(box)->setText(typed);
        m_form->RzButton1Click();

        QCOMPARE(stored(EditKeys[box]), saved);
        for (int i = 0; i < 9; ++i)
            if (i != box)
                QCOMPARE(stored(EditKeys[i]), Delivered[i].second);
        QCOMPARE(m_services->messages, QStringList{u"保存成功！"_s});
        QCOMPARE(m_services->restarts, 1);
    }

    void chosenColourSavedAsDecimal()
    {
        writeIni(iniWith(Delivered));
        m_form->show();
        picker(2)->setSelectedColor(colors::toBgr(QColor(0, 0, 255)));
        m_form->RzButton1Click();
        QCOMPARE(stored(u"xiaobiaoti1_color"_s), u"16711680"_s);
        QCOMPARE(stored(u"biaoti_color"_s), u"255"_s);
    }

    void colourBlockEndsAtFirstFailure_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value"); // empty: the key is missing
        QTest::addColumn<QList<int>>("colours");
        const int none = colors::None;
        QTest::newRow("biaoti_color missing")
            << u"biaoti_color"_s << QString() << QList<int>{none, none, none};
        QTest::newRow("xiaobiaoti1_color not a number")
            << u"xiaobiaoti1_color"_s << u"red"_s << QList<int>{255, none, none};
        QTest::newRow("xiaobiaoti2_color missing")
            << u"xiaobiaoti2_color"_s << QString() << QList<int>{255, 16777215, none};
    }
    void colourBlockEndsAtFirstFailure()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QList<int>, colours);
        writeIni(iniWith(value.isEmpty() ? without(key) : with(key, value)));
        m_form->show();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(picker(i + 1)->selectedColor(), colours[i]);
        // The boxes are filled all the same, and a save writes what the pickers hold.
        QCOMPARE(edit(0)->text(), u"150"_s);
        m_form->RzButton1Click();
        QCOMPARE(stored(u"biaoti_color"_s), QString::number(colours[0]));
        QCOMPARE(stored(u"xiaobiaoti1_color"_s), QString::number(colours[1]));
        QCOMPARE(stored(u"xiaobiaoti2_color"_s), QString::number(colours[2]));
        QCOMPARE(m_services->restarts, 1);
    }

    void laterShowKeepsEarlierColours()
    {
        writeIni(iniWith(Delivered));
        m_form->show();
        m_form->RzButton2Click();
        writeIni(iniWith(with(u"xiaobiaoti1_color"_s, u"0"_s)).replace("biaoti_color=255", ""));
        m_form->show();
        QCOMPARE(picker(1)->selectedColor(), 255);
        QCOMPARE(picker(2)->selectedColor(), 16777215);
        QCOMPARE(picker(3)->selectedColor(), -16777201);
        QVERIFY(m_services->messages.isEmpty());
        QVERIFY(m_services->errors.isEmpty());
    }

    void missingKeysShowTheirNames()
    {
        writeIni(iniWith(without(u"pic_height"_s)));
        m_form->show();
        QCOMPARE(edit(1)->text(), u"pic_height"_s);
        QCOMPARE(edit(0)->text(), u"150"_s);
        m_form->hide();

        QVERIFY(QFile::remove(iniPath()));
        m_form->show();
        for (int i = 0; i < 9; ++i)
            QCOMPARE(edit(i)->text(), EditKeys[i]);
        QVERIFY(m_services->messages.isEmpty());
        QVERIFY(m_services->errors.isEmpty());
    }

    void writeProtectedFileChangesNothing()
    {
        writeIni(iniWith(Delivered));
        QVERIFY(QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                     QFileDevice::ReadOther));
        const QByteArray before = iniBytes();
        m_form->show();
        edit(0)->setText(u"999"_s);
        m_form->RzButton1Click();

        QCOMPARE(iniBytes(), before);
        QCOMPARE(m_services->messages, QStringList{u"保存失败！"_s});
        QCOMPARE(m_services->restarts, 0);
        QVERIFY(m_form->isVisible());
        QCOMPARE(edit(0)->text(), u"999"_s);
        QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }

    // The welcome title: shown from the file (the built-in text while there is none), saved in
    // GBK with the other keys, trimmed like them; an empty box saves the empty text.
    void titleShownAndSaved_data()
    {
        QTest::addColumn<QByteArray>("fileValue"); // GBK bytes; empty: no key at all
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed"); // null: saved as shown
        QTest::addColumn<QByteArray>("savedBytes");
        const QString hall = u"欢迎光临东城区政务服务中心"_s;
        QTest::newRow("from the file, unchanged")
            << gbk::encode(hall) << hall << QString() << gbk::encode(hall);
        QTest::newRow("missing key shows the built-in title")
            << QByteArray() << BuiltInTitle() << QString() << gbk::encode(BuiltInTitle());
        QTest::newRow("typed title in GBK")
            << gbk::encode(hall) << hall << u"欢迎您：社保·医保综合窗口"_s
            << gbk::encode(u"欢迎您：社保·医保综合窗口"_s);
        QTest::newRow("blanks around it trimmed")
            << gbk::encode(hall) << hall << u"  北区大厅 \t"_s << gbk::encode(u"北区大厅"_s);
        QTest::newRow("empty box saves the empty text")
            << gbk::encode(hall) << hall << u"   "_s << QByteArray("");
    }
    void titleShownAndSaved()
    {
        QFETCH(QByteArray, fileValue);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(QByteArray, savedBytes);
        QByteArray ini = iniWith(Delivered);
        if (!fileValue.isEmpty())
            ini += "biaoti_wenzi=" + fileValue + "\r\n";
        writeIni(ini);
        m_form->show();
        auto *box = m_form->findChild<LabeledEdit *>(u"LabeledEdit10"_s);
        QVERIFY(box);
        QCOMPARE(box->text(), shown);
        if (!typed.isNull())
            box->setText(typed);
        m_form->RzButton1Click();

        QVERIFY(iniBytes().contains("\r\nbiaoti_wenzi=" + savedBytes + "\r\n"));
        for (const auto &[key, value] : Delivered)
            QCOMPARE(stored(key), value);
        QCOMPARE(m_services->messages, QStringList{u"保存成功！"_s});
        QCOMPARE(m_services->restarts, 1);
    }

    // The number settings the window checks: the least ratings to be ranked (1 to 100000) and
    // the window of suspected repeats (0 to 86400 seconds, 0 off). Shown (the default while the
    // file has none), saved when valid, else refused with the setting's name before anything
    // is written.
    void checkedNumberSettings_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QByteArray>("fileValue"); // empty: no key at all
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("saved"); // empty: refused
        const QByteArray minimum = "paiming_zuishao";
        const QString minimumBox = u"LabeledEdit11"_s;
        QTest::newRow("minimum: missing key shows the default")
            << minimum << minimumBox << QByteArray() << u"10"_s << u"10"_s << QByteArray("10");
        QTest::newRow("minimum: from the file, changed")
            << minimum << minimumBox << QByteArray("5") << u"5"_s << u" 30 "_s << QByteArray("30");
        QTest::newRow("minimum: letters refused")
            << minimum << minimumBox << QByteArray("5") << u"5"_s << u"十"_s << QByteArray();
        QTest::newRow("minimum: zero refused")
            << minimum << minimumBox << QByteArray("5") << u"5"_s << u"0"_s << QByteArray();
        QTest::newRow("minimum: too large refused")
            << minimum << minimumBox << QByteArray("5") << u"5"_s << u"100001"_s << QByteArray();
        const QByteArray repeat = "chongfu_miao";
        const QString repeatBox = u"LabeledEdit12"_s;
        QTest::newRow("repeats: missing key shows the default")
            << repeat << repeatBox << QByteArray() << u"10"_s << u"10"_s << QByteArray("10");
        QTest::newRow("repeats: switched off")
            << repeat << repeatBox << QByteArray("30") << u"30"_s << u" 0 "_s << QByteArray("0");
        QTest::newRow("repeats: negative refused")
            << repeat << repeatBox << QByteArray("30") << u"30"_s << u"-1"_s << QByteArray();
        QTest::newRow("repeats: unit refused")
            << repeat << repeatBox << QByteArray("30") << u"30"_s << u"10秒"_s << QByteArray();
        QTest::newRow("repeats: above a day refused")
            << repeat << repeatBox << QByteArray("30") << u"30"_s << u"86401"_s << QByteArray();
    }
    void checkedNumberSettings()
    {
        QFETCH(QByteArray, key);
        QFETCH(QString, box);
        QFETCH(QByteArray, fileValue);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(QByteArray, saved);
        QByteArray ini = iniWith(Delivered);
        if (!fileValue.isEmpty())
            ini += key + "=" + fileValue + "\r\n";
        writeIni(ini);
        const QByteArray before = iniBytes();
        m_form->show();
        auto *edit12 = m_form->findChild<LabeledEdit *>(box);
        QVERIFY(edit12);
        QCOMPARE(edit12->text(), shown);
        edit(0)->setText(u"999"_s);
        edit12->setText(typed);
        m_form->RzButton1Click();
        if (saved.isEmpty()) {
            QCOMPARE(iniBytes(), before);
            QCOMPARE(m_services->messages.size(), 1);
            QVERIFY(m_services->messages.first().contains(edit12->editLabel()->text().trimmed()));
            QVERIFY(m_services->messages.first().endsWith(u"未保存任何修改。"_s));
            QCOMPARE(m_services->restarts, 0);
            return;
        }
        QCOMPARE(stored(QString::fromLatin1(key)), QString::fromLatin1(saved));
        QCOMPARE(stored(u"pic_width"_s), u"999"_s);
        QCOMPARE(m_services->restarts, 1);
    }

    // The reasons after a bad rating: shown (the defaults while the file has none), saved in GBK
    // and read back as the rating dialog reads them; a list the dialog could not show is refused
    // before anything is written, with a sentence that says why.
    void badReasons_data()
    {
        QTest::addColumn<QString>("fileValue"); // empty: no key at all
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("saved"); // empty: refused
        QTest::addColumn<QString>("why");   // part of the refusal
        const QString defaults =
            u"服务态度不好|等候时间太长|业务不熟练|办事效率低|没有一次办好|其他"_s;
        QTest::newRow("missing key shows the defaults")
            << QString() << defaults << defaults << defaults << QString();
        QTest::newRow("from the file, blanks trimmed")
            << u"排队久|态度差"_s << u"排队久|态度差"_s << u" 排队久 | 态度差 | 其他 "_s
            << u"排队久|态度差|其他"_s << QString();
        QTest::newRow("eight are allowed") << QString() << defaults << u"一|二|三|四|五|六|七|八"_s
                                           << u"一|二|三|四|五|六|七|八"_s << QString();
        QTest::newRow("nine refused") << QString() << defaults << u"一|二|三|四|五|六|七|八|九"_s
                                      << QString() << u"最多 8 个"_s;
        QTest::newRow("empty reason refused")
            << QString() << defaults << u"排队久||态度差"_s << QString() << u"不能是空的"_s;
        QTest::newRow("empty at the end refused")
            << QString() << defaults << u"排队久|"_s << QString() << u"不能是空的"_s;
        QTest::newRow("too long refused") << QString() << defaults << u"窗口工作人员态度很不好"_s
                                          << QString() << u"超过 8 个字"_s;
        QTest::newRow("twice refused")
            << QString() << defaults << u"排队久|排队久"_s << QString() << u"重复"_s;
        QTest::newRow("outside GBK refused")
            << QString() << defaults << u"排队久😀"_s << QString() << u"无法保存"_s;
        QTest::newRow("emptied: no reasons offered")
            << QString() << defaults << u"  "_s << QString(u""_s) << QString();
    }
    void badReasons()
    {
        QFETCH(QString, fileValue);
        QFETCH(QString, shown);
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(QString, why);
        QByteArray ini = iniWith(Delivered);
        if (!fileValue.isEmpty())
            ini += "chaping_yuanyin=" + gbk::encode(fileValue) + "\r\n";
        writeIni(ini);
        const QByteArray before = iniBytes();
        m_form->show();
        auto *box = m_form->findChild<LabeledEdit *>(u"LabeledEdit13"_s);
        QVERIFY(box);
        QCOMPARE(box->text(), shown);
        edit(0)->setText(u"999"_s);
        box->setText(typed);
        m_form->RzButton1Click();
        if (!why.isEmpty()) {
            QCOMPARE(iniBytes(), before);
            QCOMPARE(m_services->messages.size(), 1);
            QVERIFY2(m_services->messages.first().contains(why),
                     qPrintable(m_services->messages.first()));
            QCOMPARE(m_services->restarts, 0);
            return;
        }
        QVERIFY(iniBytes().contains("\r\nchaping_yuanyin=" + gbk::encode(saved) + "\r\n"));
        QCOMPARE(stored(u"pic_width"_s), u"999"_s);
        QCOMPARE(badreasons::offered(SettingsFile(m_dir->path())),
                 saved.isEmpty() ? QStringList() : saved.split(u'|'));
        QCOMPARE(m_services->restarts, 1);
    }

    // A title with characters GBK cannot store is refused before anything is written.
    void titleOutsideGbkRefused_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("named");
        QTest::newRow("emoji") << u"欢迎光临😀大厅😀"_s << u"😀"_s;
        QTest::newRow("Korean") << u"환영 大厅"_s << u"환영"_s;
    }
    void titleOutsideGbkRefused()
    {
        QFETCH(QString, typed);
        QFETCH(QString, named);
        writeIni(iniWith(Delivered));
        const QByteArray before = iniBytes();
        m_form->show();
        edit(0)->setText(u"999"_s);
        m_form->findChild<LabeledEdit *>(u"LabeledEdit10"_s)->setText(typed);
        m_form->RzButton1Click();

        QCOMPARE(iniBytes(), before);
        QCOMPARE(m_services->messages.size(), 1);
        QVERIFY2(m_services->messages.first().contains(u"“"_s + named + u"”"_s),
                 qPrintable(m_services->messages.first()));
        QCOMPARE(m_services->restarts, 0);
        QVERIFY(m_form->isVisible());
    }

    // The layout button fills the nine boxes with the values for the window's screen and
    // writes nothing; a save then stores them.
    void autoLayoutFillsTheBoxes()
    {
        writeIni(iniWith(Delivered));
        const QByteArray before = iniBytes();
        m_form->show();
        auto *button = m_form->findChild<RzButton *>(u"RzButton4"_s);
        QVERIFY(button);
        QCOMPARE(button->text(), u"按屏幕自动排版"_s);
        button->click();

        const QSize screen = m_form->screen()->geometry().size();
        const ScreenLayout fit = fitToScreen(screen.width(), screen.height());
        QCOMPARE(edit(0)->text(), QString::number(fit.picWidth));
        QCOMPARE(edit(1)->text(), QString::number(fit.picHeight));
        QCOMPARE(edit(4)->text(), QString::number(fit.correction));
        QCOMPARE(edit(8)->text(), QString::number(fit.titlePoints));
        QCOMPARE(iniBytes(), before);
        QCOMPARE(m_services->restarts, 0);

        m_form->RzButton1Click();
        for (const auto &[key, value] : screenLayoutSettings(fit))
            QCOMPARE(stored(key), QString::number(value));
        QCOMPARE(stored(u"biaoti_color"_s), u"255"_s);
        QCOMPARE(m_services->restarts, 1);
    }

    // Buttons a finger hits: 44 pixels high, inside the window, clear of each other.
    void buttonsForAFinger_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("save") << u"RzButton1"_s;
        QTest::newRow("close") << u"RzButton2"_s;
        QTest::newRow("staff PIN") << u"RzButton3"_s;
        QTest::newRow("layout") << u"RzButton4"_s;
    }
    void buttonsForAFinger()
    {
        QFETCH(QString, name);
        m_form->show();
        auto *button = m_form->findChild<RzButton *>(name);
        QVERIFY(button);
        QVERIFY(button->height() >= 44);
        QVERIFY(m_form->rect().contains(button->geometry()));
        QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) < button->width());
        for (QWidget *other : m_form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (other != button && other->objectName() != u"Image1"_s && other->isVisible())
                QVERIFY2(!other->geometry().intersects(button->geometry()),
                         qPrintable(other->objectName()));
        }
    }

    void closeDiscardsTyping()
    {
        writeIni(iniWith(Delivered));
        const QByteArray before = iniBytes();
        m_form->show();
        edit(0)->setFocus();
        QTest::keyClicks(edit(0), u"99"_s);
        QCOMPARE(edit(0)->text(), u"15099"_s);
        m_form->findChild<RzButton *>(u"RzButton2"_s)->click();

        QVERIFY(!m_form->isVisible());
        QCOMPARE(edit(0)->text(), u"15099"_s); // hidden, not destroyed
        QCOMPARE(iniBytes(), before);
        QCOMPARE(m_services->restarts, 0);
        m_form->show();
        QCOMPARE(edit(0)->text(), u"150"_s);
    }
};

QTEST_MAIN(TestTForm5)
#include "tst_tform5.moc"
