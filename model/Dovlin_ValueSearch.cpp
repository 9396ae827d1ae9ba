#include "Dovlin_ValueSearch.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"

#include <algorithm>
#include <array>
#include <climits>
#include <queue>

namespace {
constexpr int logicTypes = Dovlin_TypeCode::Bit | Dovlin_TypeCode::Verilog | Dovlin_TypeCode::StdLogic;

// The letter of each state of a signal's logic type, L and H read as 0 and 1; '?' beyond its states.
const std::array<char, 32> &lettersOf(const Dovlin_Signal *signal)
{
    static const auto build = [](const Dovlin_StateType &type) {
        std::array<char, 32> letters;
        for (int s = 0; s < 32; ++s) {
            const char letter = type.IsValidState(s) ? type.StateText(s)[0] : '?';
            letters[size_t(s)] = letter == 'L' ? '0' : letter == 'H' ? '1' : letter;
        }
        return letters;
    };
    static const std::array<char, 32> bit = build(Dovlin_BitType());
    static const std::array<char, 32> verilog = build(Dovlin_VerilogType());
    static const std::array<char, 32> stdLogic = build(Dovlin_StdLogicType());
    switch (signal->GetTypeCode()) {
    case Dovlin_TypeCode::Bit: return bit;
    case Dovlin_TypeCode::StdLogic: return stdLogic;
    default: return verilog;
    }
}

char letterAt(const std::array<char, 32> &letters, const CSignalEvent &event)
{
    const qint32 state = event.m_Value.m_State;
    return state >= 0 && state < 32 ? letters[size_t(state)] : '?';
}

// Stored event i of a signal. A box that cannot be read gives a default event and marks the
// signal damaged: the searches then stop and find nothing.
CSignalEvent eventOf(const Dovlin_Signal &signal, qint64 i)
{
    return signal.GetEvent(i).value_or(CSignalEvent());
}

bool known(char bit)
{
    return bit == '0' || bit == '1';
}

bool allKnown(const std::vector<char> &bits)
{
    return std::all_of(bits.begin(), bits.end(), known);
}
}

bool Dovlin_ValueSearch::Set(const Dovlin_Hierarchy *node, Compare compare, const QString &value, int radix)
{
    m_Compare = compare;
    m_Error.clear();
    m_Signed = radix == Dovlin_Radix::Signed;
    m_Signal = nullptr;
    m_Bits.clear();
    m_Integer = false;
    m_IntWidth = 64;
    m_Group = 0;
    m_Text = false;
    m_TextTargets.clear();
    m_Target.clear();
    m_HoldingStates = 0;

    const Dovlin_Signal *signal = node ? node->GetSignal() : nullptr;
    int width = 1;
    if (node && node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite
        && static_cast<const Dovlin_CompositeHierarchy *>(node)->IsBus()) {
        const auto *bus = static_cast<const Dovlin_CompositeHierarchy *>(node);
        for (int i = 0; i < bus->GetnChild(); ++i)
            m_Bits.push_back(bus->GetHierarchy(i)->GetSignal());
        width = int(m_Bits.size());
    } else if (signal && signal->GetTypeCode() == Dovlin_TypeCode::Integer) {
        m_Signal = signal;
        m_Integer = true;
        m_IntWidth = qBound(1, static_cast<const Dovlin_IntSignal *>(signal)->DeclaredWidth(), 64);
        width = m_IntWidth;
    } else if (signal && (signal->GetTypeCode() & logicTypes)) {
        m_Signal = signal;
    } else if (signal && signal->GetTypeCode() == Dovlin_TypeCode::String) {
        m_Signal = signal;
        m_Text = true;
        return SetText(value);
    } else {
        m_Error = QStringLiteral("Values can be found on a one-bit signal, a bus, an integer or a text only");
        return false;
    }
    // A literal of the node's enumeration reads as its value; other texts as binary.
    QString typed = value;
    if (radix == Dovlin_Radix::Names) {
        radix = Dovlin_Radix::Binary;
        const Dovlin_EnumTable *names = node->GetFileManager()->EnumTable(node->m_EnumTable);
        const qsizetype literal = names ? names->m_Literals.indexOf(value.trimmed()) : -1;
        if (literal >= 0 && literal < names->m_Values.size())
            typed = names->m_Values.at(literal);
    }
    if (TakesValue(compare) && !ParseValue(typed, radix, width, m_Target))
        return false;
    if ((compare == Less || compare == Greater || m_Integer) && !allKnown(m_Target)) {
        m_Error = QStringLiteral("%1 has bits that are not 0 or 1").arg(value.trimmed());
        return false;
    }
    if (m_Integer) {
        quint64 bits = 0;
        for (char bit : m_Target)
            bits = bits << 1 | (bit == '1' ? 1 : 0);
        m_IntTarget = Normal(qint64(bits));
    } else if (m_Signal) {
        const std::array<char, 32> &letters = lettersOf(m_Signal);
        for (int s = 0; s < 32; ++s)
            if (Holds(Bits{letters[size_t(s)]}))
                m_HoldingStates |= quint32(1) << s;
    }
    return true;
}

