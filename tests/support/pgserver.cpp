#include "pgserver.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QUuid>
#include <QVariant>

#include <csignal>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool asRoot()
{
    return geteuid() == 0;
}

int freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

// Gives the folder and what is in it to the postgres user.
bool giveToPostgres(const QString &path)
{
    const passwd *pw = getpwnam("postgres");
    if (!pw)
        return false;
    return chown(QFile::encodeName(path).constData(), pw->pw_uid, pw->pw_gid) == 0;
}

// A connection of its own for one admin task.
class AdminConnection
{
public:
    AdminConnection(const PgServer &server, const QString &database)
        : m_name(QStringLiteral("pgserver-") + QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        db.setHostName(server.host());
        db.setPort(server.port());
        db.setUserName(server.user());
        db.setPassword(server.password());
        db.setDatabaseName(database);
        db.setConnectOptions(QStringLiteral("connect_timeout=5"));
        m_open = db.open();
        if (!m_open)
            m_error = db.lastError().text();
    }
    ~AdminConnection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    bool isOpen() const { return m_open; }
    QString error() const { return m_error; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
    bool m_open = false;
    QString m_error;
};

} // namespace

PgServer::PgServer() = default;

PgServer::~PgServer()
{
    if (m_paused)
        pause(false);
    if (m_running)
        stop(QStringLiteral("immediate"));
}

bool PgServer::pause(bool paused)
{
    QFile pidFile(m_data + QStringLiteral("/postmaster.pid"));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("no postmaster.pid");
        return false;
    }
    const qint64 postmaster = pidFile.readLine().trimmed().toLongLong();
    if (postmaster <= 0) {
        m_error = QStringLiteral("no server process in postmaster.pid");
        return false;
    }
    // The postmaster first (no new backend is forked), then its backends
    // and helpers: every process of the server.
    QList<qint64> processes{postmaster};
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid ...: comm may hold spaces, the last ")" ends it.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == postmaster)
            processes << entry.toLongLong();
    }
    for (const qint64 pid : processes) {
        if (::kill(pid_t(pid), paused ? SIGSTOP : SIGCONT) != 0 && pid == postmaster) {
            m_error = QStringLiteral("cannot signal the server");
            return false;
        }
    }
    m_paused = paused;
    return true;
}

QString PgServer::binDir()
{
    const QString fromEnv = qEnvironmentVariable("STATION_PG_BINDIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    const QDir versions(QStringLiteral("/usr/lib/postgresql"));
    QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(found.begin(), found.end(),
              [](const QString &a, const QString &b) { return a.toInt() < b.toInt(); });
    for (int i = found.size() - 1; i >= 0; --i) {
        const QString bin = versions.filePath(found.at(i) + QStringLiteral("/bin"));
        if (QFile::exists(bin + QStringLiteral("/initdb")))
            return bin;
    }
    return QString();
}

QString PgServer::passwordFile() const
{
    return m_dir ? m_dir->filePath(QStringLiteral("password")) : QString();
}

bool PgServer::run(const QString &program, const QStringList &args, int ms)
{
    QProcess process;
    const QString path = binDir() + QLatin1Char('/') + program;
    if (asRoot())
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), path} +
                          args);
    else
        process.start(path, args);
    // The server's output goes to its log file; only the tool's own words
    // come back here.
    if (!process.waitForStarted(10000) || !process.waitForFinished(ms)) {
        process.kill();
        process.waitForFinished(5000);
        m_error = QStringLiteral("%1 did not run: %2").arg(program, process.errorString());
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed: %2%3")
                      .arg(program, QString::fromLocal8Bit(process.readAllStandardError()),
                           QString::fromLocal8Bit(process.readAllStandardOutput()));
        return false;
    }
    return true;
}

bool PgServer::init()
{
    if (binDir().isEmpty()) {
        m_error = QStringLiteral("no PostgreSQL server programs (Debian's postgresql package) "
                                 "in /usr/lib/postgresql/*/bin");
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/pgserver-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_data = m_dir->filePath(QStringLiteral("data"));
    QFile password(passwordFile());
    if (!password.open(QIODevice::WriteOnly) || password.write(this->password().toUtf8()) <= 0) {
        m_error = QStringLiteral("cannot write the password file");
        return false;
    }
    password.close();
    // The owner's alone, as a station wants its password file.
    chmod(QFile::encodeName(passwordFile()).constData(), 0600);
    if (asRoot()) {
        chmod(QFile::encodeName(m_dir->path()).constData(), 0755);
        if (!giveToPostgres(m_dir->path()) || !giveToPostgres(passwordFile())) {
            m_error = QStringLiteral("no \"postgres\" user to run the server as");
            return false;
        }
    }
    m_port = freePort();
    return run(QStringLiteral("initdb"),
               {QStringLiteral("-D"), m_data, QStringLiteral("-U"), user(),
                QStringLiteral("--auth=scram-sha-256"),
                QStringLiteral("--pwfile=") + passwordFile(), QStringLiteral("-E"),
                QStringLiteral("UTF8"), QStringLiteral("--locale=C"), QStringLiteral("--no-sync")});
}

bool PgServer::start()
{
    const QString options = QStringLiteral("-c listen_addresses=127.0.0.1 -c port=%1 "
                                           "-c unix_socket_directories='' -c fsync=off")
                                .arg(m_port);
    if (!run(QStringLiteral("pg_ctl"),
             {QStringLiteral("-D"), m_data, QStringLiteral("-w"), QStringLiteral("-t"),
              QStringLiteral("60"), QStringLiteral("-l"), m_dir->filePath(QStringLiteral("log")),
              QStringLiteral("-o"), options, QStringLiteral("start")}))
        return false;
    m_running = true;
    return true;
}

bool PgServer::stop(const QString &mode)
{
    if (!run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_data, QStringLiteral("-w"),
                                        QStringLiteral("-m"), mode, QStringLiteral("stop")}))
        return false;
    m_running = false;
    return true;
}

bool PgServer::createDatabase(const QString &name)
{
    return exec(QStringLiteral("postgres"), {QStringLiteral("CREATE DATABASE \"%1\"").arg(name)});
}

bool PgServer::exec(const QString &name, const QStringList &statements)
{
    AdminConnection connection(*this, name);
    if (!connection.isOpen()) {
        m_error = connection.error();
        return false;
    }
    QSqlQuery query(connection.db());
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            m_error = statement + QStringLiteral(": ") + query.lastError().text();
            return false;
        }
    }
    return true;
}

QString PgServer::scalar(const QString &name, const QString &sql)
{
    AdminConnection connection(*this, name);
    if (!connection.isOpen()) {
        m_error = connection.error();
        return QString();
    }
    QSqlQuery query(connection.db());
    if (!query.exec(sql) || !query.next()) {
        m_error = sql + QStringLiteral(": ") + query.lastError().text();
        return QString();
    }
    return query.value(0).toString();
}
