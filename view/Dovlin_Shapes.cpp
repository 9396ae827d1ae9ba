// Drawing of waveform rows: the walk over a signal's changes inside the visible window, one pixel
// column at a time, and the shapes that each value type draws for a stretch between two changes
// or for a column crowded with changes.

#include "Dovlin_Shapes.h"

#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_RowPainter.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Types.h"
#include "Dovlin_ValueLabels.h"

#include <QTreeWidgetItem>

#include <climits>
#include <type_traits>

Dovlin_RowPainter::Dovlin_RowPainter(Dovlin_ShapeWidget *shape, const QRect &rect, QPainter *painter, bool light,
                                     bool digital, Dovlin_Hierarchy *node, int radix)
    : m_Shape(shape), m_Painter(painter), m_Raster(painter, light), m_Node(digital ? node : nullptr),
      m_Radix(radix),
      m_Labels(shape->valueLabels()), m_Width(shape->width()), m_Height(rect.bottom() - rect.top() - 3),
      m_YLow(rect.bottom() - 2), m_YHigh(rect.bottom() - 2 - (rect.bottom() - rect.top() - 3)), m_Digital(digital)
{
    m_Map.m_Start = shape->startScopeTime();
    m_Map.m_TimePerTick = shape->currTickTime();
    m_Map.m_PixelsPerTick = shape->currZoomCo();
    m_Map.m_Width = m_Width;
}

int Dovlin_RowPainter::FarX(qint64 time) const
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
    m_LastBand = x;
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

// The shapes of each value type. paintStretch draws the stretch from e1 to the change e2,
// where before is the event before e1, and answers false once the stretch starts right of the
// row; paintColumn draws one pixel column crowded with changes, the first of which is first;
// ColumnNeedsValues tells whether that needs the range of the column's values.

// A named event: an upward arrow at each trigger, the low rail between them, in either display mode.
struct EventShapes
{
    static constexpr unsigned int m_Color = Dovlin_EventType::m_Color;

    static bool ColumnNeedsValues() { return false; }

    // One trigger, or all of a pixel column's: a line from the low rail to the high one with a
    // small arrow head, so that each stays visible at any zoom.
    static void TriggerMark(Dovlin_RowPainter &row, int x)
    {
        const int head = qMin(2, (row.m_YLow - row.m_YHigh) / 2);
        row.m_Raster.VLine(x, row.m_YLow, row.m_YHigh, m_Color);
        row.m_Raster.Line(x - head, row.m_YHigh + head, x, row.m_YHigh, m_Color);
        row.m_Raster.Line(x, row.m_YHigh, x + head, row.m_YHigh + head, m_Color);
    }

    // The low rail from the trigger e1 (or the left edge) to the trigger e2, and e2's arrow.
    bool paintStretch(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                           const CSignalEvent *e2) const
    {
        const int x1 = e1 ? row.X(e1->m_Time) : 0;
        if (x1 >= row.m_Width)
            return false;
        const int x2 = row.X(e2->m_Time);
        row.m_Raster.HLine(x1, x2, row.m_YLow, m_Color);
        TriggerMark(row, x2);
        return true;
    }

    void paintColumn(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                           const Dovlin_Column &column, const CSignalEvent *) const
    {
        if (e1)
            row.m_Raster.HLine(row.X(e1->m_Time), column.m_X, row.m_YLow, m_Color);
        TriggerMark(row, column.m_X);
    }
};