bool Dovlin_ValueSearch::SetText(const QString &value)
{
    if (m_Compare != Equal && m_Compare != NotEqual && m_Compare != AnyChange) {
        m_Error = QStringLiteral("A text is found with = or != or as any change, not by order, edges or unknown bits");
        return false;
    }
    if (!TakesValue(m_Compare))
        return true;
    const QString text = value.trimmed();
    if (text.isEmpty()) {
        m_Error = QStringLiteral("Type a text to compare with");
        return false;
    }
    const Dovlin_FileManager *strings = m_Signal->GetFileManager();
    for (qint64 i = 0; i < strings->GetnString(); ++i)
        if (strings->GetString(i).trimmed() == text)
            m_TextTargets.push_back(i);
    return true;
}

bool Dovlin_ValueSearch::ParseValue(QString text, int radix, int width, Bits &bits)
{
    const QString original = text.trimmed();
    text = original.toUpper();
    const auto fail = [&](const QString &why) {
        m_Error = original.isEmpty() ? QStringLiteral("Type a value to compare with") : original + QStringLiteral(": ") + why;
        return false;
    };
    if (text.isEmpty())
        return fail(QString());
    // One letter that is no digit of the radix stands for every bit.
    if (text.size() == 1 && QStringLiteral("XZUW-").contains(text[0])) {
        bits.assign(size_t(width), text[0].toLatin1());
        return true;
    }
    Bits read;
    // The decimal radices show a value with unknown bits in binary: such a text reads as binary.
    const bool decimal = radix == Dovlin_Radix::Unsigned || radix == Dovlin_Radix::Signed;
    const bool binaryText = text.size() > 1 && text.endsWith(QLatin1Char('B'))
                            && std::all_of(text.cbegin(), text.cend() - 1, [](QChar c) { return QStringLiteral("01XZUWLH-").contains(c); });
    if (!decimal || binaryText) {
        // Bits per digit, the radix's own letter after the digits, and its digits.
        const int bitsPerDigit = radix == Dovlin_Radix::Octal ? 3 : radix == Dovlin_Radix::Hexadecimal ? 4 : 1;
        const QString digits = QStringLiteral("0123456789ABCDEF").left(1 << bitsPerDigit);
        if (text.endsWith(QLatin1Char(bitsPerDigit == 1 ? 'B' : bitsPerDigit == 3 ? 'O' : 'H')))
            text.chop(1);
        if (text.isEmpty())
            return fail(QStringLiteral("no digits"));
        for (const QChar c : text) {
            if (c == QLatin1Char('X') && bitsPerDigit > 1) {
                // A hexadecimal or octal X is any group of bits that reads X.
                read.insert(read.end(), size_t(bitsPerDigit), AnyMixed);
                m_Group = bitsPerDigit;
            } else if (QStringLiteral("XZUW-").contains(c)) {
                read.insert(read.end(), size_t(bitsPerDigit), c.toLatin1());
            } else if (bitsPerDigit == 1 && (c == QLatin1Char('L') || c == QLatin1Char('H'))) {
                read.push_back(c == QLatin1Char('L') ? '0' : '1');
            } else if (digits.contains(c)) {
                const int digit = int(digits.indexOf(c));
                for (int b = bitsPerDigit - 1; b >= 0; --b)
                    read.push_back(digit >> b & 1 ? '1' : '0');
            } else {
                return fail(QStringLiteral("not a digit of the radix: %1").arg(c));
            }
        }
    } else {
        bool negative = false;
        if (text.endsWith(QLatin1Char('D')) || text.endsWith(QLatin1Char('U')))
            text.chop(1);
        if (radix == Dovlin_Radix::Signed && text.startsWith(QLatin1Char('-'))) {
            negative = true;
            text.remove(0, 1);
        }
        if (text.isEmpty() || !std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.isDigit() && c.unicode() < 128; }))
            return fail(QStringLiteral("not a decimal value"));
        // The magnitude in `width` + 1 bits, least significant first, times ten plus each digit.
        std::vector<quint8> magnitude(size_t(width) + 1, 0);
        for (const QChar c : text) {
            unsigned carry = unsigned(c.unicode() - '0');
            for (quint8 &bit : magnitude) {
                const unsigned next = bit * 10u + carry;
                bit = quint8(next & 1);
                carry = next >> 1;
            }
            if (carry)
                return fail(QStringLiteral("out of range for %1 bits").arg(width));
        }
        const auto above = [&](size_t from) { return std::any_of(magnitude.begin() + qsizetype(from), magnitude.end(), [](quint8 b) { return b; }); };
        // A signed value of `width` bits lies in [-2^(width-1), 2^(width-1) - 1].
        if (radix == Dovlin_Radix::Signed) {
            const size_t top = size_t(width) - 1;
            const bool limit = magnitude[top] && !above(top + 1) && std::none_of(magnitude.begin(), magnitude.begin() + qsizetype(top), [](quint8 b) { return b; });
            if (above(top) && !(negative && limit))
                return fail(QStringLiteral("out of range for %1 bits").arg(width));
        } else if (above(size_t(width))) {
            return fail(QStringLiteral("out of range for %1 bits").arg(width));
        }
        // Two's complement of a negative value: the bits inverted, plus one.
        bool carry = negative;
        for (size_t b = 0; b < size_t(width); ++b) {
            unsigned bit = negative ? 1u - magnitude[b] : magnitude[b];
            bit += carry;
            carry = bit >> 1;
            magnitude[b] = quint8(bit & 1);
        }
        for (int b = width - 1; b >= 0; --b)
            read.push_back(magnitude[size_t(b)] ? '1' : '0');
    }
    // Leading zeros beyond the width are dropped, and so are the rest of a top digit that is a
    // letter (a short top group reads as the letter of its bits); anything else does not fit.
    while (int(read.size()) > width) {
        const char top = read[read.size() - size_t(width)];
        const bool letter = !known(top) && read.front() == top;
        if (read.front() != '0' && read.front() != AnyMixed && !letter)
            return fail(QStringLiteral("wider than %1 bits").arg(width));
        read.erase(read.begin());
    }
    read.insert(read.begin(), size_t(width) - read.size(), '0');
    bits = std::move(read);
    return true;
}

