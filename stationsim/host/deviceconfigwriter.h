#ifndef STATIONSIM_DEVICECONFIGWRITER_H
#define STATIONSIM_DEVICECONFIGWRITER_H

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace stationsim {

// Benchmate's device table (device_config.csv, 42 lines, every line ending in
// "," and LF) for the simulated station: the golden machine's port in row 0,
// the DUT ports in rows 1..N (enabled), the other rows disabled with no port,
// and limits that every healthy simulated DUT passes.
namespace DeviceConfigWriter {
struct Limits
{
    int rxRssiMax = -20;
    int rxRssiMin = -75;
    int rxFreqMax = 10;
    int rxFreqMin = -10;
    int txRssiMax = -20;
    int txRssiMin = -75;
    int channel = 7;
    int sendInterval = 10;
    int timeOutMs = 120000;
    int calStart = -12;
};

QByteArray contents(const QString &goldenPort, const QStringList &dutPorts,
                    const QString &firmwarePath, const Limits &limits = Limits());
bool write(const QString &path, const QByteArray &contents, QString *error);
} // namespace DeviceConfigWriter

} // namespace stationsim

#endif // STATIONSIM_DEVICECONFIGWRITER_H
