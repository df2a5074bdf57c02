// One submit, from the tap on the submit button (TForm2::RzButton1Click, the thanks recorded by
// the recording services) to the row being durable: the moment the engine reports
// the commit done (its WAL hook, called once the commit is synced), and, for comparison, the
// moment the thanks is shown (after whatever the module does after the commit), median and
// p99 over a few hundred submits. Baseline: a bare insert of the same row through the sqlite3 C API
// with the same durability settings (WAL, synchronous=FULL, one transaction per row), into a table
// without indexes and into one with the kiosk's schema. Submits and baselines alternate. Also a
// bad rating with two reasons tapped (stored with the rating in the same transaction) against
// the bare insert of the same run.
#include "benchsupport.h"

#include "config/settingsfile.h"
#include "evaluation/tform2.h"
#include "platform/widgets/aalabel.h"
#include "platform/widgets/rzbutton.h"
#include "store/schema.h"
#include "store/tdatamodule3.h"
#include "support/recorder.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

class BareInsert
{
public:
    explicit BareInsert(const QString &path)
    {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE,
                            nullptr) != SQLITE_OK) {
            std::fprintf(stderr, "bench: cannot open %s\n", qPrintable(path));
            std::exit(1);
        }
        sqlite3_exec(m_db, "pragma journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_exec(m_db, "pragma synchronous=FULL", nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(m_db, "insert into 评价 (名称,日期,时间,综合评价) values (?,?,?,?)", -1,
                           &m_insert, nullptr);
    }
    ~BareInsert()
    {
        sqlite3_finalize(m_insert);
        sqlite3_close(m_db);
    }
    void insert(const QByteArray &name, const QByteArray &date, const QByteArray &time,
                const QByteArray &grade)
    {
        sqlite3_bind_text(m_insert, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m_insert, 2, date.constData(), int(date.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m_insert, 3, time.constData(), int(time.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(m_insert, 4, grade.constData(), int(grade.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(m_insert) != SQLITE_DONE) {
            std::fprintf(stderr, "bench: insert failed: %s\n", sqlite3_errmsg(m_db));
            std::exit(1);
        }
        sqlite3_reset(m_insert);
    }

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_insert = nullptr;
};

qint64 rowCount(const QString &path, const QString &table = u"评价"_s)
{
    qint64 n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-count"_s);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(u"select count(*) from "_s + table, db);
            if (q.next())
                n = q.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(u"bench-count"_s);
    return n;
}

struct SubmitFigures
{
    bench::Samples durable, thanked, handler, bareTable, bareSchema;
};

// Calls back after every commit on the module's write connection: the row is on disk then.
struct CommitWatch
{
    QElapsedTimer *clock = nullptr;
    double committedAt = -1;
    static int hook(void *self, sqlite3 *, const char *, int)
    {
        auto *watch = static_cast<CommitWatch *>(self);
        if (watch->committedAt < 0)
            watch->committedAt = double(watch->clock->nsecsElapsed()) / 1e6;
        return SQLITE_OK;
    }
};

// The engine handle of the module's connection that appends: in WAL mode its write connection,
// opened after the reader, so the newest of its connections ("kiosk-db-N").
sqlite3 *appendHandle()
{
    QString newest;
    int highest = -1;
    for (const QString &name : QSqlDatabase::connectionNames()) {
        bool ok = false;
        const int n = name.startsWith(u"kiosk-db-"_s) ? name.mid(9).toInt(&ok) : -1;
        if (ok && n > highest) {
            highest = n;
            newest = name;
        }
    }
    if (newest.isEmpty())
        return nullptr;
    const QVariant handle = QSqlDatabase::database(newest, false).driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(handle.data());
    return nullptr;
}

// Alternates kiosk submits and bare inserts; bareTablePath may be empty. Each submit is star 3,
// or with withReasons star 1 with the second and fourth reason tapped.
SubmitFigures run(RecordingServices &services, const QString &runDir, int submits,
                  const QString &bareTablePath, const QString &bareSchemaPath,
                  bool withReasons = false)
{
    services.setDirs(runDir, runDir);
    auto *module = new TDataModule3(runDir, services.clock());
    module->OpenConnection();
    module->OpenStartupQuery();
    auto *form2 = new TForm2;
    form2->setDataModule(module);
    form2->CnAALabel1->setText(bench::ratingName(3));
    form2->show();
    QCoreApplication::processEvents();

    std::unique_ptr<BareInsert> bareTable, bareSchema;
    if (!bareTablePath.isEmpty())
        bareTable = std::make_unique<BareInsert>(bareTablePath);
    bareSchema = std::make_unique<BareInsert>(bareSchemaPath);
    const QByteArray name = bench::ratingName(3).toUtf8();
    const QByteArray grade = u"一般"_s.toUtf8();

    SubmitFigures f;
    QElapsedTimer clock;
    double thankedAt = 0;
    services.onNotice = [&](QWidget *, const QString &, int) {
        thankedAt = double(clock.nsecsElapsed()) / 1e6;
    };
    CommitWatch commits;
    commits.clock = &clock;
    sqlite3 *handle = appendHandle();
    if (!handle) {
        std::fprintf(stderr, "bench: the module's write connection was not found\n");
        std::exit(1);
    }
    sqlite3_wal_hook(handle, &CommitWatch::hook, &commits);
    const qint64 before = rowCount(runDir + u"/db.dll"_s);
    for (int i = 0; i < submits; ++i) {
        if (!form2->isVisible())
            form2->show();
        if (withReasons) {
            form2->Image1Click(); // star 1 shows the reasons
            form2->ReasonButtons.at(1)->click();
            form2->ReasonButtons.at(3)->click();
        } else {
            form2->Image3Click(); // star 3 arms the submit button
        }
        thankedAt = -1;
        commits.committedAt = -1;
        clock.start();
        form2->RzButton1Click();
        f.handler.ms << double(clock.nsecsElapsed()) / 1e6;
        f.durable.ms << commits.committedAt;
        f.thanked.ms << thankedAt;

        const QDateTime now = QDateTime::currentDateTime();
        const QByteArray date = now.toString(u"yyyy-MM-dd"_s).toUtf8();
        const QByteArray time = now.toString(u"hh:mm:ss"_s).toUtf8();
        if (bareTable) {
            clock.start();
            bareTable->insert(name, date, time, grade);
            f.bareTable.ms << double(clock.nsecsElapsed()) / 1e6;
        }
        clock.start();
        bareSchema->insert(name, date, time, grade);
        f.bareSchema.ms << double(clock.nsecsElapsed()) / 1e6;
    }
    services.onNotice = {};
    sqlite3_wal_hook(handle, nullptr, nullptr);
    const int failures = int(services.noticeTexts().count(u"评价失败！"_s));
    services.clearRecords();
    delete form2;
    delete module;
    const qint64 after = rowCount(runDir + u"/db.dll"_s);
    if (failures || after - before != submits) {
        std::fprintf(stderr, "bench: %d submits failed, %lld rows stored of %d\n", failures,
                     static_cast<long long>(after - before), submits);
        std::exit(1);
    }
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int submits = qMax(50, bench::envInt("KIOSK_BENCH_SUBMITS", 300));

    bench::printHeading(u"3. One submit until the row is durable"_s);
    const QString dir = bench::dataDir() + u"/run-submit"_s;
    bench::makeRunFolder(dir, {});
    store::createDatabaseFile(dir + u"/db.dll"_s);
    const QString bareTable = dir + u"/bare-table.db"_s;
    const QString bareSchema = dir + u"/bare-schema.db"_s;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-bare"_s);
        db.setDatabaseName(bareTable);
        db.open();
        QSqlQuery(u"create table 评价 (名称 TEXT, 日期 TEXT, 时间 TEXT, 综合评价 TEXT)"_s, db);
        QSqlQuery(u"pragma journal_mode=WAL"_s, db);
    }
    QSqlDatabase::removeDatabase(u"bench-bare"_s);
    store::createDatabaseFile(bareSchema);

    RecordingServices services(dir, dir);
    const SubmitFigures small = run(services, dir, submits, bareTable, bareSchema);

    bench::printNote(u"%1 submits into a table that starts empty:"_s.arg(submits));
    bench::printFigure(u"submit: tap to durable row (commit synced)"_s, small.durable);
    bench::printNote(u"    p99 %1 ms"_s.arg(small.durable.quantile(0.99), 0, 'f', 3));
    bench::printFigure(u"submit: tap to thank-you box"_s, small.thanked);
    bench::printNote(u"    p99 %1 ms"_s.arg(small.thanked.quantile(0.99), 0, 'f', 3));
    bench::printFigure(u"submit: whole handler (box, star reset, hide)"_s, small.handler);
    bench::printFigure(u"baseline: bare durable insert, table without index"_s, small.bareTable);
    bench::printNote(u"    p99 %1 ms"_s.arg(small.bareTable.quantile(0.99), 0, 'f', 3));
    bench::printFigure(u"reference: bare durable insert, the kiosk's schema"_s, small.bareSchema);

    // A bad rating with two reasons: the rating and its two reason rows in one transaction.
    // The table is made with the first reason stored: none before it (-1) counts as 0.
    const qint64 reasonsBefore = std::max<qint64>(0, rowCount(dir + u"/db.dll"_s, u"评价_原因"_s));
    const SubmitFigures reasons = run(services, dir, submits, bareTable, bareSchema, true);
    const qint64 reasonsStored = rowCount(dir + u"/db.dll"_s, u"评价_原因"_s) - reasonsBefore;
    if (reasonsStored != 2 * submits) {
        std::fprintf(stderr, "bench: %lld reasons stored with %d bad ratings, not two each\n",
                     static_cast<long long>(reasonsStored), submits);
        return 1;
    }
    bench::printNote(u"%1 submits of star 1 with two reasons tapped:"_s.arg(submits));
    bench::printFigure(u"submit with two reasons: tap to durable row"_s, reasons.durable);
    bench::printNote(u"    p99 %1 ms"_s.arg(reasons.durable.quantile(0.99), 0, 'f', 3));
    bench::printFigure(u"baseline: bare durable insert, same run"_s, reasons.bareTable);
    const double reasonsRatio = reasons.durable.median() / reasons.bareTable.median();

    // The same against a million stored ratings.
    const QString big = bench::ratingsDatabase(1'000'000);
    const QString bigDir = bench::dataDir() + u"/run-submit-million"_s;
    bench::makeRunFolder(bigDir, {}, big);
    bench::copyFile(big, bigDir + u"/bare-schema.db"_s);
    const SubmitFigures large =
        run(services, bigDir, qMax(50, submits / 3), {}, bigDir + u"/bare-schema.db"_s);
    bench::printNote(
        u"%1 submits into a table of 1 000 000 ratings:"_s.arg(large.durable.ms.size()));
    bench::printFigure(u"submit: tap to durable row (commit synced)"_s, large.durable);
    bench::printNote(u"    p99 %1 ms"_s.arg(large.durable.quantile(0.99), 0, 'f', 3));
    bench::printFigure(u"submit: tap to thank-you box"_s, large.thanked);
    bench::printFigure(u"reference: bare durable insert, the kiosk's schema"_s, large.bareSchema);

    // Every submit above is a suspected repeat (one name, seconds apart, chongfu_miao at its
    // default), so each also looked up the name's previous rating and wrote the mark. The same
    // submits with marking switched off (chongfu_miao=0) on the same large table:
    SettingsFile(bigDir).WriteSetting(Setting::ChongfuMiao, u"0"_s);
    const SubmitFigures unmarked =
        run(services, bigDir, qMax(50, submits / 3), {}, bigDir + u"/bare-schema.db"_s);
    bench::printNote(u"%1 submits into the same table, chongfu_miao=0 (nothing marked):"_s.arg(
        unmarked.durable.ms.size()));
    bench::printFigure(u"baseline: submit without the repeat check"_s, unmarked.durable);
    bench::printRatio(u"submit marked as repeat / submit without the check (medians)"_s,
                      large.durable.median() / unmarked.durable.median(), u"(reference)"_s, true);

    const double ratio = small.durable.median() / small.bareTable.median();
    bench::printRatio(u"submit / bare insert without index (medians)"_s, ratio, u"<= 1.5"_s,
                      ratio <= 1.5);
    bench::printRatio(u"submit with two reasons / bare insert without index (medians)"_s,
                      reasonsRatio, u"<= 1.5"_s, reasonsRatio <= 1.5);
    const double thankedRatio = small.thanked.median() / small.bareTable.median();
    bench::printRatio(u"tap to thank-you box / bare insert without index"_s, thankedRatio,
                      u"<= 1.5"_s, thankedRatio <= 1.5);
    bench::printRatio(u"submit / bare insert, the kiosk's schema (medians)"_s,
                      small.durable.median() / small.bareSchema.median(), u"(reference)"_s, true);
    bench::printRatio(u"submit p99, ms (table starting empty)"_s, small.durable.quantile(0.99),
                      u"< 10 ms"_s, small.durable.quantile(0.99) < 10);
    bench::printRatio(u"submit p99, ms (1 000 000 ratings)"_s, large.durable.quantile(0.99),
                      u"< 10 ms"_s, large.durable.quantile(0.99) < 10);
    return 0;
}
