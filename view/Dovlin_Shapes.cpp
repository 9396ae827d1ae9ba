// Drawing of waveform rows: the walk over a signal's changes inside the visible window, one pixel
// column at a time, and the shapes that each value type draws for a stretch between two changes
// or for a column crowded with changes.

#include "Dovlin_Hierarchies.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_RowPainter.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Types.h"
#include "Dovlin_ValueLabels.h"

#include <QTreeWidgetItem>

#include <climits>
#include <cstring>

Dovlin_RowPainter::Dovlin_RowPainter(Dovlin_ShapeWidget *shape, const QRect &rect, QPainter *painter, bool digital,
                                     Dovlin_Hierarchy *node, const CSignalEvent *minEvent,
                                     const CSignalEvent *maxEvent)
    : m_Shape(shape), m_Painter(painter), m_Raster(painter, shape->lightTheme()), m_Node(digital ? node : nullptr),
      m_Labels(shape->valueLabels()), m_Width(shape->width()), m_Height(rect.bottom() - rect.top() - 3),
      m_YLow(rect.bottom() - 2), m_YHigh(rect.bottom() - 2 - (rect.bottom() - rect.top() - 3)), m_Digital(digital),
      m_MinEvent(minEvent), m_MaxEvent(maxEvent)
{
    m_Map.m_Start = shape->startScopeTime();
    m_Map.m_TimePerTick = shape->currTickTime();
    m_Map.m_PixelsPerTick = shape->currZoomCo();
    m_Map.m_Width = m_Width;
}

int Dovlin_RowPainter::X(qint64 time) const
{
    return m_Shape->TimeToX(time);
}

int Dovlin_RowPainter::Level(double height) const
{
    return int(m_YLow - height * m_Height);
}

void Dovlin_RowPainter::Crossing(int x, unsigned int rgb)
{
    m_Raster.Line(x - 1, m_YLow, x + 1, m_YHigh, rgb);
    m_Raster.Line(x - 1, m_YHigh, x + 1, m_YLow, rgb);
}

void Dovlin_RowPainter::Stubs(int x, unsigned int rgb)
{
    m_Raster.HLine(x - 1, x + 1, m_YLow, rgb);
    m_Raster.HLine(x - 1, x + 1, m_YHigh, rgb);
}

void Dovlin_RowPainter::Rails(int x1, int x2, unsigned int rgb)
{
    if (x2 < x1)
        return;
    m_Raster.HLine(x1, x2, m_YLow, rgb);
    m_Raster.HLine(x1, x2, m_YHigh, rgb);
}

void Dovlin_RowPainter::Band(int x, unsigned int rgb)
{
    m_Raster.Fill(x - 1, m_YHigh, x + 1, m_YLow, rgb);
}

bool Dovlin_RowPainter::LabelRoom(int &x1, int &x2) const
{
    x1 = qMax(x1, 0);
    x2 = qMin(x2, m_Width - 1);
    return m_Node && x2 - x1 + 1 >= m_Labels.MinWidth();
}

// Drawn at once, over the rails already there: the glyphs land in the same image the raster
// writes to, and nothing later in the row reaches inside the stretch.
void Dovlin_RowPainter::Label(int x1, int x2, const QString &text)
{
    m_Labels.Draw(m_Painter, m_Raster, x1, x2, (m_YHigh + m_YLow) / 2, text);
}

namespace {
bool sameValue(const CSignalEvent *a, const CSignalEvent *b)
{
    return a && b && a->m_Value.m_IntValue == b->m_Value.m_IntValue;
}

// Walks the changes of one signal from the left edge of the window to the right, one pixel
// column at a time: a column with one change draws the stretch that ends there, a column with
// several draws one mark for all of them.
bool drawSignalRow(Dovlin_Signal &signal, const Dovlin_Type &type, Dovlin_ShapeWidget *shape, const QRect &rect,
                   QPainter *painter, Dovlin_Hierarchy *node, bool digital)
{
    // The analog scale needs the smallest and the largest value, which cost a pass over the events.
    Dovlin_RowPainter row(shape, rect, painter, digital, node, digital ? nullptr : signal.GetMinEvent(),
                          digital ? nullptr : signal.GetMaxEvent());
    const qint64 count = signal.GetnEvent();
    qint64 index = signal.FindEventIndex(row.m_Map.m_Start);
    if (index >= count)
        return true;
    const CSignalEvent *e1 = index > 0 ? signal.GetEvent(index - 1) : nullptr;
    const CSignalEvent *before = index > 1 ? signal.GetEvent(index - 2) : nullptr;
    Dovlin_Column column;
    const bool withValues = type.ColumnNeedsValues(digital);
    while (signal.NextColumn(row.m_Map, index, column, withValues)) {
        const CSignalEvent *first = signal.GetEvent(column.m_First);
        if (column.m_X >= row.m_Width) {
            type.UpdateSignalShape(row, before, e1, first);
            break;
        }
        if (column.m_End - column.m_First == 1) {
            if (!type.UpdateSignalShape(row, before, e1, first))
                break;
            before = e1;
            e1 = first;
        } else {
            type.UpdateColumnShape(row, before, e1, column, first);
            before = signal.GetEvent(column.m_End - 2);
            e1 = signal.GetEvent(column.m_End - 1);
        }
        index = column.m_End;
    }
    return true;
}

// The row rectangle of a tree line, or an empty one when the line has no room above the time bar.
bool rowRect(Dovlin_Hierarchy *node, Dovlin_ShapeWidget *shape, Dovlin_NameWidget *nameWidget, QRect &rect)
{
    const QTreeWidgetItem *item = nameWidget->TreeItem(node);
    if (!item)
        return false;
    rect = nameWidget->visualItemRect(item);
    rect.setLeft(0);
    rect.setRight(shape->width());
    return rect.bottom() < shape->GetWaveHeight(-1);
}
}

