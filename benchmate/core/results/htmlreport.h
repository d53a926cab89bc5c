#ifndef HTMLREPORT_H
#define HTMLREPORT_H

#include "yieldreport.h"

#include <QString>

// The yield report as one page for the people who run the line: a
// self-contained HTML file (its charts inline SVG, no script, nothing
// fetched) that any browser opens. It shows the yield per station and per
// slot with the suspect fixtures marked, the failures by step, each
// figure's histogram against its limits with its Cpk, and the yield per
// day, each beside its table. Every text taken from the results (station
// ids, steps, flash UIDs) is escaped: the page shows it, never runs it.
class HtmlReport
{
public:
    static QString page(const YieldFigures &figures);
};

#endif // HTMLREPORT_H
