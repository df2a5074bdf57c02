#include "store/tdatamodule3.h"

#include "platform/error.h"
#include "platform/fileinfo.h"
#include "store/backup.h"
#include "store/engine.h"
#include "store/reasons.h"
#include "store/repeats.h"
#include "store/resultpages.h"
#include "store/schema.h"
#include "store/statements.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

struct TDataModule3::Private
{
    QString path;
    platform::ClockPtr clock;
    int busyTimeoutMs = store::DefaultBusyTimeoutMs;

    // reader serves the shared result set. In WAL mode appends and deletes go through writer,
    // a second connection: the reader's open snapshot (rows still to fetch for the grid) would
    // otherwise refuse a write once another process has written. Without WAL both are one
    // connection, so the reader's own lock cannot block the write.
    std::unique_ptr<store::Database> reader;
    std::unique_ptr<store::Database> writer;
    bool connected = false;
    bool readOnly = false;
    bool wal = false;
    // Which file the connection is open on, so that a db.dll replaced or removed under it is
    // noticed instead of writing on into the old file.
    platform::FileIdentity identity;

    // Settles the log a moment after the last append rather than inside it, so a burst of
    // ratings pays for one checkpoint and a submit waits only for its own synced commit.
    QTimer settleTimer;

    ResultPages model;
    QString statement;
    // Kiosk name of the outbox entries; empty: no forwarding.
    QString terminal;
    // The window of suspected repeats in seconds; 0: none are marked.
    int repeatSeconds = 0;
    // Whether the outbox sequence was raised since the file was opened.
    bool sequenceRaised = false;
    // Whether the statement counts as open: Refresh then shows its rows. False after the clear
    // and after a failed open.
    bool resultOpen = false;
    bool tableRows = false;

    store::Database &writeFile() { return wal ? *writer : *reader; }
    QSqlDatabase &writeHandle() { return writeFile().handle(); }
};

TDataModule3::TDataModule3(const QString &workDir, platform::ClockPtr clock, QObject *parent,
                           int busyTimeoutMs)
    : QObject(parent), d(new Private)
{
    d->clock = std::move(clock);
    d->path = QFileInfo(workDir + u"/db.dll"_s).absoluteFilePath();
    d->busyTimeoutMs = busyTimeoutMs;
    d->statement = statements::selectAll();
    d->settleTimer.setSingleShot(true);
    d->settleTimer.setInterval(1000);
    connect(&d->settleTimer, &QTimer::timeout, this, [this] {
        if (d->connected && d->wal)
            d->writer->settle();
    });
}

int TDataModule3::busyTimeout() const
{
    return d->busyTimeoutMs;
}

void TDataModule3::setBusyTimeout(int milliseconds)
{
    d->busyTimeoutMs = milliseconds;
    for (store::Database *file : {d->reader.get(), d->writer.get()})
        if (file)
            file->setBusyTimeout(milliseconds);
}

TDataModule3::~TDataModule3()
{
    closeConnection();
    delete d;
}

void TDataModule3::OpenConnection()
{
    if (d->connected) {
        if (platform::sameFile(platform::fileIdentity(d->path), d->identity))
            return;
        // The log still belongs to the old file: empty it into that file before letting go.
        if (d->wal)
            d->writer->settle();
        closeConnection();
    }

    // A new db.dll put beside the log that a killed kiosk left of the old one: opening would
    // replay the old file's pages into it.
    store::checkNoForeignLog(d->path);
    const QFileInfo info(d->path);
    // Permission bits decide, not whether opening works: a privileged user could read and
    // write anyway, but a file marked read-only must stay unchanged.
    if (info.exists() && info.isFile() && !platform::hasReadPermissionBits(info))
        throw KioskError(u"unable to open database file"_s);
    const bool readOnly = info.exists() && !platform::hasWritePermissionBits(info);
    const platform::FileIdentity identity = platform::fileIdentity(d->path);

    const store::OpenOptions options{.access = readOnly ? store::Access::ReadOnly
                                                        : store::Access::ReadWrite,
                                     .busyTimeoutMs = d->busyTimeoutMs,
                                     .purpose = u"kiosk-db"_s};
    try {
        d->reader = std::make_unique<store::Database>(d->path, options);
        d->wal = d->reader->wal();
        if (d->wal) {
            d->writer = std::make_unique<store::Database>(d->path, options);
            // A kiosk killed before its log was settled left ratings only in db.dll-wal: bring
            // db.dll up to date now rather than at the next rating, so a copy or a replacement
            // of the file made while this kiosk waits loses nothing.
            d->writer->settle();
        }
    } catch (...) {
        closeConnection();
        throw;
    }
    d->readOnly = readOnly;
    d->identity = identity;
    d->connected = true;
    d->sequenceRaised = false;
}

