#ifndef FACTORYSETUP_H
#define FACTORYSETUP_H

#include <QList>
#include <QString>
#include <QStringList>

class DatabaseConnection;

// The administrator's one step for the factory database, run with the
// database owner's login (benchreport --init-factory): the results tables
// brought up to date, and the roles that keep each login to its job.
//
//   results_station  the stations' group: reads the schema history, inserts
//                    and reads cycles and DUTs of its own station only (row
//                    level security against station_logins, which maps each
//                    station login to its station id); no update, delete,
//                    truncate or schema change. Besides, it keeps its own
//                    folders' rows of station_counts (their cycle counts).
//   results_report   the reports' group: reads the results, changes nothing
//
// Run again after a station software update (new tables) or to add logins:
// every step is safe to repeat. Each run leaves its line in setup_history
// (when, by whom, at which schema version, with which logins), beside the
// schema's own history.
class FactorySetup
{
public:
    static constexpr const char *stationRole = "results_station";
    static constexpr const char *reportRole = "results_report";

    struct StationLogin
    {
        QString login;
        QString stationId;
    };

    // "LOGIN=STATION_ID" from a command line; false when it is not one.
    static bool parseStationLogin(const QString &text, StationLogin *out);

    // Brings the schema up to date and sets the roles up; logins not there
    // yet are made without a password (the administrator sets one). False
    // with *error set (the server's words) when a step fails; nothing of the
    // step is kept then. `where` names the database in messages.
    static bool run(DatabaseConnection &connection, const QString &where,
                    const QList<StationLogin> &stations, const QStringList &reportLogins,
                    QString *error);

    // The step a station's administrator must run, for messages.
    static QString adminStep();

    // The station id the connection's login may forward for; empty with
    // *error set (what the administrator must do) when it may forward none.
    static QString stationOfLogin(DatabaseConnection &connection, const QString &where,
                                  QString *error);
};

#endif // FACTORYSETUP_H
