#include "samplecycles.h"

#include "databaseconnection.h"

#include <QFile>
#include <QSqlQuery>
#include <QVariant>

CycleRecord sampleCycle(const QString &station, int number, int duts)
{
    CycleRecord c;
    c.stationId = station;
    // Fixed per station and number, so a cycle written twice is the same
    // cycle.
    c.cycleUid = QStringLiteral("%1-%2").arg(station).arg(number, 6, 10, QLatin1Char('0'));
    c.number = number * 24;
    c.startedAt = QDateTime(QDate(2026, 12, 7), QTime(8, 0), Qt::UTC).addSecs(qint64(number) * 60);
    c.endedAt = c.startedAt.addMSecs(31250);
    c.goldenMac = QStringLiteral("a0:b1:c2:d3:e4:f5");
    c.rxRssiMin = -75;
    c.rxRssiMax = -20;
    c.freqMin = -10;
    c.freqMax = 10;
    c.txRssiMin = -75;
    c.txRssiMax = -20.5;
    c.imagePath = QStringLiteral("./config/CHIPCTL/Config/TK716A_RAM_BIN.bin");
    c.imageSha256 =
        QStringLiteral("9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08");
    c.imageSize = 65536;
    c.toolVersion = QStringLiteral("V1.0.16");
    for (int k = 0; k < duts; ++k) {
        DutRecord d;
        d.position = k;
        d.slot = k;
        d.device = QStringLiteral("DUT%1").arg(k);
        d.port = QStringLiteral("rfc2217://127.0.0.1:%1").arg(7001 + k);
        d.mac = QStringLiteral("a0:b1:c2:d3:e4:%1").arg(0xf6 + k, 2, 16, QLatin1Char('0'));
        d.flashUid = QStringLiteral("0x%1%2")
                         .arg(station.size(), 4, 16, QLatin1Char('0'))
                         .arg((number * 31 + k) % 97, 28, 16, QLatin1Char('0'));
        d.txCal = k % 3 - 1;
        d.rxCal = 0;
        const int variant = (number + k) % 11;
        if (variant == 0) {
            // Download failed: nothing measured.
            d.downloadStatus = QLatin1String(ResultWords::fail);
            d.verdict = QLatin1String(ResultWords::error);
            d.failedStep = QLatin1String(ResultWords::stepDownload);
            d.failureLog = QStringLiteral("[错误] 08:00:01:250 %1 download, \"ramcode\" failed\r\n"
                                          "line two\r\n")
                               .arg(d.device);
            c.duts.append(d);
            continue;
        }
        d.downloadStatus = QLatin1String(ResultWords::pass);
        d.macStatus = QLatin1String(ResultWords::pass);
        d.calibrationStatus = QLatin1String(ResultWords::pass);
        d.crystal = (k * 7 + number) % 40 - 20;
        d.rxRssiMin = -50 - k % 5;
        d.rxRssiMax = -44 + k % 3;
        d.rxRssiAvg = -47 - k % 4;
        d.freqMin = -3;
        d.freqMax = 3 + k % 2;
        d.freqAvg = (k + number) % 5 - 2;
        d.txStatus = QLatin1String(ResultWords::pass);
        d.txRssiMin = -52;
        d.txRssiMax = -45;
        d.txRssiAvg = -48 - (k + number) % 3;
        // The means the averages were truncated from.
        d.rxRssiMean = *d.rxRssiAvg - 0.35;
        d.freqMean = *d.freqAvg + (*d.freqAvg < 0 ? -0.45 : 0.45);
        d.txRssiMean = *d.txRssiAvg - 0.05 * (k % 20);
        if (variant == 5) {
            d.txRssiAvg = -80;
            d.txRssiMean = -80.5;
            d.verdict = QLatin1String(ResultWords::fail);
            d.failedStep = QLatin1String(ResultWords::stepLimits);
            d.failureLog = QStringLiteral("tx rssi -80 < -75");
        } else {
            d.verdict = QLatin1String(ResultWords::pass);
        }
        c.duts.append(d);
    }
    // The golden machine's values, one figure's mean left out (as when no
    // DUT of the cycle measured it).
    c.goldenCrystal = number % 5 - 2;
    c.setCycleMean(0, -47.3125 - number % 3);
    c.setCycleMean(1, 0.25 * (number % 4));
    c.setCycleMean(2, std::nullopt);
    return c;
}

DatabaseCounts countsOf(DatabaseConnection &connection)
{
    DatabaseCounts counts;
    QSqlQuery q(connection.db());
    const auto one = [&q](const char *sql) -> qint64 {
        if (!q.exec(QLatin1String(sql)) || !q.next())
            return -1;
        const qint64 value = q.value(0).toLongLong();
        q.finish();
        return value;
    };
    counts.cycles = one("SELECT COUNT(*) FROM cycles");
    counts.duts = one("SELECT COUNT(*) FROM duts");
    counts.partialCycles = one("SELECT COUNT(*) FROM cycles c WHERE c.dut_count <> "
                               "(SELECT COUNT(*) FROM duts d WHERE d.cycle_id = c.id)");
    counts.duplicateUids = one("SELECT COUNT(*) FROM (SELECT station_id, cycle_uid FROM cycles "
                               "GROUP BY station_id, cycle_uid HAVING COUNT(*) > 1) AS twice");
    return counts;
}

bool damagePage(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const qint64 pages = file.size() / 4096;
    if (pages < 2)
        return false;
    const qint64 page = qMax<qint64>(1, pages / 2);
    QByteArray junk(800, '\0');
    for (int i = 0; i < junk.size(); ++i)
        junk[i] = char((i * 131 + 17) & 0xff);
    return file.seek(page * 4096) && file.write(junk) == junk.size();
}