void TDataModule3::OpenStartupQuery()
{
    takeStatement(statements::selectAll());
    if (!d->connected)
        OpenConnection();
    // Checked, not run: the rows are read when the grid is shown.
    QSqlQuery query(d->reader->handle());
    if (!query.prepare(d->statement))
        throw KioskError(store::engineMessage(query.lastError()));
    d->resultOpen = true;
    d->tableRows = true;
}

bool TDataModule3::isConnected() const
{
    return d->connected;
}

void TDataModule3::Append(const EvaluationRecord &record)
{
    ensureConnected();
    QSqlDatabase &db = d->writeHandle();
    store::run(db, statements::beginWrite());
    try {
        store::run(db, statements::appendRow(),
                   {record.name, record.date, record.time, record.grade});
        store::reasons::storeWithRating(db, record.reasons);
        const bool repeat = markIfRepeat(db, record);
        if (!d->terminal.isEmpty()) {
            fileForForwarding(db, record);
            store::reasons::fileForForwarding(db, record.reasons);
            if (repeat)
                fileRepeatForForwarding(db);
        }
        // With synchronous=FULL the commit returns once the row is on disk.
        store::run(db, statements::commit());
        if (!d->terminal.isEmpty())
            d->sequenceRaised = true;
    } catch (...) {
        try {
            store::run(db, statements::rollback());
        } catch (const KioskError &) {
            // The engine already ended the transaction.
        }
        throw;
    }
    if (d->wal)
        d->settleTimer.start();
    emit appended();
}

void TDataModule3::setForwarding(const QString &terminal)
{
    d->terminal = terminal;
}

QString TDataModule3::forwardingTerminal() const
{
    return d->terminal;
}

void TDataModule3::fileForForwarding(QSqlDatabase &db, const EvaluationRecord &record)
{
    // Inside the append's write transaction: the outbox appears with the first rating to
    // forward. Once after each opening of the file (which may be an empty file or a backup copy
    // put in place of the one that forwarded before) its sequence is raised above every number
    // an earlier db.dll of this kiosk can have handed out, never lowered, so the file does not
    // reuse a number the server already holds. Should the clock have been set back, the server
    // still tells such a number from a resent rating by its content.
    for (const QString &statement : statements::createOutbox())
        store::run(db, statement);
    if (!d->sequenceRaised) {
        const qint64 start = statements::outboxSequenceStart(d->clock->now());
        store::run(db, statements::raiseOutboxSequence(), {start});
        store::run(db, statements::seedOutboxSequence(), {start});
    }
    store::run(db, statements::appendOutbox(),
               {d->terminal, record.name, record.date, record.time, record.grade});
}

void TDataModule3::setRepeatSeconds(int seconds)
{
    d->repeatSeconds = seconds;
}

int TDataModule3::repeatSeconds() const
{
    return d->repeatSeconds;
}

bool TDataModule3::markIfRepeat(QSqlDatabase &db, const EvaluationRecord &record)
{
    if (d->repeatSeconds <= 0)
        return false;
    QString previousDate, previousTime;
    {
        QSqlQuery previous(db);
        previous.setForwardOnly(true);
        if (!previous.prepare(statements::previousRatingOfName()))
            throw KioskError(store::engineMessage(previous.lastError()));
        previous.addBindValue(record.name);
        if (!previous.exec())
            throw KioskError(store::engineMessage(previous.lastError()));
        const bool found = previous.next();
        if (found) {
            previousDate = previous.value(0).toString();
            previousTime = previous.value(1).toString();
        }
        const QSqlError error = previous.lastError();
        previous.finish();
        if (error.isValid())
            throw KioskError(store::engineMessage(error));
        if (!found)
            return false;
    }
    if (!repeats::isRepeat(previousDate, previousTime, record.date, record.time, d->repeatSeconds))
        return false;
    for (const QString &statement : statements::createRepeatMarks())
        store::run(db, statement);
    store::run(db, statements::markNewestRating());
    return true;
}

