#include "reportwriter.h"

namespace {

QString number(double value, int decimals = 2)
{
    return QString::number(value, 'f', decimals);
}

QString limit(double value)
{
    return QString::number(value, 'g', 6);
}

QString timeText(const QDateTime &when)
{
    return when.isValid() ? when.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))
                          : QStringLiteral("-");
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

bool looksNumeric(const QString &cell)
{
    if (cell.isEmpty() || cell == QLatin1String("-"))
        return true;
    QString number = cell;
    if (number.endsWith(QLatin1String(" %")))
        number.chop(2);
    bool ok = false;
    number.toDouble(&ok);
    return ok;
}

QString textTable(const ReportTable &table)
{
    QList<int> widths;
    QList<bool> right;
    for (int c = 0; c < table.header.size(); ++c) {
        widths.append(table.header.at(c).size());
        bool numeric = !table.rows.isEmpty();
        for (const QStringList &row : table.rows) {
            if (c < row.size()) {
                widths[c] = qMax(widths.at(c), row.at(c).size());
                numeric = numeric && looksNumeric(row.at(c));
            }
        }
        right.append(numeric);
    }
    const auto line = [&](const QStringList &cells) {
        QString out;
        for (int c = 0; c < cells.size() && c < widths.size(); ++c) {
            const QString cell = right.at(c) ? cells.at(c).rightJustified(widths.at(c))
                                             : cells.at(c).leftJustified(widths.at(c));
            out += QStringLiteral("  ") + cell;
        }
        while (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        return out + QLatin1Char('\n');
    };
    QString out = table.title + QLatin1Char('\n');
    if (!table.header.isEmpty()) {
        out += line(table.header);
        for (const QStringList &row : table.rows)
            out += line(row);
        if (table.rows.isEmpty())
            out += QStringLiteral("  (none)\n");
    }
    for (const QString &note : table.notes)
        out += QStringLiteral("  ") + note + QLatin1Char('\n');
    return out;
}

QString markdownTable(const ReportTable &table)
{
    QString out = QStringLiteral("### ") + table.title + QStringLiteral("\n\n");
    if (!table.header.isEmpty()) {
        const auto line = [](const QStringList &cells) {
            QStringList escaped;
            for (QString cell : cells)
                escaped << cell.replace(QLatin1Char('|'), QStringLiteral("\\|"));
            return QStringLiteral("| ") + escaped.join(QStringLiteral(" | ")) +
                   QStringLiteral(" |\n");
        };
        out += line(table.header);
        QStringList rule;
        for (int c = 0; c < table.header.size(); ++c)
            rule << QStringLiteral("---");
        out += line(rule);
        for (const QStringList &row : table.rows)
            out += line(row);
        if (table.rows.isEmpty())
            out += QStringLiteral("\n(none)\n");
        out += QLatin1Char('\n');
    }
    for (const QString &note : table.notes)
        out += note + QStringLiteral("  \n");
    if (!table.notes.isEmpty())
        out += QLatin1Char('\n');
    return out;
}

QString csvTable(const ReportTable &table)
{
    QString out;
    const auto line = [&](const QStringList &cells) {
        QStringList fields;
        for (const QString &cell : cells)
            fields << csvField(cell);
        out += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    line(table.header);
    for (const QStringList &row : table.rows)
        line(row);
    return out;
}

// Cells as a format wants them: for people a percentage with its sign and
// "-" for none; in CSV, read by programs, numbers alone (a percentage in a
// column whose name ends in "_percent") and nothing for none, under column
// names of lower-case words joined by "_".
class Cells
{
public:
    explicit Cells(ReportWriter::Format format)
        : m_csv(format == ReportWriter::Csv)
    {}

    QString column(const QString &name, bool percentage = false) const
    {
        if (!m_csv)
            return name;
        QString out = name.toLower();
        for (QChar &c : out) {
            if (!c.isLetterOrNumber())
                c = QLatin1Char('_');
        }
        return percentage ? out + QStringLiteral("_percent") : out;
    }
    QString percent(qint64 part, qint64 whole) const
    {
        if (!m_csv)
            return ReportWriter::percent(part, whole);
        return whole > 0 ? QString::number(100.0 * double(part) / double(whole), 'f', 1)
                         : QString();
    }
    QString rate(double fraction) const
    {
        const QString n = number(100.0 * fraction, 1);
        return m_csv ? n : n + QStringLiteral(" %");
    }
    QString none() const { return m_csv ? QString() : QStringLiteral("-"); }
    QString slot(int slot) const { return slot >= 0 ? QString::number(slot) : none(); }
    QString time(const QDateTime &when) const
    {
        if (!m_csv)
            return timeText(when);
        return when.isValid() ? when.toUTC().toString(Qt::ISODate) : QString();
    }

private:
    bool m_csv;
};

} // namespace

QString ReportWriter::percent(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return QStringLiteral("-");
    return QString::number(100.0 * double(part) / double(whole), 'f', 1) + QStringLiteral(" %");
}

QList<ReportTable> ReportWriter::tables(const YieldFigures &f, Format format)
{
    QList<ReportTable> out;
    const Cells cell(format);
    const RetestSummary &r = f.retests;

    ReportTable summary;
    summary.key = QStringLiteral("summary");
    summary.title = QStringLiteral("Yield report");
    if (format == Csv) {
        // One row of numbers.
        summary.header =
            QStringList{QStringLiteral("source"),       QStringLiteral("from"),
                        QStringLiteral("before"),       QStringLiteral("stations"),
                        QStringLiteral("cycles"),       QStringLiteral("first_cycle"),
                        QStringLiteral("last_cycle"),   QStringLiteral("dut_tests"),
                        QStringLiteral("passed"),       QStringLiteral("yield_percent"),
                        QStringLiteral("modules"),      QStringLiteral("modules_without_uid"),
                        QStringLiteral("first_passed"), QStringLiteral("first_pass_yield_percent"),
                        QStringLiteral("final_passed"), QStringLiteral("final_yield_percent"),
                        QStringLiteral("retested"),     QStringLiteral("recovered")};
        summary.rows << QStringList{f.source,
                                    cell.time(f.filter.from),
                                    cell.time(f.filter.to),
                                    f.filter.stations.join(QLatin1Char(' ')),
                                    QString::number(f.cycles),
                                    cell.time(f.firstCycle),
                                    cell.time(f.lastCycle),
                                    QString::number(f.total.tests),
                                    QString::number(f.total.passed),
                                    cell.percent(f.total.passed, f.total.tests),
                                    QString::number(r.units),
                                    QString::number(r.withoutUid),
                                    QString::number(f.total.firstPassed),
                                    cell.percent(f.total.firstPassed, f.total.firstTests),
                                    QString::number(r.finalPassed),
                                    cell.percent(r.finalPassed, r.units),
                                    QString::number(r.retested),
                                    QString::number(r.recovered)};
        out << summary;
    } else {
        summary.header = QStringList{QStringLiteral("item"), QStringLiteral("value")};
        QString period = timeText(f.firstCycle) + QStringLiteral(" to ") + timeText(f.lastCycle);
        QStringList filter;
        if (f.filter.from.isValid())
            filter << QStringLiteral("from ") + timeText(f.filter.from);
        if (f.filter.to.isValid())
            filter << QStringLiteral("before ") + timeText(f.filter.to);
        if (!f.filter.stations.isEmpty())
            filter << QStringLiteral("stations ") + f.filter.stations.join(QStringLiteral(" "));
        summary.rows << QStringList{QStringLiteral("source"), f.source};
        summary.rows << QStringList{QStringLiteral("filter"),
                                    filter.isEmpty() ? QStringLiteral("none")
                                                     : filter.join(QStringLiteral(", "))};
        summary.rows << QStringList{QStringLiteral("cycles"), QString::number(f.cycles) +
                                                                  QStringLiteral(", started ") +
                                                                  period};
        summary.rows << QStringList{QStringLiteral("DUT tests"),
                                    QStringLiteral("%1, passed %2 (%3)")
                                        .arg(f.total.tests)
                                        .arg(f.total.passed)
                                        .arg(percent(f.total.passed, f.total.tests))};
        // One first-pass yield: of the modules tested, those whose first
        // test in the period passed.
        summary.rows << QStringList{QStringLiteral("first-pass yield"),
                                    QStringLiteral("%1 (%2 of %3 modules passed their first test)")
                                        .arg(percent(f.total.firstPassed, f.total.firstTests))
                                        .arg(f.total.firstPassed)
                                        .arg(f.total.firstTests)};
        summary.rows << QStringList{QStringLiteral("modules"),
                                    QStringLiteral("%1 (by flash UID; %2 DUT(s) without one count "
                                                   "as a module each): final yield %3; %4 "
                                                   "retested, %5 recovered (failed first, passed "
                                                   "last)")
                                        .arg(r.units)
                                        .arg(r.withoutUid)
                                        .arg(percent(r.finalPassed, r.units))
                                        .arg(r.retested)
                                        .arg(r.recovered)};
        out << summary;
    }

    ReportTable stations;
    stations.key = QStringLiteral("station");
    stations.title = QStringLiteral("Yield per station");
    stations.header = QStringList{cell.column(QStringLiteral("station")),
                                  cell.column(QStringLiteral("cycles")),
                                  cell.column(QStringLiteral("tests")),
                                  cell.column(QStringLiteral("passed")),
                                  cell.column(QStringLiteral("yield"), true),
                                  cell.column(QStringLiteral("first tests")),
                                  cell.column(QStringLiteral("first passed")),
                                  cell.column(QStringLiteral("first-pass yield"), true)};
    for (const StationYield &s : f.stations)
        stations.rows << QStringList{s.station,
                                     QString::number(s.cycles),
                                     QString::number(s.count.tests),
                                     QString::number(s.count.passed),
                                     cell.percent(s.count.passed, s.count.tests),
                                     QString::number(s.count.firstTests),
                                     QString::number(s.count.firstPassed),
                                     cell.percent(s.count.firstPassed, s.count.firstTests)};
    out << stations;

    ReportTable slotTable;
    slotTable.key = QStringLiteral("slot");
    slotTable.title = QStringLiteral("Yield per slot");
    slotTable.header = QStringList{cell.column(QStringLiteral("station")),
                                   cell.column(QStringLiteral("slot")),
                                   cell.column(QStringLiteral("tests")),
                                   cell.column(QStringLiteral("first-pass yield"), true),
                                   cell.column(QStringLiteral("fails")),
                                   cell.column(QStringLiteral("fail rate"), true),
                                   cell.column(QStringLiteral("other slots"), true),
                                   cell.column(QStringLiteral("flag"))};
    int suspects = 0;
    for (const SlotYield &s : f.slotYields) {
        suspects += s.fixtureSuspect ? 1 : 0;
        slotTable.rows << QStringList{s.station,
                                      cell.slot(s.slot),
                                      QString::number(s.count.tests),
                                      cell.percent(s.count.firstPassed, s.count.firstTests),
                                      QString::number(s.judgedFailed),
                                      cell.percent(s.judgedFailed, s.judgedTests),
                                      cell.rate(s.othersFailRate),
                                      s.fixtureSuspect ? QStringLiteral("FIXTURE?") : QString()};
    }
    slotTable.notes << QStringLiteral(
                           "Fails and fail rate leave out cycles that failed as a whole "
                           "(golden machine). FIXTURE?: the slot fails far more often than "
                           "the station's other slots (p < %1): check its cable, clamp "
                           "and antenna.")
                           .arg(YieldTally::suspectProbability);
    if (suspects)
        slotTable.notes << QStringLiteral("%1 slot(s) flagged.").arg(suspects);
    out << slotTable;

    ReportTable steps;
    steps.key = QStringLiteral("step");
    steps.title = QStringLiteral("Failures by step");
    steps.header =
        QStringList{cell.column(QStringLiteral("step")), cell.column(QStringLiteral("failures")),
                    cell.column(QStringLiteral("share"), true)};
    const qint64 failures = f.total.tests - f.total.passed;
    for (const StepFailures &s : f.steps)
        steps.rows << QStringList{s.step, QString::number(s.failures),
                                  cell.percent(s.failures, failures)};
    out << steps;

    ReportTable retests;
    retests.key = QStringLiteral("retest");
    retests.title = QStringLiteral("Retests by flash UID");
    retests.header = QStringList{
        cell.column(QStringLiteral("flash uid")), cell.column(QStringLiteral("tests")),
        cell.column(QStringLiteral("failures")),  cell.column(QStringLiteral("first")),
        cell.column(QStringLiteral("final")),     cell.column(QStringLiteral("stations"))};
    int listed = 0;
    for (const UnitHistory &u : r.retestedUnits) {
        if (format != Csv && (listed == listedRetests || u.failures == 0))
            break;
        ++listed;
        retests.rows << QStringList{
            u.flashUid,     QString::number(u.tests), QString::number(u.failures),
            u.firstVerdict, u.finalVerdict,           u.stations.join(QLatin1Char(' '))};
    }
    retests.notes << QStringLiteral("%1 module(s); final yield %2 (%3); %4 retested, %5 "
                                    "recovered (failed first, passed last).")
                         .arg(r.units)
                         .arg(percent(r.finalPassed, r.units))
                         .arg(r.finalPassed)
                         .arg(r.retested)
                         .arg(r.recovered);
    if (listed < r.retestedUnits.size()) {
        qint64 failing = 0;
        for (int i = listed; i < r.retestedUnits.size(); ++i)
            failing += r.retestedUnits.at(i).failures > 0 ? 1 : 0;
        const qint64 clean = r.retestedUnits.size() - listed - failing;
        retests.notes << QStringLiteral("Not listed: %1 more that failed, %2 that passed every "
                                        "test (--format csv lists them all).")
                             .arg(failing)
                             .arg(clean);
    }
    out << retests;

    ReportTable figures;
    figures.key = QStringLiteral("figure");
    figures.title = QStringLiteral("Figures against the limits in force");
    figures.header =
        QStringList{cell.column(QStringLiteral("figure")), cell.column(QStringLiteral("station")),
                    cell.column(QStringLiteral("lower")),  cell.column(QStringLiteral("upper")),
                    cell.column(QStringLiteral("n")),      cell.column(QStringLiteral("mean")),
                    cell.column(QStringLiteral("sd")),     cell.column(QStringLiteral("Cpk"))};
    for (const FigureStats &s : f.figures)
        figures.rows << QStringList{s.figure,
                                    s.station.isEmpty() ? QStringLiteral("(all)") : s.station,
                                    limit(s.lowerLimit),
                                    limit(s.upperLimit),
                                    QString::number(s.n),
                                    number(s.mean),
                                    number(s.sd),
                                    s.cpk ? number(*s.cpk) : cell.none()};
    figures.notes << QStringLiteral("RSSI less each DUT's calibration offset, as judged; RX "
                                    "figures of DUTs whose calibration passed, TX figures of "
                                    "DUTs whose TX test passed. Cpk: min(upper - mean, mean - "
                                    "lower) / 3 sd.");
    out << figures;
    return out;
}

QStringList ReportWriter::tableKeys()
{
    QStringList keys;
    for (const ReportTable &table : tables(YieldFigures(), Text))
        keys << table.key;
    return keys;
}

QString ReportWriter::write(const YieldFigures &figures, Format format, const QString &table)
{
    QString out;
    const QList<ReportTable> all = tables(figures, format);
    for (int i = 0; i < all.size(); ++i) {
        const ReportTable &t = all.at(i);
        if (table.isEmpty() ? format == Csv && i > 0 : t.key != table)
            continue;
        const bool summary = t.key == all.first().key && format != Csv;
        switch (format) {
        case Text:
            if (summary) {
                out += t.title + QLatin1Char('\n');
                for (const QStringList &row : t.rows)
                    out += QStringLiteral("  %1: %2\n").arg(row.at(0), row.at(1));
            } else {
                out += (out.isEmpty() && !table.isEmpty() ? QString() : QStringLiteral("\n")) +
                       textTable(t);
            }
            break;
        case Markdown:
            if (summary) {
                out += QStringLiteral("## ") + t.title + QStringLiteral("\n\n");
                for (const QStringList &row : t.rows)
                    out += QStringLiteral("- %1: %2\n").arg(row.at(0), row.at(1));
                out += QLatin1Char('\n');
            } else {
                out += markdownTable(t);
            }
            break;
        case Csv:
            out += csvTable(t);
            break;
        }
    }
    return out;
}

QString ReportWriter::write(const ReportTable &table, Format format)
{
    switch (format) {
    case Text:
        return textTable(table);
    case Markdown:
        return markdownTable(table);
    case Csv:
        break;
    }
    return csvTable(table);
}
