#include "cyclejson.h"

#include "figuretable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

QJsonValue orNull(const std::optional<int> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonValue orNull(const std::optional<double> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QString isoTime(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

} // namespace

QJsonObject CycleJson::dut(const CycleOutcome &outcome, int run, int index)
{
    const CycleRecord &c = outcome.record;
    const DutRecord &d = c.duts.at(index);
    QJsonObject o;
    o.insert(QStringLiteral("type"), QStringLiteral("dut"));
    o.insert(QStringLiteral("run_cycle"), run);
    o.insert(QStringLiteral("cycle_uid"), c.cycleUid);
    o.insert(QStringLiteral("position"), d.position);
    o.insert(QStringLiteral("slot"), orNull(d.slot));
    o.insert(QStringLiteral("device"), d.device);
    o.insert(QStringLiteral("port"), d.port);
    o.insert(QStringLiteral("mac"), d.mac);
    o.insert(QStringLiteral("flash_uid"), d.flashUid);
    o.insert(QStringLiteral("verdict"), d.verdict);
    o.insert(QStringLiteral("failed_step"), d.failedStep);
    o.insert(QStringLiteral("download_status"), d.downloadStatus);
    o.insert(QStringLiteral("mac_status"), d.macStatus);
    o.insert(QStringLiteral("calibration_status"), d.calibrationStatus);
    o.insert(QStringLiteral("tx_status"), d.txStatus);
    o.insert(QStringLiteral("crystal"), orNull(d.crystal));
    o.insert(QStringLiteral("tx_cal"), d.txCal);
    o.insert(QStringLiteral("rx_cal"), d.rxCal);
    for (const FigureDefinition &f : FigureTable::figures()) {
        QJsonObject figure;
        figure.insert(QStringLiteral("min"), orNull(d.*f.recordMin));
        figure.insert(QStringLiteral("max"), orNull(d.*f.recordMax));
        figure.insert(QStringLiteral("mean"), orNull(d.*f.recordMean));
        figure.insert(QStringLiteral("unit"), QLatin1String(f.unit));
        o.insert(QLatin1String(f.column), figure);
    }
    const DeviceJudgement *judged = outcome.judgement.device(index);
    o.insert(QStringLiteral("reasons"),
             QJsonArray::fromStringList(judged ? judged->reasons : QStringList()));
    return o;
}

QJsonObject CycleJson::cycle(const CycleOutcome &outcome, int run, const Counters &counters)
{
    const CycleRecord &c = outcome.record;
    QJsonObject o;
    o.insert(QStringLiteral("type"), QStringLiteral("cycle"));
    o.insert(QStringLiteral("run_cycle"), run);
    o.insert(QStringLiteral("station_id"), c.stationId);
    o.insert(QStringLiteral("cycle_uid"), c.cycleUid);
    o.insert(QStringLiteral("number"), c.number);
    o.insert(QStringLiteral("started_at"), isoTime(c.startedAt));
    o.insert(QStringLiteral("ended_at"), isoTime(c.endedAt));
    o.insert(QStringLiteral("elapsed_ms"), outcome.elapsedMs);
    o.insert(QStringLiteral("golden_mac"), c.goldenMac);
    o.insert(QStringLiteral("golden_crystal"), orNull(c.goldenCrystal));
    o.insert(QStringLiteral("cycle_error"), c.cycleError);
    o.insert(QStringLiteral("ended"), outcome.judgement.ended);
    o.insert(QStringLiteral("duts"), c.duts.size());
    o.insert(QStringLiteral("passed"), qint64(outcome.judgement.passed));
    o.insert(QStringLiteral("failed"), qint64(outcome.judgement.failed));
    o.insert(QStringLiteral("recorded"), outcome.recorded);
    QJsonObject means;
    for (int i = 0; i < FigureTable::count(); ++i)
        means.insert(QLatin1String(FigureTable::figures()[std::size_t(i)].column),
                     orNull(c.cycleMean(i)));
    o.insert(QStringLiteral("cycle_means"), means);
    o.insert(QStringLiteral("image_sha256"), c.imageSha256);
    o.insert(QStringLiteral("tool_version"), c.toolVersion);
    QJsonObject total;
    total.insert(QStringLiteral("total"), counters.total);
    total.insert(QStringLiteral("passed"), counters.passed);
    total.insert(QStringLiteral("failed"), counters.failed);
    o.insert(QStringLiteral("counters"), total);
    return o;
}

QByteArray CycleJson::lines(const CycleOutcome &outcome, int run, const Counters &counters)
{
    QByteArray out;
    for (int k = 0; k < outcome.record.duts.size(); ++k)
        out += QJsonDocument(dut(outcome, run, k)).toJson(QJsonDocument::Compact) + '\n';
    out += QJsonDocument(cycle(outcome, run, counters)).toJson(QJsonDocument::Compact) + '\n';
    return out;
}