qint64 Dovlin_ValueSearch::Normal(qint64 value) const
{
    if (m_IntWidth >= 64)
        return value;
    const quint64 low = quint64(value) & ((quint64(1) << m_IntWidth) - 1);
    const quint64 sign = quint64(1) << (m_IntWidth - 1);
    return m_Signed && (low & sign) ? qint64(low | ~((sign << 1) - 1)) : qint64(low);
}

bool Dovlin_ValueSearch::Matches(const Bits &value) const
{
    if (m_Group == 0)
        return value == m_Target;
    if (value.size() != m_Target.size())
        return false;
    for (size_t end = value.size(); end > 0;) {
        const size_t begin = end > size_t(m_Group) ? end - size_t(m_Group) : 0;
        if (m_Target[begin] == AnyMixed) {
            // The group reads X: bits of one state X, or of several states not all 0 and 1.
            bool allKnown = true, same = true;
            for (size_t i = begin; i < end; ++i) {
                allKnown = allKnown && known(value[i]);
                same = same && value[i] == value[begin];
            }
            if (same ? value[begin] != 'X' : allKnown)
                return false;
        } else if (!std::equal(value.begin() + qsizetype(begin), value.begin() + qsizetype(end), m_Target.begin() + qsizetype(begin))) {
            return false;
        }
        end = begin;
    }
    return true;
}

