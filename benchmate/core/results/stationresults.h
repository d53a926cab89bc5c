#ifndef STATIONRESULTS_H
#define STATIONRESULTS_H

#include "cyclerecord.h"
#include "forwardstatus.h"
#include "resultsrecorder.h"
#include "stationsettings.h"

#include <QObject>
#include <QThread>

#include <memory>

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
    QString stationId() const { return m_settings.stationId; }
    QString localPath() const { return m_recorder.path(); }

    // Records one cycle in the station's database (one transaction) and
    // lets the forwarder know. True when nothing waits to be recorded.
    bool recordCycle(const CycleRecord &record);
    int unrecordedCount() const { return m_recorder.pendingCount(); }
    QString recordError() const { return m_recorder.lastError(); }

    // Forwarding as it stands now (state Off without a factory database).
    ForwardStatus forwardStatus() const;

    // Keeps events running until every recorded cycle went over, forwarding
    // cannot go on (the database cannot be used), or `ms` have passed.
    // Returns true when nothing waits.
    bool waitForForwarding(int ms);

signals:
    // From the forwarder, in this object's thread.
    void forwardStatusChanged(const ForwardStatus &status);

private:
    StationSettings m_settings;
    ResultsRecorder m_recorder;
    QThread m_thread;
    std::unique_ptr<ResultsForwarder> m_forwarder;
};

#endif // STATIONRESULTS_H
