#include "factorysetup.h"

#include "databaseconnection.h"
#include "resultsschema.h"
#include "sqlfailure.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Any number, the same in every copy of the tool: two administrators
// setting one database up at once take turns.
constexpr qint64 setupLock = 716020;

// The roles and privileges, after the tables. Each statement may run again.
// A name that comes from the administrator reaches the server as a bound
// value and becomes an identifier there (format's %I), never inlined here.
const char *const setupStatements[] = {
    "CREATE TABLE IF NOT EXISTS station_logins (login TEXT PRIMARY KEY, "
    "station_id TEXT NOT NULL)",
    "DO $$ BEGIN "
    "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'results_station') THEN "
    "CREATE ROLE results_station NOLOGIN; END IF; "
    "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'results_report') THEN "
    "CREATE ROLE results_report NOLOGIN; END IF; "
    "EXECUTE format('REVOKE ALL ON DATABASE %I FROM PUBLIC', current_database()); "
    "EXECUTE format('GRANT CONNECT ON DATABASE %I TO results_station, results_report', "
    "current_database()); END $$",
    "REVOKE CREATE ON SCHEMA public FROM PUBLIC",
    "GRANT USAGE ON SCHEMA public TO results_station, results_report",
    "REVOKE ALL ON cycles, duts, schema_migrations, forward_marks, station_logins, "
    "station_counts, station_folder, setup_history, set_aside FROM PUBLIC",
    "REVOKE ALL ON cycles, duts, schema_migrations, forward_marks, station_logins, "
    "station_counts, station_folder, setup_history, set_aside FROM results_station, "
    "results_report",
    "GRANT SELECT ON schema_migrations TO results_station, results_report",
    "GRANT SELECT, INSERT ON cycles, duts TO results_station",
    "GRANT USAGE ON SEQUENCE cycles_id_seq, duts_id_seq TO results_station",
    "GRANT SELECT ON station_logins TO results_station",
    "GRANT SELECT ON cycles, duts TO results_report",
    // Each station folder's own count of its cycles, which it keeps up to
    // date in its own row.
    "GRANT SELECT, INSERT, UPDATE ON station_counts TO results_station",
    "GRANT SELECT ON station_counts TO results_report",
    "GRANT SELECT ON setup_history TO results_report",
    // A station sees and adds the rows of its own station id only; its DUTs
    // belong to cycles it can see (one look-up by key each, whatever the
    // number of cycles already there).
    "ALTER TABLE cycles ENABLE ROW LEVEL SECURITY",
    "ALTER TABLE duts ENABLE ROW LEVEL SECURITY",
    "ALTER TABLE station_logins ENABLE ROW LEVEL SECURITY",
    "DROP POLICY IF EXISTS own_login ON station_logins",
    "CREATE POLICY own_login ON station_logins FOR SELECT TO results_station "
    "USING (login = current_user::text)",
    "DROP POLICY IF EXISTS station_reads ON cycles",
    "CREATE POLICY station_reads ON cycles FOR SELECT TO results_station USING (station_id = "
    "(SELECT l.station_id FROM station_logins l WHERE l.login = current_user::text))",
    "DROP POLICY IF EXISTS station_inserts ON cycles",
    "CREATE POLICY station_inserts ON cycles FOR INSERT TO results_station WITH CHECK "
    "(station_id = (SELECT l.station_id FROM station_logins l WHERE l.login = "
    "current_user::text))",
    "DROP POLICY IF EXISTS station_reads ON duts",
    "CREATE POLICY station_reads ON duts FOR SELECT TO results_station USING "
    "(EXISTS (SELECT FROM cycles c WHERE c.id = duts.cycle_id))",
    "DROP POLICY IF EXISTS station_inserts ON duts",
    "CREATE POLICY station_inserts ON duts FOR INSERT TO results_station WITH CHECK "
    "(EXISTS (SELECT FROM cycles c WHERE c.id = duts.cycle_id))",
    "ALTER TABLE station_counts ENABLE ROW LEVEL SECURITY",
    "DROP POLICY IF EXISTS station_counts_own ON station_counts",
    "CREATE POLICY station_counts_own ON station_counts FOR ALL TO results_station USING "
    "(station_id = (SELECT l.station_id FROM station_logins l WHERE l.login = "
    "current_user::text)) WITH CHECK (station_id = (SELECT l.station_id FROM station_logins l "
    "WHERE l.login = current_user::text))",
    "DROP POLICY IF EXISTS report_reads ON station_counts",
    "CREATE POLICY report_reads ON station_counts FOR SELECT TO results_report USING (true)",
    "DROP POLICY IF EXISTS report_reads ON cycles",
    "CREATE POLICY report_reads ON cycles FOR SELECT TO results_report USING (true)",
    "DROP POLICY IF EXISTS report_reads ON duts",
    "CREATE POLICY report_reads ON duts FOR SELECT TO results_report USING (true)",
};

