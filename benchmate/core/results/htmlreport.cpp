#include "htmlreport.h"

#include "reportwriter.h"

#include <QMap>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace {

const char svgNamespace[] = "http://www.w3.org/2000/svg";
const char passColour[] = "#3a7d44";
const char failColour[] = "#c0392b";
const char limitColour[] = "#c0392b";
const char barColour[] = "#4a78a8";
const char pointColour[] = "#4a78a8";
const char baselineShade[] = "#eef3f8";
// Beyond this many cycles a control chart draws its line and its flagged
// points only.
constexpr int mostPointsDrawn = 400;

QString num(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals);
}

// A long text shortened for a chart's label; the table beside holds it
// whole.
QString elided(const QString &text, int most)
{
    return text.size() > most ? text.left(most - 1) + QChar(0x2026) : text;
}

double share(qint64 part, qint64 whole)
{
    return whole > 0 ? 100.0 * double(part) / double(whole) : 0.0;
}

// One bar of a chart: its label, its length and the text beside it.
struct Bar
{
    QString label;
    double value = 0;
    QString text;
    bool flagged = false; // drawn in the failure colour, with a mark
};

// The page's writer: HTML elements and the SVG charts, every text escaped by
// the XML writer.
class Page
{
public:
    explicit Page(QString *out)
        : m_xml(out)
    {
        m_xml.setAutoFormatting(true);
        m_xml.setAutoFormattingIndent(1);
    }

    QXmlStreamWriter &xml() { return m_xml; }

    void element(const char *name, const QString &text, const char *cssClass = nullptr)
    {
        m_xml.writeStartElement(QLatin1String(name));
        if (cssClass)
            m_xml.writeAttribute(QStringLiteral("class"), QLatin1String(cssClass));
        m_xml.writeCharacters(text);
        m_xml.writeEndElement();
    }

    void table(const ReportTable &table)
    {
        m_xml.writeStartElement(QStringLiteral("table"));
        m_xml.writeAttribute(QStringLiteral("id"), QStringLiteral("table-") + table.key);
        m_xml.writeStartElement(QStringLiteral("tr"));
        for (const QString &cell : table.header)
            element("th", cell);
        m_xml.writeEndElement();
        for (const QStringList &row : table.rows) {
            m_xml.writeStartElement(QStringLiteral("tr"));
            for (const QString &cell : row)
                element("td", cell, cell == QLatin1String("FIXTURE?") ? "flag" : nullptr);
            m_xml.writeEndElement();
        }
        m_xml.writeEndElement();
        for (const QString &note : table.notes)
            element("p", note, "note");
    }

    // Horizontal bars from 0 to `full`.
    void bars(const QString &title, const QList<Bar> &bars, double full)
    {
        const int labelWidth = 200;
        const int maxLabel = 28;
        const int barSpace = 380;
        const int row = 20;
        const int height = row * int(bars.size()) + 10;
        startSvg(title, labelWidth + barSpace + 130, height);
        for (int i = 0; i < bars.size(); ++i) {
            const Bar &b = bars.at(i);
            const int y = 5 + i * row;
            text(labelWidth - 6, y + 14, elided(b.label, maxLabel), "end");
            const double length = full > 0 ? barSpace * std::clamp(b.value / full, 0.0, 1.0) : 0;
            rect(labelWidth, y + 2, length, row - 4, b.flagged ? failColour : barColour);
            text(int(labelWidth + length + 4), y + 14, b.text, "start",
                 b.flagged ? failColour : nullptr);
        }
        m_xml.writeEndElement();
    }

