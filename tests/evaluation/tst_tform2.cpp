#include "config/badreasons.h"
#include "evaluation/tform2.h"
#include "platform/gbk.h"
#include "platform/guard.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "store/record.h"
#include "store/schema.h"
#include "store/tdatamodule3.h"
#include "support/files.h"
#include "support/recorder.h"

#include <QFile>
#include <QPointingDevice>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString Success = u"评价成功！谢谢。"_s;
const QString Failure = u"评价失败！"_s;
const QString Prompt = u"点击星星评分后点我提交"_s;

QImage solid(QColor color)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

QImage shown(const PictureBox *box)
{
    return box->picture().toImage().convertToFormat(QImage::Format_ARGB32);
}

// A star shows the picture of that file, decoded at the size the star is shown (never the
// file's own size): the star's size, in the file's colour.
bool showsStar(const PictureBox *box, const QImage &file)
{
    const QImage image = shown(box);
    return image.size() == box->size() &&
           image.pixelColor(image.rect().center()) == file.pixelColor(0, 0);
}

// The rows of table 评价 as another process sees them; never creates the file.
QList<EvaluationRecord> storedRows(const QString &path)
{
    QList<EvaluationRecord> rows;
    if (!QFile::exists(path))
        return rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"tst_reader"_s);
        db.setDatabaseName(path);
        db.setConnectOptions(u"QSQLITE_OPEN_READONLY"_s);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(u"select 名称,日期,时间,综合评价 from 评价"_s);
            while (q.next())
                rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                             q.value(3).toString()});
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"tst_reader"_s);
    return rows;
}

// The reasons stored with the ratings of table 评价, in text order.
QStringList storedReasons(const QString &path)
{
    QStringList reasons;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"tst_reasons"_s);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(u"select r.原因 from 评价_原因 r join 评价 e on e.rowid = r.评价 "
                   "order by r.原因"_s);
            while (q.next())
                reasons << q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"tst_reasons"_s);
    return reasons;
}

// Services whose clock hands out a list of readings in turn; everything else goes to the
// recorder.
class SteppingClock final : public platform::Services
{
public:
    SteppingClock(RecordingServices &inner, QList<QDateTime> readings)
        : m_inner(inner), m_clock(std::make_shared<Readings>(std::move(readings)))
    {
        platform::setServices(this);
    }
    ~SteppingClock() override { platform::setServices(&m_inner); }

    QString exeDir() const override { return m_inner.exeDir(); }
    QString workDir() const override { return m_inner.workDir(); }
    void message(QWidget *o, const QString &t) override { m_inner.message(o, t); }
    void notice(QWidget *o, const QString &t, int ms) override { m_inner.notice(o, t, ms); }
    void error(QWidget *o, const QString &t) override { m_inner.error(o, t); }
    bool question(QWidget *o, const QString &c, const QString &t) override
    {
        return m_inner.question(o, c, t);
    }
    bool confirm(QWidget *o, const QString &t) override { return m_inner.confirm(o, t); }
    QString openPicture(QWidget *o, const QString &f) override { return m_inner.openPicture(o, f); }
    QString chooseFolder(QWidget *o, const QString &c) override
    {
        return m_inner.chooseFolder(o, c);
    }
    void restart() override { m_inner.restart(); }
    bool openFolder(const QString &p) override { return m_inner.openFolder(p); }
    void quit() override { m_inner.quit(); }
    platform::ClockPtr clock() const override { return m_clock; }

    int readingsLeft() const { return m_clock->left(); }

private:
    class Readings final : public platform::Clock
    {
    public:
        explicit Readings(QList<QDateTime> readings) : m_readings(std::move(readings)) {}
        QDateTime now() const override
        {
            const QMutexLocker lock(&m_mutex);
            return m_readings.isEmpty() ? QDateTime() : m_readings.takeFirst();
        }
        int left() const
        {
            const QMutexLocker lock(&m_mutex);
            return int(m_readings.size());
        }

    private:
        mutable QMutex m_mutex;
        mutable QList<QDateTime> m_readings;
    };

