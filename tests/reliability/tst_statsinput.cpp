// Whatever is typed or pasted into the statistics window's name box finds what it names and
// never changes the table: quotes, wildcards, control characters, NUL, 100 KB of text.
#include "kiosk/forms.h"
#include "platform/error.h"
#include "platform/widgets/rzbutton.h"
#include "stats/tform4.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/dbcheck.h"
#include "support/recorder.h"
#include "support/runfolder.h"
#include "support/startup.h"

#include "store/resultpages.h"
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using runfolder::RunFolder;

namespace {

const QStringList Names = {u"张三  一号窗口"_s, u"O'Brien  二号窗口"_s, u"100%  满意率"_s,
                           u"a_b  窗口"_s, u"李四  三号窗口"_s};

QList<QStringList> seedRows()
{
    QList<QStringList> rows;
    const QStringList grades = {u"非常满意"_s, u"一般"_s, u"不满意"_s, u"非常不满意"_s,
                                u"比较满意"_s};
    for (int i = 0; i < Names.size(); ++i)
        rows.append({Names[i], u"2024-03-0%1"_s.arg(i + 1), u"10:00:00"_s, grades[i]});
    return rows;
}

// The names in the grid's result set, all rows fetched.
QStringList shownNames()
{
    QStringList names;
    for (const QStringList &row : allRows(DataModule3->DataSource1(), 1))
        names.append(row.first());
    return names;
}

} // namespace

class TestStatsInput : public QObject
{
    Q_OBJECT

private:
    StartupRun m_run;

private slots:
    void init()
    {
        QVERIFY(m_run.begin());
        for (const QStringList &row : seedRows()) {
            QStringList values;
            for (const QString &v : row)
                values.append(u'\'' + QString(v).replace(u'\'', u"''"_s) + u'\'');
            QVERIFY(dbcheck::rows(m_run.folder->db(),
                                  u"insert into 评价 values (%1)"_s.arg(values.join(u',')))
                        .isEmpty());
        }
    }

    void cleanup() { m_run.end(); }

    void nameBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("found"); // rows of the listing, by name
        QTest::addColumn<QString>("error");     // empty: none

        const QString zhang = Names[0], obrien = Names[1], percent = Names[2],
                      underscore = Names[3], li = Names[4];
        QStringList all = Names;
        std::sort(all.begin(), all.end());
        const QStringList none;

