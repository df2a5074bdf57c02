// The kiosk from end to end, as a visitor uses it: real windows from a prepared run folder,
// pointer clicks on arrows, tiles, stars and the submit button, and the row in db.dll.
#include "artwork.h"
#include "evaluation/tform2.h"
#include "kiosk/forms.h"
#include "kiosk/tform1.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/noticewindow.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/rzbutton.h"
#include "store/schema.h"
#include "support/recorder.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestEndToEnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<RecordingServices> m_services;

    struct Row
    {
        QString name, date, time, grade;
    };
    QList<Row> storedRows() const
    {
        QList<Row> rows;
        {
            auto db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
            db.setDatabaseName(m_dir.filePath(u"db.dll"_s));
            if (db.open()) {
                QSqlQuery q(u"select 名称,日期,时间,综合评价 from 评价"_s, db);
                while (q.next())
                    rows.append({q.value(0).toString(), q.value(1).toString(),
                                 q.value(2).toString(), q.value(3).toString()});
            }
        }
        QSqlDatabase::removeDatabase(u"check"_s);
        return rows;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(artwork::writeRunFolder(m_dir.path(), 25).ok);
        store::createDatabaseFile(m_dir.filePath(u"db.dll"_s));
        m_services = std::make_unique<RecordingServices>(m_dir.path(), m_dir.path());
        m_services->setNow(QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)));
        CreateForms();
        QCOMPARE(m_services->errors, QStringList());
        Form1->showKiosk();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
    }

    void cleanup()
    {
        DestroyForms();
        m_services.reset();
    }

    void pageTapRateSubmit()
    {
        QCOMPARE(Form1->CnAALabel22->text(), u"第1页"_s);
        Form1->Timer2Timer(); // arrows visible, as after every blink
        QTest::mouseClick(Form1->Image2, Qt::LeftButton);
        QCOMPARE(Form1->CnAALabel22->text(), u"第2页"_s);

        // Tile 2 of page 2 is the twelfth photo.
        const QString line1 = Form1->CnAALabel2->text();
        const QString line2 = Form1->CnAALabel12->text();
        QVERIFY(!line1.isEmpty() && !line2.isEmpty());
        QVERIFY(!Form1->Image5->isEmpty());
        QTest::mouseClick(Form1->Image5, Qt::LeftButton);
        QTRY_VERIFY(Form2->isVisible());
        QCOMPARE(Form2->CnAALabel1->text(), line1 + u"  "_s + line2);
        QVERIFY(!Form2->Image6->isEmpty());

        QVERIFY(!Form2->RzButton1->isEnabled());
        QTest::mouseClick(Form2->Image4, Qt::LeftButton);
        QVERIFY(Form2->RzButton1->isEnabled());
        QCOMPARE(Form2->RzButton1->text(), u"比较满意！80分！点我提交评价。"_s);
        QTest::mouseClick(Form2->RzButton1, Qt::LeftButton);

        QCOMPARE(m_services->noticeTexts(), QStringList{u"评价成功！谢谢。"_s});
        const QList<Row> rows = storedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].name, line1 + u"  "_s + line2);
        QCOMPARE(rows[0].date, u"2026-12-08"_s);
        QCOMPARE(rows[0].time, u"14:05:09"_s);
        QCOMPARE(rows[0].grade, u"比较满意"_s);

        // Back in its Ready state: hidden, submit disabled with its prompt, tag 0.
        QVERIFY(!Form2->isVisible());
        QVERIFY(!Form2->RzButton1->isEnabled());
        QCOMPARE(Form2->RzButton1->text(), u"点击星星评分后点我提交"_s);
        QCOMPARE(Form2->RzButton1->tag(), 0);
        QVERIFY(!Form2->Timer1->isActive());
    }

    // The real thanks window: it shows over the main screen, a tile tap works while it shows
    // and right after, and it closes by itself after its 3 seconds.
    void thanksClosesByItselfAndTilesAnswer()
    {
        m_services->onNotice = [](QWidget *owner, const QString &text, int ms) {
            NoticeWindow::show(owner, text, ms);
        };
        const qsizetype before = storedRows().size();
        QTest::mouseClick(Form1->Image4, Qt::LeftButton);
        QTRY_VERIFY(Form2->isVisible());
        QTest::mouseClick(Form2->Image5, Qt::LeftButton);
        QTest::mouseClick(Form2->RzButton1, Qt::LeftButton);
        QCOMPARE(storedRows().size(), before + 1);
        QPointer<NoticeWindow> thanks = NoticeWindow::current();
        QVERIFY(thanks && thanks->isVisible());
        QCOMPARE(thanks->textLabel()->text(), u"评价成功！谢谢。"_s);
        QCOMPARE(thanks->closeTimer()->interval(), 3000);
        QVERIFY(!Form2->isVisible());
        // It belongs to the main screen, over which it is centred.
        QCOMPARE(thanks->parentWidget(), Form1);
        QVERIFY((thanks->geometry().center() - Form1->geometry().center()).manhattanLength() <= 2);

        // The next visitor taps a tile while the thanks still shows.
        QTest::mouseClick(Form1->Image6, Qt::LeftButton);
        QTRY_VERIFY(Form2->isVisible());
        QCOMPARE(Form2->CnAALabel1->text(),
                 Form1->CnAALabel3->text() + u"  "_s + Form1->CnAALabel13->text());
        QTest::mouseClick(Form2->RzButton2, Qt::LeftButton);

        // Nobody touches it: it goes by itself, and the tiles still answer.
        QTRY_VERIFY_WITH_TIMEOUT(!thanks, 5000);
        QTest::mouseClick(Form1->Image7, Qt::LeftButton);
        QTRY_VERIFY(Form2->isVisible());
        QCOMPARE(Form2->CnAALabel1->text(),
                 Form1->CnAALabel4->text() + u"  "_s + Form1->CnAALabel14->text());
        m_services->onNotice = {};
    }

    void ratingWithoutDatabaseIsNotLost()
    {
        // The database is missing at start-up (reported), appears later, and the next rating
        // is stored: nothing is lost until the next start.
        cleanup();
        QFile::remove(m_dir.filePath(u"db.dll"_s));
        m_services = std::make_unique<RecordingServices>(m_dir.path(), m_dir.path());
        CreateForms();
        QCOMPARE(m_services->errors.size(), 2);
        QVERIFY(!QFile::exists(m_dir.filePath(u"db.dll"_s)));
        Form1->showKiosk();

        QTest::mouseClick(Form1->Image4, Qt::LeftButton);
        QTest::mouseClick(Form2->Image1, Qt::LeftButton);
        QTest::mouseClick(Form2->RzButton1, Qt::LeftButton);
        QCOMPARE(m_services->noticeTexts(), QStringList{u"评价失败！"_s});
        QVERIFY(!QFile::exists(m_dir.filePath(u"db.dll"_s)));

        store::createDatabaseFile(m_dir.filePath(u"db.dll"_s));
        QTest::mouseClick(Form1->Image4, Qt::LeftButton);
        QTest::mouseClick(Form2->Image5, Qt::LeftButton);
        QTest::mouseClick(Form2->RzButton1, Qt::LeftButton);
        QCOMPARE(m_services->noticeTexts().last(), u"评价成功！谢谢。"_s);
        const QList<Row> rows = storedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].grade, u"非常满意"_s);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