void TDataModule3::fileRepeatForForwarding(QSqlDatabase &db)
{
    for (const QString &statement : statements::createRepeatOutbox())
        store::run(db, statement);
    store::run(db, statements::markNewestOutboxEntry());
}

ResultPages *TDataModule3::DataSource1() const
{
    return &d->model;
}

void TDataModule3::ShowAll()
{
    show(statements::selectAll(), true);
}

void TDataModule3::ShowListing(const QString &nameBox, const QString &gradeBox,
                               const QString &startDate, const QString &endDate)
{
    show(statements::listing(nameBox, gradeBox, startDate, endDate), true);
}

void TDataModule3::ShowCounts(const QString &nameBox, const QString &gradeBox,
                              const QString &startDate, const QString &endDate)
{
    show(statements::count(nameBox, gradeBox, startDate, endDate), false);
}

void TDataModule3::ShowOverall(const QString &startDate, const QString &endDate)
{
    show(statements::overall(startDate, endDate), false);
}

void TDataModule3::show(const QString &statement, bool tableRows)
{
    takeStatement(statement);
    ensureConnected();
    populate();
    d->resultOpen = true;
    d->tableRows = tableRows;
}

void TDataModule3::ClearAll(const QString &archive)
{
    // Every rating is first copied into the archive; they are deleted only once that copy is
    // complete on disk. Until then the shown result stays as it is.
    try {
        backup::copyDatabase(d->path, archive, d->busyTimeoutMs);
    } catch (const KioskError &e) {
        throw ArchiveFailed(e.message());
    }
    takeStatement(statements::deleteAll());
    ensureConnected();
    // The daily counts are emptied with the ratings, at once instead of row by row.
    store::deleteAllRatings(d->writeHandle());
    d->writeFile().settle();
}

QString TDataModule3::statement() const
{
    return d->statement;
}

void TDataModule3::Refresh()
{
    if (!d->resultOpen) {
        ReleaseResult();
        return;
    }
    ReleaseResult();
    try {
        ensureConnected();
        populate();
    } catch (...) {
        d->resultOpen = false;
        throw;
    }
}

void TDataModule3::ReleaseResult()
{
    // Every page read has already ended; this only forgets the rows.
    d->model.clear();
}

bool TDataModule3::showsTableRows() const
{
    return d->resultOpen && d->tableRows;
}

std::optional<EvaluationRecord> TDataModule3::shownRecord(int row) const
{
    if (!showsTableRows() || row < 0 || row >= d->model.rowCount())
        return std::nullopt;
    const QSqlRecord values = d->model.record(row);
    for (const QString &field : {u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s}) {
        if (values.indexOf(field) < 0)
            return std::nullopt;
    }
    return EvaluationRecord{values.value(u"名称"_s).toString(), values.value(u"日期"_s).toString(),
                            values.value(u"时间"_s).toString(),
                            values.value(u"综合评价"_s).toString()};
}

template <typename Steps> void TDataModule3::writeTransaction(Steps &&steps)
{
    ensureConnected();
    QSqlDatabase &db = d->writeHandle();
    store::run(db, statements::beginWrite());
    try {
        steps(db);
        store::run(db, statements::commit());
    } catch (...) {
        try {
            store::run(db, statements::rollback());
        } catch (const KioskError &) {
            // The engine already ended the transaction.
        }
        throw;
    }
    d->writeFile().settle();
}

