#ifndef STATIONRESULTS_H
#define STATIONRESULTS_H

#include "cyclerecord.h"
#include "forwardstatus.h"
#include "resultsrecorder.h"
#include "stationsettings.h"

#include <QObject>
#include <QThread>

#include <memory>

class QEventLoop;
class QTimer;
class ResultsForwarder;

// The station's results database as a front end (the window, benchrun)
// holds it: records each cycle in the station's own database and, when the
// station's settings name a factory database, forwards the cycles there
// from a thread of its own.
class StationResults : public QObject
{
    Q_OBJECT

public:
    // `settings` as read from config/station.ini; `localPath` the station's
    // own database.
    explicit StationResults(const StationSettings &settings,
                            const QString &localPath = QStringLiteral("./log/results.sqlite"),
                            QObject *parent = nullptr);
    ~StationResults() override;

    const StationSettings &settings() const { return m_settings; }
    // What is wrong with the station's own database as found at the start
    // (damaged, not a database), with what to do; empty when nothing is.
    const QString &startProblem() const { return m_startProblem; }
    QString stationId() const { return m_settings.stationId; }
    QString localPath() const { return m_recorder.path(); }

    // Records one cycle in the station's database (one transaction) and
    // lets the forwarder know. True when nothing waits to be recorded;
    // false with *error set (the cycle is kept and recorded ahead of the
    // next one).
    bool recordCycle(const CycleRecord &record, QString *error);
    int unrecordedCount() const { return m_recorder.pendingCount(); }

    // Forwarding as it stands now (state Off without a factory database).
    ForwardStatus forwardStatus() const;

    // Keeps events running until every recorded cycle went over, forwarding
    // cannot go on (the database cannot be used), `ms` have passed, or
    // stopWaiting() is called. Returns true when nothing waits.
    bool waitForForwarding(int ms);
    // Ends a waitForForwarding() under way (a stop signal).
    void stopWaiting();

    // At the end, how long the forwarder's thread is given to finish a batch
    // under way, and then to end once its connection is broken off, ms.
    static constexpr int handOverMs = 5000;
    static constexpr int afterBreakMs = 5000;

signals:
    // From the forwarder, in this object's thread.
    void forwardStatusChanged(const ForwardStatus &status);

private:
    void watchForwarder();

    StationSettings m_settings;
    QString m_startProblem;
    ResultsRecorder m_recorder;
    std::unique_ptr<QThread> m_thread;
    std::unique_ptr<ResultsForwarder> m_forwarder;
    QTimer *m_watch = nullptr;
    QEventLoop *m_waitLoop = nullptr;
};

#endif // STATIONRESULTS_H