int Dovlin_ValueSearch::CompareKnown(const Bits &a, const Bits &b) const
{
    if (m_Signed && !a.empty() && a.front() != b.front())
        return a.front() == '1' ? -1 : 1;
    return a < b ? -1 : b < a ? 1 : 0;
}

bool Dovlin_ValueSearch::Holds(const Bits &value) const
{
    if (value.empty())
        return false;
    switch (m_Compare) {
    case Equal: return Matches(value);
    case NotEqual: return !Matches(value);
    case Less: return allKnown(value) && CompareKnown(value, m_Target) < 0;
    case Greater: return allKnown(value) && CompareKnown(value, m_Target) > 0;
    case Unknown: return !allKnown(value);
    default: return false;
    }
}

bool Dovlin_ValueSearch::Becomes(const Bits &before, const Bits &after) const
{
    if (after.empty())
        return false;
    switch (m_Compare) {
    case AnyChange: return before != after;
    case Rises:
    case Falls: {
        if (before.empty() || before == after)
            return false;
        const int sign = m_Compare == Rises ? 1 : -1;
        if (after.size() == 1) {
            const char from = before[0];
            const char to = after[0];
            const char low = sign > 0 ? '0' : '1';
            const char high = sign > 0 ? '1' : '0';
            return (from == low && to != low) || (!known(from) && to == high);
        }
        return allKnown(before) && allKnown(after) && CompareKnown(after, before) * sign > 0;
    }
    default: return Holds(after) && (before.empty() || !Holds(before));
    }
}

bool Dovlin_ValueSearch::MayBecome(qint64 first, qint64 end) const
{
    Dovlin_ValueRange range;
    m_Signal->SummariseValues(first, end, range);
    if (m_Text) {
        // = needs a target's index inside the range of indices; != anything but one target's alone.
        const auto target = std::lower_bound(m_TextTargets.begin(), m_TextTargets.end(), range.m_MinInt);
        const bool someTarget = target != m_TextTargets.end() && *target <= range.m_MaxInt;
        switch (m_Compare) {
        case Equal: return someTarget;
        case NotEqual: return range.m_MinInt != range.m_MaxInt || !someTarget;
        default: return true;
        }
    }
    if (!m_Integer) {
        switch (m_Compare) {
        case Equal:
        case NotEqual:
        case Less:
        case Greater:
        case Unknown: return range.m_StateMask & m_HoldingStates;
        default: return true;
        }
    }
    if (m_IntWidth < 64) {
        // Stored values hold their declared width's pattern sign-extended or not; from -2^(w-1)
        // to 2^w - 1 each pattern has those two forms only. Outside that, no bound holds.
        const qint64 half = qint64(1) << (m_IntWidth - 1);
        if (range.m_MinInt < -half || range.m_MaxInt > 2 * half - 1)
            return true;
        const qint64 pattern = m_IntTarget & (2 * half - 1);
        const qint64 extended = pattern >= half ? pattern - 2 * half : pattern;
        const auto inRange = [&](qint64 v) { return range.m_MinInt <= v && v <= range.m_MaxInt; };
        // Where every value is its own normal form, the bounds below hold as they are.
        const bool normal = m_Signed ? range.m_MaxInt < half : range.m_MinInt >= 0;
        switch (m_Compare) {
        case Equal: return inRange(pattern) || inRange(extended);
        case NotEqual: return range.m_MinInt != range.m_MaxInt || Normal(range.m_MinInt) != m_IntTarget;
        case Unknown: return false;
        case Less:
        case Greater:
            if (!normal)
                return true;
            break;
        default: return true;
        }
    }
    // Signed bounds order the values as unsigned ones too when they share a sign.
    const bool sameSign = range.m_MinInt >= 0 || range.m_MaxInt < 0;
    const bool bySign = m_Signed || sameSign;
    const auto below = [&](qint64 a, qint64 b) { return m_Signed ? a < b : quint64(a) < quint64(b); };
    switch (m_Compare) {
    case Equal: return range.m_MinInt <= m_IntTarget && m_IntTarget <= range.m_MaxInt;
    case NotEqual: return range.m_MinInt != m_IntTarget || range.m_MaxInt != m_IntTarget;
    case Less: return !bySign || below(range.m_MinInt, m_IntTarget);
    case Greater: return !bySign || below(m_IntTarget, range.m_MaxInt);
    case Unknown: return false;
    default: return true;
    }
}

