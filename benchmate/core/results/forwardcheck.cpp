#include "forwardcheck.h"

#include "databaseconnection.h"
#include "localresultsdb.h"
#include "sqlfailure.h"

#include <QDateTime>
#include <QHash>

#include <QSqlQuery>
#include <QVariant>

namespace {

// A statement the database refused at prepare() keeps that reason: run, it
// would only say that its values do not fit.
bool run(QSqlQuery &q, bool prepared)
{
    return prepared && q.exec();
}

bool count(QSqlQuery &q, bool prepared, qint64 *out)
{
    if (!run(q, prepared) || !q.next())
        return false;
    *out = q.value(0).toLongLong();
    return true;
}

} // namespace

bool ForwardCheck::find(DatabaseConnection &local, DatabaseConnection &factory,
                        const QString &stationId, qint64 mark, const QSet<QString> &passedOver,
                        Gap *gap, QString *error, bool *inFactory)
{
    *gap = Gap();
    *inFactory = false;
    QSqlQuery l(local.db());
    l.setForwardOnly(true);
    bool prepared =
        l.prepare(QStringLiteral("SELECT COUNT(*) FROM cycles WHERE station_id = ? AND id <= ?"));
    l.addBindValue(stationId);
    l.addBindValue(mark);
    qint64 sent = 0;
    if (!count(l, prepared, &sent))
        return SqlFailure::fail(QStringLiteral("cannot count the station's cycles"), l.lastError(),
                                error);
    l.finish();
    QSqlQuery f(factory.db());
    f.setForwardOnly(true);
    prepared = f.prepare(QStringLiteral("SELECT COUNT(*) FROM cycles WHERE station_id = ?"));
    f.addBindValue(stationId);
    qint64 held = 0;
    if (!count(f, prepared, &held)) {
        *inFactory = true;
        return SqlFailure::fail(QStringLiteral("cannot count the factory's cycles"), f.lastError(),
                                error);
    }
    f.finish();
    if (held >= sent - passedOver.size())
        return true;

    prepared = f.prepare(QStringLiteral("SELECT cycle_uid FROM cycles WHERE station_id = ?"));
    f.addBindValue(stationId);
    if (!run(f, prepared)) {
        *inFactory = true;
        return SqlFailure::fail(QStringLiteral("cannot read the factory's cycles"), f.lastError(),
                                error);
    }
    QSet<QString> there;
    while (f.next())
        there.insert(f.value(0).toString());
    f.finish();
    prepared = l.prepare(QStringLiteral(
        "SELECT id, cycle_uid FROM cycles WHERE station_id = ? AND id <= ? ORDER BY id"));
    l.addBindValue(stationId);
    l.addBindValue(mark);
    if (!run(l, prepared))
        return SqlFailure::fail(QStringLiteral("cannot read the station's cycles"), l.lastError(),
                                error);
    while (l.next()) {
        const QString uid = l.value(1).toString();
        if (there.contains(uid) || passedOver.contains(uid))
            continue;
        ++gap->missing;
        gap->missingUids.insert(uid);
        if (gap->resendAfter < 0)
            gap->resendAfter = l.value(0).toLongLong() - 1;
    }
    return true;
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
    // The file's cycles of this station by the folder uid they were recorded
    // with: a folder copied or moved took a new uid, and its own count is of
    // that uid's cycles.
    bool prepared = l.prepare(QStringLiteral(
        "SELECT folder_uid, COUNT(*) FROM cycles WHERE station_id = ? GROUP BY folder_uid"));
    l.addBindValue(stationId);
    if (!run(l, prepared))
        return SqlFailure::fail(QStringLiteral("cannot count the station's cycles"), l.lastError(),
                                error);
    QHash<QString, qint64> byFolder;
    while (l.next())
        byFolder.insert(l.value(0).toString(), l.value(1).toLongLong());
    l.finish();
    const qint64 held = byFolder.value(folder);
    QSqlQuery f(factory.db());
    prepared = f.prepare(QStringLiteral(
        "INSERT INTO station_counts (station_id, folder_uid, local_count, reported_at) "
        "VALUES (?, ?, ?, ?) ON CONFLICT (station_id, folder_uid) DO UPDATE SET "
        "local_count = excluded.local_count, reported_at = excluded.reported_at"));
    f.addBindValue(stationId);
    f.addBindValue(folder);
    f.addBindValue(held);
    f.addBindValue(DatabaseConnection::timeValue(QDateTime::currentDateTimeUtc()));
    if (!run(f, prepared))
        return SqlFailure::fail(QStringLiteral("cannot note the station's count in the factory"),
                                f.lastError(), error);
    f.finish();
    prepared = f.prepare(QStringLiteral("SELECT folder_uid, local_count FROM station_counts WHERE "
                                        "station_id = ? AND folder_uid <> ?"));
    f.addBindValue(stationId);
    f.addBindValue(folder);
    if (!run(f, prepared))
        return SqlFailure::fail(
            QStringLiteral("cannot read the station's other folders in the factory"), f.lastError(),
            error);
    // Another folder's cycles this file holds all of are this folder's own,
    // before it moved (or of the folder it was copied from, which has
    // recorded nothing since): no second station.
    while (f.next()) {
        const qint64 here = byFolder.value(f.value(0).toString());
        if (here == 0 || f.value(1).toLongLong() > here)
            ++*otherFolders;
    }
    return true;
}