        QTest::newRow("a single quote") << u"'"_s << QStringList{obrien} << QString();
        QTest::newRow("a name with a quote") << u"O'Brien"_s << QStringList{obrien} << QString();
        QTest::newRow("two quotes") << u"''"_s << none << QString();
        QTest::newRow("quote ends the literal early") << u"x') or ('1'='1"_s << none << QString();
        QTest::newRow("a statement after a quote")
            << u"'); DELETE FROM 评价; --"_s << none << QString();
        QTest::newRow("a comment after a quote") << u"' --"_s << none << QString();
        QTest::newRow("backslash before a quote") << u"\\'"_s << none << QString();
        QTest::newRow("percent is a wildcard") << u"%"_s << all << QString();
        QTest::newRow("percent inside a name") << u"100%"_s << QStringList{percent} << QString();
        QTest::newRow("underscore is a wildcard") << u"_"_s << all << QString();
        QTest::newRow("underscore inside a name")
            << u"a_b"_s << QStringList{underscore} << QString();
        QTest::newRow("control characters at the ends are trimmed")
            << u"\t\r\n张三\u0001\u001f"_s << QStringList{zhang} << QString();
        QTest::newRow("a control character inside") << u"张\u0001三"_s << none << QString();
        QTest::newRow("DEL and C1 controls inside") << u"李\u007f\u0085四"_s << none << QString();
        QTest::newRow("NUL alone is trimmed like a blank") << QString(QChar(0)) << all << QString();
        // A NUL cannot stand in statement text: it is left out of the filter.
        QTest::newRow("NUL inside")
            << u"张"_s + QChar(0) + u"三"_s << QStringList{zhang} << QString();
        QTest::newRow("NUL after a quote")
            << u"O'"_s + QChar(0) + u"') or 1=1 --"_s << none << QString();
        QTest::newRow("a lone surrogate") << QString(QChar(0xD800)) << none << QString();
        QTest::newRow("emoji") << u"😀"_s << none << QString();
        // The box takes 32767 characters; that many as a pattern exceed what the engine matches.
        QTest::newRow("100 KB of text")
            << QString(100 * 1024, u'长') << none << u"LIKE or GLOB pattern too complex."_s;
        QTest::newRow("100 KB of quotes") << QString(100 * 1024, u'\'') << none << QString();
    }
    void nameBox()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, found);
        QFETCH(QString, error);
        const QList<QStringList> before = dbcheck::table(m_run.folder->db());

        CreateForms();
        QCOMPARE(m_run.rec->errors, QStringList());
        Form4->show();
        Form4->DateTimePicker1->setDate(QDate(2024, 1, 1));
        Form4->DateTimePicker2->setDate(QDate(2024, 12, 31));
        Form4->Edit1->setText(typed);
        // Pasted, as it stands, up to the box's own limit.
        QCOMPARE(Form4->Edit1->text(), typed.left(Form4->Edit1->maxLength()));

        Form4->RzButton1->click(); // 查  询
        QCOMPARE(m_run.rec->errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(shownNames(), found);

        // The count, with and without a grade filter, finds the same names.
        m_run.rec->clearRecords();
        Form4->RzButton2->click(); // 统  计
        QCOMPARE(m_run.rec->errors, error.isEmpty() ? QStringList() : QStringList{error});
        QStringList counted = shownNames();
        std::sort(counted.begin(), counted.end());
        QCOMPARE(counted, found);
        m_run.rec->clearRecords();
        Form4->ComboBox1->setCurrentText(u"一般"_s);
        Form4->RzButton1->click();
        QCOMPARE(m_run.rec->errors, error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(shownNames(), found.contains(Names[1]) ? QStringList{Names[1]} : QStringList());

        QCOMPARE(dbcheck::table(m_run.folder->db()), before);
        QCOMPARE(dbcheck::integrity(m_run.folder->db()), u"ok"_s);
    }

    // Past the box's limit, straight into the statements: 100 KB and a megabyte of text either
    // find nothing or end in the engine's error, and never change the table.
    void longTextInTheStatement_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("100 KB of quotes") << QString(100 * 1024, u'\'');
        QTest::newRow("100 KB of a quote and a statement")
            << QString(u"'); DELETE FROM 评价; --"_s).repeated(100 * 1024 / 24);
        QTest::newRow("a megabyte of text") << QString(1024 * 1024, u'x');
    }
    void longTextInTheStatement()
    {
        QFETCH(QString, name);
        const QList<QStringList> before = dbcheck::table(m_run.folder->db());
        TDataModule3 module(m_run.folder->root(), m_run.rec->clock());
        module.OpenConnection();
        for (const bool listing : {true, false}) {
            try {
                if (listing)
                    module.ShowListing(name, u"不限制"_s, u"2024-01-01"_s, u"2024-12-31"_s);
                else
                    module.ShowCounts(name, u"一般"_s, u"2024-01-01"_s, u"2024-12-31"_s);
                QCOMPARE(module.DataSource1()->rowCount(), 0);
            } catch (const KioskError &e) {
                QCOMPARE(e.message(), u"LIKE or GLOB pattern too complex"_s);
            }
        }
        QCOMPARE(dbcheck::table(m_run.folder->db()), before);
        QCOMPARE(dbcheck::integrity(m_run.folder->db()), u"ok"_s);
    }
};

QTEST_MAIN(TestStatsInput)
#include "tst_statsinput.moc"
