#include "dayyield.h"

#include "resultscsv.h"

#include <QFile>
#include <QStringList>
#include <QtMath>

namespace {

// Fields of a results row (ResultsCsv::header()).
enum Field
{
    fieldTime = 0,
    fieldSlot = 2,
    fieldCrystal = 7,
    fieldRxAvg = 10,
    fieldFreqAvg = 13,
    fieldTxAvg = 16,
    fieldVerdict = 19,
    fieldCount = 20,
};

bool verdictOf(const QString &text, YieldEntry::Verdict *verdict)
{
    if (text == QLatin1String("pass"))
        *verdict = YieldEntry::Pass;
    else if (text == QLatin1String("fail"))
        *verdict = YieldEntry::Fail;
    else if (text == QLatin1String("error"))
        *verdict = YieldEntry::Error;
    else if (text == QLatin1String("not judged"))
        *verdict = YieldEntry::NotJudged;
    else
        return false;
    return true;
}

std::optional<double> figureOf(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !qIsFinite(value))
        return std::nullopt;
    return value;
}

} // namespace

DayYield::DayYield(int failStreakWarning)
{
    setFailStreakWarning(failStreakWarning);
}

void DayYield::setFailStreakWarning(int cycles)
{
    m_warnAt = qMax(1, cycles);
}

QList<YieldEntry> DayYield::parse(const QByteArray &csv)
{
    QList<YieldEntry> entries;
    const QStringList lines = QString::fromUtf8(csv).split(QStringLiteral("\r\n"));
    for (const QString &line : lines) {
        const QStringList f = ResultsCsv::fields(line);
        if (f.size() != fieldCount)
            continue;
        YieldEntry e;
        e.when = QDateTime::fromString(f.at(fieldTime), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        bool slotOk = false;
        e.slot = f.at(fieldSlot).toInt(&slotOk);
        if (!e.when.isValid() || !slotOk || e.slot < 0 || e.slot >= slotCount ||
            !verdictOf(f.at(fieldVerdict), &e.verdict))
            continue; // the header, or no row of ours
        e.rxRssi = figureOf(f.at(fieldRxAvg));
        e.freqOffset = figureOf(f.at(fieldFreqAvg));
        e.txRssi = figureOf(f.at(fieldTxAvg));
        e.crystal = f.at(fieldCrystal).toInt(&e.hasCrystal);
        entries.append(e);
    }
    return entries;
}

QList<YieldEntry> DayYield::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.readAll());
}

void DayYield::clear()
{
    m_day = QDate();
    m_slots = QVector<Slot>(slotCount);
    for (QVector<double> &v : m_values)
        v.clear();
    m_crystals = QVector<QList<QPair<QDateTime, int>>>(slotCount);
}

void DayYield::add(const QList<YieldEntry> &entries)
{
    for (const YieldEntry &e : entries) {
        const QDate date = e.when.date();
        if (m_day.isValid() && date < m_day)
            continue;
        if (date != m_day) {
            clear();
            m_day = date;
        }
        Slot &s = m_slots[e.slot];
        switch (e.verdict) {
        case YieldEntry::Pass:
            ++s.passed;
            s.failStreak = 0;
            break;
        case YieldEntry::Fail:
        case YieldEntry::Error:
            ++s.failed;
            ++s.failStreak;
            break;
        case YieldEntry::NotJudged:
            break; // the station's fault, not the slot's
        }
        if (e.verdict == YieldEntry::Pass || e.verdict == YieldEntry::Fail) {
            if (e.freqOffset)
                m_values[FreqOffset].append(*e.freqOffset);
            if (e.rxRssi)
                m_values[RxRssi].append(*e.rxRssi);
            if (e.txRssi)
                m_values[TxRssi].append(*e.txRssi);
        }
        if (e.hasCrystal)
            m_crystals[e.slot].append({e.when, e.crystal});
    }
}

const DayYield::Slot &DayYield::slot(int slot) const
{
    static const Slot none;
    return slot >= 0 && slot < slotCount ? m_slots.at(slot) : none;
}

bool DayYield::warns(int slot) const
{
    return this->slot(slot).failStreak >= m_warnAt;
}

QList<int> DayYield::warningSlots() const
{
    QList<int> found;
    for (int s = 0; s < slotCount; ++s) {
        if (warns(s))
            found.append(s);
    }
    return found;
}

uint32_t DayYield::passed() const
{
    uint32_t n = 0;
    for (const Slot &s : m_slots)
        n += s.passed;
    return n;
}

uint32_t DayYield::failed() const
{
    uint32_t n = 0;
    for (const Slot &s : m_slots)
        n += s.failed;
    return n;
}

const QVector<double> &DayYield::values(Quantity quantity) const
{
    return m_values[quantity];
}

QList<QPair<QDateTime, int>> DayYield::crystals(int slot) const
{
    return slot >= 0 && slot < slotCount ? m_crystals.at(slot) : QList<QPair<QDateTime, int>>();
}
