// The statistics statements read only their date range of a fitting index, in the order their
// result needs, whether the table is empty, small or large: the schema tool's indexes and planner
// statistics decide the plan, not how many rows the table held when the tool ran.
#include "store/schema.h"
#include "store/statements.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestQueryPlans : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // The plan's lines as the engine reports them for statement on the database at path.
    static QStringList plan(const QString &path, const QString &statement)
    {
        QStringList lines;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"plan"_s);
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery q(db);
                if (q.exec(u"explain query plan "_s + statement)) {
                    while (q.next())
                        lines << q.value(3).toString();
                } else {
                    lines << u"error"_s;
                }
            }
        }
        QSqlDatabase::removeDatabase(u"plan"_s);
        return lines;
    }

    static void fill(const QString &path, int rows)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"fill"_s);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        db.transaction();
        QSqlQuery insert(db);
        insert.prepare(statements::appendRow());
        for (int i = 0; i < rows; ++i) {
            insert.addBindValue(u"%1号窗口  综合业务"_s.arg(i % 7));
            insert.addBindValue(u"2023-%1-%2"_s.arg(i % 12 + 1, 2, 10, QChar(u'0'))
                                    .arg(i % 28 + 1, 2, 10, QChar(u'0')));
            insert.addBindValue(u"10:00:00"_s);
            insert.addBindValue(i % 2 ? u"一般"_s : u"非常满意"_s);
            QVERIFY(insert.exec());
        }
        QVERIFY(db.commit());
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"fill"_s);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void readsTheRangeOfAFittingIndex_data()
    {
        QTest::addColumn<int>("rowsBeforeTool");
        QTest::addColumn<int>("rowsAfterTool");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("index");
        const QString y0 = u"2023-01-01"_s, y1 = u"2023-12-31"_s, any = u"不限制"_s;
        const QString name = u"3号窗口"_s, grade = u"不满意"_s;
        struct Case
        {
            const char *label;
            QString statement, index;
        };
        const QList<Case> cases = {
            {"listing", statements::listing(any, any, y0, y1), u"评价_名称_日期"_s},
            {"listing by name and grade", statements::listing(name, grade, y0, y1),
             u"评价_名称_日期"_s},
            {"count", statements::count(any, any, y0, y1), u"评价_名称_评价_日期"_s},
            {"count by name", statements::count(name, any, y0, y1), u"评价_名称_评价_日期"_s},
            {"count by grade", statements::count(any, grade, y0, y1), u"评价_名称_评价_日期"_s},
            {"overall", statements::overall(y0, y1), u"评价_评价_日期"_s},
        };
        for (const Case &c : cases) {
            QTest::addRow("%s, empty table", c.label) << 0 << 0 << c.statement << c.index;
            QTest::addRow("%s, tool ran on an empty table that grew", c.label)
                << 0 << 3000 << c.statement << c.index;
            QTest::addRow("%s, tool ran on a full table", c.label)
                << 3000 << 0 << c.statement << c.index;
        }
    }
    void readsTheRangeOfAFittingIndex()
    {
        QFETCH(int, rowsBeforeTool);
        QFETCH(int, rowsAfterTool);
        QFETCH(QString, statement);
        QFETCH(QString, index);
        const QString path =
            m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".dll"_s);
        if (rowsBeforeTool) {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"raw"_s);
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(statements::createSchema().constFirst()));
                db.close();
            }
            QSqlDatabase::removeDatabase(u"raw"_s);
            fill(path, rowsBeforeTool);
        }
        store::createDatabaseFile(path);
        fill(path, rowsAfterTool);

        const QStringList lines = plan(path, statement);
        QVERIFY2(lines.size() == 1, qPrintable(lines.join(u" | "_s)));
        // A search by the date range (not a scan of the whole index), with nothing to sort.
        QVERIFY2(lines.first().startsWith(u"SEARCH 评价 USING COVERING INDEX "_s + index + u" ("_s),
                 qPrintable(lines.first()));
        QVERIFY2(lines.first().contains(u"日期>? AND 日期<?"_s), qPrintable(lines.first()));
    }
};

QTEST_GUILESS_MAIN(TestQueryPlans)
#include "tst_queryplans.moc"
