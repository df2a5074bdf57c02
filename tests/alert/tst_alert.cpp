// The alert service (kiosk-alert processes) against a private PostgreSQL, a recording robot
// server and aiosmtpd: every rule, every channel, failures and recovery, the service killed
// during bursts, two services at once, the digest beyond 20 messages a minute, a hanging robot
// beside one that answers, the case deadlines passed, rules switched off, and mail only over
// STARTTLS to a server whose certificate verifies.
#include "alert/robot.h"
#include "support/pgserver.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString Dashboard = u"https://center.example"_s;

// A rating as the rows of the tests give it: "终端|序号|名称|时间|等级|原因;原因|分钟前".
struct RatingRow
{
    QString terminal, number, name, time, grade;
    QStringList reasons;
    int minutesAgo = 0;
};

RatingRow ratingRow(const QString &text)
{
    const QStringList f = text.split(u'|');
    return {f[0],
            f[1],
            f[2],
            f[3],
            f[4],
            f.value(5).isEmpty() ? QStringList() : f.value(5).split(u';'),
            f.value(6).toInt()};
}

// Runs openssl with those arguments in folder; its output when it fails.
QString openssl(const QString &folder, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(u"openssl"_s, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return u"openssl %1: %2"_s.arg(arguments.join(u' '), QString::fromUtf8(process.readAll()));
    return {};
}

// The certificates of the mail servers, made in folder: a CA (ca.crt, the one the service
// trusts), good.* signed by it for 127.0.0.1, othername.* signed by it for another host, and
// untrusted.* for 127.0.0.1 but signed by nobody the service trusts.
QString makeCertificates(const QString &folder)
{
    const QStringList key{u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s,
                          u"-nodes"_s};
    QString problem =
        openssl(folder, QStringList{u"req"_s, u"-x509"_s} + key +
                            QStringList{u"-days"_s, u"2"_s, u"-subj"_s, u"/CN=Alert test CA"_s,
                                        u"-addext"_s, u"basicConstraints=critical,CA:TRUE"_s,
                                        u"-addext"_s, u"keyUsage=critical,keyCertSign"_s,
                                        u"-keyout"_s, u"ca.key"_s, u"-out"_s, u"ca.crt"_s});
    const QList<std::pair<QString, QString>> signedByCa{
        {u"good"_s, u"subjectAltName=IP:127.0.0.1,DNS:localhost"_s},
        {u"othername"_s, u"subjectAltName=DNS:mail.example.org"_s}};
    for (const auto &[name, names] : signedByCa) {
        QFile ext(QDir(folder).filePath(name + u".ext"_s));
        if (!ext.open(QIODevice::WriteOnly))
            return u"cannot write %1"_s.arg(ext.fileName());
        ext.write(names.toLatin1() + '\n');
        ext.close();
        problem += openssl(folder, QStringList{u"req"_s} + key +
                                       QStringList{u"-subj"_s, u"/CN=%1"_s.arg(name), u"-keyout"_s,
                                                   name + u".key"_s, u"-out"_s, name + u".csr"_s});
        problem += openssl(folder,
                           {u"x509"_s, u"-req"_s, u"-in"_s, name + u".csr"_s, u"-CA"_s, u"ca.crt"_s,
                            u"-CAkey"_s, u"ca.key"_s, u"-CAcreateserial"_s, u"-days"_s, u"2"_s,
                            u"-extfile"_s, name + u".ext"_s, u"-out"_s, name + u".crt"_s});
    }
    problem += openssl(folder,
                       QStringList{u"req"_s, u"-x509"_s} + key +
                           QStringList{u"-days"_s, u"2"_s, u"-subj"_s, u"/CN=127.0.0.1"_s,
                                       u"-addext"_s, u"subjectAltName=IP:127.0.0.1"_s, u"-keyout"_s,
                                       u"untrusted.key"_s, u"-out"_s, u"untrusted.crt"_s});
    return problem;
}

QString quoted(const QString &text)
{
    return u"'"_s + QString(text).replace(u"'"_s, u"''"_s) + u"'"_s;
}

} // namespace

class TestAlert : public QObject
{
    Q_OBJECT

private:
    PgServer m_server;
    std::unique_ptr<Robot> m_robot;
    QTemporaryDir m_dir;
    QString m_database;
    int m_databases = 0;
    QList<QProcess *> m_services;
    // The moment every test starts at, in local time: a Wednesday morning, far from midnight,
    // so a rating's day is the service's day and the last 60 minutes lie within it.
    const qint64 m_start = QDateTime(QDate(2026, 3, 4), QTime(10, 0)).toMSecsSinceEpoch();
    qint64 m_clock = m_start;
    QString m_today = QDate(2026, 3, 4).toString(u"yyyy-MM-dd"_s);
    QTemporaryDir m_mailDir;
    QProcess m_smtp;
    int m_smtpPort = 0;
    // The other mail servers by kind: "plain" (no STARTTLS), "othername", "untrusted".
    QHash<QString, int> m_smtpPorts;
    QString caFile() const { return m_mailDir.filePath(u"tls/ca.crt"_s); }

    QString url() const { return m_server.url(u"alert"_s, u"Alarm-pw-9"_s, m_database); }
    QString clockFile() const { return m_dir.filePath(u"clock"_s); }
    void setClock(qint64 ms)
    {
        m_clock = ms;
        // Renamed into place, so the service never reads half a number.
        QSaveFile file(clockFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(ms));
        QVERIFY(file.commit());
    }
    QString sql(const QString &statement) { return m_server.psql(statement, m_database).trimmed(); }

