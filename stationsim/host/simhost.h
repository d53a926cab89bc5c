#ifndef STATIONSIM_SIMHOST_H
#define STATIONSIM_SIMHOST_H

#include "chip/chipsetup.h"
#include "chip/rfmedium.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace stationsim {

class PtyPort;
class Rfc2217Port;
class SimChip;
class WireTrace;

// The whole simulated station: the chips, their ports, ptys and traces, and
// the air between them.
class SimHost : public QObject
{
    Q_OBJECT
public:
    struct Paths
    {
        QString stateDir; // empty: a temporary directory
        QString ptyDir;   // empty: no ptys
        QString traceDir; // empty: no traces
    };

    SimHost(const StationSetup &setup, const Paths &paths, QObject *parent = nullptr);
    ~SimHost() override;

    // Opens storage, binds every port (a free consecutive range when the
    // base port is 0), creates ptys and traces, then powers the chips on.
    // On failure nothing stays open and error names the problem.
    bool start(QString *error);
    void stop();

    // "ready gm=rfc2217://127.0.0.1:P dut01=..." (no line end).
    QString readyLine() const;
    QString url(int slot) const;
    QStringList dutUrls() const;
    QString stateDir() const { return stateDirectory; }
    SimChip *chip(int slot) const;

private:
    bool openStorage(QString *error);
    bool bindPorts(QString *error);
    bool bindRange(int base, QString *error);
    bool openPtys(QString *error);
    bool openTraces(QString *error);
    void closePorts();

    StationSetup setup;
    Paths paths;
    QElapsedTimer clock;
    RfMedium air;
    std::unique_ptr<QTemporaryDir> tempState;
    QString stateDirectory;
    std::vector<std::unique_ptr<SimChip>> chips;
    std::vector<std::unique_ptr<Rfc2217Port>> ports;
    std::vector<std::unique_ptr<PtyPort>> ptys;
    std::vector<std::unique_ptr<WireTrace>> traces;
};

} // namespace stationsim

#endif // STATIONSIM_SIMHOST_H
