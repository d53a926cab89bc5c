#ifndef FORWARDCHECK_H
#define FORWARDCHECK_H

#include <QSet>
#include <QString>

class DatabaseConnection;

// Whether the factory database still holds every cycle of the station that
// the station's forwarding mark says went over. A factory database dropped
// and made again, restored from an older dump, or whose rows someone
// deleted, lacks cycles the mark passed: they must go again.
//
// Counts first (the station's cycles up to the mark, against the factory's
// cycles of the station); only when the factory holds fewer are the cycle
// uids compared, to find the earliest cycle it lacks.
class ForwardCheck
{
public:
    struct Gap
    {
        qint64 missing = 0;        // cycles the factory lacks
        qint64 resendAfter = -1;   // the mark to go back to; -1: nothing lacks
        QSet<QString> missingUids; // the uids of the cycles it lacks
    };

    // `passedOver`: uids of the station's cycles set aside (never stored).
    // False with *error set, and *inFactory true when the factory's query
    // failed (false: the station's own file's).
    static bool find(DatabaseConnection &local, DatabaseConnection &factory,
                     const QString &stationId, qint64 mark, const QSet<QString> &passedOver,
                     Gap *gap, QString *error, bool *inFactory);

    // Tells the factory how many cycles of `stationId` the station's file
    // holds (its folder's row of station_counts), for a report to compare
    // with what the factory holds; *otherFolders is told how many other
    // station folders report under the same id. False with *error set.
    static bool reportCount(DatabaseConnection &local, DatabaseConnection &factory,
                            const QString &stationId, int *otherFolders, QString *error);
};

#endif // FORWARDCHECK_H