// Makes the login (without a password) when it is not there, and puts it
// in `group`.
const char *const loginStatement =
    "DO $$ DECLARE who text := current_setting('results.login'); BEGIN "
    "IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = who) THEN "
    "EXECUTE format('CREATE ROLE %I LOGIN', who); END IF; "
    "EXECUTE format('GRANT %I TO %I', current_setting('results.group'), who); END $$";

// Why `login` cannot name a login; empty when it can.
QString loginProblem(const QString &login)
{
    if (login.isEmpty())
        return QStringLiteral("an empty login");
    if (login.toUtf8().size() > 63)
        return QStringLiteral("login \"%1\" is longer than 63 bytes").arg(login);
    for (const QChar c : login) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("a login with a control character");
    }
    return QString();
}

} // namespace

bool FactorySetup::parseStationLogin(const QString &text, StationLogin *out)
{
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0 || eq == text.size() - 1)
        return false;
    out->login = text.left(eq);
    out->stationId = text.mid(eq + 1);
    return true;
}

QString FactorySetup::adminStep()
{
    return QStringLiteral("the administrator runs benchreport --init-factory with the database "
                          "owner's login (docs/results.md)");
}

bool FactorySetup::run(DatabaseConnection &connection, const QString &where,
                       const QList<StationLogin> &stations, const QStringList &reportLogins,
                       QString *error)
{
    for (const StationLogin &s : stations) {
        const QString why = loginProblem(s.login);
        if (!why.isEmpty() || s.stationId.isEmpty() || s.stationId.contains(QChar(0))) {
            *error = why.isEmpty()
                         ? QStringLiteral("login \"%1\" has no usable station id").arg(s.login)
                         : why;
            return false;
        }
    }
    for (const QString &login : reportLogins) {
        const QString why = loginProblem(login);
        if (!why.isEmpty()) {
            *error = why;
            return false;
        }
    }

    const ResultsSchema::Result schema = ResultsSchema::apply(connection, where);
    if (schema.outcome != ResultsSchema::Ready) {
        *error = schema.message;
        return false;
    }

    QSqlDatabase &db = connection.db();
    QSqlQuery query(db);
    const auto fail = [&](const QString &what) {
        *error =
            QStringLiteral("%1: %2: %3").arg(where, what, SqlFailure::reason(query.lastError()));
        query.finish();
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
        return false;
    };
    if (!query.exec(QStringLiteral("BEGIN")))
        return fail(QStringLiteral("cannot begin"));
    if (!query.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(setupLock)))
        return fail(QStringLiteral("cannot lock the set-up"));
    if (!query.exec(QStringLiteral("SET LOCAL client_min_messages = warning")))
        return fail(QStringLiteral("cannot set the message level"));
    for (const char *statement : setupStatements) {
        if (!query.exec(QLatin1String(statement)))
            return fail(QStringLiteral("cannot set the roles up (%1)")
                            .arg(QString::fromLatin1(statement).left(60)));
    }

    const auto addLogin = [&](const QString &login, const char *group) {
        query.prepare(QStringLiteral("SELECT set_config('results.login', ?, true), "
                                     "set_config('results.group', ?, true)"));
        query.addBindValue(login);
        query.addBindValue(QLatin1String(group));
        return query.exec() && query.exec(QLatin1String(loginStatement));
    };
    for (const StationLogin &s : stations) {
        if (!addLogin(s.login, stationRole))
            return fail(QStringLiteral("cannot make station login \"%1\"").arg(s.login));
        query.prepare(QStringLiteral("INSERT INTO station_logins (login, station_id) VALUES (?, ?) "
                                     "ON CONFLICT (login) DO UPDATE SET station_id = "
                                     "excluded.station_id"));
        query.addBindValue(s.login);
        query.addBindValue(s.stationId);
        if (!query.exec())
            return fail(QStringLiteral("cannot map login \"%1\"").arg(s.login));
    }
    for (const QString &login : reportLogins) {
        if (!addLogin(login, reportRole))
            return fail(QStringLiteral("cannot make report login \"%1\"").arg(login));
    }
    // The set-up's own line in the history, beside the schema's.
    QStringList stationText;
    for (const StationLogin &s : stations)
        stationText << s.login + QLatin1Char('=') + s.stationId;
    query.prepare(QStringLiteral("INSERT INTO setup_history (applied_at, applied_by, "
                                 "schema_version, station_logins, report_logins) VALUES (?, "
                                 "current_user, ?, ?, ?)"));
    query.addBindValue(DatabaseConnection::timeValue(QDateTime::currentDateTimeUtc()));
    query.addBindValue(schema.version);
    // Qt binds a null text as SQL NULL: no logins are ''.
    const auto listed = [](const QStringList &names) {
        const QString text = names.join(QStringLiteral(", "));
        return text.isNull() ? QString(QLatin1String("")) : text;
    };
    query.addBindValue(listed(stationText));
    query.addBindValue(listed(reportLogins));
    if (!query.exec())
        return fail(QStringLiteral("cannot note the set-up in its history"));
    if (!query.exec(QStringLiteral("COMMIT")))
        return fail(QStringLiteral("cannot commit the set-up"));
    return true;
}

