#include "dayyield.h"

#include "resultjudge.h"
#include "resultscsvreader.h"

#include <QDebug>
#include <QFile>
#include <QStringList>
#include <QtMath>

namespace {

bool verdictOf(const QString &text, YieldEntry::Verdict *verdict)
{
    DeviceVerdict judged = DeviceVerdict::NotJudged;
    if (!ResultJudge::verdictOf(text, &judged))
        return false;
    switch (judged) {
    case DeviceVerdict::Pass:
        *verdict = YieldEntry::Pass;
        break;
    case DeviceVerdict::Fail:
        *verdict = YieldEntry::Fail;
        break;
    case DeviceVerdict::Error:
        *verdict = YieldEntry::Error;
        break;
    case DeviceVerdict::NotJudged:
        *verdict = YieldEntry::NotJudged;
        break;
    }
    return true;
}

JudgedTest::Verdict judgedVerdict(YieldEntry::Verdict verdict)
{
    switch (verdict) {
    case YieldEntry::Pass:
        return JudgedTest::Pass;
    case YieldEntry::Fail:
        return JudgedTest::Fail;
    case YieldEntry::Error:
        return JudgedTest::Error;
    case YieldEntry::NotJudged:
        break;
    }
    return JudgedTest::NotJudged;
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

DayYield::Rows DayYield::read(const QByteArray &csv)
{
    Rows out;
    ResultsCsvReader reader(csv);
    const QString timeColumn = QStringLiteral("date time");
    const QString slotColumn = QStringLiteral("slot");
    const QString verdictColumn = QStringLiteral("verdict");
    const QString crystalColumn = QStringLiteral("crystal");
    const QString uidColumn = QStringLiteral("flash uid");
    QStringList meanColumns;
    for (const FigureDefinition &f : FigureTable::figures())
        meanColumns << f.header("avg");
    while (reader.next()) {
        YieldEntry e;
        e.when =
            QDateTime::fromString(reader.value(timeColumn), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        bool slotOk = false;
        e.slot = reader.value(slotColumn).toInt(&slotOk);
        if (!e.when.isValid()) {
            reader.reject(QStringLiteral("no time"));
            continue;
        }
        if (!slotOk || e.slot < 0 || e.slot >= slotCount) {
            reader.reject(QStringLiteral("no slot 0 to %1").arg(slotCount - 1));
            continue;
        }
        if (!verdictOf(reader.value(verdictColumn), &e.verdict)) {
            reader.reject(QStringLiteral("no verdict this station knows"));
            continue;
        }
        for (int i = 0; i < meanColumns.size(); ++i)
            e.means[std::size_t(i)] = figureOf(reader.value(meanColumns.at(i)));
        e.crystal = reader.value(crystalColumn).toInt(&e.hasCrystal);
        e.flashUid = reader.value(uidColumn);
        out.entries.append(e);
    }
    out.unreadable = reader.unreadable();
    out.problems = reader.problems();
    return out;
}

QList<YieldEntry> DayYield::parse(const QByteArray &csv)
{
    Rows rows = read(csv);
    if (rows.unreadable > 0)
        qWarning().noquote() << QStringLiteral("Results file: %1 row(s) could not be read and "
                                               "are not in the day's yield (%2).")
                                    .arg(rows.unreadable)
                                    .arg(rows.problems.join(QStringLiteral("; ")));
    return std::move(rows.entries);
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
    m_tally.clear();
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
        JudgedTest test;
        test.slot = e.slot;
        test.flashUid = e.flashUid;
        test.day = date;
        test.verdict = judgedVerdict(e.verdict);
        Slot &s = m_slots[e.slot];
        // A DUT not judged is the station's fault, not the slot's.
        if (m_tally.add(test)) {
            const YieldCount count = m_tally.slot(QString(), e.slot);
            s.passed = uint32_t(count.passed);
            s.failed = uint32_t(count.tests - count.passed);
            s.failStreak = test.verdict == JudgedTest::Pass ? 0 : s.failStreak + 1;
        }
        if (e.verdict == YieldEntry::Pass || e.verdict == YieldEntry::Fail) {
            for (std::size_t f = 0; f < e.means.size() && f < m_values.size(); ++f) {
                if (e.means[f])
                    m_values[f].append(*e.means[f]);
            }
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
    return uint32_t(m_tally.total().passed);
}

uint32_t DayYield::failed() const
{
    return uint32_t(m_tally.total().tests - m_tally.total().passed);
}

const QVector<double> &DayYield::values(int figure) const
{
    static const QVector<double> none;
    return figure >= 0 && figure < int(m_values.size()) ? m_values[std::size_t(figure)] : none;
}

QList<QPair<QDateTime, int>> DayYield::crystals(int slot) const
{
    return slot >= 0 && slot < slotCount ? m_crystals.at(slot) : QList<QPair<QDateTime, int>>();
}