bool Dovlin_IntSignal::UpdateSignalShape(Dovlin_ShapeWidget *shape, QRect *rect, QPainter *painter, Dovlin_Hierarchy *node)
{
    return drawSignalRow(*this, *this, shape, *rect, painter, node, node->m_Digital);
}

bool Dovlin_RealSignal::UpdateSignalShape(Dovlin_ShapeWidget *shape, QRect *rect, QPainter *painter, Dovlin_Hierarchy *node)
{
    return drawSignalRow(*this, *this, shape, *rect, painter, node, node->m_Digital);
}

template <class T>
bool Dovlin_StateSignalT<T>::UpdateSignalShape(Dovlin_ShapeWidget *shape, QRect *rect, QPainter *painter,
                                               Dovlin_Hierarchy *node)
{
    return drawSignalRow(*this, *this, shape, *rect, painter, node, node->m_Digital);
}

template bool Dovlin_StateSignalT<Dovlin_BitType>::UpdateSignalShape(Dovlin_ShapeWidget *, QRect *, QPainter *,
                                                                     Dovlin_Hierarchy *);
template bool Dovlin_StateSignalT<Dovlin_VerilogType>::UpdateSignalShape(Dovlin_ShapeWidget *, QRect *, QPainter *,
                                                                        Dovlin_Hierarchy *);
template bool Dovlin_StateSignalT<Dovlin_StdLogicType>::UpdateSignalShape(Dovlin_ShapeWidget *, QRect *, QPainter *,
                                                                         Dovlin_Hierarchy *);

bool Dovlin_EventSignal::UpdateSignalShape(Dovlin_ShapeWidget *shape, QRect *rect, QPainter *painter,
                                           Dovlin_Hierarchy *node)
{
    // An analog scale means nothing for triggers: both modes draw the arrows.
    return drawSignalRow(*this, *this, shape, *rect, painter, node, true);
}

namespace {
// One trigger, or all of a pixel column's: a line from the low rail to the high one with a small
// arrow head, so that each stays visible at any zoom.
void triggerMark(Dovlin_RowPainter &row, int x, unsigned int rgb)
{
    const int head = qMin(2, (row.m_YLow - row.m_YHigh) / 2);
    row.m_Raster.VLine(x, row.m_YLow, row.m_YHigh, rgb);
    row.m_Raster.Line(x - head, row.m_YHigh + head, x, row.m_YHigh, rgb);
    row.m_Raster.Line(x, row.m_YHigh, x + head, row.m_YHigh + head, rgb);
}
}

// The low rail from the trigger e1 (or the left edge) to the trigger e2, and e2's arrow.
bool Dovlin_EventType::UpdateSignalShape(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                                         const CSignalEvent *e2) const
{
    const int x1 = e1 ? row.X(e1->m_Time) : 0;
    if (x1 >= row.m_Width)
        return false;
    const int x2 = row.X(e2->m_Time);
    row.m_Raster.HLine(x1, x2, row.m_YLow, m_Color);
    triggerMark(row, x2, m_Color);
    return true;
}

void Dovlin_EventType::UpdateColumnShape(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                                         const Dovlin_Column &column, const CSignalEvent *) const
{
    if (e1)
        row.m_Raster.HLine(row.X(e1->m_Time), column.m_X, row.m_YLow, m_Color);
    triggerMark(row, column.m_X, m_Color);
}

