#include "factorydb.h"

#include "databaseconnection.h"
#include "factorysetup.h"
#include "resultsschema.h"
#include "sqlfailure.h"
#include "stationsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QPair>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace {

// Seconds to reach the server, and how soon a connection whose server went
// silent counts as broken (TCP keep-alives and unacknowledged data).
const char *const connectOptions = "connect_timeout=3;keepalives=1;keepalives_idle=5;"
                                   "keepalives_interval=2;keepalives_count=3;"
                                   "tcp_user_timeout=10000";

// A value in the driver's connect options, quoted as libpq reads it.
QString quoted(const QString &value)
{
    QString v = value;
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    v.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

QString optionsFor(const FactoryDbSettings &settings)
{
    QString options = QLatin1String(connectOptions);
    const QList<QPair<const char *, QString>> tls = {{"sslmode", settings.sslMode},
                                                     {"sslrootcert", settings.sslRootCert},
                                                     {"sslcert", settings.sslCert},
                                                     {"sslkey", settings.sslKey}};
    for (const auto &option : tls) {
        if (!option.second.isEmpty())
            options +=
                QStringLiteral(";%1=%2").arg(QLatin1String(option.first), quoted(option.second));
    }
    return options;
}

// Whether libpq would find a password of its own (PGPASSWORD, a password
// file), which it sends to any server that asks.
bool libpqHasPassword()
{
    if (qEnvironmentVariableIsSet("PGPASSWORD"))
        return true;
    QString file = qEnvironmentVariable("PGPASSFILE");
    if (file.isEmpty()) {
#ifdef Q_OS_WIN
        file = qEnvironmentVariable("APPDATA") + QStringLiteral("/postgresql/pgpass.conf");
#else
        file = QDir::homePath() + QStringLiteral("/.pgpass");
#endif
    }
    return QFileInfo::exists(file);
}

// The PostgreSQL client library, which Qt's driver plugin brings in, stays
// loaded until the process ends. Qt unloads its plugins at exit; with the
// client library unloaded before OpenSSL's own exit handler runs, that
// handler frees its tables a second time.
QLibrary &clientLibrary()
{
#ifdef Q_OS_WIN
    static QLibrary pq(QStringLiteral("libpq"));
#else
    static QLibrary pq(QStringLiteral("pq"), 5);
#endif
    return pq;
}

void keepClientLibrary()
{
    static const bool kept = [] {
        clientLibrary().setLoadHints(QLibrary::PreventUnloadHint);
        return clientLibrary().load();
    }();
    Q_UNUSED(kept)
}

// Server-side bounds on the forwarder's statements: a lock another
// connection holds (LOCK TABLE, a long transaction) is waited for at most
// lockTimeoutMs, any statement at most statementTimeoutMs. A server that does
// not answer at all is the forwarder's watch's (ResultsForwarder).
constexpr int lockTimeoutMs = 5000;
constexpr int statementTimeoutMs = 8000;

} // namespace

ForwardStatus::State FactoryDb::classifyConnectError(const QString &message)
{
    const QString m = message.toLower();
    if (m.contains(QLatin1String("password authentication failed")) ||
        m.contains(QLatin1String("no password supplied")) ||
        m.contains(QLatin1String("authentication failed")) ||
        m.contains(QLatin1String("role \"")) || m.contains(QLatin1String("pg_hba.conf")))
        return ForwardStatus::LoginRefused;
    if (m.contains(QLatin1String("database \"")) && m.contains(QLatin1String("does not exist")))
        return ForwardStatus::DatabaseMissing;
    return ForwardStatus::Unreachable;
}