    RecordingServices &m_inner;
    std::shared_ptr<Readings> m_clock;
};

} // namespace

char *toString(const EvaluationRecord &r)
{
    return QTest::toString(QStringList{r.name, r.date, r.time, r.grade}.join(u'|'));
}

class TestTForm2 : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<RecordingServices> rec;
    TForm2 *form = nullptr;
    TDataModule3 *module = nullptr;
    QImage lit, grey, background;

    QString path(const QString &rel) const { return dir->filePath(rel); }
    QString dbPath() const { return path(u"db.dll"_s); }

    void writeSettings(const QByteArray &lines)
    {
        writeBytes(path(u"opt.ini"_s), "[canshu]\r\n" + lines);
    }

    // Database module as start-up makes it; its own failures are recorded like start-up's.
    void openModule()
    {
        module = new TDataModule3(dir->path(), rec->clock());
        platform::guarded(nullptr, [this] { module->OpenConnection(); });
        platform::guarded(nullptr, [this] { module->OpenStartupQuery(); });
    }

    void createForm()
    {
        form = new TForm2;
        form->setDataModule(module);
        QCoreApplication::processEvents();
    }

    void tap(PictureBox *star)
    {
        QTest::mouseClick(star, Qt::LeftButton, {}, star->rect().center());
    }

    // Ready: all grey, submit disabled with the prompt and no star, timer stopped.
    void verifyReady()
    {
        for (int i = 1; i <= 5; ++i)
            QVERIFY(showsStar(starBox(i), grey));
        QVERIFY(!form->RzButton1->isEnabled());
        QCOMPARE(form->RzButton1->text(), Prompt);
        QCOMPARE(form->RzButton1->tag(), 0);
        QVERIFY(!form->Timer1->isActive());
    }

    void verifyStars(int litUpTo)
    {
        for (int i = 1; i <= 5; ++i)
            QVERIFY2(showsStar(starBox(i), i <= litUpTo ? lit : grey),
                     qPrintable(QString::number(i)));
    }

    PictureBox *starBox(int k) const { return form->findChild<PictureBox *>(u"Image%1"_s.arg(k)); }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QVERIFY(QDir(dir->path()).mkdir(u"pic"_s));
        lit = solid(QColor(255, 200, 0));
        grey = solid(QColor(128, 128, 128));
        background = solid(QColor(10, 120, 30));
        QVERIFY(lit.save(path(u"pic/zhengchang.png"_s)));
        QVERIFY(grey.save(path(u"pic/huidu.png"_s)));
        QVERIFY(background.save(path(u"pic/bg.png"_s)));
        writeSettings("pic_width=180\r\npic_height=240\r\npic_bg=pic\\bg.png\r\n");
        if (QTest::currentTestFailed())
            return;
        store::createDatabaseFile(dbPath());
        rec = std::make_unique<RecordingServices>(dir->path(), dir->path());
    }

    void cleanup()
    {
        delete form;
        form = nullptr;
        delete module;
        module = nullptr;
        rec.reset();
        if (dir)
            QFile::setPermissions(dbPath(), QFile::ReadOwner | QFile::WriteOwner);
        dir.reset();
    }

    void creation_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("greyMissing");
        QTest::addColumn<QSize>("photo");
        QTest::addColumn<QString>("error"); // empty: none
        QTest::addColumn<bool>("configuredBackground");
        const QByteArray size = "pic_width=180\r\npic_height=240\r\n";
        QTest::newRow("relative pic_bg with backslash")
            << size + "pic_bg=pic\\bg.png" << false << QSize(180, 240) << QString() << true;
        QTest::newRow("absolute pic_bg")
            << size + "pic_bg=<absolute>" << false << QSize(180, 240) << QString() << true;
        QTest::newRow("pic_bg names a missing file")
            << size + "pic_bg=pic\\no.jpg" << false << QSize(180, 240) << QString() << false;
        QTest::newRow("grey star missing")
            << size + "pic_bg=pic\\bg.png" << true << QSize(180, 240) << u"huidu.png"_s << true;
        QTest::newRow("pic_width missing")
            << QByteArray("pic_height=240\r\npic_bg=pic\\bg.png") << false << QSize(225, 297)
            << u"'pic_width' is not a valid integer value."_s << false;
        QTest::newRow("pic_width not a number")
            << QByteArray("pic_width=12a\r\npic_height=240") << false << QSize(225, 297)
            << u"'12a' is not a valid integer value."_s << false;
        QTest::newRow("pic_height empty")
            << QByteArray("pic_width=180\r\npic_height=") << false << QSize(180, 297)
            << u"'' is not a valid integer value."_s << false;
    }
    void creation()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, greyMissing);
        QFETCH(QSize, photo);
        QFETCH(QString, error);
        QFETCH(bool, configuredBackground);
        settings.replace("<absolute>", path(u"pic/bg.png"_s).toUtf8());
        writeSettings(settings + "\r\n");
        if (greyMissing)
            QVERIFY(QFile::remove(path(u"pic/huidu.png"_s)));
        openModule();
        createForm();
        QCOMPARE(rec->errors.size(), error.isEmpty() ? 0 : 1);
        if (!error.isEmpty())
            QVERIFY2(rec->errors[0].contains(error), qPrintable(rec->errors[0]));
        QCOMPARE(form->Image6->geometry(), QRect(QPoint(24, 48), photo));
        QCOMPARE(form->Image7->geometry(), form->rect());
        QVERIFY(!form->Image7->isEmpty());
        // The background is decoded at the size it is shown at: compare its colour.
        const QImage shownBackground = shown(form->Image7);
        QCOMPARE(shownBackground.pixelColor(shownBackground.rect().center()) ==
                     background.pixelColor(0, 0),
                 configuredBackground);
        QVERIFY(form->isHidden());
        QVERIFY(!form->Timer1->isActive());
        QVERIFY(!form->RzButton1->isEnabled());
        if (error.isEmpty()) {
            verifyReady();
            return;
        }
        // Creation stopped before the stars: they are empty, yet tapping one still works.
        for (int k = 1; k <= 5; ++k)
            QVERIFY(starBox(k)->isEmpty());
        form->show();
        tap(starBox(5));
        verifyStars(5);
        QVERIFY(form->RzButton1->isEnabled());
    }

    void submitStores_data()
    {
        QTest::addColumn<QList<int>>("taps");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<QDateTime>>("clock");  // readings in turn; empty: the real clock
        QTest::addColumn<EvaluationRecord>("stored"); // empty date/time: not checked
        const QString n = u"张三  一号窗口"_s;
        QTest::newRow("star 1") << QList<int>{1} << u"非常不满意！0分！点我提交评价。"_s << n
                                << QList<QDateTime>{}
                                << EvaluationRecord{n, {}, {}, u"非常不满意"_s};
        QTest::newRow("star 2") << QList<int>{2} << u"不满意！30分！点我提交评价。"_s << n
                                << QList<QDateTime>{} << EvaluationRecord{n, {}, {}, u"不满意"_s};
        QTest::newRow("star 3") << QList<int>{3} << u"一般！60分！点我提交评价。"_s << n
                                << QList<QDateTime>{} << EvaluationRecord{n, {}, {}, u"一般"_s};
        QTest::newRow("star 4") << QList<int>{4} << u"比较满意！80分！点我提交评价。"_s << n
                                << QList<QDateTime>{} << EvaluationRecord{n, {}, {}, u"比较满意"_s};
        QTest::newRow("star 5") << QList<int>{5} << u"非常满意！100分！点我提交评价。"_s << n
                                << QList<QDateTime>{} << EvaluationRecord{n, {}, {}, u"非常满意"_s};
        QTest::newRow("last tap wins: 3 then 1")
            << QList<int>{3, 1} << u"非常不满意！0分！点我提交评价。"_s << n << QList<QDateTime>{}
            << EvaluationRecord{n, {}, {}, u"非常不满意"_s};
        QTest::newRow("name of an empty tile")
            << QList<int>{2} << u"不满意！30分！点我提交评价。"_s << u"  "_s << QList<QDateTime>{}
            << EvaluationRecord{u"  "_s, {}, {}, u"不满意"_s};
        QTest::newRow("name without line 2, quote and percent")
            << QList<int>{2} << u"不满意！30分！点我提交评价。"_s << u"O'Neil 100%  "_s
            << QList<QDateTime>{} << EvaluationRecord{u"O'Neil 100%  "_s, {}, {}, u"不满意"_s};
        const QDateTime morning(QDate(2024, 3, 5), QTime(7, 8, 9));
        QTest::newRow("zero-padded date and time")
            << QList<int>{4} << u"比较满意！80分！点我提交评价。"_s << n
            << QList<QDateTime>{morning, morning}
            << EvaluationRecord{n, u"2024-03-05"_s, u"07:08:09"_s, u"比较满意"_s};
        QTest::newRow("date read before time across midnight")
            << QList<int>{4} << u"比较满意！80分！点我提交评价。"_s << n
            << QList<QDateTime>{QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59, 999)),
                                QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0, 1))}
            << EvaluationRecord{n, u"2024-12-31"_s, u"00:00:00"_s, u"比较满意"_s};
    }
    void submitStores()
    {
        QFETCH(QList<int>, taps);
        QFETCH(QString, caption);
        QFETCH(QString, name);
        QFETCH(QList<QDateTime>, clock);
        QFETCH(EvaluationRecord, stored);
        openModule();
        createForm();
        form->show();
        form->CnAALabel1->setText(name);
        for (int k : taps)
            tap(starBox(k));
        verifyStars(taps.last());
        QVERIFY(form->RzButton1->isEnabled());
        QCOMPARE(form->RzButton1->text(), caption);
        QCOMPARE(form->RzButton1->tag(), taps.last());
        {
            std::optional<SteppingClock> stepping;
            if (!clock.isEmpty())
                stepping.emplace(*rec, clock);
            QTest::mouseClick(form->RzButton1, Qt::LeftButton);
            if (stepping)
                QCOMPARE(stepping->readingsLeft(), 0);
        }
        QCOMPARE(rec->noticeTexts(), QStringList{Success});
        QVERIFY(rec->errors.isEmpty());
        QList<EvaluationRecord> rows = storedRows(dbPath());
        QCOMPARE(rows.size(), 1);
        if (stored.date.isEmpty()) {
            rows[0].date.clear();
            rows[0].time.clear();
        }
        QCOMPARE(rows[0], stored);
        QVERIFY(form->isHidden());
        verifyReady();
    }

    // Each submit reads chongfu_miao anew: two taps of one name 5 s apart are stored both, the
    // second marked unless the window is 5 s or less (a value that is no valid one: 10).
    void repeatWindowFromSettings_data()
    {
        QTest::addColumn<QByteArray>("setting"); // the line in opt.ini; empty: none
        QTest::addColumn<int>("marked");
        QTest::newRow("no setting: 10 s") << QByteArray() << 1;
        QTest::newRow("switched off") << QByteArray("chongfu_miao=0\r\n") << 0;
        QTest::newRow("5 s is no longer within") << QByteArray("chongfu_miao=5\r\n") << 0;
        QTest::newRow("6 s") << QByteArray("chongfu_miao=6\r\n") << 1;
        QTest::newRow("no number: 10 s") << QByteArray("chongfu_miao=abc\r\n") << 1;
    }
    void repeatWindowFromSettings()
    {
        QFETCH(QByteArray, setting);
        QFETCH(int, marked);
        writeSettings("pic_width=180\r\npic_height=240\r\n" + setting);
        openModule();
        createForm();
        const QDateTime first(QDate(2026, 3, 2), QTime(9, 0, 0));
        for (const QDateTime &at : {first, first.addSecs(5)}) {
            rec->setNow(at);
            form->show();
            form->CnAALabel1->setText(u"张三  一号窗口"_s);
            tap(starBox(5));
            QTest::mouseClick(form->RzButton1, Qt::LeftButton);
        }
        QCOMPARE(rec->noticeTexts(), (QStringList{Success, Success}));
        QCOMPARE(storedRows(dbPath()).size(), 2);
        int marks = -1;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"tst_marks"_s);
            db.setDatabaseName(dbPath());
            if (db.open()) {
                QSqlQuery q(db);
                const bool exists =
                    q.exec(u"select count(*) from sqlite_master where name = '评价_疑似重复'"_s) &&
                    q.next() && q.value(0).toInt() == 1;
                q.finish();
                marks = exists && q.exec(u"select count(*) from 评价_疑似重复"_s) && q.next()
                            ? q.value(0).toInt()
                            : 0;
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(u"tst_marks"_s);
        QCOMPARE(marks, marked);
    }

    void tapsByTouch()
    {
        openModule();
        createForm();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        // The test owns the device; deleting it unregisters it.
        const std::unique_ptr<QPointingDevice> screen(QTest::createTouchDevice());
        const auto touch = [&](QWidget *w) {
            const QPoint at = w->mapTo(form, w->rect().center());
            QTest::touchEvent(form, screen.get()).press(0, at, form);
            QTest::touchEvent(form, screen.get()).release(0, at, form);
        };
        touch(starBox(4));
        QTRY_COMPARE(form->RzButton1->tag(), 4);
        touch(form->RzButton1);
        QTRY_COMPARE(storedRows(dbPath()).size(), 1);
    }

    void submitNeedsAStar()
    {
        openModule();
        createForm();
        form->show();
        QTest::mouseClick(form->RzButton1, Qt::LeftButton);
        QVERIFY(rec->noticeTexts().isEmpty());
        QVERIFY(form->isVisible());
        // Even if the handler runs without a chosen star, no row without a grade is stored.
        form->RzButton1Click();
        QCOMPARE(rec->noticeTexts(), QStringList{Failure});
        QVERIFY(storedRows(dbPath()).isEmpty());
    }

    // Submit, close and timeout all end in Ready; without the grey star they still close and
    // reset (stars emptied) and report the missing file.
    void returnsToReady_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("greyMissing");
        QTest::newRow("submit") << u"submit"_s << false;
        QTest::newRow("close button") << u"close"_s << false;
        QTest::newRow("timeout") << u"timeout"_s << false;
        QTest::newRow("submit, grey star missing") << u"submit"_s << true;
        QTest::newRow("close button, grey star missing") << u"close"_s << true;
        QTest::newRow("timeout, grey star missing") << u"timeout"_s << true;
    }
    void returnsToReady()
    {
        QFETCH(QString, how);
        QFETCH(bool, greyMissing);
        openModule();
        createForm();
        form->show();
        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Timer1->interval(), 30000);
        tap(starBox(4));
        if (greyMissing)
            QVERIFY(QFile::remove(path(u"pic/huidu.png"_s)));
        if (how == u"submit") {
            QTest::mouseClick(form->RzButton1, Qt::LeftButton);
        } else if (how == u"close") {
            QTest::mouseClick(form->RzButton2, Qt::LeftButton);
        } else {
            form->Timer1->setInterval(30);
            QTRY_VERIFY(form->isHidden());
            form->Timer1->setInterval(30000);
        }
        QVERIFY(form->isHidden());
        QCOMPARE(storedRows(dbPath()).size(), how == u"submit" ? 1 : 0);
        QCOMPARE(rec->noticeTexts(), how == u"submit" ? QStringList{Success} : QStringList{});
        if (greyMissing) {
            QCOMPARE(rec->errors.size(), 1);
            QVERIFY(rec->errors[0].contains(u"huidu.png"_s));
            for (int k = 1; k <= 5; ++k)
                QVERIFY(starBox(k)->isEmpty());
            QVERIFY(!form->RzButton1->isEnabled());
            QCOMPARE(form->RzButton1->text(), Prompt);
            QCOMPARE(form->RzButton1->tag(), 0);
            QVERIFY(!form->Timer1->isActive());
            return;
        }
        QVERIFY(rec->errors.isEmpty());
        verifyReady();
        // The next showing starts afresh with the full 30 seconds.
        form->show();
        QVERIFY(form->Timer1->isActive());
        QVERIFY(form->Timer1->remainingTime() > 29000);
        verifyStars(0);
        QVERIFY(!form->RzButton1->isEnabled());
    }

    // The thanks comes only once the row is on disk and the dialog is already reset and hidden,
    // and it holds nothing up: it closes by itself (3 s for the thanks, 5 s for a failure).
    void thanksAfterStoreWithoutBlocking_data()
    {
        QTest::addColumn<bool>("storable");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("timeoutMs");
        QTest::newRow("stored: thanks for 3 s") << true << Success << 3000;
        QTest::newRow("not stored: failure for 5 s") << false << Failure << 5000;
    }
    void thanksAfterStoreWithoutBlocking()
    {
        QFETCH(bool, storable);
        QFETCH(QString, text);
        QFETCH(int, timeoutMs);
        if (!storable)
            QVERIFY(QFile::remove(dbPath()));
        openModule();
        createForm();
        rec->clearRecords();
        form->show();
        form->CnAALabel1->setText(u"一号窗口  社保业务"_s);
        tap(starBox(5));
        int rowsAtNotice = -1;
        bool hiddenAtNotice = false;
        rec->onNotice = [&](QWidget *, const QString &, int) {
            rowsAtNotice = int(storedRows(dbPath()).size());
            hiddenAtNotice = form->isHidden();
        };
        QTest::mouseClick(form->RzButton1, Qt::LeftButton);
        rec->onNotice = {};
        QCOMPARE(rec->notices.size(), 1);
        QCOMPARE(rec->notices[0].text, text);
        QCOMPARE(rec->notices[0].timeoutMs, timeoutMs);
        QCOMPARE(rowsAtNotice, storable ? 1 : 0);
        QVERIFY(hiddenAtNotice);
        QVERIFY(rec->messages.isEmpty());
        verifyReady();
        // The next visitor starts at once.
        form->show();
        tap(starBox(2));
        QCOMPARE(form->RzButton1->tag(), 2);
    }

    void failingDatabase_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("db.dll missing") << u"missing"_s;
        QTest::newRow("db.dll read-only") << u"read-only"_s;
        QTest::newRow("no database module") << u"no module"_s;
    }
    void failingDatabase()
    {
        QFETCH(QString, fault);
        if (fault == u"missing")
            QVERIFY(QFile::remove(dbPath()));
        if (fault == u"read-only")
            QVERIFY(QFile::setPermissions(dbPath(),
                                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        if (fault != u"no module")
            openModule();
        createForm();
        rec->clearRecords();
        form->show();
        tap(starBox(3));
        QTest::mouseClick(form->RzButton1, Qt::LeftButton);
        QCOMPARE(rec->noticeTexts(), QStringList{Failure});
        QVERIFY(rec->errors.isEmpty());
        QVERIFY(storedRows(dbPath()).isEmpty());
        QCOMPARE(QFile::exists(dbPath()), fault != u"missing");
        QVERIFY(form->isHidden());
        verifyReady();
        if (fault != u"missing")
            return;
        // Once the file is there, the next rating reconnects and is stored.
        store::createDatabaseFile(dbPath());
        form->show();
        tap(starBox(2));
        QTest::mouseClick(form->RzButton1, Qt::LeftButton);
        QCOMPARE(rec->noticeTexts(), (QStringList{Failure, Success}));
        const QList<EvaluationRecord> rows = storedRows(dbPath());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].grade, u"不满意"_s);
    }

    // The meaning of each star shows before the first tap: its grade word right under it. A tap
    // on the word chooses that star.
    void gradeWordsUnderStars_data()
    {
        QTest::addColumn<int>("star");
        QTest::addColumn<QString>("word");
        QTest::newRow("star 1") << 1 << u"非常不满意"_s;
        QTest::newRow("star 2") << 2 << u"不满意"_s;
        QTest::newRow("star 3") << 3 << u"一般"_s;
        QTest::newRow("star 4") << 4 << u"比较满意"_s;
        QTest::newRow("star 5") << 5 << u"非常满意"_s;
    }
    void gradeWordsUnderStars()
    {
        QFETCH(int, star);
        QFETCH(QString, word);
        openModule();
        createForm();
        form->show();
        auto *label = form->findChild<AALabel *>(u"GradeLabel%1"_s.arg(star));
        QVERIFY(label);
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), word);
        const QRect s = starBox(star)->geometry();
        const QRect w = label->geometry();
        QCOMPARE(w.center().x(), s.center().x());
        QVERIFY(w.top() >= s.bottom() && w.top() - s.bottom() < 20);
        QVERIFY(form->rect().contains(w));
        // The whole word fits its place, and neighbouring words do not touch.
        QVERIFY(QFontMetrics(label->font()).horizontalAdvance(word) <= w.width());
        if (star < 5)
            QVERIFY(w.right() < form->findChild<AALabel *>(u"GradeLabel%1"_s.arg(star + 1))->x());
        QVERIFY(!form->RzButton1->isEnabled());
        QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
        QCOMPARE(form->RzButton1->tag(), star);
        QCOMPARE(form->RzButton1->text(), TForm2::submitCaption(star));
        verifyStars(star);
    }

    // Each star picture is decoded once, at the star's size; taps only look at the files.
    void starsDecodedOnce()
    {
        // Star files far larger than they are shown.
        QImage bigLit(1200, 1200, QImage::Format_ARGB32);
        bigLit.fill(lit.pixelColor(0, 0));
        QVERIFY(bigLit.save(path(u"pic/zhengchang.png"_s)));
        openModule();
        createForm();
        form->show();
        QCOMPARE(form->starDecodes(), 2); // both stars at creation
        for (int round = 0; round < 5; ++round) {
            for (int k = 1; k <= 5; ++k)
                tap(starBox(k));
        }
        QCOMPARE(form->starDecodes(), 2);
        verifyStars(5);
        QTest::mouseClick(form->RzButton2, Qt::LeftButton);
        QCOMPARE(form->starDecodes(), 2);
        // A star picture replaced on disk shows at the next tap.
        QImage red(64, 64, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(path(u"pic/zhengchang.png"_s)));
        form->show();
        tap(starBox(1));
        QCOMPARE(form->starDecodes(), 3);
        QVERIFY(showsStar(starBox(1), red));
    }

    // Both buttons are sized for a finger and stay inside the dialog.
    void fingerSizedButtons()
    {
        createForm();
        for (RzButton *b : {form->RzButton1, form->RzButton2}) {
            QVERIFY2(b->height() >= 44, qPrintable(b->objectName()));
            QVERIFY(form->rect().contains(b->geometry()));
        }
        QVERIFY(!form->RzButton1->geometry().intersects(form->RzButton2->geometry()));
    }

    // After star 1 or 2 the reasons of opt.ini (the defaults while it has none) show as
    // finger-sized buttons under the stars; the ones tapped are stored with the rating. Stars 3 to
    // 5 show none, and a move to one of them forgets what was tapped.
    void reasonsWithBadRating_data()
    {
        QTest::addColumn<QByteArray>("setting"); // empty: no chaping_yuanyin
        QTest::addColumn<QStringList>("taps");   // "3": star 3, "r1": the second reason
        QTest::addColumn<int>("shown");          // reason buttons visible before submit
        QTest::addColumn<QStringList>("stored");
        const QStringList d = badreasons::defaults();
        QTest::newRow("star 1, two reasons")
            << QByteArray() << QStringList{u"1"_s, u"r3"_s, u"r1"_s} << 6
            << QStringList{d[1], d[3]};
        QTest::newRow("star 2, no reason")
            << QByteArray() << QStringList{u"2"_s} << 6 << QStringList{};
        QTest::newRow("a reason tapped twice is off again")
            << QByteArray() << QStringList{u"2"_s, u"r0"_s, u"r5"_s, u"r0"_s} << 6
            << QStringList{d[5]};
        QTest::newRow("star 4 shows none")
            << QByteArray() << QStringList{u"4"_s} << 0 << QStringList{};
        QTest::newRow("from 1 to 4 forgets the reasons")
            << QByteArray() << QStringList{u"1"_s, u"r0"_s, u"4"_s} << 0 << QStringList{};
        QTest::newRow("from 1 to 2 keeps them")
            << QByteArray() << QStringList{u"1"_s, u"r2"_s, u"2"_s} << 6 << QStringList{d[2]};
        QTest::newRow("eight reasons of opt.ini in GBK")
            << gbk::encode(u"chaping_yuanyin=甲|乙|丙|丁|戊|己|庚|辛辛辛辛辛辛辛辛\r\n"_s)
            << QStringList{u"1"_s, u"r7"_s} << 8 << QStringList{u"辛辛辛辛辛辛辛辛"_s};
        QTest::newRow("nine in opt.ini: the defaults")
            << QByteArray("chaping_yuanyin=a|b|c|d|e|f|g|h|i\r\n") << QStringList{u"1"_s, u"r0"_s}
            << 6 << QStringList{d[0]};
        QTest::newRow("empty setting offers none")
            << QByteArray("chaping_yuanyin=\r\n") << QStringList{u"1"_s} << 0 << QStringList{};
    }
    void reasonsWithBadRating()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QStringList, taps);
        QFETCH(int, shown);
        QFETCH(QStringList, stored);
        writeSettings("pic_width=180\r\npic_height=240\r\n" + setting);
        openModule();
        createForm();
        form->show();
        for (const QString &t : taps) {
            if (t.startsWith(u'r'))
                QTest::mouseClick(form->ReasonButtons.at(t.mid(1).toInt()), Qt::LeftButton);
            else
                tap(starBox(t.toInt()));
        }
        QList<RzButton *> visible;
        for (RzButton *b : form->ReasonButtons) {
            if (b->isVisible())
                visible << b;
        }
        QCOMPARE(visible.size(), shown);
        for (RzButton *b : visible) {
            QVERIFY2(b->width() >= 96 && b->height() >= 44, qPrintable(b->objectName()));
            QVERIFY(form->rect().contains(b->geometry()));
            QVERIFY(b->fontMetrics().horizontalAdvance(b->text()) < b->width());
            for (QWidget *other : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                if (other != b && other != form->Image7 && other->isVisible())
                    QVERIFY2(!other->geometry().intersects(b->geometry()),
                             qPrintable(other->objectName()));
            }
        }
        QTest::mouseClick(form->RzButton1, Qt::LeftButton);
        QCOMPARE(rec->noticeTexts(), QStringList{Success});
        QCOMPARE(storedRows(dbPath()).size(), 1);
        stored.sort();
        QCOMPARE(storedReasons(dbPath()), stored);
        // Ready for the next visitor: nothing tapped, nothing shown.
        for (RzButton *b : form->ReasonButtons)
            QVERIFY(!b->isChecked() && b->isHidden());
    }

    void missingStarOnTap_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("star");
        QTest::addColumn<int>("litAfter"); // stars shown lit afterwards
        QTest::newRow("lit star missing") << u"zhengchang.png"_s << 2 << 0;
        QTest::newRow("grey star missing") << u"huidu.png"_s << 2 << 2;
        QTest::newRow("grey star missing, star 5 needs none") << u"huidu.png"_s << 5 << 5;
    }
    void missingStarOnTap()
    {
        QFETCH(QString, missing);
        QFETCH(int, star);
        QFETCH(int, litAfter);
        openModule();
        createForm();
        form->show();
        QVERIFY(QFile::remove(path(u"pic/"_s + missing)));
        tap(starBox(star));
        const bool armed = star == 5;
        QCOMPARE(rec->errors.size(), armed ? 0 : 1);
        if (!armed)
            QVERIFY2(rec->errors[0].contains(missing), qPrintable(rec->errors[0]));
        verifyStars(litAfter);
        QCOMPARE(form->RzButton1->isEnabled(), armed);
        QCOMPARE(form->RzButton1->tag(), armed ? star : 0);
    }
};

QTEST_MAIN(TestTForm2)
#include "tst_tform2.moc"
