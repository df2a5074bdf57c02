// opt.ini as staff may leave it after editing by hand: start-up and the parameter window behave
// as for a missing or bad value, never crash, and a save keeps every other line of the file.
#include "config/settingsfile.h"
#include "config/tform5.h"
#include "kiosk/forms.h"
#include "kiosk/tform1.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/labelededit.h"
#include "support/recorder.h"
#include "support/runfolder.h"
#include "support/startup.h"

#include <QRandomGenerator>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;
using runfolder::RunFolder;

namespace {

QString conversionError(const QString &text)
{
    return u"'%1' is not a valid integer value."_s.arg(text);
}

// Both readers that stop at a missing settings file: the main window and the dialog.
QStringList errorsWithoutSettings()
{
    return {conversionError(u"biaoti_top"_s), conversionError(u"pic_width"_s)};
}

QByteArray garbage(qsizetype size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(random.bounded(256));
    return bytes;
}

// The lines of a file without their line ends ("\r\n" or "\n"); a last line without a line end
// is taken as it stands.
QList<QByteArray> lines(const QByteArray &content)
{
    QList<QByteArray> out = content.split('\n');
    const bool endsWithLineEnd = out.last().isEmpty();
    if (endsWithLineEnd)
        out.removeLast();
    for (qsizetype i = 0; i < out.size(); ++i) {
        const bool ended = i + 1 < out.size() || endsWithLineEnd;
        if (ended && out[i].endsWith('\r'))
            out[i].chop(1);
    }
    return out;
}

// Whether a line sets one of the twelve keys the parameter window writes.
bool isNumericEntry(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed().toLower();
    for (const QString &key : runfolder::numericKeys()) {
        const QByteArray k = key.toLatin1();
        if (trimmed.startsWith(k) && trimmed.mid(k.size()).trimmed().startsWith('='))
            return true;
    }
    return false;
}

// Every line of before that the save had no reason to touch is in after, in the same order.
bool keepsOtherLines(const QByteArray &before, const QByteArray &after)
{
    const QList<QByteArray> now = lines(after);
    qsizetype at = 0;
    for (const QByteArray &line : lines(before)) {
        if (isNumericEntry(line))
            continue;
        while (at < now.size() && now.at(at) != line)
            ++at;
        if (at == now.size())
            return false;
        ++at;
    }
    return true;
}

} // namespace

class TestBadSettings : public QObject
{
    Q_OBJECT

private:
    StartupRun m_run;

private slots:
    void init()
    {
        QVERIFY(m_run.begin());
        QVERIFY(m_run.folder->writePhoto(u"0001@一号窗口#社保业务.jpg"_s, Qt::red));
    }

    void cleanup() { m_run.end(); }

    // Start-up, the main window's show, the parameter window's show and save for each kind of
    // broken file. biaoti_top stands for the numeric keys: its box shows what the file holds.
    void startShowAndSave_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("directory"); // a folder, or a file without read permission
                                             // when content is not empty
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<int>("titleTop"); // 16: the design top, creation stopped before it
        QTest::addColumn<QString>("titleTopBox");

        const QByteArray good = runfolder::section(runfolder::goodSettings());
        const QStringList none;
        const QStringList missing = errorsWithoutSettings();
        QByteArray lf = good;
        lf.replace("\r\n", "\n");
        QByteArray mixed = good;
        mixed.replace("pic_width=150\r\n", "pic_width=150\n");
        QByteArray crOnly = good;
        crOnly.replace("\r\n", "\r");
        const QByteArray megabyteDigits(1024 * 1024, '7');
        QByteArray withMegabyteTop = good;
        withMegabyteTop.replace("biaoti_top=30", "biaoti_top=" + megabyteDigits);
        const QString cutDigits(SettingsFile::MaxValueBytes, u'7');