// Logic stretches: a level in the colour of the state, and an edge in the colour of the next one.
// The level, colour and rank of every state bit of a column mask are worked out once a row.
class StateShapes
{
public:
    StateShapes(const Dovlin_StateType &type, const Dovlin_RowPainter &row, const CSignalEvent *minEvent,
                const CSignalEvent *maxEvent)
        : m_Type(type), m_Low(minEvent ? minEvent->m_Value.m_State : 0),
          m_High(maxEvent ? maxEvent->m_Value.m_State : type.GetnState() - 1)
    {
        for (int bit = 0; bit < 32; ++bit) {
            const int state = bit == 31 ? -1 : bit;
            m_BitLevel[bit] = row.m_Digital ? row.Level(type.StateHeight(state)) : AnalogState(row, state);
            m_BitColour[bit] = type.StateColor(state);
            const double height = type.StateHeight(state);
            // The most telling state gives a crowded column its colour: unknown, other mid-level
            // states, then the rails.
            m_BitRank[bit] = m_BitColour[bit] == 0xFF0000 ? 3 : (height > 0.0 && height < 1.0) ? 2 : height >= 1.0 ? 1 : 0;
        }
    }

    static bool ColumnNeedsValues() { return true; }

    bool paintStretch(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                           const CSignalEvent *e2) const
    {
        const int x1 = e1 ? row.X(e1->m_Time) : 0;
        if (x1 >= row.m_Width)
            return false;
        const int x2 = row.X(e2->m_Time);
        if (row.m_Digital) {
            const int ya = e1 ? row.Level(m_Type.StateHeight(e1->m_Value.m_State)) : row.m_YLow;
            if (e1)
                row.m_Raster.HLine(x1, x2, ya, m_Type.StateColor(e1->m_Value.m_State));
            row.m_Raster.VLine(x2, ya, row.Level(m_Type.StateHeight(e2->m_Value.m_State)),
                               m_Type.StateColor(e2->m_Value.m_State));
        } else if (e1) {
            row.m_Raster.Line(x1, AnalogState(row, e1->m_Value.m_State), x2, AnalogState(row, e2->m_Value.m_State),
                              m_Type.StateColor(e1->m_Value.m_State));
        }
        return true;
    }

    // One mark from the lowest to the highest level the states reach, in the colour of the most
    // telling of them.
    void paintColumn(Dovlin_RowPainter &row, const CSignalEvent *, const CSignalEvent *e1,
                           const Dovlin_Column &column, const CSignalEvent *first) const
    {
        const int x = column.m_X;
        quint32 mask = column.m_Values.m_StateMask;
        if (e1)
            mask |= Dovlin_ValueRange::StateBit(e1->m_Value.m_State);
        int top = INT_MAX, bottom = INT_MIN, rank = -1;
        unsigned int colour = 0;
        for (quint32 rest = mask; rest; rest &= rest - 1) {
            const int bit = __builtin_ctz(rest);
            top = qMin(top, m_BitLevel[bit]);
            bottom = qMax(bottom, m_BitLevel[bit]);
            if (m_BitRank[bit] > rank) {
                rank = m_BitRank[bit];
                colour = m_BitColour[bit];
            }
        }
        if (e1) {
            const int x1 = row.X(e1->m_Time);
            const unsigned int rgb = m_Type.StateColor(e1->m_Value.m_State);
            if (row.m_Digital) {
                row.m_Raster.HLine(x1, x, row.Level(m_Type.StateHeight(e1->m_Value.m_State)), rgb);
            } else {
                row.m_Raster.Line(x1, AnalogState(row, e1->m_Value.m_State), x,
                                  AnalogState(row, first->m_Value.m_State), rgb);
            }
        }
        row.m_Raster.VLine(x, top, bottom, colour);
    }

private:
    // Analog level of a state: the state index on the scale of the signal's smallest and largest.
    int AnalogState(const Dovlin_RowPainter &row, int state) const
    {
        return row.AnalogLevel(qint64(state), m_Low, m_High);
    }

    const Dovlin_StateType &m_Type;
    qint64 m_Low;
    qint64 m_High;
    int m_BitLevel[32];
    unsigned int m_BitColour[32];
    int m_BitRank[32];
};

