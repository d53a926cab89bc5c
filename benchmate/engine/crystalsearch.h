#ifndef CRYSTALSEARCH_H
#define CRYSTALSEARCH_H

#include <QList>

#include <cstdint>

// The search for a DUT's crystal load-capacitance value (cal value): the
// value to measure next, and what each measured mean frequency offset makes
// of it. The value steps by 2 toward a smaller offset (raising it lowers a
// positive offset) while the offset keeps shrinking in magnitude; the first
// larger offset sends the search back to the previous value, which is
// measured once more and accepted when its offset is below the limit in
// magnitude, else measured again as an ordinary step. A first offset above
// 50 in magnitude sends the search to 0. Values wrap in 8 bits (126 + 2 is
// -128).
class CrystalSearch
{
public:
    // Measurements a DUT gets before its search counts as not converging.
    static constexpr int maxIterations = 40;

    CrystalSearch(int8_t calStart, float freqLimit);

    // The value to measure next; once accepted, the accepted one.
    int8_t cal() const { return m_cal; }
    bool accepted() const { return m_accepted; }

    // Takes the mean frequency offset measured at cal(). True when it
    // accepts cal().
    bool measured(float meanOffset);

    // The mean of a sample set, in single precision as the search compares
    // it.
    static float mean(const QList<float> &samples);

private:
    const float m_limit;
    int8_t m_cal;
    int8_t m_prevCal = 0;
    float m_prevAve = 50.0f;
    bool m_revert = false;
    bool m_accepted = false;
};

#endif // CRYSTALSEARCH_H
