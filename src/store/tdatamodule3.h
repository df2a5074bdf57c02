#pragma once

#include "platform/clock.h"
#include "platform/error.h"
#include "store/database.h"
#include "store/record.h"

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QSqlDatabase;
class ResultPages;

// The clear of all ratings stopped before deleting anything: the archive could not be written.
class ArchiveFailed : public KioskError
{
public:
    using KioskError::KioskError;
};

// The database module: the one connection to "db.dll" (SQLite) in the current directory and the
// one shared result set that the statistics grid shows. Every engine failure is thrown as
// KioskError carrying the engine's message.
class TDataModule3 : public QObject
{
    Q_OBJECT
public:
    // Names workDir/db.dll. Does not touch the file; call Open steps as start-up does. clock
    // numbers the outbox and the PIN log and stamps the archive of deleted rows. Every
    // statement waits up to busyTimeoutMs while another process holds the file locked.
    TDataModule3(const QString &workDir, platform::ClockPtr clock, QObject *parent = nullptr,
                 int busyTimeoutMs = store::DefaultBusyTimeoutMs);
    ~TDataModule3() override;

    // How long every statement waits while another process holds the file locked; a change
    // takes effect at once, also on an open connection.
    int busyTimeout() const;
    void setBusyTimeout(int milliseconds);

    // Start-up, step 1: opens the connection. Never creates the file: a missing, unreadable or
    // non-SQLite file throws. A file without write permission bits is opened read-only. Does
    // nothing while connected to the same file; reopens when db.dll was replaced or removed.
    // Opening empties a write-ahead log left by a killed kiosk into db.dll, so the file alone
    // is complete again from start-up on.
    void OpenConnection();
    // Start-up, step 2: makes "select * from 评价" the current statement; connects first when
    // the connection is not open (a second attempt, which may throw again). The statement is
    // only checked (a missing table throws), not run: start-up never reads the table, and no
    // read stays open from start-up on. The rows come with the first Refresh.
    void OpenStartupQuery();
    bool isConnected() const;

    // Appends one record to 评价 and returns once it is durably stored (it survives a killed
    // process or a power cut). A second after the last append the log is emptied into db.dll
    // (when the event loop runs), so db.dll alone then holds every rating. Reconnects first when
    // the connection was never opened or was lost (db.dll replaced or removed). Waits up to the
    // busy timeout while another process holds the write lock. Throws on any failure, and then
    // nothing is stored.
    void Append(const EvaluationRecord &record);

    // Forwarding to the central database: with a kiosk name, every Append also files the
    // rating under that name in the outbox table 待上传, in the same transaction, so a rating is
    // never stored without its outbox entry. The sender (src/central) empties the outbox once
    // the server has confirmed. An empty name (the default) turns it off; nothing else changes.
    void setForwarding(const QString &terminal);
    QString forwardingTerminal() const;

    // Suspected repeats: with a window of seconds, Append marks a rating of a name whose
    // previous rating came less than that many seconds before (see repeats::isRepeat), in the
    // same transaction, in table 评价_疑似重复 (and, with forwarding, its outbox entry in
    // 待上传_疑似重复). The rating itself is stored as every other one. 0 (the default) marks
    // nothing. The evaluation dialog sets it from setting chongfu_miao before each append.
    void setRepeatSeconds(int seconds);
    int repeatSeconds() const;

    // The shared result set, bound to the statistics grid. Rows are read in pages as they are
    // needed, each page a short read, so no read stays open while the window is shown.
    ResultPages *DataSource1() const;
    // The statistics window's results. Each makes its statement the shared one and opens it
    // (see statements.h for the arguments); on an engine error the result set stays closed and
    // empty, and the error is thrown. Each connects first when not connected.
    // Every rating with its four fields ("select * from 评价").
    void ShowAll();
    // The ratings of the date range and the filters, in name and date order ("查  询").
    void ShowListing(const QString &nameBox, const QString &gradeBox, const QString &startDate,
                     const QString &endDate);
    // The count per name and grade word ("统  计").
    void ShowCounts(const QString &nameBox, const QString &gradeBox, const QString &startDate,
                    const QString &endDate);
    // The count per grade word over the date range alone ("综合满意度").
    void ShowOverall(const QString &startDate, const QString &endDate);
    // Clears all ratings (and their daily counts) after copying the whole file to archive (see
    // backup::copyDatabase). The copy fails: ArchiveFailed, and nothing is deleted. Afterwards
    // the result set is closed with "DELETE FROM 评价" as its statement.
    void ClearAll(const QString &archive);
    // The statement the shared result set holds now.
    QString statement() const;

    // The statistics window calls Refresh when it is shown and ReleaseResult when it is hidden,
    // so no read of the database stays open while nobody looks at the grid.
    // Runs the current statement again into the result set; does nothing while the result set
    // is closed (after the clear of all data or a failed open). On an engine error the result
    // set is closed and the error is thrown.
    void Refresh();
    // Ends any open read and empties the result set; the statement stays, and Refresh brings
    // its rows back.
    void ReleaseResult();
    // Whether the current result set lists rows of the table itself (ShowAll or ShowListing),
    // so that one of its rows can be deleted.
    bool showsTableRows() const;
    // The record shown at that row while the result set lists rows of the table; nothing
    // otherwise.
    std::optional<EvaluationRecord> shownRecord(int row) const;
    // Deletes the table row shown at that row of the result set: exactly one row of 评价 with
    // its four values, even when other rows hold the same values. In the same transaction the
    // row is first copied into the archive 评价_已删除 with the time of deletion, so nothing is
    // deleted without its copy. Then reopens the result set.
    void DeleteRow(int row);

    // The log of the staff PIN, table 密码记录 (created with its first entry). AppendPinEvent
    // stores one entry durably, with forwarding also in the outbox 待上传_密码记录 in the same
    // transaction. PinEventsAfterLast gives the entries after the last one of that event (the
    // last right PIN), oldest first; none when the log does not exist yet. OpenPinLog makes the
    // log between two dates the shared result set (时刻, 事件, 说明, newest first). All throw
    // KioskError.
    void AppendPinEvent(const PinLogRecord &entry);
    QList<PinLogRecord> PinEventsAfterLast(const QString &event);
    void OpenPinLog(const QString &startDate, const QString &endDate);

signals:
    // A rating was stored durably by Append.
    void appended();

private:
    // Ends the open result and makes statement the current one, closed until it has run.
    void takeStatement(const QString &statement);
    // Makes statement the shared one and opens it; tableRows: its rows are rows of 评价.
    void show(const QString &statement, bool tableRows);
    void closeConnection();
    void ensureConnected();
    void populate();
    void fileForForwarding(QSqlDatabase &db, const EvaluationRecord &record);
    // Inside the append's transaction, after the row: marks it when it is a suspected repeat.
    bool markIfRepeat(QSqlDatabase &db, const EvaluationRecord &record);
    // After the outbox entry of a marked rating: marks the entry for the central database.
    static void fileRepeatForForwarding(QSqlDatabase &db);
    // Runs steps in one write transaction on the write handle, rolled back when a step throws;
    // settles the log afterwards.
    template <typename Steps> void writeTransaction(Steps &&steps);
    // The log table with its sequence started, inside a write transaction.
    void createPinLog(QSqlDatabase &db);

    struct Private;
    Private *d;
};
