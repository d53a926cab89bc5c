#include "crystalsearch.h"

#include <cmath>

CrystalSearch::CrystalSearch(int8_t calStart, float freqLimit)
    : m_limit(freqLimit)
    , m_cal(calStart)
{}

bool CrystalSearch::measured(float meanOffset)
{
    if (m_accepted)
        return true;
    if (m_revert) {
        if (std::fabs(meanOffset) < m_limit)
            m_accepted = true;
        else
            m_revert = false; // the same value once more, as an ordinary step
        return m_accepted;
    }
    if (std::fabs(meanOffset) > std::fabs(m_prevAve)) {
        m_cal = m_prevCal;
        m_revert = true;
        return false;
    }
    m_prevCal = m_cal;
    m_prevAve = meanOffset;
    m_cal = int8_t(uint8_t(uint8_t(m_cal) + (meanOffset > 0.0f ? 2 : 254)));
    return false;
}

float CrystalSearch::mean(const QList<float> &samples)
{
    if (samples.isEmpty())
        return 0.0f;
    float sum = 0.0f;
    for (float v : samples)
        sum += v;
    return sum / float(samples.size());
}