Dovlin_ValueSearch::Bits Dovlin_ValueSearch::ValueOf(qint64 event) const
{
    if (event < 1)
        return Bits();
    return Bits{letterAt(lettersOf(m_Signal), eventOf(*m_Signal, event))};
}

qint64 Dovlin_ValueSearch::Find(qint64 from, bool forward) const
{
    if (!m_Error.isEmpty() || (!m_Signal && m_Bits.empty()))
        return -1;
    return m_Signal ? FindInSignal(from, forward) : FindInBus(from, forward);
}

// Whole runs and pairs of boxes whose summaries rule the condition out are passed over; the
// events of the others are read one by one, each with the one before it.
qint64 Dovlin_ValueSearch::FindInSignal(qint64 from, bool forward) const
{
    const Dovlin_Signal &signal = *m_Signal;
    const qint64 count = signal.GetnEvent();
    constexpr qint64 run = qint64(Dovlin_Signal::m_BoxSize) * Dovlin_Signal::m_BoxSize;
    constexpr qint64 pair = 2 * Dovlin_Signal::m_BoxSize;
    const auto isTarget = [&](qint64 v) {
        return m_Text ? std::binary_search(m_TextTargets.begin(), m_TextTargets.end(), v) : v == m_IntTarget;
    };
    const auto valueAt = [&](qint64 i) {
        const qint64 value = eventOf(signal, i).m_Value.m_IntValue;
        return m_Integer ? Normal(value) : value;
    };
    const auto becomesAt = [&](qint64 i) {
        if (m_Integer || m_Text) {
            const qint64 after = valueAt(i);
            const bool first = i == 1;
            const qint64 before = first ? 0 : valueAt(i - 1);
            const auto below = [&](qint64 a, qint64 b) { return m_Signed ? a < b : quint64(a) < quint64(b); };
            const auto holds = [&](qint64 v) {
                switch (m_Compare) {
                case Equal: return isTarget(v);
                case NotEqual: return !isTarget(v);
                case Less: return below(v, m_IntTarget);
                case Greater: return below(m_IntTarget, v);
                default: return false;
                }
            };
            switch (m_Compare) {
            case AnyChange: return first || before != after;
            case Rises: return !first && below(before, after);
            case Falls: return !first && below(after, before);
            case Unknown: return false;
            default: return holds(after) && (first || !holds(before));
            }
        }
        return Becomes(ValueOf(i - 1), ValueOf(i));
    };
    if (forward) {
        for (qint64 i = qMax<qint64>(1, signal.FindEventIndex(from == LLONG_MAX ? from : from + 1)); i < count;) {
            if (signal.Damaged())
                return -1;
            if (i % run == 0 && i + run <= count && !MayBecome(i, i + run)) {
                i += run;
            } else if (i % pair == 0 && i + pair <= count && !MayBecome(i, i + pair)) {
                i += pair;
            } else {
                if (becomesAt(i) && !signal.Damaged())
                    return eventOf(signal, i).m_Time;
                ++i;
            }
        }
        return -1;
    }
    for (qint64 end = signal.FindEventIndex(from); end > 1;) {
        if (signal.Damaged())
            return -1;
        if (end % run == 0 && end - run >= 1 && !MayBecome(end - run, end)) {
            end -= run;
        } else if (end % pair == 0 && end - pair >= 1 && !MayBecome(end - pair, end)) {
            end -= pair;
        } else {
            --end;
            if (becomesAt(end) && !signal.Damaged())
                return eventOf(signal, end).m_Time;
        }
    }
    return -1;
}

