#include "central/forwarder.h"

#include "central/centraldb.h"
#include "central/reasonforwarding.h"
#include "platform/error.h"
#include "store/statements.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStorageInfo>
#include <QUrl>

#include <libpq-fe.h>
#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace central {

namespace {

std::atomic<quint64> forwarderCounter{0};

qint64 monotonicMs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    // Never 0, which means "not busy".
    return clock.elapsed() + 1;
}

QString localText(const QString &engineText)
{
    return u"本机数据库 db.dll：%1"_s.arg(engineText);
}

QString localMessage(const QSqlError &error)
{
    const QString text = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return localText(text.isEmpty() ? u"未知错误"_s : text);
}

void runLocal(QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw KioskError(localMessage(query.lastError()));
}

// Text the server can store: PostgreSQL text holds no NUL character.
QVariant serverText(const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    QString text = value.toString();
    text.remove(QChar(u'\0'));
    return text;
}

} // namespace

QString errorReason(const QString &error)
{
    const qsizetype open = error.lastIndexOf(u'（');
    if (open > 0 && error.endsWith(u'）'))
        return error.left(open);
    return error;
}

QString statusLine(const Status &status)
{
    const QString reason = errorReason(status.error);
    QString line = status.connected ? u"中心数据库：已连接"_s : u"中心数据库：未连接"_s;
    if (!reason.isEmpty())
        line += u"（%1）"_s.arg(reason);
    line += status.pending < 0 ? u"，待发送 ? 条"_s : u"，待发送 %1 条"_s.arg(status.pending);
    line += status.lastArrived.isValid()
                ? u"，最近送达 %1"_s.arg(status.lastArrived.toString(u"yyyy-MM-dd hh:mm:ss"_s))
                : u"，尚无送达"_s;
    return line;
}

Forwarder::Forwarder(const QString &databasePath, const Config &config, platform::ClockPtr clock,
                     int busyTimeoutMs)
    : m_databasePath(databasePath), m_config(config), m_clock(std::move(clock)),
      m_busyTimeoutMs(busyTimeoutMs)
{
    const quint64 n = ++forwarderCounter;
    m_centralName = u"kiosk-forward-central-%1"_s.arg(n);
    try {
        m_connection = parseUrl(config.url);
    } catch (const KioskError &e) {
        m_urlError = e.message();
    }
}

Forwarder::~Forwarder()
{
    m_stopped.load(std::memory_order_acquire);
    closeCentral();
    closeLocal();
}

Status Forwarder::status() const
{
    QMutexLocker lock(&m_statusMutex);
    return m_status;
}

template <typename F> void Forwarder::updateStatus(F &&change)
{
    {
        QMutexLocker lock(&m_statusMutex);
        change(m_status);
    }
    emit statusChanged();
}

void Forwarder::setError(const QString &message)
{
    updateStatus([&](Status &s) {
        s.error = message;
        if (!m_central.isOpen())
            s.connected = false;
    });
}

void Forwarder::abortIfStuck(qint64 limitMs)
{
    const qint64 since = m_busySinceMs.load();
    if (since == 0 || (limitMs > 0 && monotonicMs() - since < limitMs))
        return;
    QMutexLocker lock(&m_socketMutex);
    // Shutting the socket down (not closing it: the library still owns the descriptor) ends
    // the library's wait at once with an error.
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}

void Forwarder::start()
{
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &Forwarder::round);
    m_timer->start(0);
}

void Forwarder::poke()
{
    // Waiting out a retry stays as it is: the server was just found unreachable.
    if (m_timer && m_retryMs == FirstRetryMs && m_timer->isActive())
        m_timer->start(0);
}

void Forwarder::stop()
{
    m_stopping = true;
    if (m_timer)
        m_timer->stop();
    closeCentral();
    closeLocal();
    // Qt orders this before ~Link's delete (a blocking queued call, then the end of the
    // thread) by means a thread checker cannot see; the flag shows it the same order.
    m_stopped.store(true, std::memory_order_release);
}

