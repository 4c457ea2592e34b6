#include "calibration/math/LensTable.h"

#include <algorithm>

namespace tovrin::calib {

LensTable::LensTable(int variantFlag)
    : m_variant(variantFlag == 1 ? 1 : 0)
{
    const records::PPosTable& pos = records::pPosTable(m_variant);
    for (int k = 0; k < kLensEntries; ++k)
        m_t[static_cast<std::size_t>(k)] = pos[static_cast<std::size_t>(k)] / 2.0;
}

double LensTable::angleIndex(double q) const
{
    constexpr int kLast = kLensEntries - 1;
    // The negated test also sends a NaN column here: it stays NaN and never
    // indexes outside the table.
    if (!(q >= m_t[0]))
        return (q - m_t[0]) / (m_t[1] - m_t[0]);
    if (q >= m_t[kLast])
        return (kLast - 1) + (q - m_t[kLast - 1]) / (m_t[kLast] - m_t[kLast - 1]);
    // First entry greater than q; the segment starts one before it.
    const auto it = std::upper_bound(m_t.begin(), m_t.end(), q);
    const int k = static_cast<int>(it - m_t.begin()) - 1;
    const auto uk = static_cast<std::size_t>(k);
    return k + (q - m_t[uk]) / (m_t[uk + 1] - m_t[uk]);
}

double LensTable::columnAtIndex(double index) const
{
    constexpr int kLast = kLensEntries - 1;
    if (!(index >= 0.0))
        return m_t[0] + index * (m_t[1] - m_t[0]);
    if (index >= kLast - 1)
        return m_t[kLast - 1] + (index - (kLast - 1)) * (m_t[kLast] - m_t[kLast - 1]);
    const int k = static_cast<int>(index);
    const auto uk = static_cast<std::size_t>(k);
    return m_t[uk] + (index - k) * (m_t[uk + 1] - m_t[uk]);
}

} // namespace tovrin::calib