    // Columns over a row of labels (days).
    void columns(const QString &title, const QList<Bar> &bars, double full)
    {
        const int column = qMax(18, qMin(60, 640 / qMax(1, int(bars.size()))));
        const int plot = 160;
        const int width = 50 + column * int(bars.size()) + 20;
        startSvg(title, width, plot + 80);
        line(48, 10, 48, 10 + plot, "#888");
        line(48, 10 + plot, width - 10, 10 + plot, "#888");
        text(44, 16, num(full, 0), "end");
        text(44, 10 + plot, QStringLiteral("0"), "end");
        for (int i = 0; i < bars.size(); ++i) {
            const Bar &b = bars.at(i);
            const double h = full > 0 ? plot * std::clamp(b.value / full, 0.0, 1.0) : 0;
            const int x = 50 + i * column;
            rect(x + 2, 10 + plot - h, column - 4, h, b.flagged ? failColour : passColour);
            text(x + column / 2, int(6 + plot - h), b.text, "middle");
            m_xml.writeStartElement(QStringLiteral("text"));
            m_xml.writeAttribute(
                QStringLiteral("transform"),
                QStringLiteral("translate(%1,%2) rotate(45)").arg(x + column / 2).arg(plot + 24));
            m_xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("11"));
            m_xml.writeCharacters(b.label);
            m_xml.writeEndElement();
        }
        m_xml.writeEndElement();
    }

    // A figure's histogram, its limits and mean marked.
    void histogram(const FigureStats &f)
    {
        const QString who = f.station.isEmpty() ? QStringLiteral("all stations") : f.station;
        const QString title =
            QStringLiteral("%1, %2: n %3, mean %4, sd %5, Cpk %6")
                .arg(f.figure, who)
                .arg(f.n)
                .arg(num(f.mean, 2), num(f.sd, 2), f.cpk ? num(*f.cpk, 2) : QStringLiteral("-"));
        const int plotWidth = 480;
        const int plot = 140;
        element("h3", title);
        startSvg(title, plotWidth + 80, plot + 60);
        const int left = 40;
        const int top = 10;
        const qint64 most =
            f.bins.isEmpty() ? 1 : qMax<qint64>(1, *std::max_element(f.bins.begin(), f.bins.end()));
        const double span = f.binWidth * double(f.bins.size());
        const auto xOf = [&](double value) {
            return span > 0 ? left + plotWidth * (value - f.binLow) / span : double(left);
        };
        line(left, top + plot, left + plotWidth, top + plot, "#888");
        for (int i = 0; i < f.bins.size(); ++i) {
            const double h = plot * double(f.bins.at(i)) / double(most);
            const double x = xOf(f.binLow + f.binWidth * i);
            rect(x + 0.5, top + plot - h, plotWidth / double(f.bins.size()) - 1, h, barColour);
        }
        for (const double limit : {f.lowerLimit, f.upperLimit}) {
            const double x = xOf(limit);
            line(x, top, x, top + plot, limitColour, true);
            text(int(x), top + plot + 14, QString::number(limit, 'g', 6), "middle", limitColour);
        }
        const double mx = xOf(f.mean);
        line(mx, top, mx, top + plot, "#222");
        text(int(mx), top + plot + 28, QStringLiteral("mean %1").arg(num(f.mean, 2)), "middle");
        text(left, top + plot + 44,
             QStringLiteral("%1 below the chart, %2 above; %3 the tallest bin")
                 .arg(f.below)
                 .arg(f.above)
                 .arg(most),
             "start");
        m_xml.writeEndElement();
    }

    // A control chart of one value: the cycles as a line of points, the
    // baseline shaded, the centre and the 3-sigma limits, each flagged cycle
    // in the failure colour (class "flagged", its reason in its tooltip).
    void controlChart(const QString &title, const DriftReport::Series &series)
    {
        const ControlChart &c = series.chart;
        const QList<DriftReport::Point> &points = series.points;
        const int left = 60;
        const int top = 10;
        const int plotWidth = 560;
        const int plot = 160;
        double low = points.first().value;
        double high = low;
        for (const DriftReport::Point &p : points) {
            low = qMin(low, p.value);
            high = qMax(high, p.value);
        }
        if (c.enough) {
            low = qMin(low, c.lower);
            high = qMax(high, c.upper);
        }
        const double pad = high > low ? (high - low) * 0.08 : 1.0;
        low -= pad;
        high += pad;
        const int n = int(points.size());
        const auto xOf = [&](int i) {
            return n > 1 ? left + plotWidth * double(i) / double(n - 1) : left + plotWidth / 2.0;
        };
        const auto yOf = [&](double v) { return top + plot * (high - v) / (high - low); };

        startSvg(title, left + plotWidth + 110, plot + 50);
        if (c.enough) {
            const double end = xOf(c.baseline - 1);
            rect(left, top, end - left, plot, baselineShade);
            text(int(left + 4), top + 12, QStringLiteral("baseline"), "start", "#888");
        }
        line(left, top, left, top + plot, "#888");
        line(left, top + plot, left + plotWidth, top + plot, "#888");
        text(left - 6, int(yOf(high - pad)) + 4, num(high - pad, 2), "end");
        if (high - pad > low + pad)
            text(left - 6, int(yOf(low + pad)) + 4, num(low + pad, 2), "end");
        if (c.enough) {
            line(left, yOf(c.centre), left + plotWidth, yOf(c.centre), "#222");
            text(left + plotWidth + 6, int(yOf(c.centre)) + 4,
                 QStringLiteral("centre %1").arg(num(c.centre, 2)), "start");
            const QChar sigma(0x03c3);
            for (const double limit : {c.lower, c.upper}) {
                line(left, yOf(limit), left + plotWidth, yOf(limit), limitColour, true);
                // Limits on the centre (no spread in the baseline) need no
                // label of their own.
                if (std::fabs(yOf(limit) - yOf(c.centre)) >= 12)
                    text(left + plotWidth + 6, int(yOf(limit)) + (limit < c.centre ? 14 : -4),
                         QStringLiteral("%1%2 %3")
                             .arg(limit < c.centre ? QStringLiteral("-3") : QStringLiteral("+3"))
                             .arg(sigma)
                             .arg(num(limit, 2)),
                         "start", limitColour);
            }
        }
        QStringList path;
        for (int i = 0; i < n; ++i)
            path << num(xOf(i)) + QLatin1Char(',') + num(yOf(points.at(i).value));
        m_xml.writeEmptyElement(QStringLiteral("polyline"));
        m_xml.writeAttribute(QStringLiteral("points"), path.join(QLatin1Char(' ')));
        m_xml.writeAttribute(QStringLiteral("fill"), QStringLiteral("none"));
        m_xml.writeAttribute(QStringLiteral("stroke"), QLatin1String(pointColour));

        QMap<int, QStringList> reasons; // a flagged point's reasons, by its index
        for (const ControlChart::Alarm &a : c.alarms)
            reasons[a.index] << DriftReport::alarmReason(a);
        for (int i = 0; i < n; ++i) {
            const bool flagged = reasons.contains(i);
            if (!flagged && n > mostPointsDrawn)
                continue;
            const DriftReport::Point &p = points.at(i);
            m_xml.writeStartElement(QStringLiteral("circle"));
            m_xml.writeAttribute(QStringLiteral("class"),
                                 flagged ? QStringLiteral("flagged") : QStringLiteral("point"));
            m_xml.writeAttribute(QStringLiteral("cx"), num(xOf(i)));
            m_xml.writeAttribute(QStringLiteral("cy"), num(yOf(p.value)));
            m_xml.writeAttribute(QStringLiteral("r"),
                                 flagged ? QStringLiteral("4") : QStringLiteral("2.5"));
            m_xml.writeAttribute(QStringLiteral("fill"),
                                 QLatin1String(flagged ? failColour : pointColour));
            m_xml.writeTextElement(
                QStringLiteral("title"),
                QStringLiteral("cycle %1, %2 UTC: %3%4")
                    .arg(p.number)
                    .arg(p.startedAt.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")),
                         num(p.value, 2),
                         flagged
                             ? QStringLiteral(", ") + reasons.value(i).join(QStringLiteral(", "))
                             : QString()));
            m_xml.writeEndElement();
        }
        text(left, top + plot + 16, QStringLiteral("cycle %1").arg(points.first().number), "start");
        text(left + plotWidth, top + plot + 16,
             QStringLiteral("cycle %1").arg(points.last().number), "end");
        m_xml.writeEndElement();
    }

