#include "stationlock.h"

#include <QDir>

StationLock::StationLock(const QString &directory)
    : m_path(QDir(directory).absoluteFilePath(QStringLiteral("station.lock")))
    , m_lock(m_path)
{
    // Only a dead holder makes a lock stale: a station runs for days.
    m_lock.setStaleLockTime(0);
}

StationLock::Result StationLock::acquire()
{
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return Locked;
    if (m_lock.error() == QLockFile::LockFailedError) {
        QString host;
        if (!m_lock.getLockInfo(&m_holderPid, &host, &m_holderName)) {
            // Gone between the attempt and the look: try once more.
            if (m_lock.tryLock(0))
                return Locked;
            m_holderName = QStringLiteral("?");
            m_holderPid = 0;
        }
        return HeldByOther;
    }
    m_error =
        m_lock.error() == QLockFile::PermissionError
            ? QStringLiteral("no permission to create %1").arg(QDir::toNativeSeparators(m_path))
            : QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(m_path));
    return NotPossible;
}
