#include "support/pgserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString BinDir = u"/usr/lib/postgresql/15/bin"_s;

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

PgServer::PgServer(bool durable) : m_durable(durable)
{
    if (!m_dir.isValid()) {
        m_error = u"no temporary folder"_s;
        return;
    }
    m_data = m_dir.filePath(u"data"_s);
    init();
}

PgServer::PgServer(const QString &keptData) : m_durable(true), m_kept(true)
{
    if (!m_dir.isValid()) {
        m_error = u"no temporary folder"_s;
        return;
    }
    m_data = QDir(keptData).absolutePath();
    init();
}

void PgServer::init()
{
    m_sockets = m_dir.filePath(u"sockets"_s);
    m_log = m_dir.filePath(u"server.log"_s);
    QDir().mkpath(m_sockets);
    if (::getuid() == 0) {
        // The folder belongs to the server's user, which runs everything in it.
        const passwd *pw = ::getpwnam("postgres");
        if (!pw) {
            m_error = u"no user postgres (apt-get install postgresql-15)"_s;
            return;
        }
        QStringList owned = {m_dir.path(), m_sockets};
        if (m_kept) {
            QDir().mkpath(m_data);
            owned.append(m_data);
        }
        for (const QString &path : owned) {
            if (::chown(QFile::encodeName(path).constData(), pw->pw_uid, pw->pw_gid) != 0) {
                m_error = u"cannot hand %1 to postgres"_s.arg(path);
                return;
            }
        }
    }
    if (m_kept && QFile::exists(m_data + u"/PG_VERSION"_s)) {
        m_valid = true;
        return;
    }
    m_valid = runTool(u"initdb"_s, {u"-D"_s, m_data, u"-U"_s, u"postgres"_s, u"-E"_s, u"UTF8"_s,
                                    u"--no-locale"_s, u"--auth-local=trust"_s,
                                    u"--auth-host=scram-sha-256"_s, u"--no-sync"_s});
}

PgServer::~PgServer()
{
    // A kept folder is shut down cleanly, so its next start needs no recovery.
    if (m_running)
        runTool(u"pg_ctl"_s, {u"-D"_s, m_data, u"-m"_s, m_kept ? u"fast"_s : u"immediate"_s,
                              u"-w"_s, u"stop"_s});
    if (m_portClaim >= 0)
        ::close(m_portClaim);
}

bool PgServer::runTool(const QString &tool, const QStringList &arguments, QString *output,
                       int timeoutMs, const QByteArray &input)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    if (::getuid() == 0) {
        process.setProgram(u"runuser"_s);
        process.setArguments(QStringList{u"-u"_s, u"postgres"_s, u"--"_s, BinDir + u'/' + tool} +
                             arguments);
    } else {
        process.setProgram(BinDir + u'/' + tool);
        process.setArguments(arguments);
    }
    process.start();
    if (!input.isEmpty() && process.waitForStarted(timeoutMs))
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        m_error = u"%1 did not finish: %2"_s.arg(tool, process.errorString());
        return false;
    }
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    if (output)
        *output = out;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = u"%1 failed (%2): %3%4"_s.arg(tool)
                      .arg(process.exitCode())
                      .arg(QString::fromUtf8(process.readAllStandardError()), out);
        return false;
    }
    return true;
}

bool PgServer::tryStart(int port)
{
    QString options =
        u"-p %1 -k %2 -c listen_addresses=127.0.0.1 -c max_connections=40"_s.arg(port).arg(
            m_sockets);
    if (!m_durable)
        options += u" -c fsync=off -c synchronous_commit=off -c full_page_writes=off"_s;
    QFile::remove(m_log);
    if (runTool(u"pg_ctl"_s, {u"-D"_s, m_data, u"-l"_s, m_log, u"-w"_s, u"-t"_s, u"30"_s, u"-o"_s,
                              options, u"start"_s})) {
        m_port = port;
        m_running = true;
        return true;
    }
    m_error += u"\n"_s + readAll(m_log);
    return false;
}

bool PgServer::start()
{
    if (!m_valid)
        return false;
    if (m_running)
        return true;
    if (m_port != 0)
        return tryStart(m_port);
    // The first port of the range on which the server starts: another test program (or
    // anything else) may hold the ones before it.
    for (int port = FirstPort; port <= LastPort; ++port) {
        if (!claimPort(port))
            continue;
        if (tryStart(port))
            return true;
        ::close(m_portClaim);
        m_portClaim = -1;
        const QString log = m_error;
        if (!log.contains(u"could not bind"_s) && !log.contains(u"already in use"_s) &&
            !log.contains(u"could not create lock file"_s) &&
            !log.contains(u"could not create any TCP/IP sockets"_s))
            return false;
    }
    return false;
}

bool PgServer::claimPort(int port)
{
    const QByteArray path = "/tmp/quorvel-test-pgport-" + QByteArray::number(port) + ".lock";
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_portClaim = fd;
    return true;
}

bool PgServer::stop()
{
    if (!m_running)
        return true;
    if (!runTool(u"pg_ctl"_s, {u"-D"_s, m_data, u"-m"_s, u"fast"_s, u"-w"_s, u"stop"_s}))
        return false;
    m_running = false;
    return true;
}

QString PgServer::psql(const QString &sql, const QString &database)
{
    QString out;
    if (!runTool(u"psql"_s,
                 {u"-h"_s, m_sockets, u"-p"_s, QString::number(m_port), u"-U"_s, u"postgres"_s,
                  u"-d"_s, database, u"-v"_s, u"ON_ERROR_STOP=1"_s, u"-X"_s, u"-A"_s, u"-t"_s,
                  u"-q"_s},
                 &out, 60000, sql.toUtf8()))
        return {};
    return out.trimmed();
}

bool PgServer::createDatabase(const QString &name, const QString &owner, const QString &password)
{
    if (!m_createdRoles.contains(owner)) {
        QString escaped = password;
        escaped.replace(u'\'', u"''"_s);
        psql(u"create role \"%1\" login password '%2'"_s.arg(owner, escaped));
        if (psql(u"select 1 from pg_roles where rolname = '%1'"_s.arg(owner)) != u"1"_s)
            return false;
        m_createdRoles.append(owner);
    }
    psql(u"create database \"%1\" owner \"%2\" encoding 'UTF8' template template0"_s.arg(name,
                                                                                         owner));
    return psql(u"select 1 from pg_database where datname = '%1'"_s.arg(name)) == u"1"_s;
}

QString PgServer::url(const QString &user, const QString &password, const QString &database) const
{
    return u"postgresql://%1:%2@127.0.0.1:%3/%4"_s.arg(user, password).arg(m_port).arg(database);
}