private:
    void startSvg(const QString &title, int width, int height)
    {
        m_xml.writeStartElement(QStringLiteral("svg"));
        m_xml.writeDefaultNamespace(QLatin1String(svgNamespace));
        m_xml.writeAttribute(QStringLiteral("width"), QString::number(width));
        m_xml.writeAttribute(QStringLiteral("height"), QString::number(height));
        m_xml.writeAttribute(QStringLiteral("role"), QStringLiteral("img"));
        m_xml.writeTextElement(QStringLiteral("title"), title);
    }

    void rect(double x, double y, double w, double h, const char *colour)
    {
        m_xml.writeEmptyElement(QStringLiteral("rect"));
        m_xml.writeAttribute(QStringLiteral("x"), num(x));
        m_xml.writeAttribute(QStringLiteral("y"), num(y));
        m_xml.writeAttribute(QStringLiteral("width"), num(qMax(0.0, w)));
        m_xml.writeAttribute(QStringLiteral("height"), num(qMax(0.0, h)));
        m_xml.writeAttribute(QStringLiteral("fill"), QLatin1String(colour));
    }

    void line(double x1, double y1, double x2, double y2, const char *colour, bool dashed = false)
    {
        m_xml.writeEmptyElement(QStringLiteral("line"));
        m_xml.writeAttribute(QStringLiteral("x1"), num(x1));
        m_xml.writeAttribute(QStringLiteral("y1"), num(y1));
        m_xml.writeAttribute(QStringLiteral("x2"), num(x2));
        m_xml.writeAttribute(QStringLiteral("y2"), num(y2));
        m_xml.writeAttribute(QStringLiteral("stroke"), QLatin1String(colour));
        if (dashed)
            m_xml.writeAttribute(QStringLiteral("stroke-dasharray"), QStringLiteral("4 3"));
    }

    void text(int x, int y, const QString &content, const char *anchor,
              const char *colour = nullptr)
    {
        m_xml.writeStartElement(QStringLiteral("text"));
        m_xml.writeAttribute(QStringLiteral("x"), QString::number(x));
        m_xml.writeAttribute(QStringLiteral("y"), QString::number(y));
        m_xml.writeAttribute(QStringLiteral("font-size"), QStringLiteral("12"));
        m_xml.writeAttribute(QStringLiteral("text-anchor"), QLatin1String(anchor));
        if (colour)
            m_xml.writeAttribute(QStringLiteral("fill"), QLatin1String(colour));
        m_xml.writeCharacters(content);
        m_xml.writeEndElement();
    }

    QXmlStreamWriter m_xml;
};