// Logic stretches: a level in the colour of the state, and an edge in the colour of the next one.
bool Dovlin_StateType::UpdateSignalShape(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                                         const CSignalEvent *e2) const
{
    const int x1 = e1 ? row.X(e1->m_Time) : 0;
    if (x1 >= row.m_Width)
        return false;
    const int x2 = row.X(e2->m_Time);
    if (row.m_Digital) {
        const int ya = e1 ? row.Level(StateHeight(e1->m_Value.m_State)) : row.m_YLow;
        if (e1)
            row.m_Raster.HLine(x1, x2, ya, StateColor(e1->m_Value.m_State));
        row.m_Raster.VLine(x2, ya, row.Level(StateHeight(e2->m_Value.m_State)), StateColor(e2->m_Value.m_State));
    } else if (e1) {
        row.m_Raster.Line(x1, AnalogState(row, e1->m_Value.m_State), x2, AnalogState(row, e2->m_Value.m_State),
                          StateColor(e1->m_Value.m_State));
    }
    return true;
}

int Dovlin_StateType::AnalogState(const Dovlin_RowPainter &row, int state) const
{
    const qint64 low = row.m_MinEvent ? row.m_MinEvent->m_Value.m_State : 0;
    const qint64 high = row.m_MaxEvent ? row.m_MaxEvent->m_Value.m_State : GetnState() - 1;
    return row.AnalogLevel(qint64(state), low, high);
}

// A crowded logic column: one mark from the lowest to the highest level the states reach, in the
// colour of the most telling of them (unknown and other mid-level states before the rails).
void Dovlin_StateType::UpdateColumnShape(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                                         const Dovlin_Column &column, const CSignalEvent *first) const
{
    const int x = column.m_X;
    quint32 mask = column.m_Values.m_StateMask;
    if (e1)
        mask |= Dovlin_ValueRange::StateBit(e1->m_Value.m_State);
    int top = INT_MAX, bottom = INT_MIN, rank = -1;
    unsigned int colour = 0;
    for (int state = 0; state < 32; ++state) {
        if (!(mask & (quint32(1) << state)))
            continue;
        const int probe = state == 31 ? -1 : state;
        const int y = row.m_Digital ? row.Level(StateHeight(probe)) : AnalogState(row, probe);
        top = qMin(top, y);
        bottom = qMax(bottom, y);
        const unsigned int rgb = StateColor(probe);
        const double height = StateHeight(probe);
        const int r = rgb == 0xFF0000 ? 3 : (height > 0.0 && height < 1.0) ? 2 : height >= 1.0 ? 1 : 0;
        if (r > rank) {
            rank = r;
            colour = rgb;
        }
    }
    if (e1) {
        const int x1 = row.X(e1->m_Time);
        const unsigned int rgb = StateColor(e1->m_Value.m_State);
        if (row.m_Digital) {
            row.m_Raster.HLine(x1, x, row.Level(StateHeight(e1->m_Value.m_State)), rgb);
        } else {
            row.m_Raster.Line(x1, AnalogState(row, e1->m_Value.m_State), x, AnalogState(row, first->m_Value.m_State),
                              rgb);
        }
    }
    row.m_Raster.VLine(x, top, bottom, colour);
}

namespace {
// Bus stretches of integers and reals: the start mark (a crossing where the value changes), the
// two rails and the value between them; analog: a straight line between the values.
template <typename Level>
bool valueStretch(const Dovlin_Type &type, Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                  const CSignalEvent *e2, unsigned int rgb, Level level)
{
    const int x1 = e1 ? row.X(e1->m_Time) : 0;
    if (x1 >= row.m_Width)
        return false;
    const int x2 = row.X(e2->m_Time);
    if (row.m_Digital) {
        if (!e1 || !sameValue(before, e1))
            row.Crossing(x1, rgb);
        else
            row.Stubs(x1, rgb);
        row.Rails(x1 + 1, x2 - 1, rgb);
        // The stretch's own event gives its value: no search by time.
        int left = x1 + 2, right = x2 - 2;
        if (e1 && row.LabelRoom(left, right))
            row.Label(left, right, type.GetSignalState(e1, row.m_Node->m_Radix));
    } else if (e1) {
        row.m_Raster.Line(x1, level(*e1), x2, level(*e2), rgb);
    }
    return true;
}

template <typename Level>
void valueColumn(Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                 const Dovlin_Column &column, const CSignalEvent *first, unsigned int rgb, Level level, int low,
                 int high)
{
    const int x = column.m_X;
    if (row.m_Digital) {
        if (e1) {
            const int x1 = row.X(e1->m_Time);
            if (!sameValue(before, e1))
                row.Crossing(x1, rgb);
            else
                row.Stubs(x1, rgb);
            row.Rails(x1 + 1, x - 1, rgb);
        }
        row.Band(x, rgb);
        return;
    }
    if (e1)
        row.m_Raster.Line(row.X(e1->m_Time), level(*e1), x, level(*first), rgb);
    row.m_Raster.VLine(x, low, high, rgb);
}
}

