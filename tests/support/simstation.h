#ifndef SIMSTATION_H
#define SIMSTATION_H

#include <QHash>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Runs the simulated station (build/bin/stationsim) for a test.
//
//   SimStation sim;
//   QVERIFY2(sim.start({"--duts", "2"}), qPrintable(sim.errorText()));
//   QString port = sim.url("dut01");   // "rfc2217://127.0.0.1:PORT"
//
// start() adds "--base-port 0" (a free range, so tests can run in parallel),
// a temporary "--state-dir" and, when the environment variable
// STATIONSIM_DELIVERY names a model, "--delivery MODEL" (how the chips'
// bytes reach the host; the simulator's default otherwise), each unless the
// arguments name their own; it starts the process and waits at most about
// 10 s for its "ready" line. stop() and
// the destructor end it: SIGTERM, then a kill if it has not ended within 3 s.
// The simulator's diagnostics pass through to the test's standard error.
//
// Where the program is: the library that holds this class is compiled with
//   target_compile_definitions(station_test_support PUBLIC
//       STATIONSIM_BIN="$<TARGET_FILE:stationsim>")
// so every test target that links station_test_support gets the path; the
// environment variable STATIONSIM_BIN, or the constructor argument, overrides
// it.
class SimStation : public QObject
{
    Q_OBJECT
public:
    explicit SimStation(const QString &program = QString(), QObject *parent = nullptr);
    ~SimStation() override;

    bool start(QStringList extraArgs = {});
    void stop();
    bool isRunning() const;

    // name: "gm", "dut01" ... "dut24"; empty when the station has no such chip.
    QString url(const QString &name) const;
    quint16 port(const QString &name) const;
    QStringList names() const { return order; }
    QString readyLine() const { return ready; }
    QString stateDir() const { return state; }
    QString errorText() const { return error; }
    QString program() const { return binary; }
    QProcess *process() { return &proc; }

    static QString defaultProgram();

private:
    QString binary;
    QProcess proc;
    std::unique_ptr<QTemporaryDir> tempState;
    QHash<QString, QString> urls;
    QStringList order;
    QString ready;
    QString state;
    QString error;
};

#endif // SIMSTATION_H