// The bits' events are merged in time order through a heap; at each time every bit that changes
// there moves on at once, and the bus value before and after is compared. Times at or past limit
// (forward) or before it (backward) are left alone.
qint64 Dovlin_ValueSearch::WalkBus(qint64 from, bool forward, qint64 limit) const
{
    const size_t width = m_Bits.size();
    std::vector<qint64> next(width);
    std::vector<std::array<char, 32>> letters(width);
    Bits value(width);
    using Entry = std::pair<qint64, size_t>;
    // Forward: the earliest pending event first; backward: the latest.
    const auto later = [forward](const Entry &a, const Entry &b) { return forward ? a.first > b.first : a.first < b.first; };
    std::priority_queue<Entry, std::vector<Entry>, decltype(later)> pending(later);
    const auto letterOf = [&](size_t b, qint64 i) { return i >= 1 ? letterAt(letters[b], eventOf(*m_Bits[b], i)) : '\0'; };
    const auto timeOf = [&](size_t b, qint64 i) { return eventOf(*m_Bits[b], i).m_Time; };
    for (size_t b = 0; b < width; ++b) {
        const Dovlin_Signal *signal = m_Bits[b];
        letters[b] = lettersOf(signal);
        if (forward) {
            // The value in force at `from`, then the events after it.
            const qint64 first = signal->FindEventIndex(from == LLONG_MAX ? from : from + 1);
            next[b] = first;
            value[b] = letterOf(b, first - 1);
            if (first < signal->GetnEvent())
                pending.emplace(timeOf(b, first), b);
        } else {
            // The value after the last event before `from`; that event is the first to undo.
            const qint64 last = signal->FindEventIndex(from) - 1;
            next[b] = last;
            value[b] = letterOf(b, last);
            if (last >= 1)
                pending.emplace(timeOf(b, last), b);
        }
    }
    const auto damaged = [this] {
        return std::any_of(m_Bits.begin(), m_Bits.end(), [](const Dovlin_Signal *bit) { return bit->Damaged(); });
    };
    while (!pending.empty() && !damaged()) {
        const qint64 time = pending.top().first;
        if (forward ? time >= limit : time < limit)
            break;
        Bits before = value;
        while (!pending.empty() && pending.top().first == time) {
            const size_t b = pending.top().second;
            pending.pop();
            const Dovlin_Signal *signal = m_Bits[b];
            qint64 &i = next[b];
            if (forward) {
                while (i + 1 < signal->GetnEvent() && timeOf(b, i + 1) == time)
                    ++i;
                value[b] = letterOf(b, i);
                if (++i < signal->GetnEvent())
                    pending.emplace(timeOf(b, i), b);
            } else {
                while (i - 1 >= 1 && timeOf(b, i - 1) == time)
                    --i;
                value[b] = letterOf(b, i - 1);
                if (--i >= 1)
                    pending.emplace(timeOf(b, i), b);
            }
        }
        // Going back, `before` holds the value after the time and `value` the one before it.
        const Bits &after = forward ? value : before;
        const Bits &prior = forward ? before : value;
        const auto complete = [](const Bits &bits) {
            return std::find(bits.begin(), bits.end(), '\0') == bits.end() ? bits : Bits();
        };
        if (Becomes(complete(prior), complete(after)) && !damaged())
            return time;
    }
    return -1;
}

