#include "yieldtally.h"

#include "cyclerecord.h"

#include <algorithm>
#include <cmath>

namespace {

void add(YieldCount &count, bool passed, bool first)
{
    ++count.tests;
    count.passed += passed ? 1 : 0;
    if (first) {
        ++count.firstTests;
        count.firstPassed += passed ? 1 : 0;
    }
}

QString wordOf(JudgedTest::Verdict verdict)
{
    switch (verdict) {
    case JudgedTest::Pass:
        return QLatin1String(ResultWords::pass);
    case JudgedTest::Fail:
        return QLatin1String(ResultWords::fail);
    case JudgedTest::Error:
        return QLatin1String(ResultWords::error);
    case JudgedTest::NotJudged:
        break;
    }
    return QLatin1String(ResultWords::notJudged);
}

} // namespace

bool JudgedTest::verdictOf(const QString &word, Verdict *verdict)
{
    for (const Verdict v : {Pass, Fail, Error, NotJudged}) {
        if (word == wordOf(v)) {
            *verdict = v;
            return true;
        }
    }
    return false;
}

bool YieldTally::add(const JudgedTest &test)
{
    if (test.verdict == JudgedTest::NotJudged)
        return false;
    const bool passed = test.verdict == JudgedTest::Pass;
    bool first = true;
    if (test.flashUid.isEmpty()) {
        ++m_anonymous;
        m_anonymousPassed += passed ? 1 : 0;
    } else {
        Unit &unit = m_units[test.flashUid];
        first = unit.tests == 0;
        if (first)
            unit.first = wordOf(test.verdict);
        unit.last = wordOf(test.verdict);
        ++unit.tests;
        unit.failures += passed ? 0 : 1;
        if (!unit.stations.contains(test.station))
            unit.stations << test.station;
    }
    ::add(m_total, passed, first);
    ::add(m_stations[test.station], passed, first);
    if (test.day.isValid())
        ::add(m_days[test.day], passed, first);
    SlotYield &slot = m_slots[{test.station, test.slot}];
    slot.station = test.station;
    slot.slot = test.slot;
    ::add(slot.count, passed, first);
    if (test.failedStep != QLatin1String(ResultWords::stepCycle)) {
        ++slot.judgedTests;
        slot.judgedFailed += passed ? 0 : 1;
    }
    if (!passed)
        ++m_steps[test.failedStep.isEmpty() ? QStringLiteral("(none)") : test.failedStep];
    return true;
}

void YieldTally::clear()
{
    *this = YieldTally();
}

QList<StationYield> YieldTally::stations() const
{
    QList<StationYield> out;
    for (auto it = m_stations.constBegin(); it != m_stations.constEnd(); ++it)
        out.append({it.key(), 0, it.value()});
    return out;
}

YieldCount YieldTally::slot(const QString &station, int slot) const
{
    return m_slots.value({station, slot}).count;
}

QList<SlotYield> YieldTally::slotYields() const
{
    // Each slot against the station's other slots.
    QMap<QString, std::pair<qint64, qint64>> stationJudged; // tests, failed
    for (const SlotYield &sl : m_slots) {
        auto &t = stationJudged[sl.station];
        t.first += sl.judgedTests;
        t.second += sl.judgedFailed;
    }
    QList<SlotYield> out;
    for (SlotYield sl : m_slots) {
        const auto &t = stationJudged.value(sl.station);
        const qint64 otherTests = t.first - sl.judgedTests;
        const qint64 otherFailed = t.second - sl.judgedFailed;
        // One failure and one pass added, so that a station whose other
        // slots never failed still gives a rate above zero.
        const double others = double(otherFailed + 1) / double(otherTests + 2);
        sl.othersFailRate = otherTests > 0 ? double(otherFailed) / double(otherTests) : 0;
        if (otherTests > 0 && sl.judgedTests >= minSlotTests) {
            const double rate = double(sl.judgedFailed) / double(sl.judgedTests);
            sl.fixtureSuspect =
                rate >= suspectFactor * others &&
                binomialTail(sl.judgedTests, sl.judgedFailed, others) < suspectProbability;
        }
        out.append(sl);
    }
    return out;
}

QList<DayCount> YieldTally::days() const
{
    QList<DayCount> out;
    for (auto it = m_days.constBegin(); it != m_days.constEnd(); ++it)
        out.append({it.key(), it.value()});
    return out;
}

QList<StepFailures> YieldTally::steps() const
{
    QList<StepFailures> out;
    for (auto it = m_steps.constBegin(); it != m_steps.constEnd(); ++it)
        out.append({it.key(), it.value()});
    std::stable_sort(out.begin(), out.end(), [](const StepFailures &a, const StepFailures &b) {
        return a.failures > b.failures;
    });
    return out;
}

RetestSummary YieldTally::retests() const
{
    RetestSummary r;
    const QString pass = QLatin1String(ResultWords::pass);
    // A DUT without a UID is a module tested once.
    r.units = m_anonymous;
    r.withoutUid = m_anonymous;
    r.firstPassed = m_anonymousPassed;
    r.finalPassed = m_anonymousPassed;
    for (auto it = m_units.constBegin(); it != m_units.constEnd(); ++it) {
        const Unit &u = it.value();
        ++r.units;
        r.firstPassed += u.first == pass ? 1 : 0;
        r.finalPassed += u.last == pass ? 1 : 0;
        if (u.tests < 2)
            continue;
        ++r.retested;
        r.recovered += u.first != pass && u.last == pass ? 1 : 0;
        r.retestedUnits.append({it.key(), u.tests, u.failures, u.first, u.last, u.stations});
    }
    std::sort(r.retestedUnits.begin(), r.retestedUnits.end(),
              [](const UnitHistory &a, const UnitHistory &b) {
                  if (a.failures != b.failures)
                      return a.failures > b.failures;
                  return a.tests != b.tests ? a.tests > b.tests : a.flashUid < b.flashUid;
              });
    return r;
}

double YieldTally::binomialTail(qint64 n, qint64 k, double p)
{
    if (k <= 0)
        return 1.0;
    if (k > n)
        return 0.0;
    if (p <= 0)
        return 0.0;
    if (p >= 1)
        return 1.0;
    double tail = 0;
    const double logP = std::log(p);
    const double logQ = std::log1p(-p);
    const double logNFact = std::lgamma(double(n) + 1);
    for (qint64 i = k; i <= n; ++i) {
        const double logTerm = logNFact - std::lgamma(double(i) + 1) -
                               std::lgamma(double(n - i) + 1) + double(i) * logP +
                               double(n - i) * logQ;
        tail += std::exp(logTerm);
    }
    return std::min(1.0, tail);
}