const char style[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "h1{font-size:1.5em}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse;margin:.5em 0}"
    "th,td{border:1px solid #ccc;padding:2px 8px;text-align:right}"
    "th{background:#f0f0f0}td{white-space:nowrap}td:first-child,th:first-child{text-align:left}"
    ".flag{color:#c0392b;font-weight:bold}.note{color:#555;font-size:.9em}"
    "h3,h4{font-size:1em;margin:1em 0 0}h4{font-weight:normal}svg{display:block;margin:.5em 0}";

// The golden machine's drift: per station, each value's control chart with
// what it says in words beside it.
void driftSection(Page &page, const DriftReport::Result &drift)
{
    page.element("h2", QStringLiteral("Golden machine drift"));
    page.element("p",
                 QStringLiteral("Per station and value: the centre and the 3-sigma limits come "
                                "from the station's first %1 cycles with the value (shaded); a "
                                "cycle beyond the limits, or the %2th in a row on one side of "
                                "the centre, is flagged in red.")
                     .arg(DriftReport::baselineCycles)
                     .arg(ControlChart::runLength),
                 "note");
    if (!drift.recorded) {
        page.element("p", QStringLiteral("Not recorded in this database (its results schema is "
                                         "older)."));
        return;
    }
    if (drift.stations.isEmpty())
        page.element("p", QStringLiteral("No cycles."));
    for (const DriftReport::Station &s : drift.stations) {
        page.element("h3", QStringLiteral("Station %1, %2 cycle(s)").arg(s.station).arg(s.cycles));
        const QString folders = DriftReport::foldersNote(s);
        if (!folders.isEmpty())
            page.element("p", folders.left(1).toUpper() + folders.mid(1) + QLatin1Char('.'),
                         s.foldersAtOnce ? "flag" : "note");
        for (const DriftReport::Series &series : s.series) {
            const ControlChart &c = series.chart;
            QString what;
            if (series.points.isEmpty())
                what = QStringLiteral("no cycle recorded it");
            else if (!c.enough)
                what = QStringLiteral("%1 cycle(s) with the value, too few for a baseline of %2")
                           .arg(series.points.size())
                           .arg(DriftReport::baselineCycles);
            else
                what = QStringLiteral("centre %1, sigma %2, limits %3 .. %4; %5")
                           .arg(num(c.centre, 2), num(c.sigma, 2), num(c.lower, 2), num(c.upper, 2),
                                c.alarms.isEmpty()
                                    ? QStringLiteral("in control")
                                    : QStringLiteral("%1 cycle(s) flagged").arg(c.alarms.size()));
            const QString title =
                QStringLiteral("%1, %2: %3").arg(s.station, series.quantity, what);
            page.element("h4", title, c.alarms.isEmpty() ? nullptr : "flag");
            if (!series.points.isEmpty())
                page.controlChart(title, series);
        }
    }
}

} // namespace

