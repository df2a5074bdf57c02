#include "platform/error.h"
#include "store/schema.h"
#include "store/statements.h"
#include "store/tdatamodule3.h"
#include "support/files.h"
#include "support/recorder.h"

#include "store/resultpages.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(EvaluationRecord)

namespace {

// A connection of the test's own, beside the module's, to look at the file directly.
class RawDb
{
public:
    explicit RawDb(const QString &path) : m_name(u"raw-%1"_s.arg(++s_counter))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_name);
        db.setDatabaseName(path);
        db.setConnectOptions(u"QSQLITE_BUSY_TIMEOUT=100"_s);
        m_open = db.open();
    }
    ~RawDb()
    {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool isOpen() const { return m_open; }

    bool exec(const QString &text)
    {
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        const bool ok = q.exec(text);
        if (!ok)
            qWarning() << text << q.lastError().text();
        return ok;
    }
    QList<QStringList> rows(const QString &text)
    {
        QList<QStringList> result;
        QSqlQuery q(QSqlDatabase::database(m_name, false));
        if (!q.exec(text)) {
            qWarning() << text << q.lastError().text();
            return result;
        }
        while (q.next()) {
            QStringList row;
            for (int c = 0; c < q.record().count(); ++c)
                row << (q.value(c).isNull() ? u"<null>"_s : q.value(c).toString());
            result << row;
        }
        return result;
    }
    QString value(const QString &text)
    {
        const auto r = rows(text);
        return r.isEmpty() || r.first().isEmpty() ? QString() : r.first().first();
    }
    int count() { return value(u"select count(*) from 评价"_s).toInt(); }
    void insert(const QList<EvaluationRecord> &records)
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.transaction();
        QSqlQuery q(db);
        q.prepare(u"insert into 评价 (名称,日期,时间,综合评价) values (?,?,?,?)"_s);
        for (const auto &r : records) {
            q.addBindValue(r.name);
            q.addBindValue(r.date);
            q.addBindValue(r.time);
            q.addBindValue(r.grade);
            if (!q.exec())
                qWarning() << q.lastError().text();
        }
        db.commit();
    }

private:
    static inline int s_counter = 0;
    QString m_name;
    bool m_open = false;
};

QString dbPath(const QTemporaryDir &dir)
{
    return dir.filePath(u"db.dll"_s);
}

// Every row of the model, all columns joined by "|", after fetching everything.
QStringList modelRows(ResultPages *model)
{
    while (model->canFetchMore())
        model->fetchMore();
    QStringList result;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->data(model->index(r, c)).toString();
        result << cells.join(u'|');
    }
    return result;
}

QString joined(const EvaluationRecord &r)
{
    return QStringList{r.name, r.date, r.time, r.grade}.join(u'|');
}

const QString ZhangSan = u"1号窗口  张三"_s;
const QString LiSi = u"2号窗口  李四"_s;
const QString OBrien = u"O'Brien  窗口"_s;
const QString Unrestricted = u"不限制窗口"_s;

// The filter tests' table. Names and dates are chosen so that ordering by name and date is
// unique.
const QList<EvaluationRecord> Seed = {
    {ZhangSan, u"2015-05-13"_s, u"09:00:00"_s, u"一般"_s},     // 0: first day of the range
    {ZhangSan, u"2026-12-07"_s, u"17:00:00"_s, u"非常满意"_s}, // 1: last day of the range
    {ZhangSan, u"2015-05-12"_s, u"09:00:00"_s, u"一般"_s},     // 2: day before the range
    {ZhangSan, u"2026-12-08"_s, u"09:00:00"_s, u"一般"_s},     // 3: day after the range
    {LiSi, u"2020-06-01"_s, u"10:00:00"_s, u"不满意"_s},       // 4
    {LiSi, u"2020-06-02"_s, u"10:00:00"_s, u"非常不满意"_s},   // 5
    {LiSi, u"2020-06-03"_s, u"10:00:00"_s, u"比较满意"_s},     // 6
    {OBrien, u"2020-06-04"_s, u"10:00:00"_s, u"非常满意"_s},   // 7
    {Unrestricted, u"2020-06-05"_s, u"11:00:00"_s, u"一般"_s}, // 8
    {ZhangSan, u"2020-01-01"_s, u"08:00:00"_s, u"一般"_s},     // 9
};

QStringList seedRows(const QList<int> &indexes)
{
    QStringList rows;
    for (int i : indexes)
        rows << joined(Seed.at(i));
    return rows;
}

void seedDatabase(const QString &path, const QList<EvaluationRecord> &records)
{
    store::createDatabaseFile(path);
    RawDb raw(path);
    QVERIFY(raw.isOpen());
    raw.insert(records);
    QCOMPARE(raw.count(), records.size());
}

// Each result of the module, and the rows it shows.
QStringList allRows(TDataModule3 &module)
{
    module.ShowAll();
    return modelRows(module.DataSource1());
}
QStringList listingRows(TDataModule3 &module, const QString &nameBox, const QString &gradeBox,
                        const QString &start, const QString &end)
{
    module.ShowListing(nameBox, gradeBox, start, end);
    return modelRows(module.DataSource1());
}
QStringList countRows(TDataModule3 &module, const QString &nameBox, const QString &gradeBox,
                      const QString &start, const QString &end)
{
    module.ShowCounts(nameBox, gradeBox, start, end);
    return modelRows(module.DataSource1());
}
QStringList overallRows(TDataModule3 &module, const QString &start, const QString &end)
{
    module.ShowOverall(start, end);
    return modelRows(module.DataSource1());
}

// The archive a clear writes in the test's folder.
QString archivePath(const QTemporaryDir &dir)
{
    static int n = 0;
    return dir.filePath(u"archive-%1.db"_s.arg(++n));
}

} // namespace

