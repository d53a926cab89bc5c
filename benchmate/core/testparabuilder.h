#ifndef TESTPARABUILDER_H
#define TESTPARABUILDER_H

#include "resultjudge.h"
#include "testrecords.h"

#include <QList>
#include <QString>

struct DeviceConfig;

// Everything a cycle is started with: its parameters, and what its results
// are judged by (the limits, and per device its slot and calibration
// offsets, in device order).
struct CycleRequest
{
    testPara_t para;
    JudgeLimits limits;
    QList<JudgeRow> rows;
};

// Turns what the operator set up into a cycle's parameters. Nothing is
// validated: the engine reports what fails.
class TestParaBuilder
{
public:
    // One enabled DUT row.
    struct Device
    {
        int slot = 0; // table row - 1
        QString name;
        QString port;
    };

    QString gmPort;
    QString filePath;
    // The texts of the time-out, send-interval and channel boxes.
    QString timeOut;
    QString sendInterval;
    QString testCha;
    QList<Device> devices;

    // Unsigned decimals; text that is not one is 0. The channel keeps its
    // low 8 bits (300 is 44). A device without a slot of the station is
    // left out.
    testPara_t build() const;

    // The cycle a set-up starts, as the window and benchrun both start it:
    // the golden machine's port of row 0, the enabled DUT rows 1 to 24 in
    // row order (each with its slot, name, port and calibration offsets),
    // the firmware, the parameters and the limits.
    static CycleRequest request(const DeviceConfig &config);

    static uint32_t parseUnsigned(const QString &text);
};

#endif // TESTPARABUILDER_H