void Forwarder::openLocal()
{
    const platform::FileIdentity identity = platform::fileIdentity(m_databasePath);
    if (m_localFile && platform::sameFile(identity, m_localIdentity))
        return;
    // db.dll was replaced or removed: the outbox of the new file is the one to forward.
    closeLocal();
    if (!identity.exists)
        throw KioskError(u"本机数据库 db.dll 不存在"_s);
    try {
        // Removing sent entries needs no sync of its own: a removal lost in a power cut only
        // sends those ratings again, and the server keeps each once.
        m_localFile = std::make_unique<store::Database>(
            m_databasePath, store::OpenOptions{.busyTimeoutMs = m_busyTimeoutMs,
                                               .sync = store::Sync::Normal,
                                               .purpose = u"kiosk-forward-local"_s});
    } catch (const KioskError &e) {
        throw KioskError(localText(e.message()));
    }
    m_localIdentity = identity;
}

void Forwarder::closeLocal()
{
    m_localFile.reset();
    m_localIdentity = {};
}

void Forwarder::openCentral()
{
    if (m_central.isOpen())
        return;
    if (!m_urlError.isEmpty())
        throw KioskError(m_urlError);
    m_central = central::open(m_connection, m_centralName);
    const QVariant handle = m_central.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "PGconn*") == 0) {
        PGconn *conn = *static_cast<PGconn *const *>(handle.constData());
        QMutexLocker lock(&m_socketMutex);
        m_socket = conn ? PQsocket(conn) : -1;
    }
    m_lastContactMs = monotonicMs();
    updateStatus([](Status &s) { s.connected = true; });
    askLastArrived();
}

void Forwarder::askLastArrived()
{
    if (status().lastArrived.isValid())
        return;
    // The highest number of this kiosk, and the newest one kept under a new (negative) number,
    // each the end of the key's index.
    QSqlQuery last(m_central);
    last.setForwardOnly(true);
    if (!last.prepare(u"select max(t) from ((select 接收时间 as t from 评价 where 终端 = ? "
                      "order by 序号 desc limit 1) union all (select 接收时间 from 评价 "
                      "where 终端 = ? and 序号 < 0 order by 序号 limit 1)) a"_s))
        return;
    last.addBindValue(m_config.terminal);
    last.addBindValue(m_config.terminal);
    // A server without the table says so at the first batch; here nothing is lost by not knowing.
    if (!last.exec() || !last.next())
        return;
    const QDateTime at = last.value(0).toDateTime();
    last.finish();
    if (at.isValid())
        updateStatus([&](Status &s) {
            if (!s.lastArrived.isValid())
                s.lastArrived = at.toLocalTime();
        });
}

void Forwarder::closeCentral()
{
    {
        QMutexLocker lock(&m_socketMutex);
        m_socket = -1;
    }
    if (m_central.isValid())
        central::close(m_central);
}

bool Forwarder::hasTable(const QString &existsStatement)
{
    QSqlQuery exists(m_localFile->handle());
    exists.setForwardOnly(true);
    if (!exists.exec(existsStatement))
        throw KioskError(localMessage(exists.lastError()));
    const bool found = exists.next();
    exists.finish();
    return found;
}

qint64 Forwarder::countPending()
{
    if (!hasTable(statements::outboxExists()))
        return 0;
    QSqlQuery count(m_localFile->handle());
    count.setForwardOnly(true);
    if (!count.exec(statements::pendingCount()))
        throw KioskError(localMessage(count.lastError()));
    const qint64 n = count.next() ? count.value(0).toLongLong() : 0;
    count.finish();
    return n;
}

Forwarder::Batch Forwarder::readBatch(const QString &batchStatement)
{
    Batch rows;
    QSqlQuery read(m_localFile->handle());
    read.setForwardOnly(true);
    if (!read.prepare(batchStatement))
        throw KioskError(localMessage(read.lastError()));
    read.addBindValue(BatchRows);
    if (!read.exec())
        throw KioskError(localMessage(read.lastError()));
    while (read.next()) {
        QList<QVariant> row;
        for (int c = 0; c < 6; ++c)
            row.append(read.value(c));
        rows.append(row);
    }
    const QSqlError error = read.lastError();
    read.finish();
    if (error.isValid())
        throw KioskError(localMessage(error));
    return rows;
}

