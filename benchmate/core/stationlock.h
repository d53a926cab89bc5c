#ifndef STATIONLOCK_H
#define STATIONLOCK_H

#include <QLockFile>
#include <QString>

// One station program at a time in a station directory. Two of them (two
// benchruns, or benchrun beside Benchmate) would both run cycles on the same
// ports and files: DUTs judged twice, counters that lose one program's
// cycles, log blocks numbered alike.
//
// The lock is the file "station.lock" in the station directory, held for the
// program's whole life. A lock left behind by a program that was killed is
// taken over: its process no longer runs (or runs another program). A live
// lock never goes stale by its age.
class StationLock
{
public:
    enum Result
    {
        Locked,      // this program holds the directory
        HeldByOther, // another running program holds it: holderName(), holderPid()
        NotPossible, // no lock could be made (error()): nothing to tell about others
    };

    // `directory` is the station directory (the working directory).
    explicit StationLock(const QString &directory = QStringLiteral("."));
    StationLock(const StationLock &) = delete;
    StationLock &operator=(const StationLock &) = delete;

    Result acquire();

    QString path() const { return m_path; }
    // The program holding the lock ("benchrun", "Benchmate") and its process.
    const QString &holderName() const { return m_holderName; }
    qint64 holderPid() const { return m_holderPid; }
    // Why no lock could be made.
    const QString &error() const { return m_error; }

private:
    QString m_path;
    QLockFile m_lock;
    QString m_holderName;
    qint64 m_holderPid = 0;
    QString m_error;
};

#endif // STATIONLOCK_H