// Bus stretches of integers, reals and texts: the start mark (a crossing where the value changes),
// the two rails and the value between them; analog: a straight line between the values. A crowded
// column is a band between the rails, or a line from the lowest to the highest value.
template <class Value>
class ValueShapes
{
public:
    // Without the smallest and largest value every level is the middle of the row.
    ValueShapes(const Dovlin_Type &type, const Dovlin_RowPainter &row, const CSignalEvent *minEvent,
                const CSignalEvent *maxEvent)
        : m_Type(type), m_Row(row), m_Scaled(minEvent && maxEvent),
          m_Low(m_Scaled ? Value::Of(*minEvent) : typename Value::Type()),
          m_High(m_Scaled ? Value::Of(*maxEvent) : typename Value::Type())
    {
        if constexpr (std::is_integral_v<typename Value::Type>) {
            qint64 bound = 0;
            m_Exact = m_Scaled && m_High > m_Low && row.m_Height > 0 && !__builtin_sub_overflow(m_High, m_Low, &m_Range)
                      && !__builtin_mul_overflow(m_Range, qint64(row.m_Height), &bound);
            m_PerUnit = m_Exact ? double(row.m_Height) / double(m_Range) : 0.0;
        }
    }

    bool ColumnNeedsValues() const { return !m_Row.m_Digital; }

    bool paintStretch(Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                           const CSignalEvent *e2) const
    {
        const int x1 = e1 ? row.X(e1->m_Time) : 0;
        if (x1 >= row.m_Width)
            return false;
        const int x2 = row.X(e2->m_Time);
        if (row.m_Digital) {
            if (!e1 || !sameValue(before, e1))
                row.Crossing(x1, Value::m_Color);
            else
                row.Stubs(x1, Value::m_Color);
            row.Rails(x1 + 1, x2 - 1, Value::m_Color);
            // The stretch's own event gives its value: no search by time.
            int left = x1 + 2, right = x2 - 2;
            if (e1 && row.LabelRoom(left, right))
                row.Label(left, right, m_Type.GetSignalState(e1, row.m_Radix));
        } else if (e1) {
            row.m_Raster.Line(x1, Level(Value::Of(*e1)), x2, Level(Value::Of(*e2)), Value::m_Color);
        }
        return true;
    }

    void paintColumn(Dovlin_RowPainter &row, const CSignalEvent *before, const CSignalEvent *e1,
                           const Dovlin_Column &column, const CSignalEvent *first) const
    {
        const int x = column.m_X;
        if (row.m_Digital) {
            // After a crowded column just left of this one, the stretch between them lies inside its band.
            if (e1 && !(row.LastDrawnBand(x - 1) && row.X(e1->m_Time) == x - 1)) {
                const int x1 = row.X(e1->m_Time);
                if (!sameValue(before, e1))
                    row.Crossing(x1, Value::m_Color);
                else
                    row.Stubs(x1, Value::m_Color);
                row.Rails(x1 + 1, x - 1, Value::m_Color);
                // A stretch that ends in a crowded column shows its value as any other does.
                int left = x1 + 2, right = x - 2;
                if (row.LabelRoom(left, right))
                    row.Label(left, right, m_Type.GetSignalState(e1, row.m_Node->m_Radix));
            }
            row.Band(x, Value::m_Color);
            return;
        }
        if (e1)
            row.m_Raster.Line(row.X(e1->m_Time), Level(Value::Of(*e1)), x, Level(Value::Of(*first)), Value::m_Color);
        row.m_Raster.VLine(x, Level(Value::Max(column.m_Values)), Level(Value::Min(column.m_Values)), Value::m_Color);
    }

private:
    // Analog level of a value on the signal's scale. An integer's is the exact floor of its share
    // of the row's height, found by a multiplication and a correction: a crowded column asks for
    // four levels, and dividing for each took a good part of the column's time.
    int Level(typename Value::Type value) const
    {
        if constexpr (std::is_integral_v<typename Value::Type>) {
            if (m_Exact) {
                if (value <= m_Low)
                    return m_Row.m_YLow;
                if (value >= m_High)
                    return m_Row.m_YLow - m_Row.m_Height;
                const qint64 scaled = (value - m_Low) * m_Row.m_Height;
                qint64 share = qint64(double(value - m_Low) * m_PerUnit);
                share -= share * m_Range > scaled ? 1 : 0;
                share += (share + 1) * m_Range <= scaled ? 1 : 0;
                return m_Row.m_YLow - int(share);
            }
        }
        return m_Scaled ? m_Row.AnalogLevel(value, m_Low, m_High) : m_Row.AnalogLevel(value, value, value);
    }

