#include "resultscsv.h"

#include "cyclerecord.h"
#include "cyclevalues.h"
#include "figuretable.h"
#include "meantext.h"

#include <QDebug>
#include <QStringList>

namespace {

// The columns before and after the figures' (ResultsCsv::header()).
const char *const leadingFields[] = {
    "date time", "cycle", "slot", "device", "port", "mac", "flash uid", "crystal",
};
const char *const trailingFields[] = {"rx status", "tx status", "verdict"};
// Each figure's columns: its minimum, maximum and mean.
const char *const figureFields[] = {"min", "max", "avg"};

// A field as CSV keeps it: quoted when it holds a separator, a quote or a
// line break.
QString field(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString statusText(int32_t status)
{
    switch (status) {
    case STATUS_PASS:
        return QLatin1String(ResultWords::pass);
    case STATUS_FAIL:
        return QLatin1String(ResultWords::fail);
    case TX_NOT_RUN:
        return QLatin1String(ResultWords::notRun);
    default:
        return QString::number(status);
    }
}

QString line(const QStringList &fields)
{
    QStringList out;
    for (const QString &f : fields)
        out << field(f);
    return out.join(QLatin1Char(',')) + QStringLiteral("\r\n");
}

} // namespace

ResultsCsv::ResultsCsv(const QString &dirPath)
    : m_file(dirPath, QStringLiteral(".csv"), header())
{}

ResultsCsv::~ResultsCsv()
{
    if (m_file.pendingCount() == 0 || m_file.flush())
        return;
    qWarning().noquote() << QStringLiteral("%1 result row block(s) could not be written to %2; "
                                           "here they are:")
                                .arg(m_file.pendingCount())
                                .arg(todaysFile());
    qWarning().noquote() << QString::fromUtf8(m_file.pendingBytes());
}

QStringList ResultsCsv::headerFields()
{
    QStringList fields;
    for (const char *name : leadingFields)
        fields << QLatin1String(name);
    for (const FigureDefinition &f : FigureTable::figures()) {
        for (const char *what : figureFields)
            fields << f.header(what);
    }
    for (const char *name : trailingFields)
        fields << QLatin1String(name);
    return fields;
}

QByteArray ResultsCsv::header()
{
    return line(headerFields()).toUtf8();
}

QStringList ResultsCsv::fields(const QString &line)
{
    QStringList out;
    QString current;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != QLatin1Char('"'))
                current += c;
            else if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"'))
                current += line.at(++i);
            else
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            out << current;
            current.clear();
        } else {
            current += c;
        }
    }
    out << current;
    return out;
}

int ResultsCsv::slotOf(const deviceInfo_t &device)
{
    return device.slot >= 0 && device.slot < CycleValues::dutSlots ? device.slot : -1;
}

// A cycle that ended in a station fault judged none of its DUTs.
QString ResultsCsv::verdictText(const CycleJudgement &judgement, int index)
{
    const DeviceJudgement *device = judgement.device(index);
    if (!device)
        return QLatin1String(ResultWords::notJudged);
    return QLatin1String(ResultJudge::verdictWord(device->verdict));
}

QByteArray ResultsCsv::rows(const QDateTime &when, uint32_t number, const testPara_t &para,
                            const QList<deviceTrace_t> &traces, const testRestlt_t &result,
                            const CycleJudgement &judgement)
{
    const QString time = when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    const int columns = headerFields().size();
    QString out;
    for (int k = 0; k < para.devices.size(); ++k) {
        const deviceInfo_t &device = para.devices.at(k);
        const int slot = slotOf(device);
        QStringList fields;
        fields << time << QString::number(number) << (slot >= 0 ? QString::number(slot) : QString())
               << device.name << device.port;
        if (k < traces.size())
            fields << traces.at(k).mac << traces.at(k).flashUid;
        else
            fields << QString() << QString();

        if (k < result.results.size()) {
            // A figure never measured is left empty: a 0 would read as 0 dBm
            // or a perfect 0 kHz.
            const deviceRestlt_t &r = result.results.at(k);
            const bool rxPassed = r.rxStatus == STATUS_PASS;
            fields << (rxPassed ? QString::number(int(r.calVal)) : QString());
            for (const FigureDefinition &f : FigureTable::figures()) {
                if (f.measuredIn(r))
                    fields << QString::number(r.*f.min) << QString::number(r.*f.max)
                           << MeanText::of(double(r.*f.mean), f.decimals);
                else
                    fields << QString() << QString() << QString();
            }
            fields << statusText(r.rxStatus) << statusText(r.txStatus);
        } else {
            // No result entry: the header's fields up to the verdict, empty.
            while (fields.size() < columns - 1)
                fields << QString();
        }
        fields << verdictText(judgement, k);
        out += line(fields);
    }
    return out.toUtf8();
}

QString ResultsCsv::todaysFile() const
{
    return m_file.filePath(QDate::currentDate());
}

bool ResultsCsv::write(const QByteArray &cycleRows)
{
    if (cycleRows.isEmpty() && m_file.pendingCount() == 0)
        return true;
    const bool written = cycleRows.isEmpty() ? m_file.flush() : m_file.append(cycleRows);
    if (!written)
        qWarning().noquote()
            << QStringLiteral("Results file: %1 cycle(s) of rows not written yet (%2); kept, and "
                              "written ahead of the next cycle's rows.")
                   .arg(m_file.pendingCount())
                   .arg(m_file.lastError());
    return written;
}