void Forwarder::forwardBatches(const QString &batchStatement,
                               const std::function<void(const Batch &)> &send,
                               const std::function<void(const Batch &)> &remove)
{
    while (!m_stopping) {
        // The oldest entries, in a read that ends before the server is asked anything.
        const Batch rows = readBatch(batchStatement);
        if (rows.isEmpty())
            return;
        send(rows);
        m_lastContactMs = monotonicMs();
        // Progress: a long catch-up is no server that stopped answering.
        m_busySinceMs = m_lastContactMs;
        // The server holds them now: only then do they leave the outbox.
        remove(rows);
    }
}

void Forwarder::forwardAll()
{
    // The statement of a full batch is prepared once and kept while the connection works.
    std::optional<QSqlQuery> fullBatch;
    qint64 renumbered = 0;
    const auto send = [&](const Batch &rows) {
        // The reasons of the batch's bad ratings travel in the same transaction.
        const QList<reasons::Waiting> waitingReasons = reasons::readWaiting(
            m_localFile->handle(), rows.first().at(0).toLongLong(), rows.last().at(0).toLongLong());
        const QList<qsizetype> marked = markedRows(rows);

        // At the server, in one transaction.
        if (!m_central.transaction())
            throw KioskError(describe(m_central.lastError(), m_connection));
        try {
            std::optional<QSqlQuery> partBatch;
            QSqlQuery *insert = nullptr;
            if (rows.size() == BatchRows) {
                if (!fullBatch) {
                    fullBatch.emplace(m_central);
                    if (!fullBatch->prepare(insertRatings(BatchRows))) {
                        const QSqlError error = fullBatch->lastError();
                        fullBatch.reset();
                        throw KioskError(describe(error, m_connection));
                    }
                }
                insert = &*fullBatch;
            } else {
                partBatch.emplace(m_central);
                if (!partBatch->prepare(insertRatings(int(rows.size()))))
                    throw KioskError(describe(partBatch->lastError(), m_connection));
                insert = &*partBatch;
            }
            int at = 0;
            for (const QList<QVariant> &row : rows) {
                insert->bindValue(at++, serverText(row.at(1)));  // 终端
                insert->bindValue(at++, row.at(0).toLongLong()); // 序号
                for (int c = 2; c < 6; ++c)
                    insert->bindValue(at++, serverText(row.at(c))); // 名称 .. 综合评价
            }
            if (!insert->exec())
                throw KioskError(describe(insert->lastError(), m_connection));
            renumbered = insert->next() ? insert->value(1).toLongLong() : 0;
            insert->finish();
            reasons::insertAtServer(m_central, m_connection, rows, waitingReasons);
            sendRepeatMarks(rows, marked);
            if (!m_central.commit())
                throw KioskError(describe(m_central.lastError(), m_connection));
        } catch (...) {
            fullBatch.reset();
            m_central.rollback();
            throw;
        }
    };
    const auto remove = [&](const Batch &rows) {
        const qint64 last = rows.last().at(0).toLongLong();
        runLocal(m_localFile->handle(), statements::beginWrite());
        try {
            QSqlQuery remove(m_localFile->handle());
            if (!remove.prepare(statements::removeForwarded()))
                throw KioskError(localMessage(remove.lastError()));
            remove.addBindValue(last);
            if (!remove.exec())
                throw KioskError(localMessage(remove.lastError()));
            reasons::removeForwarded(m_localFile->handle(), last);
            removeForwardedRepeatMarks(last);
            runLocal(m_localFile->handle(), statements::commit());
        } catch (...) {
            QSqlQuery(m_localFile->handle()).exec(statements::rollback());
            throw;
        }
        const qint64 sent = rows.size();
        const QDateTime now = m_clock->now();
        updateStatus([&](Status &s) {
            s.connected = true;
            s.error.clear();
            s.pending = qMax<qint64>(0, s.pending - sent);
            s.forwarded += sent;
            s.renumbered += renumbered;
            s.lastArrived = now;
        });
    };
    forwardBatches(statements::pendingBatch(), send, remove);
}