QString HtmlReport::page(const YieldFigures &f, const DriftReport::Result *drift)
{
    const QList<ReportTable> tables = ReportWriter::tables(f, ReportWriter::Text);
    const auto tableOf = [&tables](const char *key) {
        for (const ReportTable &t : tables) {
            if (t.key == QLatin1String(key))
                return t;
        }
        return ReportTable();
    };

    QString out;
    Page page(&out);
    QXmlStreamWriter &xml = page.xml();
    xml.writeDTD(QStringLiteral("<!DOCTYPE html>"));
    xml.writeStartElement(QStringLiteral("html"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.w3.org/1999/xhtml"));
    xml.writeStartElement(QStringLiteral("head"));
    xml.writeEmptyElement(QStringLiteral("meta"));
    xml.writeAttribute(QStringLiteral("charset"), QStringLiteral("utf-8"));
    page.element("title", QStringLiteral("Yield report"));
    page.element("style", QLatin1String(style));
    xml.writeEndElement(); // head
    xml.writeStartElement(QStringLiteral("body"));

    page.element("h1", QStringLiteral("Yield report"));
    const ReportTable summary = tableOf("summary");
    xml.writeStartElement(QStringLiteral("ul"));
    xml.writeAttribute(QStringLiteral("id"), QStringLiteral("summary"));
    for (const QStringList &row : summary.rows)
        page.element("li", row.value(0) + QStringLiteral(": ") + row.value(1));
    xml.writeEndElement();

    page.element("h2", QStringLiteral("First-pass yield per station"));
    QList<Bar> stationBars;
    for (const StationYield &s : f.stations)
        stationBars.append({s.station, share(s.count.firstPassed, s.count.firstTests),
                            ReportWriter::percent(s.count.firstPassed, s.count.firstTests), false});
    page.bars(QStringLiteral("First-pass yield per station"), stationBars, 100);
    page.table(tableOf("station"));

    page.element("h2", QStringLiteral("Failure rate per slot"));
    QList<Bar> slotBars;
    int suspects = 0;
    for (const SlotYield &s : f.slotYields) {
        suspects += s.fixtureSuspect ? 1 : 0;
        slotBars.append({QStringLiteral("%1 slot %2")
                             .arg(elided(s.station, 18),
                                  s.slot >= 0 ? QString::number(s.slot) : QStringLiteral("-")),
                         share(s.judgedFailed, s.judgedTests),
                         ReportWriter::percent(s.judgedFailed, s.judgedTests) +
                             (s.fixtureSuspect ? QStringLiteral(" FIXTURE?") : QString()),
                         s.fixtureSuspect});
    }
    page.element("p",
                 suspects ? QStringLiteral("%1 slot(s) marked FIXTURE? in red: check their "
                                           "cable, clamp and antenna.")
                                .arg(suspects)
                          : QStringLiteral("No slot fails far more often than its station's "
                                           "others."),
                 suspects ? "flag" : nullptr);
    page.bars(QStringLiteral("Failure rate per slot"), slotBars, 100);
    page.table(tableOf("slot"));

    page.element("h2", QStringLiteral("Failures by step"));
    QList<Bar> stepBars;
    const qint64 failures = f.total.tests - f.total.passed;
    qint64 most = 1;
    for (const StepFailures &s : f.steps)
        most = qMax(most, s.failures);
    for (const StepFailures &s : f.steps)
        stepBars.append({s.step, double(s.failures),
                         QStringLiteral("%1 (%2)")
                             .arg(s.failures)
                             .arg(ReportWriter::percent(s.failures, failures)),
                         false});
    page.bars(QStringLiteral("Failures by step"), stepBars, double(most));
    page.table(tableOf("step"));

    page.element("h2", QStringLiteral("Figures against their limits"));
    for (const FigureStats &s : f.figures)
        page.histogram(s);
    page.table(tableOf("figure"));

    page.element("h2", QStringLiteral("First-pass yield per day"));
    QList<Bar> dayBars;
    for (const DayCount &d : f.days)
        dayBars.append({d.day.toString(Qt::ISODate), share(d.count.firstPassed, d.count.firstTests),
                        num(share(d.count.firstPassed, d.count.firstTests)), false});
    page.columns(QStringLiteral("First-pass yield per day (%)"), dayBars, 100);
    ReportTable days;
    days.key = QStringLiteral("day");
    days.header =
        QStringList{QStringLiteral("day"), QStringLiteral("tests"), QStringLiteral("passed"),
                    QStringLiteral("modules"), QStringLiteral("first-pass yield")};
    for (const DayCount &d : f.days)
        days.rows << QStringList{d.day.toString(Qt::ISODate), QString::number(d.count.tests),
                                 QString::number(d.count.passed),
                                 QString::number(d.count.firstTests),
                                 ReportWriter::percent(d.count.firstPassed, d.count.firstTests)};
    page.table(days);

    page.element("h2", QStringLiteral("Retests by flash UID"));
    page.table(tableOf("retest"));

    if (drift)
        driftSection(page, *drift);

    xml.writeEndElement(); // body
    xml.writeEndElement(); // html
    xml.writeEndDocument();
    // The writer's formatting begins with a line break: the doctype comes
    // first.
    return out.trimmed() + QLatin1Char('\n');
}