class TestTDataModule3 : public QObject
{
    Q_OBJECT

private slots:
    void listing_data()
    {
        QTest::addColumn<QString>("nameBox");
        QTest::addColumn<QString>("gradeBox");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("expected");

        const QString s = u"2015-05-13"_s;
        const QString e = u"2026-12-07"_s;
        // Ordered by name (1号…, 2号…, O'Brien…, 不限制…), then by date.
        const QStringList all = seedRows({0, 9, 1, 4, 5, 6, 7, 8});
        QTest::newRow("both ends of the range included")
            << u"不限制"_s << u"不限制"_s << s << e << all;
        QTest::newRow("end before start gives no rows")
            << u"不限制"_s << u"不限制"_s << e << s << QStringList();
        QTest::newRow("不满意 also selects 非常不满意")
            << u"不限制"_s << u"不满意"_s << s << e << seedRows({4, 5});
        QTest::newRow("非常满意 selects only 非常满意")
            << u"不限制"_s << u"非常满意"_s << s << e << seedRows({1, 7});
        QTest::newRow("name part anywhere in the name")
            << u"张三"_s << u"不限制"_s << s << e << seedRows({0, 9, 1});
        QTest::newRow("name and grade") << u"窗口"_s << u"一般"_s << s << e << seedRows({0, 9, 8});
        QTest::newRow("leading blank before 不限制 applies the name filter")
            << u" 不限制"_s << u"不限制"_s << s << e << seedRows({8});
        QTest::newRow("empty name box matches every name")
            << QString() << u"不限制"_s << s << e << all;
        QTest::newRow("underscore is a wildcard")
            << u"1_窗口"_s << u"不限制"_s << s << e << seedRows({0, 9, 1});
        QTest::newRow("name with a single quote")
            << u"O'Brien"_s << u"不限制"_s << s << e << seedRows({7});
        QTest::newRow("injection attempt finds nothing")
            << u"x') or 1=1 or ('"_s << u"不限制"_s << s << e << QStringList();
        QTest::newRow("statement appended to the name changes nothing")
            << u"'); delete from 评价; --"_s << u"不限制"_s << s << e << QStringList();
        QTest::newRow("quote in the grade finds nothing")
            << u"不限制"_s << u"一般') or ('1'='1"_s << s << e << QStringList();
        // The text sorts just after "2015-05-13": only that first day drops out; had the
        // quote ended the literal, every row would be listed.
        QTest::newRow("quote in a date stays part of the date text")
            << u"不限制"_s << u"不限制"_s << u"2015-05-13' or '1'='1"_s << e
            << seedRows({9, 1, 4, 5, 6, 7, 8});
    }
    void listing()
    {
        QFETCH(QString, nameBox);
        QFETCH(QString, gradeBox);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, expected);

