#include "host/deviceconfigwriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace stationsim {

namespace DeviceConfigWriter {

QByteArray contents(const QString &goldenPort, const QStringList &dutPorts,
                    const QString &firmwarePath, const Limits &limits)
{
    QByteArray out;
    auto line = [&out](const QString &text) { out += text.toUtf8() + ",\n"; };
    auto value = [&line](int v) { line(QString::number(v)); };
    line(QStringLiteral("ENBALE,Device Name,Serial Num,TX CAL,RX CAL"));
    line(QStringLiteral("1,Gold Machine,%1,0").arg(goldenPort));
    for (int n = 0; n < 24; ++n) {
        if (n < dutPorts.size())
            line(QStringLiteral("1,DUT%1,%2,0,0").arg(n).arg(dutPorts.at(n)));
        else
            line(QStringLiteral("0,DUT%1,,0,0").arg(n));
    }
    line(firmwarePath);
    value(limits.rxRssiMax);
    value(limits.rxRssiMin);
    value(limits.rxFreqMax);
    value(limits.rxFreqMin);
    value(limits.txRssiMax);
    value(limits.txRssiMin);
    value(0); // parameters not locked
    value(limits.channel);
    value(limits.sendInterval);
    value(limits.timeOutMs);
    value(0); // total
    value(0); // passed
    value(0); // failed
    value(limits.calStart);
    value(0); // no auto test
    return out;
}

bool write(const QString &path, const QByteArray &contents, QString *error)
{
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) {
        *error = QStringLiteral("cannot write the device table %1: no directory %2")
                     .arg(path, info.absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit()) {
        *error =
            QStringLiteral("cannot write the device table %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace DeviceConfigWriter

} // namespace stationsim