QList<qsizetype> Forwarder::markedRows(const Batch &rows)
{
    QList<qsizetype> marked;
    if (!hasTable(statements::repeatOutboxExists()))
        return marked;
    QSet<qint64> numbers;
    QSqlQuery read(m_localFile->handle());
    read.setForwardOnly(true);
    if (!read.prepare(statements::pendingRepeatMarks()))
        throw KioskError(localMessage(read.lastError()));
    read.addBindValue(rows.first().at(0).toLongLong());
    read.addBindValue(rows.last().at(0).toLongLong());
    if (!read.exec())
        throw KioskError(localMessage(read.lastError()));
    while (read.next())
        numbers.insert(read.value(0).toLongLong());
    const QSqlError error = read.lastError();
    read.finish();
    if (error.isValid())
        throw KioskError(localMessage(error));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (numbers.contains(rows.at(i).at(0).toLongLong()))
            marked.append(i);
    }
    return marked;
}

void Forwarder::sendRepeatMarks(const Batch &rows, const QList<qsizetype> &marked)
{
    if (marked.isEmpty())
        return;
    QSqlQuery insert(m_central);
    if (!insert.prepare(insertRepeatMarks(int(marked.size()))))
        throw KioskError(describe(insert.lastError(), m_connection));
    int at = 0;
    for (const qsizetype i : marked) {
        const QList<QVariant> &row = rows.at(i);
        insert.bindValue(at++, serverText(row.at(1)));  // 终端
        insert.bindValue(at++, row.at(0).toLongLong()); // 序号
        for (int c = 2; c < 6; ++c)
            insert.bindValue(at++, serverText(row.at(c))); // 名称 .. 综合评价
    }
    if (!insert.exec())
        throw KioskError(describe(insert.lastError(), m_connection));
    insert.finish();
}

void Forwarder::removeForwardedRepeatMarks(qint64 last)
{
    if (!hasTable(statements::repeatOutboxExists()))
        return;
    QSqlQuery remove(m_localFile->handle());
    if (!remove.prepare(statements::removeForwardedRepeatMarks()))
        throw KioskError(localMessage(remove.lastError()));
    remove.addBindValue(last);
    if (!remove.exec())
        throw KioskError(localMessage(remove.lastError()));
}

void Forwarder::forwardPinLog()
{
    if (!hasTable(statements::pinOutboxExists()))
        return;
    const auto send = [this](const Batch &rows) {
        // One statement is one transaction at the server: all of the batch or nothing.
        QSqlQuery insert(m_central);
        if (!insert.prepare(insertPinEvents(int(rows.size()))))
            throw KioskError(describe(insert.lastError(), m_connection));
        int at = 0;
        for (const QList<QVariant> &row : rows) {
            insert.bindValue(at++, serverText(row.at(1)));  // 终端
            insert.bindValue(at++, row.at(0).toLongLong()); // 序号
            for (int c = 2; c < 6; ++c)
                insert.bindValue(at++, serverText(row.at(c))); // 日期 .. 说明
        }
        if (!insert.exec())
            throw KioskError(describe(insert.lastError(), m_connection));
        insert.finish();
    };
    const auto remove = [this](const Batch &rows) {
        QSqlQuery remove(m_localFile->handle());
        if (!remove.prepare(statements::removeForwardedPinEvents()))
            throw KioskError(localMessage(remove.lastError()));
        remove.addBindValue(rows.last().at(0).toLongLong());
        if (!remove.exec())
            throw KioskError(localMessage(remove.lastError()));
    };
    forwardBatches(statements::pendingPinBatch(), send, remove);
}

void Forwarder::settleLocal()
{
    // As the kiosk does after its own writes: empty the log into db.dll, never waiting.
    m_localFile->settle();
}

void Forwarder::reportState(qint64 pending)
{
    // Also with nothing to send, so the dashboard tells a silent kiosk from an idle one. A
    // server without table 终端状态 (made before it existed) keeps taking ratings all the same.
    m_lastReportMs = monotonicMs();
    QSqlQuery report(m_central);
    if (report.prepare(reportTerminalState())) {
        report.addBindValue(m_config.terminal);
        report.addBindValue(pending);
        report.addBindValue(QStringLiteral(KIOSK_VERSION));
        report.addBindValue(
            QStorageInfo(QFileInfo(m_databasePath).absolutePath()).bytesAvailable());
        report.exec();
    }
    report.finish();
}