        QTemporaryDir dir;
        seedDatabase(dbPath(dir), Seed);
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        QCOMPARE(listingRows(module, nameBox, gradeBox, start, end), expected);
        QVERIFY(module.showsTableRows());
        // Whatever was typed, the statement only reads.
        RawDb raw(dbPath(dir));
        QCOMPARE(raw.count(), Seed.size());
    }

    void count_data()
    {
        QTest::addColumn<QString>("nameBox");
        QTest::addColumn<QString>("gradeBox");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("no filter counts per name and grade")
            << u"不限制"_s << u"不限制"_s
            << QStringList{ZhangSan + u"|一般|2"_s,    ZhangSan + u"|非常满意|1"_s,
                           LiSi + u"|不满意|1"_s,      LiSi + u"|非常不满意|1"_s,
                           LiSi + u"|比较满意|1"_s,    OBrien + u"|非常满意|1"_s,
                           Unrestricted + u"|一般|1"_s};
        QTest::newRow("grade 不满意 counts both 不满意 words")
            << u"不限制"_s << u"不满意"_s
            << QStringList{LiSi + u"|不满意|1"_s, LiSi + u"|非常不满意|1"_s};
        QTest::newRow("name and grade")
            << u"窗口"_s << u"一般"_s
            << QStringList{ZhangSan + u"|一般|2"_s, Unrestricted + u"|一般|1"_s};
        QTest::newRow("injection attempt counts nothing")
            << u"x') or 1=1 or ('"_s << u"不限制"_s << QStringList();
    }
    void count()
    {
        QFETCH(QString, nameBox);
        QFETCH(QString, gradeBox);
        QFETCH(QStringList, expected);

        QTemporaryDir dir;
        seedDatabase(dbPath(dir), Seed);
        TDataModule3 module(dir.path(), fixedClock());
        QStringList rows = countRows(module, nameBox, gradeBox, u"2015-05-13"_s, u"2026-12-07"_s);
        // No order is requested: compare as sets.
        rows.sort();
        expected.sort();
        QCOMPARE(rows, expected);
        QVERIFY(!module.showsTableRows());
    }

    void overall_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("whole range") << u"2015-05-13"_s << u"2026-12-07"_s
                                     << QStringList{u"一般|3"_s, u"非常满意|2"_s, u"不满意|1"_s,
                                                    u"非常不满意|1"_s, u"比较满意|1"_s};
        QTest::newRow("part of the range")
            << u"2020-06-01"_s << u"2020-06-03"_s
            << QStringList{u"不满意|1"_s, u"非常不满意|1"_s, u"比较满意|1"_s};
    }
    void overall()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, expected);

        QTemporaryDir dir;
        seedDatabase(dbPath(dir), Seed);
        TDataModule3 module(dir.path(), fixedClock());
        // A filtered listing first: the overall result does not depend on it.
        listingRows(module, u"张三"_s, u"一般"_s, start, end);
        QStringList rows = overallRows(module, start, end);
        rows.sort();
        expected.sort();
        QCOMPARE(rows, expected);
        QVERIFY(!module.showsTableRows());
    }

    void emptyTable()
    {
        QTemporaryDir dir;
        store::createDatabaseFile(dbPath(dir));
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        module.OpenStartupQuery();
        module.Refresh();
        QCOMPARE(module.DataSource1()->rowCount(), 0);
        QVERIFY(module.showsTableRows());
        QCOMPARE(countRows(module, u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s),
                 QStringList());
        QCOMPARE(overallRows(module, u"2015-05-13"_s, u"2026-12-07"_s), QStringList());
    }

    void appendRoundTrip()
    {
        QTemporaryDir dir;
        store::createDatabaseFile(dbPath(dir));
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        module.OpenStartupQuery();
        const EvaluationRecord first{ZhangSan, u"2024-03-01"_s, u"09:15:00"_s, u"非常满意"_s};
        module.Append(first);

        // The grid holds a count result; the append still reaches 评价 with all four fields.
        const QString counting =
            statements::count(u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s);
        QCOMPARE(countRows(module, u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s),
                 QStringList{ZhangSan + u"|非常满意|1"_s});
        const EvaluationRecord second{u"O'Neil  \"窗口\""_s, u"2024-03-02"_s, u"23:59:59"_s,
                                      u"非常不满意"_s};
        module.Append(second);
        QCOMPARE(module.statement(), counting);

        RawDb raw(dbPath(dir));
        QCOMPARE(raw.rows(u"select 名称,日期,时间,综合评价 from 评价 order by rowid"_s),
                 (QList<QStringList>{{first.name, first.date, first.time, first.grade},
                                     {second.name, second.date, second.time, second.grade}}));

        // After the clear the result set is closed; appending still works.
        module.ClearAll(archivePath(dir));
        module.Append(first);
        QCOMPARE(raw.count(), 1);
        QCOMPARE(allRows(module), QStringList{joined(first)});
    }

    void unusableFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("directory");
        QTest::addColumn<QString>("message");
        QByteArray random(4096, Qt::Uninitialized);
        for (qsizetype i = 0; i < random.size(); ++i)
            random[i] = char((i * 7919 + 13) % 251);
        QTest::newRow("missing") << QByteArray() << false << u"unable to open database file"_s;
        QTest::newRow("random bytes") << random << false << u"file is not a database"_s;
        QTest::newRow("Jet database")
            << QByteArray("\x00\x01\x00\x00Standard Jet DB\x00\x01\x00\x00\x00", 24)
                   .append(2048, '\0')
            << false << u"file is not a database"_s;
        QTest::newRow("directory") << QByteArray() << true << u"unable to open database file"_s;
    }
    void unusableFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, directory);
        QFETCH(QString, message);

        QTemporaryDir dir;
        const QString path = dbPath(dir);
        if (directory)
            QVERIFY(QDir(dir.path()).mkdir(u"db.dll"_s));
        else if (!content.isEmpty())
            writeBytes(path, content);
        const QStringList before =
            QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);

        TDataModule3 module(dir.path(), fixedClock());
        try {
            module.OpenConnection();
            QFAIL("OpenConnection did not throw");
        } catch (const KioskError &e) {
            QCOMPARE(e.message(), message);
        }
        QVERIFY(!module.isConnected());
        // Start-up tries once more and reports again.
        QVERIFY_THROWS_EXCEPTION(KioskError, module.OpenStartupQuery());
        QCOMPARE(module.statement(), statements::selectAll());
        QVERIFY(!module.showsTableRows());
        module.Refresh();
        QVERIFY_THROWS_EXCEPTION(
            KioskError, module.Append({ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s}));
        QVERIFY_THROWS_EXCEPTION(KioskError, module.ShowAll());
        QCOMPARE(module.DataSource1()->rowCount(), 0);
        QVERIFY(!module.showsTableRows());

        // Nothing was created or changed: no db.dll, no journal files, the bytes as they were.
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
        if (!directory)
            QCOMPARE(readBytes(path), content);
    }

    void missingTable_data()
    {
        QTest::addColumn<bool>("otherTable");
        QTest::newRow("empty file") << false;
        QTest::newRow("database without 评价") << true;
    }
    void missingTable()
    {
        QFETCH(bool, otherTable);
        QTemporaryDir dir;
        const QString path = dbPath(dir);
        if (otherTable) {
            RawDb raw(path);
            QVERIFY(raw.exec(u"create table other (x TEXT)"_s));
        } else {
            writeBytes(path, {});
        }
        const QByteArray before = readBytes(path);

        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        try {
            module.OpenStartupQuery();
            QFAIL("OpenStartupQuery did not throw");
        } catch (const KioskError &e) {
            QCOMPARE(e.message(), u"no such table: 评价"_s);
        }
        QVERIFY(!module.showsTableRows());
        module.Refresh(); // closed: nothing to show, nothing thrown
        QCOMPARE(module.DataSource1()->rowCount(), 0);
        QVERIFY_THROWS_EXCEPTION(
            KioskError, module.Append({ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s}));
        // The kiosk creates no table.
        if (!otherTable)
            QCOMPARE(readBytes(path), before);
        RawDb raw(path);
        QCOMPARE(raw.value(u"select count(*) from sqlite_master where name='评价'"_s), u"0"_s);
    }

    void readOnlyFile()
    {
        QTemporaryDir dir;
        const QString path = dbPath(dir);
        seedDatabase(path, Seed);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                QFileDevice::ReadOther));
        const QByteArray before = readBytes(path);

        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        module.OpenStartupQuery();
        module.Refresh();
        QCOMPARE(modelRows(module.DataSource1()).size(), Seed.size());
        QVERIFY_THROWS_EXCEPTION(
            KioskError, module.Append({ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s}));
        // Deleting one row and clearing fail as well; statistics still read.
        module.ShowAll();
        QVERIFY_THROWS_EXCEPTION(KioskError, module.DeleteRow(0));
        QCOMPARE(modelRows(module.DataSource1()).size(), Seed.size());
        QVERIFY_THROWS_EXCEPTION(KioskError, module.ClearAll(archivePath(dir)));
        QCOMPARE(listingRows(module, u"不限制"_s, u"不满意"_s, u"2015-05-13"_s, u"2026-12-07"_s),
                 seedRows({4, 5}));

        QCOMPARE(readBytes(path), before);
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        RawDb raw(path);
        QCOMPARE(raw.count(), Seed.size());
    }

    void reconnectWhenFileAppears()
    {
        QTemporaryDir dir;
        TDataModule3 module(dir.path(), fixedClock());
        QVERIFY_THROWS_EXCEPTION(KioskError, module.OpenConnection());
        QVERIFY_THROWS_EXCEPTION(KioskError, module.OpenStartupQuery());
        QVERIFY(!QFile::exists(dbPath(dir)));

        store::createDatabaseFile(dbPath(dir));
        const EvaluationRecord record{LiSi, u"2024-03-01"_s, u"09:00:00"_s, u"比较满意"_s};
        module.Append(record);
        QVERIFY(module.isConnected());
        QCOMPARE(allRows(module), QStringList{joined(record)});
    }

    void fileReplacedUnderOpenConnection()
    {
        QTemporaryDir dir;
        const QString path = dbPath(dir);
        store::createDatabaseFile(path);
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        module.Append({ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s});

        // A fresh file put in its place takes the next rating, not the unlinked old one.
        const QString fresh = dir.filePath(u"fresh.dll"_s);
        store::createDatabaseFile(fresh);
        QVERIFY(std::rename(QFile::encodeName(fresh).constData(),
                            QFile::encodeName(path).constData()) == 0);
        QFile::remove(path + u"-wal"_s);
        QFile::remove(path + u"-shm"_s);
        module.Append({LiSi, u"2024-03-02"_s, u"10:00:00"_s, u"不满意"_s});
        {
            RawDb raw(path);
            QCOMPARE(raw.rows(u"select 名称 from 评价"_s), QList<QStringList>{{LiSi}});
        }

        // With the file gone, a rating fails instead of vanishing into the removed file.
        QVERIFY(QFile::remove(path));
        QVERIFY_THROWS_EXCEPTION(
            KioskError, module.Append({LiSi, u"2024-03-02"_s, u"10:00:00"_s, u"不满意"_s}));
        QVERIFY(!QFile::exists(path));
    }

    void walSetAtOpen()
    {
        QTemporaryDir dir;
        const QString path = dbPath(dir);
        {
            RawDb raw(path);
            QVERIFY(
                raw.exec(u"create table 评价 (名称 TEXT, 日期 TEXT, 时间 TEXT, 综合评价 TEXT)"_s));
            QCOMPARE(raw.value(u"pragma journal_mode"_s), u"delete"_s);
        }
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        RawDb raw(path);
        QCOMPARE(raw.value(u"pragma journal_mode"_s), u"wal"_s);
    }

    void deleteRow_data()
    {
        QTest::addColumn<EvaluationRecord>("target");
        QTest::newRow("one of two identical rows")
            << EvaluationRecord{ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s};
        QTest::newRow("name with an injection attempt")
            << EvaluationRecord{u"x') or 1=1 or ('"_s, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s};
        QTest::newRow("grade left unset")
            << EvaluationRecord{LiSi, u"2024-03-01"_s, u"09:00:00"_s, QString()};
    }
    void deleteRow()
    {
        QFETCH(EvaluationRecord, target);
        QTemporaryDir dir;
        const EvaluationRecord other{LiSi, u"2024-03-01"_s, u"09:00:00"_s, u"非常满意"_s};
        seedDatabase(dbPath(dir), {other, target, target, other});

        TDataModule3 module(dir.path(), fixedClock());
        module.OpenStartupQuery();
        module.Refresh();
        ResultPages *model = module.DataSource1();
        QCOMPARE(model->rowCount(), 4);
        module.DeleteRow(1);

        RawDb raw(dbPath(dir));
        const auto rows = raw.rows(u"select 名称,日期,时间,综合评价 from 评价 order by rowid"_s);
        const QStringList targetRow{target.name, target.date, target.time,
                                    target.grade.isNull() ? u"<null>"_s : target.grade};
        const QStringList otherRow{other.name, other.date, other.time, other.grade};
        QCOMPARE(rows, (QList<QStringList>{otherRow, targetRow, otherRow}));
        // The grid shows the table again, one row fewer.
        QCOMPARE(model->rowCount(), 3);
        QVERIFY(module.showsTableRows());
    }

    void deleteRowOutsideTableRows_data()
    {
        QTest::addColumn<QString>("result");
        QTest::newRow("count result") << u"count"_s;
        QTest::newRow("overall result") << u"overall"_s;
        QTest::newRow("after the clear") << u"clear"_s;
    }
    void deleteRowOutsideTableRows()
    {
        QFETCH(QString, result);
        QTemporaryDir dir;
        seedDatabase(dbPath(dir), Seed);
        TDataModule3 module(dir.path(), fixedClock());
        module.ShowAll();
        if (result == u"clear"_s) {
            // The clear empties the table; put rows back behind the closed result set.
            module.ClearAll(archivePath(dir));
            RawDb(dbPath(dir)).insert(Seed);
        } else if (result == u"count"_s) {
            module.ShowCounts(u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s);
        } else {
            module.ShowOverall(u"2015-05-13"_s, u"2026-12-07"_s);
        }
        QVERIFY(!module.showsTableRows());
        module.DeleteRow(0);
        RawDb raw(dbPath(dir));
        QCOMPARE(raw.count(), Seed.size());
    }

    // The clear copies every rating into the archive first; when that copy cannot be written,
    // nothing is deleted and the shown result stays as it was.
    void clearArchivesFirst_data()
    {
        QTest::addColumn<QString>("blocker"); // what stands in the archive's way
        QTest::addColumn<bool>("cleared");
        QTest::newRow("archive written") << QString() << true;
        QTest::newRow("archive name taken") << u"file"_s << false;
        QTest::newRow("archive folder is a file") << u"folder"_s << false;
    }
    void clearArchivesFirst()
    {
        QFETCH(QString, blocker);
        QFETCH(bool, cleared);
        QTemporaryDir dir;
        seedDatabase(dbPath(dir), Seed);
        const QString archive = dir.filePath(u"备份/清除前备份.db"_s);
        if (blocker == u"file"_s) {
            QVERIFY(QDir().mkpath(dir.filePath(u"备份"_s)));
            QFile taken(archive);
            QVERIFY(taken.open(QIODevice::WriteOnly));
        } else if (blocker == u"folder"_s) {
            QFile file(dir.filePath(u"备份"_s));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        TDataModule3 module(dir.path(), fixedClock());
        module.ShowAll();
        const QString shown = module.statement();
        try {
            module.ClearAll(archive);
            QVERIFY(cleared);
        } catch (const ArchiveFailed &) {
            QVERIFY(!cleared);
        }
        RawDb raw(dbPath(dir));
        QCOMPARE(raw.count(), cleared ? 0 : Seed.size());
        QCOMPARE(module.statement(), cleared ? statements::deleteAll() : shown);
        QCOMPARE(module.showsTableRows(), !cleared);
        QCOMPARE(module.DataSource1()->rowCount(), cleared ? 0 : Seed.size());
        if (cleared) {
            RawDb copy(archive);
            QCOMPARE(copy.count(), Seed.size());
        }
    }

    void clearAll()
    {
        QTemporaryDir dir;
        seedDatabase(dbPath(dir), Seed);
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        module.OpenStartupQuery();
        module.Refresh();
        QCOMPARE(module.DataSource1()->rowCount(), Seed.size());

        module.ClearAll(archivePath(dir));
        RawDb raw(dbPath(dir));
        QCOMPARE(raw.count(), 0);
        QCOMPARE(module.statement(), statements::deleteAll());
        QVERIFY(!module.showsTableRows());
        QCOMPARE(module.DataSource1()->rowCount(), 0);

        // The result set stays closed until the next button, also when rows arrive.
        module.Append(Seed.first());
        module.Refresh();
        QCOMPARE(module.DataSource1()->rowCount(), 0);
        QCOMPARE(module.statement(), statements::deleteAll());
        QCOMPARE(listingRows(module, u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s),
                 seedRows({0}));
    }

    // An engine error on a result: the result set stays closed and empty, also on Refresh,
    // until a result opens again.
    void failedResult()
    {
        QTemporaryDir dir;
        seedDatabase(dbPath(dir), Seed);
        TDataModule3 module(dir.path(), fixedClock());
        module.ShowAll();
        QCOMPARE(module.DataSource1()->rowCount(), Seed.size());

        QVERIFY(RawDb(dbPath(dir)).exec(u"alter table 评价 rename to 旧评价"_s));
        try {
            module.ShowListing(u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s);
            QFAIL("ShowListing did not throw");
        } catch (const KioskError &e) {
            QVERIFY2(e.message().contains(u"no such table"_s), qPrintable(e.message()));
        }
        QCOMPARE(module.statement(),
                 statements::listing(u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s));
        QCOMPARE(module.DataSource1()->rowCount(), 0);
        QVERIFY(!module.showsTableRows());
        QVERIFY(RawDb(dbPath(dir)).exec(u"alter table 旧评价 rename to 评价"_s));
        module.Refresh();
        QCOMPARE(module.DataSource1()->rowCount(), 0);
        QCOMPARE(allRows(module).size(), Seed.size());
    }

    // With forwarding on, each rating is filed in the outbox in the same transaction: both or
    // neither. The outbox numbers start at the clock's mark and go on after a clear.
    void outboxFiledWithRating_data()
    {
        QTest::addColumn<QString>("terminal");
        QTest::addColumn<bool>("clearBetween");
        QTest::addColumn<bool>("brokenOutbox");
        QTest::addColumn<int>("ratings");
        QTest::addColumn<QStringList>("outbox"); // 序号 - start | 终端 | 名称

        QTest::newRow("forwarding off: no outbox")
            << QString() << false << false << 3 << QStringList{u"no outbox"_s};
        QTest::newRow("forwarding on")
            << u"一号厅"_s << false << false << 3
            << QStringList{u"1|一号厅|"_s + ZhangSan, u"2|一号厅|"_s + LiSi,
                           u"3|一号厅|"_s + OBrien};
        QTest::newRow("clear in between: numbers go on, entries stay")
            << u"一号厅"_s << true << false << 1
            << QStringList{u"1|一号厅|"_s + ZhangSan, u"2|一号厅|"_s + LiSi,
                           u"3|一号厅|"_s + OBrien};
        QTest::newRow("outbox unusable: the rating is not stored either")
            << u"一号厅"_s << false << true << 0 << QStringList();
    }

    void outboxFiledWithRating()
    {
        QFETCH(QString, terminal);
        QFETCH(bool, clearBetween);
        QFETCH(bool, brokenOutbox);
        QFETCH(int, ratings);
        QFETCH(QStringList, outbox);
        RecordingServices services;
        QTemporaryDir dir;
        store::createDatabaseFile(dbPath(dir));
        if (brokenOutbox) {
            RawDb raw(dbPath(dir));
            QVERIFY(raw.exec(u"create table 待上传 (序号 integer primary key, 其他 text)"_s));
        }
        TDataModule3 module(dir.path(), services.clock());
        module.setForwarding(terminal);
        module.OpenConnection();
        const QList<EvaluationRecord> records = {
            {ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s},
            {LiSi, u"2024-03-01"_s, u"09:00:01"_s, u"非常满意"_s},
            {OBrien, u"2024-03-01"_s, u"09:00:02"_s, u"不满意"_s}};
        int failures = 0;
        for (int i = 0; i < records.size(); ++i) {
            if (clearBetween && i == 2)
                module.ClearAll(archivePath(dir));
            try {
                module.Append(records.at(i));
            } catch (const KioskError &) {
                ++failures;
            }
        }
        QCOMPARE(failures, brokenOutbox ? 3 : 0);

        RawDb raw(dbPath(dir));
        QCOMPARE(raw.count(), ratings);
        if (outbox == QStringList{u"no outbox"_s}) {
            QCOMPARE(raw.value(statements::outboxExists()), QString());
            return;
        }
        const qint64 start = statements::outboxSequenceStart(services.now());
        QStringList entries;
        for (const QStringList &row :
             raw.rows(u"select 序号, 终端, 名称 from 待上传 order by 序号"_s)) {
            entries << QStringList{QString::number(row.value(0).toLongLong() - start), row.value(1),
                                   row.value(2)}
                           .join(u'|');
        }
        QCOMPARE(entries, brokenOutbox ? QStringList() : outbox);
    }

    // The grid reads rows in pages as it needs them, and no read stays open between pages
    // (while staff look at the window): a checkpoint of another connection can empty the
    // write-ahead log completely at any moment.
    void resultHoldsNoReadOpen_data()
    {
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("scrolls");
        QTest::addColumn<int>("expectedRows");
        QTest::newRow("start-up statement, first page") << u"all"_s << 0 << 256;
        QTest::newRow("listing, first page") << u"listing"_s << 0 << 256;
        QTest::newRow("listing, scrolled once") << u"listing"_s << 1 << 512;
        QTest::newRow("listing, scrolled to the end") << u"listing"_s << 100 << 3000;
        QTest::newRow("count, every name and grade") << u"count"_s << 0 << 185;
    }

    void resultHoldsNoReadOpen()
    {
        QFETCH(QString, result);
        QFETCH(int, scrolls);
        QFETCH(int, expectedRows);
        QTemporaryDir dir;
        const QString path = dbPath(dir);
        QList<EvaluationRecord> many;
        for (int i = 0; i < 3000; ++i)
            many << EvaluationRecord{u"窗口%1"_s.arg(i % 37), u"2024-03-01"_s,
                                     u"09:%1:00"_s.arg(i % 60, 2, 10, QChar(u'0')),
                                     grades::word(1 + i % 5)};
        seedDatabase(path, many);

        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        const QString range = u"2015-05-13"_s;
        if (result == u"all"_s)
            module.ShowAll();
        else if (result == u"listing"_s)
            module.ShowListing(u"不限制"_s, u"不限制"_s, range, u"2026-12-07"_s);
        else
            module.ShowCounts(u"不限制"_s, u"不限制"_s, range, u"2026-12-07"_s);
        const QString statement = module.statement();
        ResultPages *model = module.DataSource1();
        for (int i = 0; i < scrolls && model->canFetchMore(); ++i)
            model->fetchMore();
        QCOMPARE(model->rowCount(), expectedRows);

        RawDb other(path);
        // Something in the log, then empty it; "busy" is the first column of the answer.
        QVERIFY(other.exec(u"insert into 评价 (名称) values ('x')"_s));
        QCOMPARE(other.rows(u"pragma wal_checkpoint(TRUNCATE)"_s).value(0).value(0), u"0"_s);
        QCOMPARE(QFileInfo(path + u"-wal"_s).size(), 0);

        QVERIFY(other.exec(u"delete from 评价 where 名称 = 'x'"_s));

        // The pages still join up to the whole result, in order.
        QStringList expected;
        for (const QStringList &row : other.rows(statement))
            expected << row.join(u'|');
        QCOMPARE(modelRows(model), expected);
    }

    // Two kiosks in one run folder: A shows a long listing while B stores three ratings; then
    // staff move db.dll away and put an empty one in its place. db.dll alone holds B's ratings
    // a moment after they were stored, and the moved file keeps them after B rates again.
    void swappedFileWhileResultShown()
    {
        QTemporaryDir dir;
        const QString path = dbPath(dir);
        QList<EvaluationRecord> many;
        for (int i = 0; i < 1000; ++i)
            many << EvaluationRecord{u"窗口%1"_s.arg(i % 37), u"2024-03-01"_s, u"09:00:00"_s,
                                     grades::word(1 + i % 5)};
        seedDatabase(path, many);

        TDataModule3 kioskA(dir.path(), fixedClock());
        kioskA.OpenConnection();
        kioskA.ShowListing(u"不限制"_s, u"不限制"_s, u"2015-05-13"_s, u"2026-12-07"_s);
        QVERIFY(kioskA.DataSource1()->rowCount() < 1000);

        TDataModule3 kioskB(dir.path(), fixedClock());
        kioskB.OpenConnection();
        for (int i = 0; i < 3; ++i)
            kioskB.Append({LiSi, u"2024-03-02"_s, u"10:00:0%1"_s.arg(i), u"一般"_s});

        // db.dll alone, copied as a backup would be, once B's log was settled.
        const auto rowsInFileAlone = [&dir](const QString &file) {
            const QString copy = dir.filePath(u"alone.dll"_s);
            QFile::remove(copy);
            QFile::copy(file, copy);
            RawDb raw(copy);
            const int n = raw.count();
            return n;
        };
        QTRY_COMPARE_WITH_TIMEOUT(rowsInFileAlone(path), 1003, 10000);

        const QString moved = dir.filePath(u"moved.dll"_s);
        QVERIFY(QFile::rename(path, moved));
        store::createDatabaseFile(path);
        kioskB.Append({LiSi, u"2024-03-03"_s, u"11:00:00"_s, u"非常满意"_s});
        kioskA.ReleaseResult();

        RawDb newFile(path);
        QCOMPARE(newFile.count(), 1);
        QCOMPARE(rowsInFileAlone(moved), 1003);
    }

    // A kiosk killed before its log was settled leaves ratings only in db.dll-wal. The next
    // start brings db.dll up to date at once, so the file alone is complete again before any
    // new rating.
    void startupSettlesLogLeftByCrash()
    {
        QTemporaryDir before;
        const QString path = dbPath(before);
        store::createDatabaseFile(path);
        QTemporaryDir after;
        {
            // The state on disk of a kiosk killed right after three commits: the ratings in the
            // log, none in the file. (A clean close would settle them, so the files are copied
            // while the connection is still open.)
            RawDb writer(path);
            QVERIFY(writer.exec(u"pragma wal_autocheckpoint=0"_s));
            writer.insert({{ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s},
                           {LiSi, u"2024-03-01"_s, u"09:00:01"_s, u"非常满意"_s},
                           {OBrien, u"2024-03-01"_s, u"09:00:02"_s, u"不满意"_s}});
            QVERIFY(QFile::copy(path, dbPath(after)));
            QVERIFY(QFile::copy(path + u"-wal"_s, dbPath(after) + u"-wal"_s));
        }
        const auto countInFileAlone = [&after] {
            const QString copy = after.filePath(u"alone.dll"_s);
            QFile::remove(copy);
            QFile::copy(dbPath(after), copy);
            RawDb raw(copy);
            return raw.count();
        };
        QCOMPARE(countInFileAlone(), 0);

        TDataModule3 module(after.path(), fixedClock());
        module.OpenConnection();
        QCOMPARE(countInFileAlone(), 3);
        QCOMPARE(QFileInfo(dbPath(after) + u"-wal"_s).size(), 0);
    }

    // Another kiosk process writes while this one's grid holds a partly read result: the next
    // rating here must still be stored.
    void appendWhileGridReadsAndOtherProcessWrites()
    {
        QTemporaryDir dir;
        QList<EvaluationRecord> many;
        for (int i = 0; i < 2000; ++i)
            many << EvaluationRecord{ZhangSan, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s};
        seedDatabase(dbPath(dir), many);

        TDataModule3 module(dir.path(), fixedClock());
        module.OpenStartupQuery();
        module.Refresh();
        QVERIFY(module.DataSource1()->canFetchMore());

        QProcess worker;
        worker.start(QStringLiteral(KIOSK_HELPER), {u"append-as"_s, dir.path(), u"5"_s, LiSi});
        QVERIFY(worker.waitForFinished(60000));
        QCOMPARE(worker.exitCode(), 0);

        module.Append({OBrien, u"2024-03-01"_s, u"09:00:00"_s, u"非常满意"_s});
        RawDb raw(dbPath(dir));
        QCOMPARE(raw.count(), many.size() + 6);
    }

    void concurrentProcesses()
    {
        QTemporaryDir dir;
        store::createDatabaseFile(dbPath(dir));
        const int perProcess = 200;
        QProcess first;
        QProcess second;
        first.start(QStringLiteral(KIOSK_HELPER),
                    {u"append-as"_s, dir.path(), QString::number(perProcess), ZhangSan});
        second.start(QStringLiteral(KIOSK_HELPER),
                     {u"append-as"_s, dir.path(), QString::number(perProcess), LiSi});
        // This process appends at the same time, as the kiosk itself would.
        TDataModule3 module(dir.path(), fixedClock());
        for (int i = 0; i < 50; ++i)
            module.Append({OBrien, u"2024-03-01"_s, u"09:00:00"_s, u"一般"_s});
        QVERIFY(first.waitForFinished(120000));
        QVERIFY(second.waitForFinished(120000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);

        RawDb raw(dbPath(dir));
        QCOMPARE(raw.rows(u"select 名称,count(*) from 评价 group by 名称 order by 名称"_s),
                 (QList<QStringList>{{ZhangSan, QString::number(perProcess)},
                                     {LiSi, QString::number(perProcess)},
                                     {OBrien, u"50"_s}}));
    }

    void schemaTool_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("rows");
        QTest::newRow("new file") << u"none"_s << 0 << 0;
        QTest::newRow("old file without the index is upgraded") << u"old"_s << 0 << 1;
        QTest::newRow("not a database") << u"garbage"_s << 1 << -1;
        QTest::newRow("missing folder") << u"nofolder"_s << 1 << -1;
    }
    void schemaTool()
    {
        QFETCH(QString, existing);
        QFETCH(int, exitCode);
        QFETCH(int, rows);

        QTemporaryDir dir;
        QString path = dbPath(dir);
        const QByteArray garbage = "this is not a database, only some text: 名称 日期 时间";
        if (existing == u"old"_s) {
            RawDb raw(path);
            QVERIFY(
                raw.exec(u"create table 评价 (名称 TEXT, 日期 TEXT, 时间 TEXT, 综合评价 TEXT)"_s));
            QVERIFY(raw.exec(u"insert into 评价 values ('a','2024-01-01','09:00:00','一般')"_s));
        } else if (existing == u"garbage"_s) {
            writeBytes(path, garbage);
        } else if (existing == u"nofolder"_s) {
            path = dir.filePath(u"missing/db.dll"_s);
        }

        QProcess tool;
        tool.start(QStringLiteral(MKDB_TOOL), {path});
        QVERIFY(tool.waitForFinished(30000));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), exitCode);
        const QString out = QString::fromUtf8(tool.readAllStandardOutput());
        const QString err = QString::fromUtf8(tool.readAllStandardError());
        if (exitCode != 0) {
            QVERIFY(out.isEmpty());
            QCOMPARE(err.count(u'\n'), 1);
            QVERIFY2(err.contains(existing == u"garbage"_s ? u"file is not a database"_s
                                                           : u"unable to open database file"_s),
                     qPrintable(err));
            if (existing == u"garbage"_s)
                QCOMPARE(readBytes(path), garbage);
            else
                QVERIFY(!QFile::exists(path));
            return;
        }
        QCOMPARE(out.count(u'\n'), 1);
        QVERIFY(out.contains(path));

        RawDb raw(path);
        QCOMPARE(raw.count(), rows);
        QCOMPARE(raw.value(u"pragma journal_mode"_s), u"wal"_s);
        QCOMPARE(raw.rows(u"select name from sqlite_master where type='index' order by name"_s),
                 (QList<QStringList>{
                     {u"评价_名称_日期"_s}, {u"评价_名称_评价_日期"_s}, {u"评价_评价_日期"_s}}));
        // The kiosk works on the result.
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenStartupQuery();
        module.Append(Seed.first());
        QCOMPARE(raw.count(), rows + 1);
    }

    // A kiosk killed within a second of a rating leaves that rating in db.dll-wal only. Started
    // again on its own file it brings it in; a new db.dll put or made beside that log is
    // refused (nothing changes), and the old file put back with it still brings the rating in.
    void leftoverLog_data()
    {
        QTest::addColumn<QString>("then");
        QTest::newRow("kiosk started again on its own file") << u"same file"_s;
        QTest::newRow("old file moved away, kiosk-mkdb makes a new one") << u"kiosk-mkdb"_s;
        QTest::newRow("old file moved away, a new one put in its place") << u"new file"_s;
        QTest::newRow("log already emptied, kiosk-mkdb makes a new one") << u"empty log"_s;
    }
    void leftoverLog()
    {
        QFETCH(QString, then);
        RecordingServices services;
        QTemporaryDir scratch, dir;
        const QString path = dbPath(dir);
        const QString log = path + u"-wal"_s;
        {
            // The moment of the kill: the rating is in the log, not yet in the file.
            store::createDatabaseFile(dbPath(scratch));
            RawDb raw(dbPath(scratch));
            QVERIFY(raw.exec(u"pragma wal_autocheckpoint=0"_s));
            raw.insert({Seed.first()});
            for (const QString &suffix : {u""_s, u"-wal"_s, u"-shm"_s})
                QVERIFY(QFile::copy(dbPath(scratch) + suffix, path + suffix));
        }
        if (then == u"empty log"_s)
            QVERIFY(QFile::resize(log, 0));
        const QByteArray logBytes = readBytes(log);
        const QString archive = dir.filePath(u"2024.dll"_s);
        if (then != u"same file"_s)
            QVERIFY(QFile::rename(path, archive));

        if (then == u"same file"_s) {
            TDataModule3 module(dir.path(), services.clock());
            module.OpenConnection();
            QCOMPARE(RawDb(path).count(), 1);
            return;
        }
        if (then == u"new file"_s) {
            // The log as last written at the kill, when the old file was already there; the
            // new file comes into being after that.
            const QDateTime killed = QFileInfo(archive).birthTime();
            QFile logFile(log);
            QVERIFY(logFile.open(QIODevice::ReadWrite));
            QVERIFY(logFile.setFileTime(killed, QFileDevice::FileModificationTime));
            logFile.close();
            const QString made = scratch.filePath(u"new.dll"_s);
            while (!QFileInfo::exists(made) || QFileInfo(made).birthTime() <= killed) {
                QFile::remove(made);
                store::createDatabaseFile(made);
            }
            QVERIFY(QFile::rename(made, path));
            const QByteArray fresh = readBytes(path);
            TDataModule3 module(dir.path(), services.clock());
            try {
                module.OpenConnection();
                QFAIL("a new db.dll beside the old one's log was opened");
            } catch (const KioskError &e) {
                QVERIFY2(
                    e.message().contains(u"把 db.dll-wal 和 db.dll-shm 移到原来的 db.dll 旁边"_s),
                    qPrintable(e.message()));
            }
            QCOMPARE(readBytes(path), fresh);
            QVERIFY(QFile::remove(path));
        } else {
            QProcess tool;
            tool.start(QStringLiteral(MKDB_TOOL), {path});
            QVERIFY(tool.waitForFinished(30000));
            const QString err = QString::fromUtf8(tool.readAllStandardError());
            if (then == u"empty log"_s) {
                QVERIFY2(tool.exitCode() == 0, qPrintable(err));
                QCOMPARE(RawDb(path).count(), 0);
                return;
            }
            QCOMPARE(tool.exitCode(), 1);
            QVERIFY2(err.contains(u"把 db.dll-wal 和 db.dll-shm 移到原来的 db.dll 旁边"_s),
                     qPrintable(err));
            QVERIFY(!QFile::exists(path));
        }
        QCOMPARE(readBytes(log), logBytes);
        // What the message says: the old file back beside its log brings the rating in.
        QVERIFY(QFile::rename(archive, path));
        TDataModule3 module(dir.path(), fixedClock());
        module.OpenConnection();
        QCOMPARE(RawDb(path).count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTDataModule3)
#include "tst_tdatamodule3.moc"
