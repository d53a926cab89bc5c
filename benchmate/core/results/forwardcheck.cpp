#include "forwardcheck.h"

#include "databaseconnection.h"
#include "localresultsdb.h"

#include <QDateTime>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

bool count(QSqlQuery &q, qint64 *out)
{
    if (!q.exec() || !q.next())
        return false;
    *out = q.value(0).toLongLong();
    return true;
}

} // namespace

ForwardCheck::Gap ForwardCheck::find(DatabaseConnection &local, DatabaseConnection &factory,
                                     const QString &stationId, qint64 mark,
                                     const QSet<QString> &passedOver)
{
    Gap gap;
    QSqlQuery l(local.db());
    l.setForwardOnly(true);
    l.prepare(QStringLiteral("SELECT COUNT(*) FROM cycles WHERE station_id = ? AND id <= ?"));
    l.addBindValue(stationId);
    l.addBindValue(mark);
    qint64 sent = 0;
    if (!count(l, &sent)) {
        gap.error =
            QStringLiteral("cannot count the station's cycles: ") + l.lastError().text().trimmed();
        return gap;
    }
    l.finish();
    QSqlQuery f(factory.db());
    f.setForwardOnly(true);
    f.prepare(QStringLiteral("SELECT COUNT(*) FROM cycles WHERE station_id = ?"));
    f.addBindValue(stationId);
    qint64 held = 0;
    if (!count(f, &held)) {
        gap.factoryFailed = true;
        gap.error =
            QStringLiteral("cannot count the factory's cycles: ") + f.lastError().text().trimmed();
        return gap;
    }
    f.finish();
    gap.ok = true;
    if (held >= sent - passedOver.size())
        return gap;

    f.prepare(QStringLiteral("SELECT cycle_uid FROM cycles WHERE station_id = ?"));
    f.addBindValue(stationId);
    if (!f.exec()) {
        gap.ok = false;
        gap.factoryFailed = true;
        gap.error =
            QStringLiteral("cannot read the factory's cycles: ") + f.lastError().text().trimmed();
        return gap;
    }
    QSet<QString> there;
    while (f.next())
        there.insert(f.value(0).toString());
    f.finish();
    l.prepare(QStringLiteral(
        "SELECT id, cycle_uid FROM cycles WHERE station_id = ? AND id <= ? ORDER BY id"));
    l.addBindValue(stationId);
    l.addBindValue(mark);
    if (!l.exec()) {
        gap.ok = false;
        gap.error =
            QStringLiteral("cannot read the station's cycles: ") + l.lastError().text().trimmed();
        return gap;
    }
    while (l.next()) {
        const QString uid = l.value(1).toString();
        if (there.contains(uid) || passedOver.contains(uid))
            continue;
        ++gap.missing;
        gap.missingUids.insert(uid);
        if (gap.resendAfter < 0)
            gap.resendAfter = l.value(0).toLongLong() - 1;
    }
    return gap;
}

bool ForwardCheck::reportCount(DatabaseConnection &local, DatabaseConnection &factory,
                               const QString &stationId, int *otherFolders, QString *error)
{
    *otherFolders = 0;
    const QString folder = LocalResultsDb::folderUid(local, error);
    if (folder.isEmpty())
        return false;
    QSqlQuery l(local.db());
    l.setForwardOnly(true);
    l.prepare(QStringLiteral("SELECT COUNT(*) FROM cycles WHERE station_id = ?"));
    l.addBindValue(stationId);
    qint64 held = 0;
    if (!count(l, &held)) {
        *error =
            QStringLiteral("cannot count the station's cycles: ") + l.lastError().text().trimmed();
        return false;
    }
    l.finish();
    QSqlQuery f(factory.db());
    f.prepare(QStringLiteral(
        "INSERT INTO station_counts (station_id, folder_uid, local_count, reported_at) "
        "VALUES (?, ?, ?, ?) ON CONFLICT (station_id, folder_uid) DO UPDATE SET "
        "local_count = excluded.local_count, reported_at = excluded.reported_at"));
    f.addBindValue(stationId);
    f.addBindValue(folder);
    f.addBindValue(held);
    f.addBindValue(DatabaseConnection::timeValue(QDateTime::currentDateTimeUtc()));
    if (!f.exec()) {
        *error = QStringLiteral("cannot note the station's count in the factory: ") +
                 f.lastError().text().trimmed();
        return false;
    }
    f.finish();
    f.prepare(QStringLiteral(
        "SELECT COUNT(*) FROM station_counts WHERE station_id = ? AND folder_uid <> ?"));
    f.addBindValue(stationId);
    f.addBindValue(folder);
    qint64 others = 0;
    if (!count(f, &others)) {
        *error = QStringLiteral("cannot read the station's other folders in the factory: ") +
                 f.lastError().text().trimmed();
        return false;
    }
    *otherFolders = int(others);
    return true;
}