QString FactorySetup::stationOfLogin(DatabaseConnection &connection, const QString &where,
                                     QString *error)
{
    QSqlQuery query(connection.db());
    // A login the row security does not hold could write under every
    // station's id (the server's superuser, the tables' owner).
    if (!query.exec(QStringLiteral(
            "SELECT current_user::text, r.rolsuper OR r.rolbypassrls OR pg_has_role(current_user, "
            "c.relowner, "
            "'MEMBER') FROM pg_roles r, pg_class c WHERE r.rolname = current_user AND c.oid = "
            "to_regclass('cycles')"))) {
        *error = QStringLiteral("%1: cannot read the login's rights: %2")
                     .arg(where, SqlFailure::reason(query.lastError()));
        return QString();
    }
    if (!query.next()) {
        *error = QStringLiteral("%1 has no results tables yet: %2").arg(where, adminStep());
        return QString();
    }
    const QString login = query.value(0).toString();
    if (query.value(1).toBool()) {
        *error = QStringLiteral("%1: login \"%2\" owns the results or is a superuser; a station "
                                "forwards with a station login of its own (benchreport "
                                "--init-factory --station-login LOGIN=STATION_ID)")
                     .arg(where, login);
        return QString();
    }
    const QString notMapped =
        QStringLiteral("%1: login \"%2\" is no station login there: the administrator runs "
                       "benchreport --init-factory --station-login %2=STATION_ID with the "
                       "database owner's login")
            .arg(where, login);
    if (!connection.db().tables().contains(QStringLiteral("station_logins"))) {
        *error = QStringLiteral("%1 has no station logins yet: %2").arg(where, adminStep());
        return QString();
    }
    if (!query.exec(QStringLiteral(
            "SELECT station_id FROM station_logins WHERE login = current_user::text"))) {
        // Permission denied: the login is not in the stations' group.
        *error = notMapped + QStringLiteral(" (%1)").arg(SqlFailure::reason(query.lastError()));
        return QString();
    }
    if (!query.next()) {
        *error = notMapped;
        return QString();
    }
    return query.value(0).toString();
}
