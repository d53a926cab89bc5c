#include "databaseconnection.h"

#include <QAtomicInt>
#include <QDateTime>

namespace {

QAtomicInt connectionCounter;

const QString timeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");

} // namespace

DatabaseConnection::DatabaseConnection(const QString &driver)
    : m_name(QStringLiteral("results-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
    , m_db(QSqlDatabase::addDatabase(driver, m_name))
{}

DatabaseConnection::~DatabaseConnection()
{
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

bool DatabaseConnection::isPostgres() const
{
    return m_db.driverName() == QLatin1String("QPSQL");
}

bool DatabaseConnection::driverLoaded() const
{
    return m_db.isValid();
}

QString DatabaseConnection::timeText(const QString &column) const
{
    if (isPostgres())
        return QStringLiteral("to_char(%1 AT TIME ZONE 'UTC', "
                              "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"')")
            .arg(column);
    return column;
}

QString DatabaseConnection::timeValue(const QDateTime &when)
{
    return when.toUTC().toString(timeFormat);
}

QDateTime DatabaseConnection::parseTime(const QString &text)
{
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    return when.toUTC();
}
