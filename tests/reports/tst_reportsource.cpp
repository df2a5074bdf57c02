// The report's counts from table 评价: hand-made tables read through the aggregate statements,
// the plans of those statements, and how an unreadable database is told apart.
#include "reports/reportsource.h"
#include "store/schema.h"
#include "store/statements.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace reports;

namespace {

// Runs body on a fresh connection to path and removes the connection again.
template <typename F> bool withDb(const QString &path, F &&body, const QString &options = {})
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"test-fill"_s);
        db.setDatabaseName(path);
        db.setConnectOptions(options);
        ok = db.open() && body(db);
        db.close();
    }
    QSqlDatabase::removeDatabase(u"test-fill"_s);
    return ok;
}

// Rows "name|date|grade" into table 评价; a grade of "NULL" stores no value.
bool insertRows(const QString &path, const QStringList &rows)
{
    return withDb(path, [&](QSqlDatabase &db) {
        // One transaction: each commit of the kiosk's database waits for the disk.
        if (!db.transaction())
            return false;
        QSqlQuery insert(db);
        if (!insert.prepare(statements::appendRow()))
            return false;
        for (const QString &row : rows) {
            const QStringList f = row.split(u'|');
            insert.addBindValue(f.at(0));
            insert.addBindValue(f.at(1));
            insert.addBindValue(u"09:30:00"_s);
            insert.addBindValue(f.at(2) == u"NULL"_s ? QVariant() : QVariant(f.at(2)));
            if (!insert.exec())
                return false;
        }
        return db.commit();
    });
}

// Every row of a statement's result, its fields joined by '|'.
QStringList dump(const QString &path, const QString &statement)
{
    QStringList rows;
    withDb(path, [&](QSqlDatabase &db) {
        QSqlQuery q(db);
        if (!q.exec(statement))
            return false;
        while (q.next()) {
            QStringList fields;
            for (int i = 0; i < q.record().count(); ++i)
                fields << (q.isNull(i) ? u"NULL"_s : q.value(i).toString());
            rows << fields.join(u'|');
        }
        return true;
    });
    return rows;
}

bool runAll(const QString &path, const QStringList &statements)
{
    return withDb(path, [&](QSqlDatabase &db) {
        for (const QString &statement : statements) {
            // The kiosk's clear of all ratings (the stats window's 清除全部数据).
            if (statement == u"CLEAR"_s) {
                try {
                    store::deleteAllRatings(db);
                } catch (const KioskError &e) {
                    qWarning("%s", qPrintable(e.message()));
                    return false;
                }
                continue;
            }
            QSqlQuery q(db);
            if (!q.exec(statement)) {
                qWarning("%s", qPrintable(statement));
                return false;
            }
        }
        return true;
    });
}

bool readsDaily(const QString &path)
{
    bool daily = false;
    withDb(path, [&](QSqlDatabase &db) {
        daily = readsDailyCounts(db);
        return true;
    });
    return daily;
}

QString line(const Figures &f)
{
    QStringList cells = {f.name, QString::number(f.ratings), f.scoreText(), f.rateText()};
    for (qint64 c : f.per)
        cells << QString::number(c);
    return cells.join(u'|');
}

// The whole report of a file for a range: ranking, ratings outside the five grades, trend.
QStringList reportLines(const QString &path, const QDate &from, const QDate &to)
{
    const Counts counts = readCountsFromFile(path, from, to);
    const Report r = makeReport(from, to, Period::Day, counts.byName, counts.byDay);
    QStringList lines;
    for (const Figures &f : r.ranking)
        lines << line(f);
    lines << u"outside %1"_s.arg(r.outsideGrades);
    for (const TrendPoint &p : r.trend)
        lines << u"%1 %2"_s.arg(p.label, line(p.figures));
    return lines;
}

const QString DailyRows = u"select 日期, 名称, 综合评价, 数量 from 评价_日计 order by 1, 2, 3"_s;
const QString CountedRows =
    u"select coalesce(日期, ''), coalesce(名称, ''), coalesce(综合评价, ''), count(*) "
    "from 评价 group by 1, 2, 3 order by 1, 2, 3"_s;

} // namespace