void TDataModule3::DeleteRow(int row)
{
    if (!shownRecord(row))
        return;
    // The grid's own values, NULL included, find the row to delete.
    const QSqlRecord values = d->model.record(row);
    QVariantList match;
    for (const QString &field : {u"名称"_s, u"日期"_s, u"时间"_s, u"综合评价"_s})
        match.append(values.value(field));
    const QString deletedAt = d->clock->now().toString(u"yyyy-MM-dd hh:mm:ss"_s);

    // The grid's read ends first; without WAL it would hold the lock the delete needs.
    ReleaseResult();
    std::optional<KioskError> failure;
    try {
        writeTransaction([&](QSqlDatabase &db) {
            const QVariant rowid = store::firstValue(db, statements::findOneRow(), match);
            // Deleted meanwhile (by another kiosk on the same file): nothing left to do.
            if (!rowid.isValid())
                return;
            for (const QString &statement : statements::createDeletedArchive())
                store::run(db, statement);
            store::run(db, statements::archiveRow(), {deletedAt, rowid});
            store::reasons::archiveWithRating(db, rowid);
            store::run(db, statements::deleteRowById(), {rowid});
        });
    } catch (const KioskError &e) {
        failure = e;
    }
    Refresh();
    if (failure)
        throw *failure;
}

void TDataModule3::createPinLog(QSqlDatabase &db)
{
    for (const QString &statement : statements::createPinLog())
        store::run(db, statement);
    // Numbered like the outbox, so a later db.dll of this kiosk never reuses a number the
    // central database holds.
    store::run(db, statements::seedPinLogSequence(),
               {statements::outboxSequenceStart(d->clock->now())});
}

void TDataModule3::AppendPinEvent(const PinLogRecord &entry)
{
    writeTransaction([&](QSqlDatabase &db) {
        createPinLog(db);
        store::run(db, statements::appendPinEvent(),
                   {entry.date, entry.time, entry.event, entry.detail});
        if (!d->terminal.isEmpty()) {
            for (const QString &statement : statements::createPinOutbox())
                store::run(db, statement);
            store::run(db, statements::appendPinOutbox(), {d->terminal});
        }
    });
}

QList<PinLogRecord> TDataModule3::PinEventsAfterLast(const QString &event)
{
    ensureConnected();
    QList<PinLogRecord> entries;
    // A file from before the log: nothing was logged.
    if (!store::firstValue(d->reader->handle(), statements::pinLogExists()).isValid())
        return entries;
    QSqlQuery query(d->reader->handle());
    query.setForwardOnly(true);
    if (!query.prepare(statements::pinEventsSince()))
        throw KioskError(store::engineMessage(query.lastError()));
    query.addBindValue(event);
    if (!query.exec())
        throw KioskError(store::engineMessage(query.lastError()));
    while (query.next()) {
        entries.append({query.value(0).toString(), query.value(1).toString(),
                        query.value(2).toString(), query.value(3).toString()});
    }
    const QSqlError error = query.lastError();
    query.finish();
    if (error.isValid())
        throw KioskError(store::engineMessage(error));
    return entries;
}

void TDataModule3::OpenPinLog(const QString &startDate, const QString &endDate)
{
    ensureConnected();
    // A file from before the log gets the empty table, so the view shows no entries instead of
    // an error; a read-only file without it reports the engine's message.
    if (!d->readOnly &&
        !store::firstValue(d->reader->handle(), statements::pinLogExists()).isValid())
        writeTransaction([this](QSqlDatabase &db) { createPinLog(db); });
    // The log's rows are no rows of table 评价: nothing here can be deleted one by one.
    show(statements::pinLogListing(startDate, endDate), false);
}

void TDataModule3::takeStatement(const QString &statement)
{
    ReleaseResult();
    d->statement = statement;
    d->resultOpen = false;
    d->tableRows = false;
}

void TDataModule3::closeConnection()
{
    // A log not yet settled goes into the file it belongs to before the handles close.
    if (d->settleTimer.isActive()) {
        d->settleTimer.stop();
        if (d->connected && d->wal)
            d->writer->settle();
    }
    d->model.clear();
    d->writer.reset();
    d->reader.reset();
    d->connected = false;
    d->wal = false;
}

void TDataModule3::ensureConnected()
{
    // OpenConnection also reopens when db.dll was replaced or removed since it was opened.
    OpenConnection();
}

void TDataModule3::populate()
{
    // The first page only, in a read that ends before this returns; more pages as the grid
    // scrolls to them.
    d->model.open(d->reader->handle(), d->statement);
}
