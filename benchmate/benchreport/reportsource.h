#ifndef REPORTSOURCE_H
#define REPORTSOURCE_H

#include <QString>
#include <QStringList>

#include <memory>

class DatabaseConnection;
struct ReportOptions;

// The database a report is read from, as benchreport's options name it: a
// station's own file or the factory's database. Checked before a figure is
// computed from it, so that a report never stands on the wrong ground: a
// settings file that is not there, a file that is no SQLite database or is
// damaged, a database without results, a station it holds no cycle of.
class ReportSource
{
public:
    enum Outcome
    {
        Ready,
        CannotUse,      // error() tells why
        UnknownStation, // a --station the database holds no cycle of
    };

    ReportSource();
    ~ReportSource();
    ReportSource(const ReportSource &) = delete;
    ReportSource &operator=(const ReportSource &) = delete;

    Outcome open(const ReportOptions &options);
    // The factory database of the options' settings, for the
    // administrator's step (--init-factory): connected, nothing checked.
    Outcome openForSetup(const ReportOptions &options);

    // Once Ready.
    DatabaseConnection &connection() { return *m_connection; }
    // The file's absolute path, or "factory database host:port/name".
    const QString &name() const { return m_name; }
    const QString &error() const { return m_error; }

private:
    // The stations of `wanted` the database holds no cycle of.
    static QStringList unknownStations(DatabaseConnection &connection, const QStringList &wanted,
                                       QString *error);
    Outcome openLocal(const ReportOptions &options);
    // `setup`: FactoryDb's ForSetup, else ForReading.
    Outcome openFactory(const ReportOptions &options, bool setup = false);

    std::unique_ptr<DatabaseConnection> m_connection;
    QString m_name;
    QString m_error;
};

#endif // REPORTSOURCE_H