FactoryDb::Opened FactoryDb::open(DatabaseConnection &connection, const FactoryDbSettings &settings,
                                  Mode mode, const std::function<void(qintptr)> &socket)
{
    Opened out;
    if (!connection.driverLoaded()) {
        out.state = ForwardStatus::Failed;
        out.detail = QStringLiteral("Qt's PostgreSQL driver (QPSQL) is not installed");
        return out;
    }
    keepClientLibrary();
    QSqlDatabase &db = connection.db();
    db.setHostName(settings.host);
    db.setPort(settings.port);
    db.setDatabaseName(settings.name);
    db.setUserName(settings.user);
    QString passwordError;
    const QString password = settings.password(&passwordError);
    if (!passwordError.isEmpty()) {
        out.state = ForwardStatus::LoginRefused;
        out.detail = passwordError;
        return out;
    }
    const QString risk = settings.passwordRisk(!password.isEmpty() || libpqHasPassword());
    if (!risk.isEmpty()) {
        out.state = ForwardStatus::LoginRefused;
        out.detail = risk;
        return out;
    }
    // Without a password file libpq looks in PGPASSWORD and ~/.pgpass.
    db.setPassword(password);
    db.setConnectOptions(optionsFor(settings));
    if (!db.open()) {
        const QString message = db.lastError().databaseText().trimmed().isEmpty()
                                    ? SqlFailure::reason(db.lastError())
                                    : db.lastError().databaseText().trimmed();
        out.state = classifyConnectError(message);
        out.detail = message.simplified();
        return out;
    }
    const auto close = [&] {
        if (socket)
            socket(-1);
        db.close();
    };
    if (socket)
        socket(socketOf(connection));
    {
        QSqlQuery limits(db);
        const QString lock = QStringLiteral("SET lock_timeout = %1").arg(lockTimeoutMs);
        const QString statement =
            QStringLiteral("SET statement_timeout = %1").arg(statementTimeoutMs);
        // A report's reading may take longer than a forwarded batch.
        if (!limits.exec(lock) || (mode == ForForwarding && !limits.exec(statement))) {
            out.state = ForwardStatus::Failed;
            out.detail = SqlFailure::reason(limits.lastError());
            close();
            return out;
        }
    }
    if (mode == ForSetup) {
        out.state = ForwardStatus::UpToDate;
        return out;
    }
    const QString where = QStringLiteral("factory database %1").arg(settings.target());
    ResultsSchema::Result schema = ResultsSchema::check(connection, where);
    if (mode == ForForwarding && schema.outcome == ResultsSchema::Empty) {
        schema.message = QStringLiteral("%1 has no results tables yet: %2")
                             .arg(where, FactorySetup::adminStep());
    } else if (mode == ForForwarding && schema.outcome == ResultsSchema::Ready &&
               schema.version < ResultsSchema::latestVersion()) {
        schema.outcome = ResultsSchema::Mismatch;
        schema.message = QStringLiteral("%1 has results schema version %2, older than this "
                                        "station's (%3): %4")
                             .arg(where)
                             .arg(schema.version)
                             .arg(ResultsSchema::latestVersion())
                             .arg(FactorySetup::adminStep());
    }
    if (mode == ForForwarding && schema.outcome == ResultsSchema::Failed &&
        schema.message.contains(QLatin1String("permission denied"))) {
        // Tables the login was given no right to: not set up for it.
        schema.message += QStringLiteral(": the login is no station login there; %1, with "
                                         "--station-login %2=STATION_ID")
                              .arg(FactorySetup::adminStep(), settings.user);
    }
    if (schema.outcome != ResultsSchema::Ready) {
        out.state = schema.outcome == ResultsSchema::Failed ? ForwardStatus::Failed
                                                            : ForwardStatus::SchemaMismatch;
        out.detail = schema.message;
        out.noResults = schema.outcome == ResultsSchema::Empty;
        close();
        return out;
    }
    if (mode == ForForwarding) {
        QString error;
        out.stationId = FactorySetup::stationOfLogin(connection, where, &error);
        if (out.stationId.isEmpty()) {
            out.state = ForwardStatus::LoginRefused;
            out.detail = error;
            close();
            return out;
        }
    }
    out.state = ForwardStatus::UpToDate;
    return out;
}

qintptr FactoryDb::socketOf(DatabaseConnection &connection)
{
    using SocketOf = int (*)(const void *);
    static const auto pqSocket = reinterpret_cast<SocketOf>(clientLibrary().resolve("PQsocket"));
    const QVariant handle = connection.db().driver()->handle();
    // Qt 5 names the handle's type as the driver declares it; Qt 6 by the
    // struct behind libpq's typedef.
    const char *const type = handle.typeName();
    if (!pqSocket || !handle.isValid() || !type ||
        (qstrcmp(type, "PGconn*") != 0 && qstrcmp(type, "pg_conn*") != 0))
        return -1;
    const void *pg = *static_cast<void *const *>(handle.data());
    return pg ? qintptr(pqSocket(pg)) : -1;
}

void FactoryDb::breakSocket(qintptr socket)
{
    if (socket < 0)
        return;
#ifdef Q_OS_WIN
    ::shutdown(SOCKET(socket), SD_BOTH);
#else
    ::shutdown(int(socket), SHUT_RDWR);
#endif
}
