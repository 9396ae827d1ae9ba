#include "Dovlin_Columns.h"

#include <climits>

int Dovlin_ColumnMap::ColumnOf(qint64 time) const
{
    // 64-bit arithmetic when nothing overflows, which is nearly always; 128-bit otherwise.
    qint64 delta = 0, scaled = 0;
    if (!__builtin_sub_overflow(time, m_Start, &delta) && !__builtin_mul_overflow(delta, qint64(m_PixelsPerTick), &scaled)) {
        if (scaled < 0)
            return scaled / m_TimePerTick < 0 ? -1 : 0;
        const qint64 column = scaled / m_TimePerTick;
        return column >= m_Width ? m_Width : int(column);
    }
    const __int128 offset = (__int128(time) - m_Start) * m_PixelsPerTick;
    if (offset < 0)
        return offset / m_TimePerTick < 0 ? -1 : 0;
    const __int128 column = offset / m_TimePerTick;
    return column >= m_Width ? m_Width : int(column);
}

qint64 Dovlin_ColumnMap::FirstTimeOf(int column) const
{
    // The smallest t with (t - start) * pixels >= column * timePerTick.
    qint64 needed64 = 0, time64 = 0;
    if (!__builtin_mul_overflow(qint64(column), m_TimePerTick, &needed64) && needed64 >= 0 &&
        !__builtin_add_overflow(m_Start, (needed64 + m_PixelsPerTick - 1) / m_PixelsPerTick, &time64))
        return time64;
    const __int128 needed = __int128(column) * m_TimePerTick;
    const __int128 ticks = (needed + m_PixelsPerTick - 1) / m_PixelsPerTick;
    const __int128 time = __int128(m_Start) + ticks;
    return time > __int128(LLONG_MAX) ? LLONG_MAX : qint64(time);
}
