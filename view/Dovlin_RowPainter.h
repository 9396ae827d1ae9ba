#ifndef DOVLIN_ROWPAINTER_H
#define DOVLIN_ROWPAINTER_H

#include "Dovlin_Columns.h"
#include "Dovlin_RowRaster.h"
#include "Dovlin_ViewState.h"

#include <QRect>

class Dovlin_Hierarchy;
class Dovlin_ShapeWidget;
class Dovlin_ValueLabels;

// Everything the shapes of a value type need to draw into one waveform row: the row's rails, the
// time to pixel mapping of the canvas and the pixels.
class Dovlin_RowPainter
{
public:
    // node gives the value texts of a digital row, in radix; without one the row draws none.
    // light draws in the light theme's colours.
    Dovlin_RowPainter(Dovlin_ShapeWidget *shape, const QRect &rect, QPainter *painter, bool light, bool digital,
                      Dovlin_Hierarchy *node = nullptr, int radix = 0);

    // The canvas's pixel of a time: computed here in 64 bits when nothing overflows and the pixel
    // lies within the canvas's limits, which is nearly always, else by the canvas.
    int X(qint64 time) const
    {
        if (time == m_KnownTime)
            return m_KnownX;
        qint64 delta = 0, scaled = 0;
        if (!__builtin_sub_overflow(time, m_Map.m_Start, &delta) &&
            !__builtin_mul_overflow(delta, qint64(m_Map.m_PixelsPerTick), &scaled)) {
            const qint64 x = scaled / m_Map.m_TimePerTick;
            if (x > -Dovlin_ViewState::m_PixelLimit && x < Dovlin_ViewState::m_PixelLimit)
                return int(x);
        }
        return FarX(time);
    }
    // Tells X the column of a time inside the canvas that a walk over columns found, saving it a
    // division: the change a stretch starts from is the last one the walk passed.
    void KnowX(qint64 time, int x)
    {
        m_KnownTime = time;
        m_KnownX = x;
    }
    // The canvas's own mapping, which pins far pixels to its limits.
    int FarX(qint64 time) const;
    // Level of a relative height between the low (0) and the high (1) rail.
    int Level(double height) const;
    // Analog level of a value on the scale from the smallest to the largest value of the signal.
    // Inline: a crowded column asks for four levels, whose divisions then overlap.
    int AnalogLevel(qint64 value, qint64 minValue, qint64 maxValue) const
    {
        if (maxValue <= minValue)
            return m_YLow - m_Height / 2;
        return AnalogLevel(double(value), double(minValue), double(maxValue));
    }
    // Values outside the scale (the sentinel's zero, say) are drawn at the rail they passed.
    int AnalogLevel(double value, double minValue, double maxValue) const
    {
        if (!(maxValue > minValue) || value != value)
            return m_YLow - m_Height / 2;
        const double share = qBound(0.0, (value - minValue) / (maxValue - minValue), 1.0);
        return m_YLow - int(m_Height * share);
    }

    void Crossing(int x, unsigned int rgb);
    void Stubs(int x, unsigned int rgb);
    void Rails(int x1, int x2, unsigned int rgb);
    // A column crowded with changes of a bus: filled between the rails.
    void Band(int x, unsigned int rgb);
    // Whether the latest band is column x's and pixels are written directly (a painter may
    // blend): a mark of the band's colour inside it then changes no pixel.
    bool LastDrawnBand(int x) const { return m_LastBand == x && m_Raster.IsDirect(); }
    // Cuts the columns x1 to x2 (the inside of a stretch) to the canvas; false when the row shows
    // no values or not even the shortest label fits, so that the text need not be asked for.
    bool LabelRoom(int &x1, int &x2) const;
    // A value text drawn centred on the columns x1 to x2 that LabelRoom gave.
    void Label(int x1, int x2, const QString &text);

    Dovlin_ShapeWidget *m_Shape;
    QPainter *m_Painter;
    Dovlin_RowRaster m_Raster;
    Dovlin_Hierarchy *m_Node;
    int m_Radix;
    const Dovlin_ValueLabels &m_Labels;
    Dovlin_ColumnMap m_Map;
    int m_Width;
    int m_Height;
    int m_YLow;
    int m_YHigh;
    bool m_Digital;
    qint64 m_KnownTime = std::numeric_limits<qint64>::min();
    int m_KnownX = 0;
    // No band yet; -1 would name the column just left of the canvas.
    int m_LastBand = std::numeric_limits<int>::min();
};

#endif