    const Dovlin_Type &m_Type;
    const Dovlin_RowPainter &m_Row;
    bool m_Scaled;
    typename Value::Type m_Low;
    typename Value::Type m_High;
    // Integers whose products with the row's height fit in 64 bits: m_High - m_Low, and the height over it.
    bool m_Exact = false;
    qint64 m_Range = 0;
    double m_PerUnit = 0.0;
};

struct IntegerValue
{
    using Type = qint64;
    static constexpr unsigned int m_Color = Dovlin_IntType::m_Color;
    static Type Of(const CSignalEvent &event) { return event.m_Value.m_IntValue; }
    static Type Min(const Dovlin_ValueRange &range) { return range.m_MinInt; }
    static Type Max(const Dovlin_ValueRange &range) { return range.m_MaxInt; }
};

// A text's value is its index: an equal index is an equal text. Its row is always digital.
struct StringValue : IntegerValue
{
    static constexpr unsigned int m_Color = Dovlin_StringType::m_Color;
};

struct RealValue
{
    using Type = double;
    static constexpr unsigned int m_Color = Dovlin_RealType::m_Color;
    static Type Of(const CSignalEvent &event) { return event.m_Value.m_RealValue; }
    static Type Min(const Dovlin_ValueRange &range) { return range.m_MinReal; }
    static Type Max(const Dovlin_ValueRange &range) { return range.m_MaxReal; }
};

// Walks the changes of one signal from the left edge of the window to the right, one pixel
// column at a time: a column with one change draws the stretch that ends there, a column with
// several draws one mark for all of them.
template <class Shapes>
void paintSignalRow(const Dovlin_Signal &signal, const Shapes &shapes, Dovlin_RowPainter &row)
{
    const qint64 count = signal.GetnEvent();
    qint64 index = signal.FindEventIndex(row.m_Map.m_Start);
    if (index >= count)
        return;
    // Events are copies: those of a signal kept packed lie in boxes that the next read may replace.
    std::optional<CSignalEvent> e1 = index > 0 ? signal.GetEvent(index - 1) : std::nullopt;
    std::optional<CSignalEvent> before = index > 1 ? signal.GetEvent(index - 2) : std::nullopt;
    const auto at = [](const std::optional<CSignalEvent> &event) { return event ? &*event : nullptr; };
    Dovlin_Column column;
    const bool withValues = shapes.ColumnNeedsValues();
    while (signal.NextColumn(row.m_Map, index, column, withValues)) {
        const std::optional<CSignalEvent> first = signal.GetEvent(column.m_First);
        if (!first)
            break;
        if (column.m_X >= row.m_Width) {
            shapes.paintStretch(row, at(before), at(e1), &*first);
            break;
        }
        if (column.m_End - column.m_First == 1) {
            if (!shapes.paintStretch(row, at(before), at(e1), &*first))
                break;
            before = e1;
            e1 = first;
        } else {
            shapes.paintColumn(row, at(before), at(e1), column, &*first);
            before = signal.GetEvent(column.m_End - 2);
            e1 = signal.GetEvent(column.m_End - 1);
        }
        if (e1 && column.m_X >= 0)
            row.KnowX(e1->m_Time, column.m_X);
        index = column.m_End;
    }
}

