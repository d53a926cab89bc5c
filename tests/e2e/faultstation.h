#ifndef FAULTSTATION_H
#define FAULTSTATION_H

#include "simstation.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A station directory of its own for a fault test: the real Chipctl with
// its ramcode image, the device table the simulator writes for a scenario,
// the logs. It is the working directory while it lives.
//
// Chipctl sits behind a small shell script, so a test can make the chip
// tool hang for one chip's port and one command (the script writes its
// process id to config/CHIPCTL/hung.pid, then sleeps in place of the tool).
class FaultStation
{
public:
    ~FaultStation();

    // `hangChip` ("dut03") / `hangCommand`: the run that hangs (none when
    // empty).
    bool prepare(const QByteArray &scenario, const QString &hangChip = QString(),
                 const QString &hangCommand = QString());

    SimStation &sim() { return m_sim; }
    QString path() const { return m_dir.path(); }
    QString error() const { return m_error; }

    // Starts benchrun in the station directory.
    void startBenchrun(QProcess &run, int cycles) const;
    // Runs it to its end (at most `limitMs`); false when it had to be killed.
    bool runBenchrun(int cycles, int limitMs, int *exitCode, QString *output) const;

    // Process ids of this station's chip tools still running.
    QList<qint64> runningTools() const;
    // Waits (at most `ms`) until none of them runs.
    bool waitForTools(int ms) const;

    // The lines of one DUT's section in the daily log's last block
    // ("Device DUTn: Start test" to the next empty line).
    static QString lastDutLog(int slot);

private:
    bool fail(const QString &text);

    QTemporaryDir m_dir;
    QString m_previous;
    QString m_error;
    SimStation m_sim;
};

#endif // FAULTSTATION_H
