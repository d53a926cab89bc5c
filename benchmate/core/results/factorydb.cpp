#include "factorydb.h"

#include "databaseconnection.h"
#include "resultsschema.h"
#include "stationsettings.h"

#include <QLibrary>
#include <QSqlError>

namespace {

// Seconds to reach the server, and how soon a connection whose server went
// silent counts as broken (TCP keep-alives and unacknowledged data).
const char *const connectOptions = "connect_timeout=3;keepalives=1;keepalives_idle=5;"
                                   "keepalives_interval=2;keepalives_count=3;"
                                   "tcp_user_timeout=10000";

// The PostgreSQL client library, which Qt's driver plugin brings in, stays
// loaded until the process ends. Qt unloads its plugins at exit; with the
// client library unloaded before OpenSSL's own exit handler runs, that
// handler frees its tables a second time.
void keepClientLibrary()
{
    static const bool kept = [] {
#ifdef Q_OS_WIN
        QLibrary pq(QStringLiteral("libpq"));
#else
        QLibrary pq(QStringLiteral("pq"), 5);
#endif
        pq.setLoadHints(QLibrary::PreventUnloadHint);
        return pq.load();
    }();
    Q_UNUSED(kept)
}

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
                                  Mode mode)
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
    // Without a password file libpq looks in PGPASSWORD and ~/.pgpass.
    db.setPassword(password);
    db.setConnectOptions(QLatin1String(connectOptions));
    if (!db.open()) {
        const QString message = db.lastError().databaseText().trimmed().isEmpty()
                                    ? db.lastError().text().trimmed()
                                    : db.lastError().databaseText().trimmed();
        out.state = classifyConnectError(message);
        out.detail = message.simplified();
        return out;
    }
    const QString where = QStringLiteral("factory database %1").arg(settings.target());
    const ResultsSchema::Result schema = mode == ForForwarding
                                             ? ResultsSchema::apply(connection, where)
                                             : ResultsSchema::check(connection, where);
    if (schema.outcome != ResultsSchema::Ready) {
        out.state = schema.outcome == ResultsSchema::Failed ? ForwardStatus::Failed
                                                            : ForwardStatus::SchemaMismatch;
        out.detail = schema.message;
        db.close();
        return out;
    }
    out.state = ForwardStatus::UpToDate;
    return out;
}