void Forwarder::round()
{
    if (m_stopping)
        return;
    int nextMs = IdlePollMs;
    m_busySinceMs = monotonicMs();
    try {
        openLocal();
        const qint64 pending = countPending();
        updateStatus([&](Status &s) { s.pending = pending; });
        if (m_central.isOpen() && pending == 0 && monotonicMs() - m_lastContactMs >= KeepAliveMs) {
            // Idle: a cheap question keeps the shown state true.
            QSqlQuery ping(m_central);
            if (!ping.exec(keepAlive()))
                throw KioskError(describe(ping.lastError(), m_connection));
            ping.finish();
            m_lastContactMs = monotonicMs();
        }
        openCentral();
        qint64 left = pending;
        if (pending > 0) {
            forwardAll();
            settleLocal();
            left = countPending();
            updateStatus([&](Status &s) { s.pending = left; });
        }
        forwardPinLog();
        if (m_lastReportMs == 0 || monotonicMs() - m_lastReportMs >= ReportStateMs)
            reportState(left);
        updateStatus([](Status &s) { s.error.clear(); });
        m_retryMs = FirstRetryMs;
    } catch (const KioskError &e) {
        closeCentral();
        setError(e.message());
        nextMs = m_retryMs;
        m_retryMs = qMin(m_retryMs * 2, LongestRetryMs);
    }
    m_busySinceMs = 0;
    if (!m_stopping && m_timer)
        m_timer->start(nextMs);
}

Link::Link(const QString &databasePath, const Config &config, platform::ClockPtr clock,
           QObject *parent, int busyTimeoutMs)
    : QObject(parent), m_config(config), m_databasePath(databasePath),
      m_busyTimeoutMs(busyTimeoutMs),
      m_forwarder(new Forwarder(databasePath, config, std::move(clock), busyTimeoutMs))
{
    m_thread.setObjectName(u"central-forwarder"_s);
    m_forwarder->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, m_forwarder, &Forwarder::start);
    connect(m_forwarder, &Forwarder::statusChanged, this, &Link::statusChanged,
            Qt::QueuedConnection);
    m_watchdog.setInterval(1000);
    connect(&m_watchdog, &QTimer::timeout, this, [this] { m_forwarder->abortIfStuck(StuckMs); });
    m_thread.start(QThread::LowPriority);
    m_watchdog.start();
}

Link::~Link()
{
    m_watchdog.stop();
    m_forwarder->requestStop();
    // A round waiting on the server ends now rather than at its timeout.
    m_forwarder->abortIfStuck(0);
    QMetaObject::invokeMethod(m_forwarder, &Forwarder::stop, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_forwarder;
}

Status Link::status() const
{
    Status status = m_forwarder->status();
    const qint64 pending = countPendingNow();
    if (pending >= 0)
        status.pending = pending;
    return status;
}

qint64 Link::countPendingNow() const
{
    const platform::FileIdentity identity = platform::fileIdentity(m_databasePath);
    if (!identity.exists)
        return -1;
    try {
        // db.dll was replaced or removed: count in the new file.
        if (m_counter && !platform::sameFile(identity, m_counterIdentity))
            m_counter.reset();
        if (!m_counter) {
            m_counter = std::make_unique<store::Database>(
                m_databasePath, store::OpenOptions{.access = store::Access::ReadOnly,
                                                   .busyTimeoutMs = m_busyTimeoutMs,
                                                   .purpose = u"kiosk-forward-count"_s});
            m_counterIdentity = identity;
        }
        // Short reads that end at once: no read stays open on db.dll.
        if (!store::firstValue(m_counter->handle(), statements::outboxExists()).isValid())
            return 0;
        const QVariant n = store::firstValue(m_counter->handle(), statements::pendingCount());
        return n.isValid() ? n.toLongLong() : -1;
    } catch (const KioskError &) {
        m_counter.reset();
        return -1;
    }
}

void Link::poke()
{
    QMetaObject::invokeMethod(m_forwarder, &Forwarder::poke, Qt::QueuedConnection);
}

} // namespace central