bool Dovlin_IntType::UpdateSignalShape(Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                                       const CSignalEvent *e2) const
{
    return valueStretch(*this, row, before, e1, e2, m_Color,
                        [&row](const CSignalEvent &e) { return IntLevel(row, e.m_Value.m_IntValue); });
}

void Dovlin_IntType::UpdateColumnShape(Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                                       const Dovlin_Column &column, const CSignalEvent *first) const
{
    valueColumn(row, before, e1, column, first, m_Color,
                [&row](const CSignalEvent &e) { return IntLevel(row, e.m_Value.m_IntValue); },
                IntLevel(row, column.m_Values.m_MaxInt), IntLevel(row, column.m_Values.m_MinInt));
}

int Dovlin_IntType::IntLevel(const Dovlin_RowPainter &row, qint64 value)
{
    const qint64 low = row.m_MinEvent ? row.m_MinEvent->m_Value.m_IntValue : value;
    const qint64 high = row.m_MaxEvent ? row.m_MaxEvent->m_Value.m_IntValue : value;
    return row.AnalogLevel(value, low, high);
}

bool Dovlin_RealType::UpdateSignalShape(Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                                        const CSignalEvent *e2) const
{
    return valueStretch(*this, row, before, e1, e2, m_Color,
                        [&row](const CSignalEvent &e) { return RealLevel(row, e.m_Value.m_RealValue); });
}

void Dovlin_RealType::UpdateColumnShape(Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                                        const Dovlin_Column &column, const CSignalEvent *first) const
{
    valueColumn(row, before, e1, column, first, m_Color,
                [&row](const CSignalEvent &e) { return RealLevel(row, e.m_Value.m_RealValue); },
                RealLevel(row, column.m_Values.m_MaxReal), RealLevel(row, column.m_Values.m_MinReal));
}

int Dovlin_RealType::RealLevel(const Dovlin_RowPainter &row, double value)
{
    const double low = row.m_MinEvent ? row.m_MinEvent->m_Value.m_RealValue : value;
    const double high = row.m_MaxEvent ? row.m_MaxEvent->m_Value.m_RealValue : value;
    return row.AnalogLevel(value, low, high);
}

bool Dovlin_ScalarHierarchy::UpdateSignalShape(Dovlin_ShapeWidget *shape, Dovlin_NameWidget *nameWidget,
                                               QPainter *painter)
{
    QRect rect;
    if (!rowRect(this, shape, nameWidget, rect))
        return false;
    if (Dovlin_Signal *signal = GetSignal())
        signal->UpdateSignalShape(shape, &rect, painter, this);
    return true;
}

// A bus or scope row: a crossing in every column where any bit or member changes, a filled band
// where several do, and the two rails between them. A bus shows its value inside each stretch,
// and draws in the colour of X wherever one of its bits is unknown.
bool Dovlin_CompositeHierarchy::UpdateSignalShape(Dovlin_ShapeWidget *shape, Dovlin_NameWidget *nameWidget,
                                                  QPainter *painter)
{
    QRect rect;
    if (!rowRect(this, shape, nameWidget, rect))
        return false;
    const bool bus = IsBus();
    Dovlin_RowPainter row(shape, rect, painter, true, bus ? this : nullptr);
    Dovlin_ChangeColumns columns;
    GetChangeColumns(row.m_Map, columns);
    if (bus)
        GetUnknownColumns(row.m_Map, columns);
    const auto colour = [&](int x) {
        return bus && columns.m_Unknown[size_t(qBound(0, x, row.m_Width - 1))] ? m_UnknownColor : m_Color;
    };
    // The value of a stretch holds from the column after its opening change on.
    const auto stretch = [&](int last, int x) {
        row.Rails(last + 1, x - 1, colour(last + 1));
        int left = last + 2, right = x - 2;
        if (row.LabelRoom(left, right))
            row.Label(left, right, ValueText(row.m_Map.FirstTimeOf(qMax(last + 1, 0))));
    };
    int last = columns.m_Before ? -2 : INT_MIN;
    for (int x = 0; x < row.m_Width; ++x) {
        const int changes = columns.m_Changes[size_t(x)];
        if (changes == 0)
            continue;
        if (last != INT_MIN)
            stretch(last, x);
        if (changes == 1)
            row.Crossing(x, colour(x));
        else
            row.Band(x, colour(x));
        last = x;
    }
    if (columns.m_After && last != INT_MIN)
        stretch(last, row.m_Width + 1);
    return true;
}
