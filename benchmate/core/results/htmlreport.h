#ifndef HTMLREPORT_H
#define HTMLREPORT_H

#include "driftreport.h"
#include "yieldreport.h"

#include <QString>

// The yield report as one page for the people who run the line: a
// self-contained HTML file (its charts inline SVG, no script, nothing
// fetched) that any browser opens. It shows the yield per station and per
// slot with the suspect fixtures marked, the failures by step, each
// figure's histogram against its limits with its Cpk, and the yield per
// day, each beside its table; given the golden machine's drift, a control
// chart per station and value after them, its flagged cycles in the
// failure colour. Every text taken from the results (station
// ids, steps, flash UIDs) is escaped: the page shows it, never runs it.
class HtmlReport
{
public:
    // `drift` null: the page has no drift section.
    static QString page(const YieldFigures &figures, const DriftReport::Result *drift = nullptr);
};

#endif // HTMLREPORT_H