// Stretches of time over which some bit's box summaries rule the condition out are passed over
// whole: the stretches follow the busiest bit's runs of boxes.
qint64 Dovlin_ValueSearch::FindInBus(qint64 from, bool forward) const
{
    if (m_Compare > Greater && m_Compare != Unknown)
        return WalkBus(from, forward, forward ? LLONG_MAX : LLONG_MIN);
    const size_t width = m_Bits.size();
    // Per bit, the states that read as its target letter, those that are unknown, 0 and 1.
    std::vector<quint32> wanted(width, 0), unknown(width, 0), zeros(width, 0), ones(width, 0);
    const Dovlin_Signal *busiest = m_Bits.front();
    for (size_t b = 0; b < width; ++b) {
        const std::array<char, 32> &letters = lettersOf(m_Bits[b]);
        for (int s = 0; s < 32; ++s) {
            if (!m_Target.empty() && (letters[size_t(s)] == m_Target[b] || m_Target[b] == AnyMixed))
                wanted[b] |= quint32(1) << s;
            (letters[size_t(s)] == '0' ? zeros : letters[size_t(s)] == '1' ? ones : unknown)[b] |= quint32(1) << s;
        }
        if (m_Bits[b]->GetnEvent() > busiest->GetnEvent())
            busiest = m_Bits[b];
    }
    // Whether the condition may hold at some time of [start, end). For < and >, the smallest and
    // the largest value the bits' states allow are compared with the target.
    Bits least(width), most(width);
    const auto mayHold = [&](qint64 start, qint64 end) {
        bool any = false;
        for (size_t b = 0; b < width; ++b) {
            const Dovlin_Signal *signal = m_Bits[b];
            const qint64 first = qMax<qint64>(1, signal->FindEventIndex(start == LLONG_MAX ? start : start + 1) - 1);
            Dovlin_ValueRange range;
            signal->SummariseValues(first, end == LLONG_MAX ? signal->GetnEvent() : signal->FindEventIndex(end), range);
            switch (m_Compare) {
            case Equal:
                if (!(range.m_StateMask & wanted[b]))
                    return false;
                break;
            case NotEqual: any = any || (range.m_StateMask & ~wanted[b]); break;
            case Unknown: any = any || (range.m_StateMask & unknown[b]); break;
            default: {
                const bool zero = range.m_StateMask & zeros[b];
                const bool one = range.m_StateMask & ones[b];
                if (!zero && !one)
                    return false;
                // A signed bus's top bit weighs negative.
                const bool flip = m_Signed && b == 0;
                least[b] = (flip ? one : !zero) ? '1' : '0';
                most[b] = (flip ? !zero : one) ? '1' : '0';
                break;
            }
            }
        }
        if (m_Compare == Less)
            return CompareKnown(least, m_Target) < 0;
        if (m_Compare == Greater)
            return CompareKnown(most, m_Target) > 0;
        return m_Compare == Equal || any;
    };
    constexpr qint64 run = qint64(Dovlin_Signal::m_BoxSize) * Dovlin_Signal::m_BoxSize;
    const qint64 count = busiest->GetnEvent();
    if (forward) {
        for (qint64 start = from == LLONG_MAX ? from : from + 1;;) {
            const qint64 next = busiest->FindEventIndex(start) + run;
            // Events at one time may fill a whole run: a stretch is never empty.
            const qint64 end = next < count ? qMax(eventOf(*busiest, next).m_Time, start + 1) : LLONG_MAX;
            if (busiest->Damaged())
                return -1;
            if (mayHold(start, end)) {
                const qint64 found = WalkBus(start - 1, true, end);
                if (found >= 0)
                    return found;
            }
            if (end == LLONG_MAX)
                return -1;
            start = end;
        }
    }
    for (qint64 end = from; end > LLONG_MIN;) {
        const qint64 previous = busiest->FindEventIndex(end) - run;
        const qint64 start = previous >= 1 ? qMin(eventOf(*busiest, previous).m_Time, end - 1) : LLONG_MIN;
        if (busiest->Damaged())
            return -1;
        if (mayHold(qMax<qint64>(start, -1), end)) {
            const qint64 found = WalkBus(end, false, start);
            if (found >= 0)
                return found;
        }
        end = start;
    }
    return -1;
}