// A scalar's row, in the shapes of its signal's type; node gives the value texts.
void paintSignal(Dovlin_ShapeWidget *shape, const QRect &rect, QPainter *painter, bool light, Dovlin_Signal &signal,
                 Dovlin_Hierarchy *node, int radix, bool digital)
{
    const int typeCode = signal.GetTypeCode();
    // An analog scale means nothing for triggers and texts: both modes draw them digital.
    digital = digital || typeCode == Dovlin_TypeCode::Event || typeCode == Dovlin_TypeCode::String;
    Dovlin_RowPainter row(shape, rect, painter, light, digital, node, radix);
    // The analog scale needs the smallest and the largest value, which cost a pass over the events.
    const std::optional<CSignalEvent> low = digital ? std::nullopt : signal.GetMinEvent();
    const std::optional<CSignalEvent> high = digital ? std::nullopt : signal.GetMaxEvent();
    const CSignalEvent *minEvent = low ? &*low : nullptr;
    const CSignalEvent *maxEvent = high ? &*high : nullptr;
    const Dovlin_Type *type = Dovlin_Type::OfTypeCode(typeCode);
    switch (typeCode) {
    case Dovlin_TypeCode::Integer:
        // The signal writes its values in its declared width.
        paintSignalRow(signal,
                      ValueShapes<IntegerValue>(static_cast<const Dovlin_IntSignal &>(signal), row, minEvent, maxEvent),
                      row);
        break;
    case Dovlin_TypeCode::Real:
        paintSignalRow(signal, ValueShapes<RealValue>(*type, row, minEvent, maxEvent), row);
        break;
    case Dovlin_TypeCode::Event:
        paintSignalRow(signal, EventShapes(), row);
        break;
    case Dovlin_TypeCode::String:
        paintSignalRow(signal,
                      ValueShapes<StringValue>(static_cast<const Dovlin_StringSignal &>(signal), row, nullptr, nullptr),
                      row);
        break;
    default:
        if (const Dovlin_StateType *states = Dovlin_StateType::OfTypeCode(typeCode))
            paintSignalRow(signal, StateShapes(*states, row, minEvent, maxEvent), row);
        break;
    }
}

// A bus or scope row: a crossing in every column where any bit or member changes, a filled band
// where several do, and the two rails between them. A bus shows its value inside each stretch,
// and draws in the colour of X wherever one of its bits is unknown.
void paintComposite(Dovlin_ShapeWidget *shape, const QRect &rect, QPainter *painter, bool light,
                    Dovlin_CompositeHierarchy &node, int radix)
{
    const bool bus = node.IsBus();
    Dovlin_RowPainter row(shape, rect, painter, light, true, bus ? &node : nullptr, radix);
    Dovlin_ChangeColumns columns;
    node.GetChangeColumns(row.m_Map, columns);
    if (bus)
        node.GetUnknownColumns(row.m_Map, columns);
    const auto colour = [&](int x) {
        return bus && columns.m_Unknown[size_t(qBound(0, x, row.m_Width - 1))]
                   ? Dovlin_CompositeHierarchy::m_UnknownColor
                   : Dovlin_CompositeHierarchy::m_Color;
    };
    // The value of a stretch holds from the column after its opening change on.
    const auto stretch = [&](int last, int x) {
        row.Rails(last + 1, x - 1, colour(last + 1));
        int left = last + 2, right = x - 2;
        if (row.LabelRoom(left, right))
            row.Label(left, right, node.ValueText(row.m_Map.FirstTimeOf(qMax(last + 1, 0)), row.m_Radix));
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
}
}

Dovlin_Shapes::Row Dovlin_Shapes::paintRow(Dovlin_ShapeWidget *shape, QPainter *painter, const QRect &rect,
                                           Dovlin_Hierarchy *node, int radix, bool digital, bool light)
{
    if (Dovlin_HierarchyView::IsDamaged(node))
        return Row::Drawn;
    switch (node->GetHierarchyCode()) {
    case Dovlin_HierarchyCode::Scalar:
        if (Dovlin_Signal *signal = node->GetSignal())
            paintSignal(shape, rect, painter, light, *signal, node, radix, digital);
        break;
    case Dovlin_HierarchyCode::Composite:
        paintComposite(shape, rect, painter, light, static_cast<Dovlin_CompositeHierarchy &>(*node), radix);
        break;
    }
    return Dovlin_HierarchyView::IsDamaged(node) ? Row::FoundDamage : Row::Drawn;
}