        QTest::newRow("binary garbage")
            << garbage(8192, 1) << false << missing << 16 << u"biaoti_top"_s;
        QTest::newRow("binary garbage, then the section")
            << garbage(8192, 2) + "\r\n" + good << false << none << 30 << u"30"_s;
        QTest::newRow("NUL bytes inside the section")
            << QByteArray("[canshu]\r\n\0\0\0\r\n", 15) +
                   runfolder::entries(runfolder::goodSettings())
            << false << none << 30 << u"30"_s;
        QTest::newRow("a megabyte in another key")
            << good + "pic_bg=" + QByteArray(1024 * 1024, 'x') + "\r\n"
            << false << none << 30 << u"30"_s;
        QTest::newRow("a megabyte of digits is cut at 2047 bytes")
            << withMegabyteTop << false << QStringList{conversionError(cutDigits)} << 16
            << cutDigits;
        QTest::newRow("duplicate keys: the first wins")
            << good + "biaoti_top=abc\r\n[canshu]\r\nbiaoti_top=xyz\r\n"
            << false << none << 30 << u"30"_s;
        QTest::newRow("duplicate keys: a bad first one decides")
            << "[canshu]\r\nbiaoti_top=abc\r\n" + runfolder::entries(runfolder::goodSettings())
            << false << QStringList{conversionError(u"abc"_s)} << 16 << u"abc"_s;
        QTest::newRow("keys in another section only")
            << "[other]\r\n" + runfolder::entries(runfolder::goodSettings()) << false << missing
            << 16 << u"biaoti_top"_s;
        QTest::newRow("another section does not override canshu")
            << good + "[other]\r\nbiaoti_top=999\r\n"
            << false << none << 30 << u"30"_s;
        QTest::newRow("CRLF line ends") << good << false << none << 30 << u"30"_s;
        QTest::newRow("LF line ends") << lf << false << none << 30 << u"30"_s;
        QTest::newRow("mixed line ends") << mixed << false << none << 30 << u"30"_s;
        QTest::newRow("CR alone is no line end: one long header line")
            << crOnly << false << missing << 16 << u"biaoti_top"_s;
        // As the platform's profile functions: the mark makes the first line no section header.
        QTest::newRow("UTF-8 byte order mark before the section")
            << "\xEF\xBB\xBF" + good << false << missing << 16 << u"biaoti_top"_s;
        QTest::newRow("no section header") << runfolder::entries(runfolder::goodSettings()) << false
                                           << missing << 16 << u"biaoti_top"_s;
        QTest::newRow("empty file") << QByteArray() << false << missing << 16 << u"biaoti_top"_s;
        // The two readers that stop say in Chinese why the file cannot be read.
        const QStringList unreadable{u"unreadable"_s};
        QTest::newRow("a directory named opt.ini")
            << QByteArray() << true << unreadable << 16 << u"biaoti_top"_s;
        QTest::newRow("opt.ini without read permission")
            << good << true << unreadable << 16 << u"biaoti_top"_s;
    }
    void startShowAndSave()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, directory);
        QFETCH(QStringList, errors);
        QFETCH(int, titleTop);
        QFETCH(QString, titleTopBox);

        const bool folder = directory && content.isEmpty();
        if (folder)
            QVERIFY(QFile::remove(m_run.folder->ini()) &&
                    QDir(m_run.folder->root()).mkdir(u"opt.ini"_s));
        else
            QVERIFY(m_run.folder->writeSettings(content));
        if (directory && !folder)
            QVERIFY(QFile::setPermissions(m_run.folder->ini(), QFile::WriteOwner));
        if (errors == QStringList{u"unreadable"_s}) {
            const QString reason = u"无法读取设置文件 %1（%2）"_s.arg(
                QDir::toNativeSeparators(m_run.folder->ini()),
                folder ? u"在它的位置上是一个文件夹"_s : u"文件没有读取权限"_s);
            errors = {};
            for (int reader = 0; reader < 2; ++reader)
                errors.append(
                    reason + u"。管理菜单保持关闭，界面设置无法读取。请管理员确认它是一个普通文件，"
                             u"并且运行评价软件的用户有权读取它，然后重新启动软件。."_s);
        }

        CreateForms();
        QCOMPARE(m_run.rec->errors, errors);
        QCOMPARE(Form1->CnAALabel21->y(), titleTop);
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        QCOMPARE(m_run.rec->errors, errors); // the show falls back silently

        Form5->show();
        QCOMPARE(Form5->LabeledEdit6->text(), titleTopBox);
        QCOMPARE(m_run.rec->errors, errors);

        m_run.rec->clearRecords();
        Form5->LabeledEdit1->setText(u" 160 "_s);
        Form5->RzButton1Click();
        if (directory) {
            QCOMPARE(m_run.rec->messages, QStringList{u"保存失败！"_s});
            QCOMPARE(m_run.rec->restarts, 0);
            QCOMPARE(QFileInfo(m_run.folder->ini()).isDir(), folder);
            QFile::setPermissions(m_run.folder->ini(), QFile::ReadOwner | QFile::WriteOwner);
            return;
        }
        QCOMPARE(m_run.rec->messages, QStringList{u"保存成功！"_s});
        QCOMPARE(m_run.rec->restarts, 1);
        const QByteArray after = fileBytes(m_run.folder->ini());
        QVERIFY2(keepsOtherLines(content, after), "a line the save had no reason to touch is gone");
        // The file reads back as saved; a file with LF line ends keeps them.
        const SettingsFile ini(m_run.folder->root());
        QCOMPARE(ini.ReadSetting(u"pic_width"_s), u"160"_s);
        QCOMPARE(ini.ReadSetting(u"biaoti_top"_s), titleTopBox);
        if (!content.contains("\r\n") && content.contains('\n'))
            QVERIFY(!after.contains("\r\n"));
    }

    // A reader never finds the file half written, however large it is: every write replaces it
    // whole.
    void saveNeverLeavesAPartialFile()
    {
        const QByteArray first = "; kiosk settings, edited by hand\r\n";
        const QByteArray last = "[end]\r\nlast=1\r\n";
        const QByteArray content = first + runfolder::section(runfolder::goodSettings()) +
                                   "[notes]\r\nnote=" + QByteArray(2 * 1024 * 1024, 'n') + "\r\n" +
                                   last;
        QVERIFY(m_run.folder->writeSettings(content));
        CreateForms();
        QCOMPARE(m_run.rec->errors, QStringList());
        Form5->show();

        std::atomic<bool> stop{false};
        std::atomic<int> reads{0};
        std::atomic<int> partial{0};
        const QString path = m_run.folder->ini();
        std::thread reader([&] {
            while (!stop) {
                QFile file(path);
                if (!file.open(QIODevice::ReadOnly)) {
                    ++partial; // the file must exist at every moment
                    continue;
                }
                const QByteArray seen = file.readAll();
                ++reads;
                if (!seen.startsWith(first) || !seen.endsWith(last) || seen.size() < content.size())
                    ++partial;
            }
        });
        Form5->RzButton1Click();
        Form5->RzButton1Click();
        stop = true;
        reader.join();

        QCOMPARE(m_run.rec->messages, (QStringList{u"保存成功！"_s, u"保存成功！"_s}));
        QVERIFY(reads > 0);
        QCOMPARE(partial.load(), 0);
        QVERIFY(keepsOtherLines(content, fileBytes(path)));
    }

private:
    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QTEST_MAIN(TestBadSettings)
#include "tst_badsettings.moc"
