#ifndef STATIONSETUP_H
#define STATIONSETUP_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

// A station's settings file for the control tests, built from what a test
// cares about and written to ./config/device_config.csv.
struct StationSetup
{
    struct Dut
    {
        bool enabled = true;
        QString port;
        QString txCal = QStringLiteral("0");
        QString rxCal = QStringLiteral("0");
    };

    QString gmPort = QStringLiteral("GM");
    QVector<Dut> duts = QVector<Dut>(24); // slot 0..23
    QString firmware = QStringLiteral("ram.bin");
    QString rxRssiMax = QStringLiteral("-20");
    QString rxRssiMin = QStringLiteral("-75");
    QString rxFreqMax = QStringLiteral("10");
    QString rxFreqMin = QStringLiteral("-10");
    QString txRssiMax = QStringLiteral("-20");
    QString txRssiMin = QStringLiteral("-75");
    QString channel = QStringLiteral("6");
    QString sendInterval = QStringLiteral("100");
    QString timeOut = QStringLiteral("20000");
    uint32_t total = 0;
    uint32_t passed = 0;
    uint32_t failed = 0;
    int calVal = -3;
    int autoTest = 0;

    // DUTs in slots 0..n-1 on ports D1..Dn, the others disabled.
    static StationSetup withDuts(int n);

    QByteArray bytes() const;
    // Writes ./config/device_config.csv (making ./config when missing), and
    // a placeholder firmware image where `firmware` names none in a
    // directory that exists.
    bool write() const;
};

// The files the station wrote under ./log for today.
QByteArray todaysLog();
QByteArray todaysResults();
// The CSV rows of today's results file, header left out, split in fields.
QList<QStringList> todaysResultRows();

// One row of the results file, by field.
struct ResultRow
{
    QStringList f;
    int cycle() const { return f.at(1).toInt(); }
    int slot() const { return f.at(2).toInt(); }
    QString mac() const { return f.at(5); }
    QString uid() const { return f.at(6); }
    int crystal() const { return f.at(7).toInt(); }
    // The means as written (0 when the field is empty: never measured).
    double rxAvg() const { return f.at(10).toDouble(); }
    double freqAvg() const { return f.at(13).toDouble(); }
    double txAvg() const { return f.at(16).toDouble(); }
    QString rxStatus() const { return f.at(17); }
    QString txStatus() const { return f.at(18); }
    QString verdict() const { return f.at(19); }
};
// The lines of ./config/device_config.csv without their trailing ",".
QStringList settingsLines();

#endif // STATIONSETUP_H