class TestReportSource : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_files = 0;
    QString newPath() { return m_dir.filePath(u"db%1.dll"_s.arg(++m_files)); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void figuresFromTable_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QStringList>("ranking");
        QTest::addColumn<qint64>("outside");
        QTest::addColumn<QStringList>("trend"); // label|评价数

        const QStringList hall = {
            u"1号窗口  社保|2026-12-01|非常满意"_s,    u"1号窗口  社保|2026-12-01|比较满意"_s,
            u"1号窗口  社保|2026-12-03|一般"_s,        u"张明  综合受理|2026-12-02|非常满意"_s,
            u"张明  综合受理|2026-12-02|不满意"_s,     u"李红, \"前台\"|2026-12-03|比较满意"_s,
            u"李红, \"前台\"|2026-11-30|非常不满意"_s, u"王五|2026-12-04|非常满意"_s,
            u"1号窗口  社保|2026-12-02|满意"_s,        u"王五|2026-12-02|NULL"_s,
        };
        QTest::newRow("ties, a comma and a quote, grades outside the five")
            << hall << QDate(2026, 12, 1) << QDate(2026, 12, 3)
            << QStringList{u"1号窗口  社保|3|80.0|66.7|1|1|1|0|0"_s,
                           u"李红, \"前台\"|1|80.0|100.0|0|1|0|0|0"_s,
                           u"张明  综合受理|2|65.0|50.0|1|0|0|1|0"_s}
            << qint64(2) << QStringList{u"12-01|2"_s, u"12-02|2"_s, u"12-03|2"_s};
        QTest::newRow("both ends of the range included")
            << hall << QDate(2026, 11, 30) << QDate(2026, 12, 4)
            << QStringList{u"王五|1|100.0|100.0|1|0|0|0|0"_s,
                           u"1号窗口  社保|3|80.0|66.7|1|1|1|0|0"_s,
                           u"张明  综合受理|2|65.0|50.0|1|0|0|1|0"_s,
                           u"李红, \"前台\"|2|40.0|50.0|0|1|0|0|1"_s}
            << qint64(2)
            << QStringList{u"11-30|1"_s, u"12-01|2"_s, u"12-02|2"_s, u"12-03|2"_s, u"12-04|1"_s};
        QTest::newRow("one rating") << hall << QDate(2026, 12, 4) << QDate(2026, 12, 4)
                                    << QStringList{u"王五|1|100.0|100.0|1|0|0|0|0"_s} << qint64(0)
                                    << QStringList{u"12-04|1"_s};
        QTest::newRow("an empty range")
            << hall << QDate(2026, 10, 1) << QDate(2026, 10, 2) << QStringList() << qint64(0)
            << QStringList{u"10-01|0"_s, u"10-02|0"_s};
        QTest::newRow("an empty table") << QStringList() << QDate(2026, 12, 1) << QDate(2026, 12, 1)
                                        << QStringList() << qint64(0) << QStringList{u"12-01|0"_s};
    }
    void figuresFromTable()
    {
        QFETCH(QStringList, rows);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QStringList, ranking);
        QFETCH(qint64, outside);
        QFETCH(QStringList, trend);
        const QString path = newPath();
        store::createDatabaseFile(path);
        QVERIFY(insertRows(path, rows));

        const Counts counts = readCountsFromFile(path, from, to);
        // Every name ranked, so the order is the score's whatever the counts.
        const Report r = makeReport(from, to, Period::Day, counts.byName, counts.byDay, 1);
        QStringList got;
        for (const Figures &f : r.ranking)
            got << line(f);
        QCOMPARE(got, ranking);
        QCOMPARE(r.outsideGrades, outside);
        QStringList points;
        for (const TrendPoint &p : r.trend)
            points << u"%1|%2"_s.arg(p.label).arg(p.figures.ratings);
        QCOMPARE(points, trend);
        // The file is closed again: it can be removed and nothing of it is held open.
        QVERIFY(QFile::remove(path));
    }

    // The daily table stays exactly the count of table 评价 through inserts, deletes and
    // changes, and after the schema tool counted an existing file; the report read through it
    // equals the report read from table 评价 itself.
    void dailyCounts_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<bool>("rowsBeforeTool"); // an old file: only table 评价, then the tool
        QTest::addColumn<QStringList>("after");   // statements run after the tool
        QTest::addColumn<bool>("toolAgain");
        QTest::addColumn<int>("dailyRows");

        const QStringList hall = {
            u"1号窗口  社保|2026-12-01|非常满意"_s,
            u"1号窗口  社保|2026-12-01|非常满意"_s,
            u"1号窗口  社保|2026-12-03|一般"_s,
            u"张明  综合受理|2026-12-02|不满意"_s,
            u"李红, \"前台\"|2026-12-03|比较满意"_s,
            u"O'Brien|2026-11-30|非常不满意"_s,
            u"王五|2026-12-04|很好"_s,
            u"王五|2026-12-02|NULL"_s,
            u"王五|2026-12-02|满意"_s,
        };
        const QString deleteOne = u"delete from 评价 where rowid = (select min(rowid) from 评价)"_s;
        QTest::newRow("inserts, a quote, grades outside the five")
            << hall << false << QStringList() << false << 8;
        QTest::newRow("delete one of two equal ratings")
            << hall << false << QStringList{deleteOne} << false << 8;
        QTest::newRow("delete the only rating of its day")
            << hall << false << QStringList{u"delete from 评价 where 名称 = 'O''Brien'"_s} << false
            << 7;
        QTest::newRow("clear all")
            << hall << false << QStringList{u"delete from 评价"_s} << false << 0;
        QTest::newRow("clear all by the store")
            << hall << false << QStringList{u"CLEAR"_s} << false << 0;
        QTest::newRow("clear all by the store, then a rating and a delete")
            << hall << false
            << QStringList{u"CLEAR"_s,
                           u"insert into 评价 values ('王五', '2026-12-02', '10:00:00', '一般')"_s,
                           u"insert into 评价 values ('王五', '2026-12-02', '10:00:00', '一般')"_s,
                           deleteOne}
            << false << 1;
        QTest::newRow("clear all by the store of a file without daily counts")
            << hall << false
            << QStringList{u"drop trigger 评价_日计_加"_s, u"CLEAR"_s,
                           u"insert into 评价 values ('王五', '2026-12-02', '10:00:00', '一般')"_s}
            << true << 1;
        QTest::newRow("clear all, then a new rating")
            << hall << false
            << QStringList{u"delete from 评价"_s,
                           u"insert into 评价 values ('王五', '2026-12-02', '10:00:00', '一般')"_s}
            << false << 1;
        QTest::newRow("change grade and date")
            << hall << false
            << QStringList{u"update 评价 set 综合评价 = '满意', 日期 = '2026-12-04' "
                           "where 名称 = '张明  综合受理'"_s}
            << false << 8;
        QTest::newRow("a change of the time only")
            << hall << false << QStringList{u"update 评价 set 时间 = '23:59:59'"_s} << false << 8;
        QTest::newRow("back-fill of an old file")
            << hall << true << QStringList{deleteOne} << false << 8;
        QTest::newRow("the tool run again counts nothing twice")
            << hall << true << QStringList() << true << 8;
        QTest::newRow("a missing trigger: counted anew by the tool")
            << hall << false
            << QStringList{u"drop trigger 评价_日计_减"_s,
                           u"delete from 评价 where 名称 = '王五'"_s}
            << true << 5;
        QTest::newRow("an empty old file") << QStringList() << true << QStringList() << true << 0;
    }
    void dailyCounts()
    {
        QFETCH(QStringList, rows);
        QFETCH(bool, rowsBeforeTool);
        QFETCH(QStringList, after);
        QFETCH(bool, toolAgain);
        QFETCH(int, dailyRows);
        const QString path = newPath();
        if (rowsBeforeTool) {
            QVERIFY(runAll(path, {statements::createSchema().constFirst()}));
            QVERIFY(insertRows(path, rows));
            QVERIFY(!readsDaily(path));
            store::createDatabaseFile(path);
        } else {
            store::createDatabaseFile(path);
            QVERIFY(insertRows(path, rows));
        }
        QVERIFY(runAll(path, after));
        if (toolAgain)
            store::createDatabaseFile(path);

        const QStringList daily = dump(path, DailyRows);
        QCOMPARE(daily.size(), dailyRows);
        QCOMPARE(daily, dump(path, CountedRows));
        QVERIFY(readsDaily(path));

        // The same report from table 评价 itself: a copy without the daily table.
        const QString plain = newPath();
        QVERIFY(QFile::copy(path, plain));
        QVERIFY(runAll(plain, {u"drop table 评价_日计"_s}));
        QVERIFY(!readsDaily(plain));
        for (const auto &[from, to] : {std::pair{QDate(2026, 12, 1), QDate(2026, 12, 3)},
                                       std::pair{QDate(2026, 11, 1), QDate(2026, 12, 31)},
                                       std::pair{QDate(2026, 12, 4), QDate(2026, 12, 4)}})
            QCOMPARE(reportLines(path, from, to), reportLines(plain, from, to));
    }

    // The report reads the daily table when the file has it with all its triggers, and table
    // 评价 otherwise: a count changed behind the triggers' back shows only in the first case.
    void readsDailyTable_data()
    {
        QTest::addColumn<QString>("drop");
        QTest::addColumn<qint64>("ratings");
        QTest::newRow("complete") << QString() << qint64(41);
        QTest::newRow("insert trigger missing") << u"drop trigger 评价_日计_加"_s << qint64(2);
        QTest::newRow("delete trigger missing") << u"drop trigger 评价_日计_减"_s << qint64(2);
        QTest::newRow("update trigger missing") << u"drop trigger 评价_日计_改"_s << qint64(2);
    }
    void readsDailyTable()
    {
        QFETCH(QString, drop);
        QFETCH(qint64, ratings);
        const QString path = newPath();
        store::createDatabaseFile(path);
        QVERIFY(insertRows(path, {u"甲|2026-12-01|一般"_s, u"甲|2026-12-02|一般"_s}));
        QStringList change = {u"update 评价_日计 set 数量 = 40 where 日期 = '2026-12-01'"_s};
        if (!drop.isEmpty())
            change << drop;
        QVERIFY(runAll(path, change));
        const Counts counts = readCountsFromFile(path, QDate(2026, 12, 1), QDate(2026, 12, 31));
        qint64 total = 0;
        for (const NameGradeCount &c : counts.byName)
            total += c.count;
        QCOMPARE(total, ratings);
        total = 0;
        for (const DayGradeCount &c : counts.byDay)
            total += c.count;
        QCOMPARE(total, ratings);
    }

    // Both aggregates read only the date range of a covering index, whatever the table held
    // when the schema tool ran.
    void plans_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("rowsBeforeTool");
        QTest::addColumn<QString>("access");
        for (const int rows : {0, 2000}) {
            QTest::addRow("by name, %d rows before the tool", rows)
                << countsByNameStatement() << rows
                << u"SEARCH 评价 USING COVERING INDEX 评价_名称_评价_日期 ("_s;
            QTest::addRow("by day, %d rows before the tool", rows)
                << countsByDayStatement() << rows
                << u"SEARCH 评价 USING COVERING INDEX 评价_评价_日期 ("_s;
            QTest::addRow("daily by name, %d rows before the tool", rows)
                << dailyCountsByNameStatement() << rows
                << u"SEARCH 评价_日计 USING PRIMARY KEY ("_s;
            QTest::addRow("daily by day, %d rows before the tool", rows)
                << dailyCountsByDayStatement() << rows << u"SEARCH 评价_日计 USING PRIMARY KEY ("_s;
        }
    }
    void plans()
    {
        QFETCH(QString, statement);
        QFETCH(int, rowsBeforeTool);
        QFETCH(QString, access);
        const QString path = newPath();
        if (rowsBeforeTool) {
            QVERIFY(withDb(path, [](QSqlDatabase &db) {
                return QSqlQuery(db).exec(statements::createSchema().constFirst());
            }));
            QStringList rows;
            for (int i = 0; i < rowsBeforeTool; ++i)
                rows << u"%1号窗口|2026-%2-10|%3"_s.arg(i % 9)
                            .arg(i % 12 + 1, 2, 10, QChar(u'0'))
                            .arg(i % 3 ? u"一般"_s : u"非常满意"_s);
            QVERIFY(insertRows(path, rows));
        }
        store::createDatabaseFile(path);
        QStringList lines;
        QVERIFY(withDb(path, [&](QSqlDatabase &db) {
            QSqlQuery q(db);
            if (!q.prepare(u"explain query plan "_s + statement))
                return false;
            q.addBindValue(u"2026-01-01"_s);
            q.addBindValue(u"2026-12-31"_s);
            if (!q.exec())
                return false;
            while (q.next())
                lines << q.value(3).toString();
            return true;
        }));
        // The daily table's few rows of a year are grouped in a temporary tree; nothing else.
        const bool daily = access.contains(u"评价_日计"_s);
        QVERIFY2(lines.size() == 1 || (daily && lines.size() == 2 &&
                                       lines.last() == u"USE TEMP B-TREE FOR GROUP BY"_s),
                 qPrintable(lines.join(u" | "_s)));
        QVERIFY2(lines.first().startsWith(access), qPrintable(lines.first()));
        QVERIFY2(lines.first().contains(u"日期>? AND 日期<?"_s), qPrintable(lines.first()));
    }

    void unreadable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("missing file")
            << u"missing"_s << int(SourceFailure::Missing) << u"找不到数据库文件"_s;
        QTest::newRow("random bytes")
            << u"garbage"_s << int(SourceFailure::NotADatabase) << u"不是评价数据库"_s;
        QTest::newRow("empty file")
            << u"empty"_s << int(SourceFailure::NotADatabase) << u"不是评价数据库"_s;
        QTest::newRow("no table 评价")
            << u"notable"_s << int(SourceFailure::NotADatabase) << u"不是评价数据库"_s;
        QTest::newRow("a folder") << u"folder"_s << int(SourceFailure::NotADatabase)
                                  << u"不是数据库文件"_s;
        QTest::newRow("locked longer than the busy wait")
            << u"locked"_s << int(SourceFailure::Locked) << u"锁定"_s;
    }
    void unreadable()
    {
        QFETCH(QString, kind);
        QFETCH(int, failure);
        QFETCH(QString, messagePart);
        const QString path = newPath();
        QByteArray before;
        if (kind == u"garbage"_s) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            before = QByteArray(4096, '\x5a');
            f.write(before);
        } else if (kind == u"empty"_s) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == u"notable"_s) {
            QVERIFY(withDb(path, [](QSqlDatabase &db) {
                return QSqlQuery(db).exec(u"create table other (x)"_s);
            }));
        } else if (kind == u"folder"_s) {
            QVERIFY(QDir().mkpath(path));
        }

        // The lock: a rollback-journal database whose writer holds the exclusive lock.
        QSqlDatabase holder;
        if (kind == u"locked"_s) {
            store::createDatabaseFile(path);
            QVERIFY(insertRows(path, {u"甲|2026-12-01|一般"_s}));
            holder = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"holder"_s);
            holder.setDatabaseName(path);
            QVERIFY(holder.open());
            QVERIFY(QSqlQuery(holder).exec(u"pragma journal_mode=delete"_s));
            QVERIFY(QSqlQuery(holder).exec(u"begin exclusive"_s));
        }
        try {
            readCountsFromFile(path, QDate(2026, 12, 1), QDate(2026, 12, 31));
            QFAIL("no error");
        } catch (const SourceError &e) {
            QCOMPARE(int(e.failure()), failure);
            QVERIFY2(e.message().contains(messagePart), qPrintable(e.message()));
            QVERIFY2(e.message().contains(path), qPrintable(e.message()));
        }
        if (holder.isValid()) {
            QSqlQuery(holder).exec(u"rollback"_s);
            holder.close();
            holder = QSqlDatabase();
            QSqlDatabase::removeDatabase(u"holder"_s);
        }
        // Reading never creates or changes the file.
        if (kind == u"missing"_s)
            QVERIFY(!QFile::exists(path));
        if (kind == u"garbage"_s) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestReportSource)
#include "tst_reportsource.moc"
