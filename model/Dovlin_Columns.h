#ifndef DOVLIN_COLUMNS_H
#define DOVLIN_COLUMNS_H

#include <QtGlobal>

#include <limits>
#include <vector>

// The pixel columns of a canvas window over the time axis: column c holds the times t with
// ((t - m_Start) * m_PixelsPerTick) / m_TimePerTick == c, the division truncating toward zero.
struct Dovlin_ColumnMap
{
    qint64 m_Start = 0;
    qint64 m_TimePerTick = 1;
    int m_PixelsPerTick = 1;
    int m_Width = 0;

    // The column of a time, pinned to [-1, m_Width] so that callers can test "left of" and
    // "right of" the window without overflow.
    int ColumnOf(qint64 time) const;
    // The smallest time of column c, for 0 <= c <= m_Width.
    qint64 FirstTimeOf(int column) const;
};

// What the stored values of one range of events span. An empty range has its minimum above its
// maximum; NaN values only set m_HasNaN.
struct Dovlin_ValueRange
{
    qint64 m_Count = 0;
    // Logic types: bit s set when state s occurs (see StateBit).
    quint32 m_StateMask = 0;
    qint64 m_MinInt = std::numeric_limits<qint64>::max();
    qint64 m_MaxInt = std::numeric_limits<qint64>::min();
    double m_MinReal = std::numeric_limits<double>::infinity();
    double m_MaxReal = -std::numeric_limits<double>::infinity();
    bool m_HasNaN = false;

    // The state's bit in m_StateMask: states 0 to 30 have their own, all others share bit 31.
    static quint32 StateBit(qint32 state) { return state >= 0 && state < 31 ? quint32(1) << state : quint32(1) << 31; }
};

// The stored events [m_First, m_End) of a signal that fall into pixel column m_X.
struct Dovlin_Column
{
    int m_X = 0;
    qint64 m_First = 0;
    qint64 m_End = 0;
    Dovlin_ValueRange m_Values;
    // Set once NextColumn filled it: a walk that goes on from m_End over the same map then tells
    // by one boundary whether the next events fall into the column just right of a crowded one.
    bool m_Found = false;
};

// The change count of every pixel column of a bus or scope row (0, 1, or 2 for two or more),
// and whether its leaves have events left of and right of the window. m_Unknown, filled by its own
// query, is 1 for the columns where some leaf holds a state that is not 0, 1, L or H, or no value.
struct Dovlin_ChangeColumns
{
    std::vector<quint8> m_Changes;
    std::vector<quint8> m_Unknown;
    bool m_Before = false;
    bool m_After = false;
};

#endif
