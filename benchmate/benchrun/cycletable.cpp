#include "cycletable.h"

#include "figuretable.h"
#include "logrecord.h"
#include "meantext.h"
#include "resultscsv.h"

#include <QStringList>

namespace {

QString seconds(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

// Left-aligned columns wide enough for every cell.
QString columns(const QList<QStringList> &rows, const QList<bool> &rightAligned)
{
    QList<int> widths;
    for (const QStringList &row : rows) {
        for (int c = 0; c < row.size(); ++c) {
            if (c >= widths.size())
                widths.append(0);
            widths[c] = qMax(widths.at(c), row.at(c).size());
        }
    }
    QString out;
    for (const QStringList &row : rows) {
        QString line;
        for (int c = 0; c < row.size(); ++c) {
            const bool right = c < rightAligned.size() && rightAligned.at(c);
            const QString cell = right ? row.at(c).rightJustified(widths.at(c))
                                       : row.at(c).leftJustified(widths.at(c));
            line += (c ? QStringLiteral("  ") : QString()) + cell;
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out += QStringLiteral("  ") + line + QLatin1Char('\n');
    }
    return out;
}

QString percent(uint32_t part, uint32_t whole)
{
    if (whole == 0)
        return QStringLiteral("-");
    return QString::number(100.0 * double(part) / double(whole), 'f', 1) + QStringLiteral(" %");
}

} // namespace

QString CycleTable::verdict(const CycleJudgement &judgement, const testRestlt_t &result, int index)
{
    // The results' words; a verdict is in capitals.
    const DeviceJudgement *device = judgement.device(index);
    const DeviceVerdict v = device ? device->verdict : DeviceVerdict::NotJudged;
    const QString word = QLatin1String(ResultJudge::verdictWord(v));
    switch (v) {
    case DeviceVerdict::Pass:
    case DeviceVerdict::Fail:
        return word.toUpper();
    case DeviceVerdict::NotJudged:
        return word;
    case DeviceVerdict::Error:
        break;
    }
    const bool rx =
        index < result.results.size() && result.results.at(index).rxStatus == STATUS_FAIL;
    return word.toUpper() + (rx ? QStringLiteral(" (RX)") : QStringLiteral(" (TX)"));
}

QString CycleTable::firstError(const QString &log)
{
    const QString prefix = logRecord::getLevelPrefix(LOG_ERROR);
    const int stampLength = int(sizeof("hh:mm:ss:zzz ")) - 1;
    const QStringList lines = log.split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size() + stampLength);
    }
    return QString();
}

QString CycleTable::cycleTable(int cycle, int cycles, qint64 elapsedMs, const testPara_t &para,
                               const QList<deviceTrace_t> &traces, const testRestlt_t &result,
                               const CycleJudgement &judgement,
                               const QList<CycleOutcome::DutLog> &dutLogs, const QString &goldenLog)
{
    const QString goldenError = firstError(goldenLog);
    QString out = QStringLiteral("Cycle %1 of %2: %3 DUT(s), %4")
                      .arg(cycle)
                      .arg(cycles)
                      .arg(para.devices.size())
                      .arg(seconds(elapsedMs));
    if (!judgement.ended)
        out += QStringLiteral(", the cycle did not end");
    else if (judgement.incomplete)
        out += result.finished != 1 ? QStringLiteral(", the cycle did not finish")
                                    : QStringLiteral(", results missing");
    else if (judgement.stationFault == StationFault::TimeOut)
        out += QStringLiteral(", the DUTs took longer than the time-out");
    else if (judgement.cycleError)
        out += QStringLiteral(", golden machine error");
    if (judgement.cycleError && !goldenError.isEmpty())
        out += QStringLiteral(": ") + goldenError;
    out += QLatin1Char('\n');

    const auto figures = FigureTable::listed();
    QList<QStringList> rows;
    QStringList heading{QStringLiteral("slot"), QStringLiteral("device"), QStringLiteral("port"),
                        QStringLiteral("mac"), QStringLiteral("verdict")};
    QList<bool> rightAligned{true, false, false, false, false};
    for (const FigureDefinition *f : figures) {
        heading << QLatin1String(f->shortName);
        rightAligned << true;
    }
    heading << QStringLiteral("crystal") << QStringLiteral("note");
    rightAligned << true << false;
    rows << heading;
    for (int k = 0; k < para.devices.size(); ++k) {
        const deviceInfo_t &device = para.devices.at(k);
        const int slot = ResultsCsv::slotOf(device);
        QStringList row;
        row << (slot >= 0 ? QString::number(slot) : QStringLiteral("-")) << device.name
            << device.port
            << (k < traces.size() && !traces.at(k).mac.isEmpty() ? traces.at(k).mac
                                                                 : QStringLiteral("-"))
            << verdict(judgement, result, k);
        const DeviceJudgement *judged = judgement.device(k);
        if (judged &&
            (judged->verdict == DeviceVerdict::Pass || judged->verdict == DeviceVerdict::Fail)) {
            const deviceRestlt_t &r = judged->result;
            for (const FigureDefinition *f : figures)
                row << MeanText::of(double(r.*f->mean), f->decimals);
            row << QString::number(int(r.calVal)) << judged->reasons.join(QStringLiteral("; "));
        } else {
            QString note = judged ? firstError(dutLogs.value(k).text) : QString();
            // What the chip tool said of the failed step tells the cable from
            // the module ("Could not go in download mode.").
            if (judged && !judged->result.toolFailure.isEmpty())
                note += QStringLiteral(" (chip tool: %1)").arg(judged->result.toolFailure);
            // No figures and no crystal value.
            for (std::size_t i = 0; i < figures.size() + 1; ++i)
                row << QStringLiteral("-");
            row << note.trimmed();
        }
        rows << row;
    }
    out += columns(rows, rightAligned);
    out += QStringLiteral("  passed %1, failed %2\n").arg(judgement.passed).arg(judgement.failed);
    return out;
}

QString CycleTable::summary(const Totals &totals)
{
    QString out = QStringLiteral("Summary: %1 cycle(s) in %2")
                      .arg(totals.cycles)
                      .arg(seconds(totals.elapsedMs));
    if (totals.cycles > 0)
        out += QStringLiteral(", %1 a cycle").arg(seconds(totals.elapsedMs / totals.cycles));
    out += QLatin1Char('\n');
    const uint32_t tested = totals.passed + totals.failed;
    out += QStringLiteral("  DUTs judged %1, passed %2, failed %3, yield %4\n")
               .arg(tested)
               .arg(totals.passed)
               .arg(totals.failed)
               .arg(percent(totals.passed, tested));
    if (totals.stationErrors > 0)
        out += QStringLiteral("  %1 cycle(s) ended in a station error\n").arg(totals.stationErrors);
    return out;
}
