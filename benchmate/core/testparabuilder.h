#ifndef TESTPARABUILDER_H
#define TESTPARABUILDER_H

#include "testrecords.h"

#include <QList>
#include <QString>

// Turns what the operator set up (as the window's widgets or the settings
// file show it) into a cycle's parameters. Nothing is validated: the engine
// reports what fails.
class TestParaBuilder
{
public:
    // One enabled DUT row.
    struct Device
    {
        int slot = 0; // table row - 1: which progress byte it reports through
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
    // low 8 bits (300 is 44).
    testPara_t build() const;

    static uint32_t parseUnsigned(const QString &text);
};

#endif // TESTPARABUILDER_H