    // kiosk-alert with those arguments after --central; its output and exit code.
    int tool(const QStringList &arguments, QString *output = nullptr)
    {
        QString own;
        if (!output)
            output = &own;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(ALERT_TOOL), QStringList{u"--central"_s, url()} + arguments);
        if (!process.waitForFinished(60000))
            return -1;
        *output = QString::fromUtf8(process.readAll());
        if (process.exitCode() != 0)
            qWarning().noquote() << arguments.join(u' ') << *output;
        return process.exitCode();
    }
    // A service; a short time-out for a channel only where a test waits on one.
    QProcess *startService(int timeoutMs = 10000)
    {
        auto *process = new QProcess(this);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(ALERT_TOOL),
                       {u"--central"_s, url(), u"--clock-file"_s, clockFile(), u"--timeout-ms"_s,
                        QString::number(timeoutMs), u"--dashboard"_s, Dashboard + u"/"_s,
                        u"--smtp-ca"_s, caFile()});
        process->waitForStarted();
        m_services << process;
        return process;
    }
    void stopServices()
    {
        for (QProcess *p : m_services) {
            p->terminate();
            if (!p->waitForFinished(10000))
                p->kill();
            p->waitForFinished();
            delete p;
        }
        m_services.clear();
    }
    // A fresh database with the central and alert tables, halls and the reasons table.
    void freshDatabase()
    {
        m_database = u"alert%1"_s.arg(++m_databases);
        QVERIFY2(m_server.createDatabase(m_database, u"alert"_s, u"Alarm-pw-9"_s),
                 qPrintable(m_server.lastError()));
        QString out;
        QCOMPARE(tool({u"--list"_s}, &out), 0);
        sql(u"set role alert; create table if not exists 评价_原因 (终端 text, 序号 bigint, 原因 "
            u"text, "
            "primary key (终端, 序号, 原因)); insert into 终端大厅 values ('T1', '一号厅'), "
            "('T2', '一号厅'), ('T3', '二号厅')"_s);
        m_robot->messages.clear();
        m_robot->problems.clear();
        m_robot->answer = Robot::Answer::Ok;
        m_robot->answers.clear();
        m_robot->refused = 0;
    }
    // Inserts the ratings in one statement (and their reasons in the same transaction).
    void insertRatings(const QStringList &rows)
    {
        QStringList values, reasons;
        for (const QString &text : rows) {
            const RatingRow r = ratingRow(text);
            // Received on the service's clock, the given minutes before its present moment.
            values << u"(%1, %2, %3, %4, %5, %6, to_timestamp(%7 / 1000.0))"_s.arg(
                quoted(r.terminal), r.number, quoted(r.name), quoted(m_today), quoted(r.time),
                quoted(r.grade), QString::number(m_clock - qint64(r.minutesAgo) * 60000));
            for (const QString &reason : r.reasons)
                reasons << u"(%1, %2, %3)"_s.arg(quoted(r.terminal), r.number, quoted(reason));
        }
        QString statement =
            u"set role alert; begin; insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价, "
            "接收时间) values %1; "_s.arg(values.join(u','));
        if (!reasons.isEmpty())
            statement += u"insert into 评价_原因 values %1; "_s.arg(reasons.join(u','));
        statement += u"commit; select 'inserted';"_s;
        QVERIFY2(m_server.psql(statement, m_database).contains(u"inserted"_s),
                 qPrintable(m_server.lastError()));
    }
    // Waits on events until done, at most ms; when pumping, a minute passes on the service's
    // clock each time the robot has taken 20 messages, so the limit per minute never stalls.
    bool waitFor(const std::function<bool()> &done, int ms, bool pump = false)
    {
        QDeadlineTimer deadline(ms);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            if (pump && m_robot->messages.size() - m_messagesAtBump >= 20) {
                setClock(m_clock + 61000);
                m_messagesAtBump = m_robot->messages.size();
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return true;
    }
    qsizetype m_messagesAtBump = 0;
    // 100 bad ratings of terminal, one statement each, from a psql process of its own.
    QProcess *burst(const QString &terminal, int first)
    {
        QFile file(m_dir.filePath(u"burst-%1-%2.sql"_s.arg(terminal).arg(first)));
        file.open(QIODevice::WriteOnly);
        for (int i = first; i < first + 100; ++i)
            file.write(
                u"insert into 评价 (终端, 序号, 名称, 日期, 时间, 综合评价, 接收时间) values "
                "('%1', %2, '张三', '%3', '10:00:00', '非常不满意', to_timestamp(%4 / "
                "1000.0));\n"_s.arg(terminal)
                    .arg(i)
                    .arg(m_today)
                    .arg(m_clock)
                    .toUtf8());
        file.close();
        auto *process = new QProcess(this);
        process->start(u"psql"_s,
                       {u"-q"_s, u"-v"_s, u"ON_ERROR_STOP=1"_s, u"-f"_s, file.fileName(), url()});
        return process;
    }
    QString channelState() { return sql(u"select 状态 || '|' || 最近错误 from 告警_渠道"_s); }
    // Each outbox number against how often the robot took it: lost ones fail the test.
    int repeatsOf(const QString &path, const QString &channel = u"值班"_s)
    {
        QHash<qint64, int> received;
        for (qint64 n : m_robot->numbers(path + u' '))
            ++received[n];
        const QStringList ids =
            sql(u"select 编号 from 告警_发件箱 where 渠道 = '%1' order by 编号"_s.arg(channel))
                .split(u'\n');
        int lost = 0, repeats = 0;
        for (const QString &id : ids) {
            const int times = received.value(id.toLongLong());
            lost += times == 0;
            repeats += std::max(0, times - 1);
        }
        if (lost > 0)
            qWarning() << "lost alerts:" << lost << "of" << ids.size();
        return lost > 0 ? -lost : repeats;
    }
    qint64 unsent()
    {
        return sql(u"select count(*) from 告警_发件箱 where 已发送 is null"_s).toLongLong();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_server.isValid() && m_server.start(), qPrintable(m_server.lastError()));
        m_robot = std::make_unique<Robot>();
        const QString tls = m_mailDir.filePath(u"tls"_s);
        QVERIFY(QDir().mkpath(tls));
        const QString problem = makeCertificates(tls);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const auto pem = [&](const QString &name) { return QDir(tls).filePath(name); };
        m_smtp.start(u"/usr/bin/python3"_s,
                     {QStringLiteral(SMTP_SINK), m_mailDir.path(), pem(u"good.crt"_s),
                      pem(u"good.key"_s),
                      u"othername:%1:%2"_s.arg(pem(u"othername.crt"_s), pem(u"othername.key"_s)),
                      u"untrusted:%1:%2"_s.arg(pem(u"untrusted.crt"_s), pem(u"untrusted.key"_s))});
        QVERIFY(m_smtp.waitForStarted());
        QVERIFY(waitFor([&] { return m_smtp.canReadLine(); }, 30000));
        const QStringList ports = QString::fromLatin1(m_smtp.readLine()).simplified().split(u' ');
        m_smtpPort = ports.value(0).toInt();
        QVERIFY(m_smtpPort > 0);
        for (const QString &other : ports.mid(1))
            m_smtpPorts[other.section(u'=', 0, 0)] = other.section(u'=', 1).toInt();
        QCOMPARE(m_smtpPorts.keys().size(), 3);
    }
    void cleanup() { stopServices(); }
    void cleanupTestCase()
    {
        stopServices();
        m_smtp.closeWriteChannel();
        if (!m_smtp.waitForFinished(10000))
            m_smtp.kill();
    }

    void channels_data()
    {
        QTest::addColumn<QStringList>("channel");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("hidden");
        QTest::newRow("企业微信文本")
            << QStringList{u"--wecom"_s,
                           u"{robot}/wecom/send?key=693a91f6-7xxx-4bc4-97a0-0ec2sifa5aaa"_s}
            << u"/wecom/send text"_s << u"693a91f6"_s;
        QTest::newRow("企业微信 markdown")
            << QStringList{u"--wecom"_s,
                           u"{robot}/wecom/send?key=693a91f6-7xxx-4bc4-97a0-0ec2sifa5aaa"_s,
                           u"--markdown"_s}
            << u"/wecom/send markdown"_s << u"693a91f6"_s;
        QTest::newRow("钉钉文本（加签）")
            << QStringList{u"--dingtalk"_s,
                           u"{robot}/dingtalk/send?access_token=0123456789abcdefTOKN"_s,
                           u"--secret"_s, DingtalkSecret}
            << u"/dingtalk/send text"_s << u"0123456789abcdef"_s;
        QTest::newRow("钉钉 markdown（加签）")
            << QStringList{u"--dingtalk"_s,
                           u"{robot}/dingtalk/send?access_token=0123456789abcdefTOKN"_s,
                           u"--secret"_s, DingtalkSecret, u"--markdown"_s}
            << u"/dingtalk/send markdown"_s << u"SEC0123456789abcdef"_s;
        QTest::newRow("邮件") << QStringList{u"--smtp"_s, u"smtp://127.0.0.1:{smtp}"_s,
                                             u"--from"_s, u"alarm@center.example"_s,
                                             u"--to"_s,   u"chef@hall.example,vize@hall.example"_s}
                              << u"mail"_s << QString();
    }
    void channels()
    {
        QFETCH(QStringList, channel);
        QFETCH(QString, received);
        QFETCH(QString, hidden);
        freshDatabase();
        setClock(m_start);
        for (QString &a : channel)
            a.replace(u"{robot}"_s, m_robot->url(QString()))
                .replace(u"{smtp}"_s, QString::number(m_smtpPort));
        QString out;
        QCOMPARE(tool(QStringList{u"--add-channel"_s, u"值班"_s} + channel, &out), 0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"值班"_s}), 0);
        QCOMPARE(tool({u"--list"_s}, &out), 0);
        if (!hidden.isEmpty())
            QVERIFY2(!out.contains(hidden) && out.contains(u"****"_s), qPrintable(out));
        startService();
        insertRatings({u"T1|9|张三|10:00:00|非常不满意|服务态度不好"_s});
        QString content;
        if (received == u"mail"_s) {
            QDir mails(m_mailDir.path());
            const int before = int(mails.entryList({u"mail-*.eml"_s}).size());
            QVERIFY(
                waitFor([&] { return mails.entryList({u"mail-*.eml"_s}).size() > before; }, 30000));
            QFile file(mails.filePath(mails.entryList({u"mail-*.eml"_s}).last()));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray mail = file.readAll();
            QVERIFY2(mail.startsWith("X-Rcpt: chef@hall.example,vize@hall.example"),
                     mail.constData());
            QVERIFY(mail.contains("Subject: =?UTF-8?B?"));
            content = QString::fromUtf8(QByteArray::fromBase64(
                mail.mid(mail.indexOf("\r\n\r\n", mail.indexOf("Content-Transfer")))));
        } else {
            QVERIFY(waitFor([&] { return !m_robot->messages.isEmpty(); }, 30000));
            QCOMPARE(m_robot->messages.first().path, received);
            content = m_robot->messages.first().content;
        }
        QVERIFY2(content.contains(u"名称：张三"_s) && content.contains(u"原因：服务态度不好"_s),
                 qPrintable(content));
        QVERIFY2(m_robot->problems.isEmpty(), qPrintable(m_robot->problems.join(u'\n')));
        QTRY_COMPARE_WITH_TIMEOUT(unsent(), 0, 10000);
    }

    // Mail goes only over TLS that verifies: STARTTLS is required before anything is sent,
    // and the server's certificate must be signed by the trusted CA for the address dialled.
    // A refused server is retried with the alert kept in the outbox, never sent in clear.
    void mailTls_data()
    {
        QTest::addColumn<QString>("server"); // empty: the STARTTLS server with the good certificate
        QTest::addColumn<QString>("error");  // empty: delivered
        QTest::newRow("STARTTLS offered and used") << QString() << QString();
        QTest::newRow("server without STARTTLS") << u"plain"_s << u"不支持 STARTTLS"_s;
        QTest::newRow("certificate of an unknown CA") << u"untrusted"_s << u"证书"_s;
        QTest::newRow("certificate for another host") << u"othername"_s << u"证书"_s;
    }
    void mailTls()
    {
        QFETCH(QString, server);
        QFETCH(QString, error);
        freshDatabase();
        setClock(m_start);
        const int port = server.isEmpty() ? m_smtpPort : m_smtpPorts.value(server);
        QVERIFY(port > 0);
        QCOMPARE(
            tool({u"--add-channel"_s, u"值班"_s, u"--smtp"_s, u"smtp://127.0.0.1:%1"_s.arg(port),
                  u"--from"_s, u"alarm@center.example"_s, u"--to"_s, u"chef@hall.example"_s}),
            0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"值班"_s}), 0);
        const QDir folder(server.isEmpty() ? m_mailDir.path() : m_mailDir.filePath(server));
        const auto mails = [&] { return folder.entryList({u"mail-*.eml"_s}).size(); };
        const auto commands = [&] {
            QFile log(folder.filePath(u"commands.log"_s));
            return log.open(QIODevice::ReadOnly) ? QString::fromLatin1(log.readAll()) : QString();
        };
        const qsizetype mailsBefore = mails();
        startService(5000);
        insertRatings({u"T1|1|张三|10:00:00|非常不满意|服务态度不好"_s});
        if (error.isEmpty()) {
            QVERIFY(waitFor([&] { return mails() > mailsBefore; }, 30000));
            QTRY_COMPARE_WITH_TIMEOUT(unsent(), 0, 30000);
            QCOMPARE(mails(), mailsBefore + 1);
            QCOMPARE(channelState(), u"正常|"_s);
            QVERIFY2(commands().contains(u"MAIL tls"_s) && !commands().contains(u"plain"_s),
                     qPrintable(commands()));
            return;
        }
        QVERIFY(waitFor([&] { return channelState().startsWith(u"重试中|"_s); }, 30000));
        QVERIFY2(channelState().contains(error), qPrintable(channelState()));
        // Retried once the backoff has passed on the service's clock, refused again.
        setClock(m_clock + 120000);
        QVERIFY(waitFor([&] { return sql(u"select 尝试次数 from 告警_发件箱"_s).toInt() >= 2; },
                        30000));
        QCOMPARE(unsent(), 1);
        QCOMPARE(mails(), mailsBefore);
        // Not one command that carries an address reached a server in clear.
        QVERIFY2(!commands().contains(u"MAIL plain"_s), qPrintable(commands()));
    }

    void recovery_data()
    {
        QTest::addColumn<bool>("mail");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("error");
        QTest::newRow("HTTP 500") << false << int(Robot::Answer::Http500) << u"HTTP 500"_s;
        QTest::newRow("errcode 310000")
            << false << int(Robot::Answer::Errcode310000) << u"errcode 310000"_s;
        QTest::newRow("超时") << false << int(Robot::Answer::Silent) << u"超时"_s;
        QTest::newRow("邮件服务器拒收") << true << 0 << u"拒收"_s;
    }
    // A channel failing for a while, shown failed after 10 minutes, then every alert once.
    void recovery()
    {
        QFETCH(bool, mail);
        QFETCH(int, answer);
        QFETCH(QString, error);
        freshDatabase();
        setClock(m_start);
        const QString refuse = m_mailDir.filePath(u"refuse"_s);
        if (mail) {
            QFile(refuse).open(QIODevice::WriteOnly);
            QCOMPARE(tool({u"--add-channel"_s, u"值班"_s, u"--smtp"_s,
                           u"smtp://127.0.0.1:%1"_s.arg(m_smtpPort), u"--from"_s,
                           u"alarm@center.example"_s, u"--to"_s, u"chef@hall.example"_s}),
                     0);
        } else {
            m_robot->answer = Robot::Answer(answer);
            QCOMPARE(
                tool({u"--add-channel"_s, u"值班"_s, u"--wecom"_s, m_robot->url(u"/wecom/x"_s)}),
                0);
        }
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"值班"_s}), 0);
        const int mailsBefore = int(QDir(m_mailDir.path()).entryList({u"mail-*.eml"_s}).size());
        startService(1000);
        insertRatings({u"T1|1|张三|10:00:00|非常不满意"_s, u"T1|2|张三|10:01:00|不满意"_s,
                       u"T2|1|李四|10:02:00|非常不满意"_s});
        QVERIFY(waitFor([&] { return channelState().startsWith(u"重试中|"_s); }, 30000));
        QVERIFY2(channelState().contains(error), qPrintable(channelState()));
        setClock(m_clock + 700000);
        QVERIFY2(waitFor([&] { return channelState().startsWith(u"故障|"_s); }, 30000),
                 qPrintable(channelState()));
        QVERIFY2(channelState().contains(error), qPrintable(channelState()));
        QCOMPARE(unsent(), 3);
        QFile::remove(refuse);
        m_robot->answer = Robot::Answer::Ok;
        setClock(m_clock + 400000);
        QVERIFY(waitFor([&] { return unsent() == 0; }, 30000));
        QCOMPARE(channelState(), u"正常|"_s);
        if (mail)
            QCOMPARE(QDir(m_mailDir.path()).entryList({u"mail-*.eml"_s}).size(), mailsBefore + 3);
        else
            QCOMPARE(repeatsOf(u"/wecom/x"_s), 0);
    }

    // The service killed with -9 during bursts of 100 bad ratings: no alert lost; repeats
    // (only possible when it died inside the commit after the robot's answer) counted.
    void killedDuringBurst()
    {
        freshDatabase();
        setClock(m_start);
        m_messagesAtBump = 0;
        QCOMPARE(tool({u"--add-channel"_s, u"值班"_s, u"--wecom"_s, m_robot->url(u"/wecom/k"_s)}),
                 0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"值班"_s}), 0);
        QProcess *service = startService();
        const QList<int> killAfter{1, 4, 9, 15, 25};
        for (int round = 0; round < killAfter.size(); ++round) {
            const qsizetype before = m_robot->messages.size();
            QProcess *insert = burst(u"T1"_s, round * 100 + 1);
            QVERIFY(waitFor(
                [&] {
                    return m_robot->messages.size() - before >= killAfter[round] ||
                           insert->state() == QProcess::NotRunning;
                },
                60000, true));
            service->kill();
            service->waitForFinished();
            m_services.removeOne(service);
            delete service;
            service = startService();
            QVERIFY(insert->state() == QProcess::NotRunning || insert->waitForFinished(60000));
            QCOMPARE(insert->exitCode(), 0);
            delete insert;
        }
        QVERIFY(waitFor(
            [&] { return unsent() == 0 && sql(u"select count(*) from 告警_待判"_s) == u"0"_s; },
            120000, true));
        QCOMPARE(sql(u"select count(*) from 告警_发件箱"_s),
                 QString::number(killAfter.size() * 100));
        const int repeats = repeatsOf(u"/wecom/k"_s);
        qInfo("%d rounds of 100 bad ratings, killed with -9 in each: none lost, %d repeated",
              int(killAfter.size()), repeats);
        QVERIFY(repeats >= 0);
    }

    void twoServices()
    {
        freshDatabase();
        setClock(m_start);
        m_messagesAtBump = 0;
        QCOMPARE(tool({u"--add-channel"_s, u"值班"_s, u"--wecom"_s, m_robot->url(u"/wecom/2"_s)}),
                 0);
        QCOMPARE(tool({u"--add-channel"_s, u"备用"_s, u"--wecom"_s, m_robot->url(u"/wecom/2b"_s)}),
                 0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"值班,备用"_s}), 0);
        startService();
        startService();
        std::unique_ptr<QProcess> first(burst(u"T1"_s, 1)), second(burst(u"T2"_s, 1));
        for (QProcess *p : {first.get(), second.get()})
            QVERIFY(p->state() == QProcess::NotRunning || p->waitForFinished(60000));
        QVERIFY(waitFor(
            [&] { return unsent() == 0 && sql(u"select count(*) from 告警_待判"_s) == u"0"_s; },
            120000, true));
        QCOMPARE(sql(u"select count(*) from 告警_发件箱"_s), u"400"_s);
        QCOMPARE(repeatsOf(u"/wecom/2"_s), 0);
        QCOMPARE(repeatsOf(u"/wecom/2b"_s, u"备用"_s), 0);
    }

    // Beyond 20 messages a minute to one robot the waiting alerts go as one digest.
    void digest()
    {
        freshDatabase();
        setClock(m_start);
        QCOMPARE(tool({u"--add-channel"_s, u"值班"_s, u"--wecom"_s, m_robot->url(u"/wecom/d"_s)}),
                 0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"值班"_s}), 0);
        startService();
        QStringList ratings;
        for (int i = 1; i <= 30; ++i)
            ratings << u"T1|%1|张三|10:00:00|不满意"_s.arg(i);
        insertRatings(ratings);
        QVERIFY(waitFor([&] { return unsent() == 0 && m_robot->messages.size() >= 20; }, 30000));
        QCOMPARE(m_robot->messages.size(), 20);
        QVERIFY(!m_robot->messages[18].content.contains(u"汇总"_s));
        QVERIFY2(m_robot->messages[19].content.contains(u"【告警汇总】"_s) &&
                     m_robot->messages[19].content.contains(u"共 11 条"_s),
                 qPrintable(m_robot->messages[19].content));
        QCOMPARE(repeatsOf(u"/wecom/d"_s), 0);
        // The minute is used up: the next alerts wait for the clock, then go one by one.
        insertRatings({u"T1|31|张三|10:00:00|不满意"_s, u"T1|32|张三|10:00:00|不满意"_s});
        QTRY_COMPARE_WITH_TIMEOUT(sql(u"select count(*) from 告警_待判"_s), u"0"_s, 30000);
        QCOMPARE(unsent(), 2);
        QCOMPARE(m_robot->messages.size(), 20);
        setClock(m_clock + 61000);
        QVERIFY(waitFor([&] { return unsent() == 0; }, 30000));
        QCOMPARE(m_robot->messages.size(), 22);
        QVERIFY(!m_robot->messages[21].content.contains(u"汇总"_s));
        QCOMPARE(repeatsOf(u"/wecom/d"_s), 0);
        // The clock set back an hour (as time synchronisation does to a clock that ran ahead):
        // the sends stamped later than now do not count against the minute.
        setClock(m_clock - 3600000);
        insertRatings({u"T1|33|张三|10:00:00|不满意"_s});
        QVERIFY(waitFor([&] { return unsent() == 0; }, 30000));
        QCOMPARE(m_robot->messages.size(), 23);
    }

    void rules_data()
    {
        QTest::addColumn<QStringList>("rule");
        QTest::addColumn<QStringList>("ratings");
        QTest::addColumn<int>("alerts");
        QTest::addColumn<QStringList>("texts");
        const QStringList bad{u"bad"_s};
        QTest::newRow("每条差评即时告警")
            << bad
            << QStringList{u"T1|1|张三|10:00:00|非常满意"_s,
                           u"T1|2|张三|10:01:00|非常不满意|服务态度不好;等候时间太长"_s,
                           u"T1|3|李四|10:02:00|比较满意"_s}
            << 1
            << QStringList{u"【差评告警】第 "_s,
                           u"大厅：一号厅　终端：T1"_s,
                           u"名称：张三"_s,
                           u"评价：非常不满意"_s,
                           u"原因：服务态度不好、等候时间太长"_s,
                           u"时间：%1 10:01:00"_s,
                           u"今日满意度得分：50.0（2 条评价）"_s,
                           u"案件：https://center.example/case?terminal=T1&seq=2"_s};
        QTest::newRow("不满意也告警，没选原因")
            << bad << QStringList{u"T3|7|王五|11:00:00|不满意"_s} << 1
            << QStringList{u"大厅：二号厅　终端：T3"_s, u"评价：不满意"_s, u"原因：未选择"_s,
                           u"今日满意度得分：30.0（1 条评价）"_s};
        QTest::newRow("一般不是差评")
            << bad << QStringList{u"T1|1|张三|10:00:00|一般"_s} << 0 << QStringList{};
        QTest::newRow("限定终端之外不告警")
            << QStringList{u"bad"_s, u"--terminals"_s, u"T2,T3"_s}
            << QStringList{u"T1|1|张三|10:00:00|非常不满意"_s, u"T2|1|李四|10:00:00|不满意"_s} << 1
            << QStringList{u"终端：T2"_s};
        QTest::newRow("工作时段之外不告警")
            << QStringList{u"bad"_s, u"--hours"_s, u"08:30-12:00"_s}
            << QStringList{u"T1|1|张三|12:00:00|非常不满意"_s, u"T1|2|张三|08:29:59|非常不满意"_s,
                           u"T1|3|张三|08:30:00|不满意"_s}
            << 1 << QStringList{u"时间：%1 08:30:00"_s};
        const QStringList run{u"run"_s, u"--bad"_s, u"3"_s, u"--of"_s, u"5"_s};
        QTest::newRow("连续差评达到 3/5")
            << run
            << QStringList{u"T1|1|张三|10:00:00|不满意"_s,     u"T1|2|张三|10:01:00|非常满意"_s,
                           u"T2|3|张三|10:02:00|非常不满意"_s, u"T1|4|张三|10:03:00|一般"_s,
                           u"T1|5|张三|10:04:00|不满意"_s,     u"T1|6|李四|10:04:00|不满意"_s}
            << 1
            << QStringList{u"【连续差评告警】第 "_s, u"最近 5 条评价中有 3 条差评"_s,
                           u"名称：张三"_s};
        QTest::newRow("连续差评 2/5 不够")
            << run
            << QStringList{u"T1|1|张三|10:00:00|不满意"_s, u"T1|2|张三|10:01:00|非常满意"_s,
                           u"T1|3|张三|10:02:00|比较满意"_s, u"T1|4|张三|10:03:00|一般"_s,
                           u"T1|5|张三|10:04:00|不满意"_s}
            << 0 << QStringList{};
        QTest::newRow("连续差评评价不足 5 条")
            << run
            << QStringList{u"T1|1|张三|10:00:00|不满意"_s, u"T1|2|张三|10:01:00|不满意"_s,
                           u"T1|3|张三|10:02:00|不满意"_s}
            << 0 << QStringList{};
        QTest::newRow("连续差评两轮各告警一次")
            << QStringList{u"run"_s, u"--bad"_s, u"2"_s, u"--of"_s, u"2"_s}
            << QStringList{u"T1|1|张三|10:00:00|不满意"_s, u"T1|2|张三|10:01:00|不满意"_s, u"--"_s,
                           u"T1|3|张三|10:02:00|不满意"_s, u"T1|4|张三|10:03:00|不满意"_s}
            << 2 << QStringList{u"最近 2 条评价中有 2 条差评"_s};
        const QStringList hour{u"hour"_s, u"--below"_s, u"60"_s, u"--min"_s, u"3"_s};
        QTest::newRow("低分时段")
            << hour
            << QStringList{u"T1|1|张三|10:00:00|非常不满意"_s, u"T2|1|李四|10:01:00|一般"_s,
                           u"T1|2|张三|10:02:00|比较满意"_s, u"T3|1|王五|10:02:00|非常不满意"_s}
            << 1
            << QStringList{u"【低分时段告警】第 "_s, u"大厅：一号厅"_s,
                           u"最近 60 分钟满意度得分 46.7（3 条评价），低于 60.0"_s};
        QTest::newRow("低分时段评价不足")
            << QStringList{u"hour"_s, u"--below"_s, u"60"_s, u"--min"_s, u"4"_s}
            << QStringList{u"T1|1|张三|10:00:00|非常不满意"_s, u"T2|1|李四|10:01:00|一般"_s,
                           u"T1|2|张三|10:02:00|比较满意"_s}
            << 0 << QStringList{};
        QTest::newRow("一小时之前的评价不算")
            << hour
            << QStringList{u"T1|1|张三|10:00:00|非常不满意|原因|61"_s,
                           u"T2|1|李四|10:01:00|比较满意||30"_s, u"T1|2|张三|10:02:00|非常不满意"_s,
                           u"T1|3|张三|10:03:00|非常满意"_s}
            << 0 << QStringList{};
    }
    void rules()
    {
        QFETCH(QStringList, rule);
        QFETCH(QStringList, ratings);
        QFETCH(int, alerts);
        QFETCH(QStringList, texts);
        freshDatabase();
        // Ratings are received the given minutes before this moment.
        setClock(m_start);
        QString out;
        QCOMPARE(
            tool({u"--add-channel"_s, u"主"_s, u"--wecom"_s, m_robot->url(u"/wecom/main"_s)}, &out),
            0);
        QVERIFY2(!out.contains(u"127.0.0.1"_s) || out.contains(u"已保存"_s), qPrintable(out));
        QCOMPARE(
            tool({u"--add-channel"_s, u"哨兵"_s, u"--wecom"_s, m_robot->url(u"/wecom/sentinel"_s)}),
            0);
        QCOMPARE(tool(QStringList{u"--add-rule"_s} + rule + QStringList{u"--channel"_s, u"主"_s}),
                 0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--terminals"_s, u"哨兵"_s, u"--channel"_s,
                       u"哨兵"_s}),
                 0);
        startService();
        // "--" separates the inserting statements: the next comes once the rules saw the last.
        QStringList statement;
        for (const QString &row : ratings + QStringList{u"--"_s}) {
            if (row != u"--"_s) {
                statement << row;
                continue;
            }
            insertRatings(statement);
            statement.clear();
            QTRY_COMPARE_WITH_TIMEOUT(sql(u"select count(*) from 告警_待判"_s), u"0"_s, 30000);
        }
        // The sentinel's bad rating comes after the others: once it has arrived and nothing
        // waits, every alert of the rows has been made and sent.
        insertRatings({u"哨兵|1|哨兵|10:00:00|不满意"_s});
        QTRY_VERIFY_WITH_TIMEOUT(!m_robot->numbers(u"/wecom/sentinel"_s).isEmpty(), 30000);
        QTRY_COMPARE_WITH_TIMEOUT(unsent(), 0, 30000);
        QList<Robot::Message> main;
        for (const Robot::Message &m : m_robot->messages)
            if (m.path.startsWith(u"/wecom/main"_s) && !m.content.contains(u"哨兵"_s))
                main << m;
        QCOMPARE(main.size(), alerts);
        for (const QString &text : texts)
            QVERIFY2(
                main.first().content.contains(text.contains(u"%1"_s) ? text.arg(m_today) : text),
                qPrintable(main.first().content));
        QVERIFY2(m_robot->problems.isEmpty(), qPrintable(m_robot->problems.join(u'\n')));
    }

    // A robot that hangs until its time-out delays only its own channel: the other channel
    // takes the next alert while the first request still hangs.
    void hangingRobot_data()
    {
        QTest::addColumn<QString>("hanging");
        QTest::addColumn<QString>("answering");
        QTest::newRow("挂起的渠道排在前面") << u"甲"_s << u"乙"_s;
        QTest::newRow("挂起的渠道排在后面") << u"乙"_s << u"甲"_s;
    }
    void hangingRobot()
    {
        QFETCH(QString, hanging);
        QFETCH(QString, answering);
        freshDatabase();
        setClock(m_start);
        m_robot->answers.insert(u"/wecom/hang"_s, Robot::Answer::Silent);
        QCOMPARE(tool({u"--add-channel"_s, hanging, u"--wecom"_s, m_robot->url(u"/wecom/hang"_s)}),
                 0);
        QCOMPARE(
            tool({u"--add-channel"_s, answering, u"--wecom"_s, m_robot->url(u"/wecom/fine"_s)}), 0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, hanging + u',' + answering}), 0);
        // A time-out far beyond the waits below: the hanging request stays open throughout.
        startService(120000);
        const auto answered = [&] { return m_robot->numbers(u"/wecom/fine "_s).size(); };
        insertRatings({u"T1|1|张三|10:00:00|非常不满意"_s});
        QVERIFY(waitFor([&] { return answered() == 1 && m_robot->refused == 1; }, 60000));
        for (int n = 2; n <= 3; ++n) {
            insertRatings({u"T1|%1|张三|10:0%1:00|不满意"_s.arg(n)});
            QVERIFY2(waitFor([&] { return answered() == n; }, 60000),
                     qPrintable(u"%1 of %2 delivered"_s.arg(answered()).arg(n)));
        }
        // The first request to the hanging robot is still open: no answer, no failure yet,
        // and nothing else went to it meanwhile.
        QCOMPARE(m_robot->refused, 1);
        QCOMPARE(
            sql(u"select 状态 || '|' || 连续失败 from 告警_渠道 where 名称 = '%1'"_s.arg(hanging)),
            u"正常|0"_s);
        QCOMPARE(sql(u"select count(*) from 告警_发件箱 where 渠道 = '%1' and 已发送 is null"_s.arg(
                     hanging)),
                 u"3"_s);
    }

    // Cases past their callback or rectification deadline, told once per case and deadline
    // through the outbox, with the service's clock set to the days around the deadlines. The
    // calendar has the National Day week off and Saturday 10 October worked; every case was
    // opened on Wednesday 30 September 2026.
    void overdue_data()
    {
        QTest::addColumn<QString>("deadlines");
        QTest::addColumn<QStringList>("rule");
        QTest::addColumn<QString>("ruleMade");
        // "yyyy-MM-dd HH:mm=N": the local time set, and how many overdue alerts came by then.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("texts");
        const QString before = u"2026-09-29 00:00+00"_s;
        QTest::newRow("回访期限跨国庆假期，整改期限 15 个工作日")
            << QString() << QStringList{} << before
            << QStringList{u"2026-10-08 12:00=0"_s, u"2026-10-09 12:00=2"_s,
                           u"2026-10-27 23:00=2"_s, u"2026-10-28 12:00=5"_s,
                           u"2026-10-29 12:00=5"_s}
            << QStringList{u"【案件逾期告警】第 "_s,
                           u"案件：1（待核实）"_s,
                           u"逾期：回访期限 2026-10-08 已过（立案 2026-09-30 起 1 个工作日）"_s,
                           u"逾期：整改期限 2026-10-27 已过（立案 2026-09-30 起 15 个工作日）"_s,
                           u"案件：2（已回访）"_s,
                           u"大厅：一号厅　终端：T1"_s,
                           u"名称：张三"_s,
                           u"评价：非常不满意"_s,
                           u"案件：https://center.example/cases/1"_s,
                           u"大厅：二号厅　终端：T3"_s};
        QTest::newRow("三个工作日到调休的周六，限定终端")
            << u"3,15"_s << QStringList{u"--terminals"_s, u"T1"_s} << before
            << QStringList{u"2026-10-10 20:00=0"_s, u"2026-10-11 08:00=1"_s}
            << QStringList{u"逾期：回访期限 2026-10-10 已过（立案 2026-09-30 起 3 个工作日）"_s,
                           u"终端：T1"_s};
        QTest::newRow("规则添加之前已过的期限不报")
            << QString() << QStringList{} << u"2026-10-20 00:00+00"_s
            << QStringList{u"2026-10-21 12:00=0"_s, u"2026-10-28 12:00=3"_s}
            << QStringList{u"整改期限 2026-10-27 已过"_s};
        QTest::newRow("工作时段之外等到时段开始")
            << QString() << QStringList{u"--hours"_s, u"08:30-17:30"_s} << before
            << QStringList{u"2026-10-09 18:00=0"_s, u"2026-10-10 08:29=0"_s,
                           u"2026-10-11 08:30=2"_s}
            << QStringList{u"回访期限 2026-10-08 已过"_s};
    }
    void overdue()
    {
        QFETCH(QString, deadlines);
        QFETCH(QStringList, rule);
        QFETCH(QString, ruleMade);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, texts);
        freshDatabase();
        setClock(m_start);
        QCOMPARE(tool({u"--add-channel"_s, u"主"_s, u"--wecom"_s, m_robot->url(u"/wecom/late"_s)}),
                 0);
        QCOMPARE(
            tool({u"--add-channel"_s, u"哨兵"_s, u"--wecom"_s, m_robot->url(u"/wecom/sentinel"_s)}),
            0);
        QCOMPARE(tool(QStringList{u"--add-rule"_s, u"overdue"_s} + rule +
                      QStringList{u"--channel"_s, u"主"_s}),
                 0);
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--terminals"_s, u"哨兵"_s, u"--channel"_s,
                       u"哨兵"_s}),
                 0);
        sql(u"update 告警_规则 set 创建 = '%1' where 类型 = 'overdue'"_s.arg(ruleMade));
        // Case 1 waits for its callback, 2 was called back in time, 3 was found not well
        // founded, 4 is another hall's.
        insertRatings({u"T1|1|张三|10:00:00|非常不满意"_s, u"T1|2|张三|10:05:00|不满意"_s,
                       u"T2|1|李四|10:06:00|不满意"_s, u"T3|1|王五|10:07:00|不满意"_s});
        sql(u"update 差评案件 set 开立时间 = '2026-09-30 12:00+00'; "
            "update 差评案件 set 状态 = '已回访', 回访时间 = '2026-10-08 09:00+00' where 编号 = 2; "
            "update 差评案件 set 状态 = '申诉' where 编号 = 3; "
            "insert into 工作日历 select d::date, '假日', '国庆' from generate_series("
            "'2026-10-01'::date, '2026-10-07', '1 day') d; "
            "insert into 工作日历 values ('2026-10-10', '调休', '')"_s);
        if (!deadlines.isEmpty()) {
            const QStringList days = deadlines.split(u',');
            sql(u"set role alert; create table if not exists 网页设置 (键 text primary key, 值 "
                u"text not null); "
                "insert into 网页设置 values ('case_callback_days', '%1'), "
                "('case_rectify_days', '%2')"_s.arg(days[0], days[1]));
        }
        const auto late = [&] {
            QStringList list;
            for (const Robot::Message &m : m_robot->messages)
                if (m.path.startsWith(u"/wecom/late"_s) && !m.content.contains(u"哨兵"_s))
                    list << m.content;
            return list;
        };
        int sentinel = 0;
        for (const QString &step : steps) {
            const QStringList parts = step.split(u'=');
            const QDateTime when = QDateTime::fromString(parts[0], u"yyyy-MM-dd HH:mm"_s);
            setClock(when.toMSecsSinceEpoch());
            if (m_services.isEmpty())
                startService();
            // The sentinel's rating comes after the clock moved: once its alert is sent and
            // nothing waits, the deadlines of that moment have been looked at and told.
            ++sentinel;
            insertRatings({u"哨兵|%1|哨兵|10:00:00|不满意"_s.arg(sentinel)});
            QVERIFY(waitFor(
                [&] {
                    return m_robot->numbers(u"/wecom/sentinel"_s).size() == sentinel &&
                           unsent() == 0;
                },
                30000));
            QVERIFY2(late().size() == parts[1].toInt(),
                     qPrintable(u"%1: %2"_s.arg(step, late().join(u"\n---\n"_s))));
        }
        const QString all = late().join(u"\n---\n"_s);
        for (const QString &text : texts)
            QVERIFY2(all.contains(text), qPrintable(all));
        // Once per rule, case and deadline: the state rows match the alerts.
        QCOMPARE(sql(u"select count(*) from 告警_逾期状态 s join 差评案件 c on c.编号 = s.案件 "
                     "where c.终端 <> '哨兵'"_s),
                 QString::number(late().size()));
        QVERIFY(!all.contains(u"李四"_s));
        QVERIFY2(m_robot->problems.isEmpty(), qPrintable(m_robot->problems.join(u'\n')));
    }

    // Switched off, a rule stays listed and tells nothing; switched on, it tells again.
    void switchedOff()
    {
        freshDatabase();
        setClock(m_start);
        QCOMPARE(tool({u"--add-channel"_s, u"主"_s, u"--wecom"_s, m_robot->url(u"/wecom/off"_s)}),
                 0);
        QString out;
        QCOMPARE(tool({u"--add-rule"_s, u"bad"_s, u"--channel"_s, u"主"_s}, &out), 0);
        const QString id = out.section(u' ', -1).trimmed();
        QCOMPARE(tool({u"--disable-rule"_s, id}), 0);
        QCOMPARE(tool({u"--list"_s}, &out), 0);
        QVERIFY2(out.contains(u"已停用"_s), qPrintable(out));
        QCOMPARE(tool({u"--disable-rule"_s, u"999"_s}), 2);
        startService();
        insertRatings({u"T1|1|张三|10:00:00|非常不满意"_s});
        QTRY_COMPARE_WITH_TIMEOUT(sql(u"select count(*) from 告警_待判"_s), u"0"_s, 30000);
        QCOMPARE(sql(u"select count(*) from 告警_发件箱"_s), u"0"_s);
        QCOMPARE(tool({u"--enable-rule"_s, id}), 0);
        insertRatings({u"T1|2|张三|10:01:00|不满意"_s});
        QVERIFY(waitFor([&] { return m_robot->numbers(u"/wecom/off"_s).size() == 1; }, 30000));
        QVERIFY(m_robot->messages.last().content.contains(u"评价：不满意"_s));
    }
};

QTEST_GUILESS_MAIN(TestAlert)
#include "tst_alert.moc"
