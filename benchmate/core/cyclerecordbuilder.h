#ifndef CYCLERECORDBUILDER_H
#define CYCLERECORDBUILDER_H

#include "cycleoutcome.h"
#include "cyclerecord.h"
#include "imagefingerprint.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// Makes the record the results database keeps of a cycle: per DUT its
// traceability, figures, the status of each step, the verdict and, for a
// failure, the step it failed at with its log. The station's id, the ramcode
// image's hash and the chip tool's version go with every cycle.
class CycleRecordBuilder
{
public:
    explicit CycleRecordBuilder(const QString &stationId);

    CycleRecord build(const CycleOutcome &outcome);

    // Step statuses from the status an RX worker ended in: download, MAC
    // set-up, calibration.
    static void rxSteps(int rxStatus, DutRecord *dut);

    // The cycle's means of each figure over its DUTs that measured it, each
    // DUT's mean less its calibration offset: what the golden machine's
    // drift is watched by.
    static void cycleMeans(CycleRecord *cycle);

private:
    QString toolVersion();

    QString m_stationId;
    ImageFingerprint m_image;
    QString m_toolVersion;
    QDateTime m_toolModified;
    bool m_toolProbed = false;
};

#endif // CYCLERECORDBUILDER_H
