#include "reportsource.h"

#include "databaseconnection.h"
#include "factorydb.h"
#include "localresultsdb.h"
#include "reportoptions.h"
#include "stationsettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

ReportSource::ReportSource() = default;
ReportSource::~ReportSource() = default;

ReportSource::Outcome ReportSource::open(const ReportOptions &options)
{
    m_connection.reset();
    m_error.clear();
    const Outcome opened = options.factory ? openFactory(options) : openLocal(options);
    if (opened != Ready) {
        m_connection.reset();
        return opened;
    }
    QString error;
    const QStringList unknown = unknownStations(*m_connection, options.filter.stations, &error);
    if (!error.isEmpty()) {
        m_error = QStringLiteral("%1: %2").arg(m_name, error);
        m_connection.reset();
        return CannotUse;
    }
    if (!unknown.isEmpty()) {
        m_error = QStringLiteral("%1 holds no cycle of station %2")
                      .arg(m_name, QLatin1Char('"') + unknown.join(QStringLiteral("\", \"")) +
                                       QLatin1Char('"'));
        m_connection.reset();
        return UnknownStation;
    }
    return Ready;
}

ReportSource::Outcome ReportSource::openForSetup(const ReportOptions &options)
{
    m_connection.reset();
    m_error.clear();
    const Outcome opened = openFactory(options, true);
    if (opened != Ready)
        m_connection.reset();
    return opened;
}

ReportSource::Outcome ReportSource::openLocal(const ReportOptions &options)
{
    m_connection = std::make_unique<DatabaseConnection>(QStringLiteral("QSQLITE"));
    m_name = QFileInfo(options.dbPath).absoluteFilePath();
    return LocalResultsDb::open(*m_connection, options.dbPath, LocalResultsDb::ForReading, &m_error)
               ? Ready
               : CannotUse;
}

ReportSource::Outcome ReportSource::openFactory(const ReportOptions &options, bool setup)
{
    const QString config = QDir::toNativeSeparators(options.configPath);
    if (!QFileInfo::exists(options.configPath)) {
        m_error = QStringLiteral("%1: no such file").arg(config);
        return CannotUse;
    }
    if (!QFileInfo(options.configPath).isFile()) {
        m_error = QStringLiteral("%1 is not a file").arg(config);
        return CannotUse;
    }
    const StationSettings settings = StationSettings::load(options.configPath);
    // A port or a database name that was not read as written would report
    // from a server nobody named.
    if (settings.refused) {
        m_error = settings.problem;
        return CannotUse;
    }
    if (!settings.factory.enabled) {
        m_error = QStringLiteral("%1 names no factory database ([factory_db])").arg(config);
        return CannotUse;
    }
    m_connection = std::make_unique<DatabaseConnection>(QStringLiteral("QPSQL"));
    m_name = QStringLiteral("factory database ") + settings.factory.target();
    const FactoryDb::Opened opened = FactoryDb::open(
        *m_connection, settings.factory, setup ? FactoryDb::ForSetup : FactoryDb::ForReading);
    if (opened.noResults) {
        m_error = QStringLiteral("%1: no results yet").arg(m_name);
        return CannotUse;
    }
    if (!opened.ok()) {
        m_error = QStringLiteral("%1: %2: %3")
                      .arg(m_name, ForwardStatus::reason(opened.state), opened.detail);
        return CannotUse;
    }
    return Ready;
}

QStringList ReportSource::unknownStations(DatabaseConnection &connection, const QStringList &wanted,
                                          QString *error)
{
    if (wanted.isEmpty())
        return {};
    QSqlQuery q(connection.db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT DISTINCT station_id FROM cycles"))) {
        *error = QStringLiteral("cannot read the stations: ") + q.lastError().text().trimmed();
        return {};
    }
    QSet<QString> known;
    while (q.next())
        known.insert(q.value(0).toString());
    QStringList unknown;
    for (const QString &station : wanted) {
        if (!known.contains(station) && !unknown.contains(station))
            unknown << station;
    }
    return unknown;
}
