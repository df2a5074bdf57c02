// The report's counts from table 评价: hand-made tables read through the aggregate statements,
// the plans of those statements, and how an unreadable database is told apart.
#include "reports/reportsource.h"
#include "store/schema.h"
#include "store/statements.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
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

QString line(const Figures &f)
{
    QStringList cells = {f.name, QString::number(f.ratings), f.scoreText(), f.rateText()};
    for (qint64 c : f.per)
        cells << QString::number(c);
    return cells.join(u'|');
}

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
        const Report r = makeReport(from, to, Period::Day, counts.byName, counts.byDay);
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

    // Both aggregates read only the date range of a covering index, whatever the table held
    // when the schema tool ran.
    void plans_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<int>("rowsBeforeTool");
        QTest::addColumn<QString>("index");
        for (const int rows : {0, 2000}) {
            QTest::addRow("by name, %d rows before the tool", rows)
                << countsByNameStatement() << rows << u"评价_名称_评价_日期"_s;
            QTest::addRow("by day, %d rows before the tool", rows)
                << countsByDayStatement() << rows << u"评价_评价_日期"_s;
        }
    }
    void plans()
    {
        QFETCH(QString, statement);
        QFETCH(int, rowsBeforeTool);
        QFETCH(QString, index);
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
        QVERIFY2(lines.size() == 1, qPrintable(lines.join(u" | "_s)));
        QVERIFY2(lines.first().startsWith(u"SEARCH 评价 USING COVERING INDEX "_s + index + u" ("_s),
                 qPrintable(lines.first()));
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
