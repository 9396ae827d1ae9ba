#include "Dovlin_Hierarchies.h"

#include "Dovlin_Columns.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"

#include <algorithm>
#include <iterator>
#include <limits>

Dovlin_Hierarchy::Dovlin_Hierarchy(Dovlin_FileManager *fileManager, int index, int hierarchyCode)
    : m_Index(index), m_HierarchyCode(hierarchyCode), m_FileManager(fileManager)
{
}

namespace {
// The smallest column at or after c that can still take a change (count below 2); columns that
// are full point past themselves, and lookups shorten the chains they walk.
int nextOpenColumn(std::vector<int> &next, int c)
{
    int root = c;
    while (next[size_t(root)] != root)
        root = next[size_t(root)];
    while (next[size_t(c)] != root) {
        const int following = next[size_t(c)];
        next[size_t(c)] = root;
        c = following;
    }
    return root;
}

// Merges sorted lists of distinct times as they come, as a binary counter adds: a list merges with
// the one on top of the stack while that is no more than twice as long. Leaves that change at the
// same times (all the flip-flops of one clock) shrink to one short list early, the work stays near
// the number of events times the depth of the stack, and only one leaf's times wait at a time.
class TimeMerger
{
public:
    void Add(std::vector<qint64> list)
    {
        while (!m_Stack.empty() && m_Stack.back().size() <= 2 * list.size()) {
            list = Union(m_Stack.back(), list);
            m_Stack.pop_back();
        }
        m_Stack.push_back(std::move(list));
    }
    std::vector<qint64> Take()
    {
        std::vector<qint64> all;
        while (!m_Stack.empty()) {
            all = Union(m_Stack.back(), all);
            m_Stack.pop_back();
        }
        return all;
    }

private:
    static std::vector<qint64> Union(const std::vector<qint64> &a, const std::vector<qint64> &b)
    {
        std::vector<qint64> both;
        both.reserve(a.size() + b.size());
        std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(both));
        return both;
    }

    std::vector<std::vector<qint64>> m_Stack;
};

// The first time of the sorted [from, last) that is not below time, in steps that double from
// `from` on and a binary search inside the last step: the next column's times lie near.
std::vector<qint64>::const_iterator lowerBoundFrom(std::vector<qint64>::const_iterator from,
                                                   std::vector<qint64>::const_iterator last, qint64 time)
{
    std::ptrdiff_t step = 1;
    while (step < last - from && from[step] < time) {
        from += step;
        step *= 2;
    }
    return std::lower_bound(from, step < last - from ? from + step : last, time);
}
}

namespace {
qint64 maxMergedEvents = qint64(1) << 25;
}

qint64 Dovlin_Hierarchy::MaxMergedEvents()
{
    return maxMergedEvents;
}

void Dovlin_Hierarchy::SetMaxMergedEvents(qint64 events)
{
    maxMergedEvents = events;
}

const std::vector<qint64> *Dovlin_Hierarchy::ChangeTimes() const
{
    if (m_ChangeTimesStructure != m_FileManager->Structure() || m_ChangeTimesLimit != maxMergedEvents
        || (m_ChangeTimesMerged && !m_FileManager->UseChangeTimes(m_Index))) {
        const std::vector<const Dovlin_Signal *> &signalList = LeafSignals();
        qint64 total = 0;
        for (const Dovlin_Signal *signal : signalList)
            total += signal->GetnEvent();
        std::vector<qint64>().swap(m_ChangeTimes);
        m_ChangeTimesMerged = total <= maxMergedEvents;
        m_ChangeTimesLimit = maxMergedEvents;
        if (m_ChangeTimesMerged) {
            TimeMerger merger;
            CSignalEvent events[Dovlin_Signal::m_BoxSize];
            for (const Dovlin_Signal *signal : signalList) {
                std::vector<qint64> times;
                times.reserve(size_t(signal->GetnEvent()));
                // A box that cannot be read ends the signal's times there: it is marked damaged.
                for (qint64 i = 1; i < signal->GetnEvent();) {
                    const qint64 take = qMin<qint64>(Dovlin_Signal::m_BoxSize - i % Dovlin_Signal::m_BoxSize, signal->GetnEvent() - i);
                    if (!signal->ReadEvents(i, take, events))
                        break;
                    for (qint64 e = 0; e < take; ++e)
                        if (times.empty() || times.back() != events[e].m_Time)
                            times.push_back(events[e].m_Time);
                    i += take;
                }
                merger.Add(std::move(times));
            }
            m_ChangeTimes = merger.Take();
            m_ChangeTimes.shrink_to_fit();
            m_FileManager->KeepChangeTimes(m_Index, qint64(m_ChangeTimes.capacity() * sizeof(qint64)));
        }
        m_ChangeTimesStructure = m_FileManager->Structure();
    }
    return m_ChangeTimesMerged ? &m_ChangeTimes : nullptr;
}

void Dovlin_Hierarchy::DropChangeTimes() const
{
    std::vector<qint64>().swap(m_ChangeTimes);
    m_ChangeTimesStructure = ~quint64(0);
}

// A bus or scope row needs, per pixel column, whether none, one or several distinct times of its
// leaves fall into it. With the leaves' times merged once, that is one search per column; without
// (too many events to merge), every leaf is walked over the columns not yet known to hold two.
void Dovlin_Hierarchy::GetChangeColumns(const Dovlin_ColumnMap &map, Dovlin_ChangeColumns &columns) const
{
    const int width = qMax(map.m_Width, 0);
    columns.m_Changes.assign(size_t(width), 0);
    columns.m_Before = false;
    columns.m_After = false;

    const std::vector<const Dovlin_Signal *> &signalList = LeafSignals();
    if (signalList.empty())
        return;
    // Every leaf starts with its sentinel at -1 and ends at its last event.
    columns.m_Before = map.m_Start > -1;
    columns.m_After = signalList.front()->GetLastTime() >= map.FirstTimeOf(width);

    if (const std::vector<qint64> *times = ChangeTimes()) {
        auto at = std::lower_bound(times->begin(), times->end(), map.m_Start);
        while (at != times->end()) {
            const int x = map.ColumnOf(*at);
            if (x >= width)
                break;
            const auto end = lowerBoundFrom(at + 1, times->end(), map.FirstTimeOf(x + 1));
            columns.m_Changes[size_t(x)] = end - at >= 2 ? 2 : 1;
            at = end;
        }
        return;
    }

    std::vector<int> next(size_t(width) + 1);
    for (int c = 0; c <= width; ++c)
        next[size_t(c)] = c;
    // The time of the one change seen so far in a column: a second leaf changing at that same
    // time is the same change.
    std::vector<qint64> seen(static_cast<size_t>(width));
    for (const Dovlin_Signal *signal : signalList) {
        const int open = nextOpenColumn(next, 0);
        // Leaves come latest end first: once one ends before the first open column, all do.
        if (open >= width || signal->GetLastTime() < map.FirstTimeOf(open))
            break;
        const qint64 count = signal->GetnEvent();
        qint64 index = qMax<qint64>(1, signal->FindEventIndex(map.FirstTimeOf(open)));
        for (int c = open; c < width && index < count;) {
            index = signal->FindEventIndex(map.FirstTimeOf(c), index);
            const std::optional<CSignalEvent> event = index < count ? signal->GetEvent(index) : std::nullopt;
            if (!event)
                break;
            const qint64 time = event->m_Time;
            const int x = map.ColumnOf(time);
            if (x >= width)
                break;
            if (nextOpenColumn(next, x) != x) {
                c = nextOpenColumn(next, x);
                continue;
            }
            const qint64 end = map.FirstTimeOf(x + 1);
            quint8 &changes = columns.m_Changes[size_t(x)];
            const qint64 later = signal->FindEventIndex(time + 1, index);
            const std::optional<CSignalEvent> following = later < count ? signal->GetEvent(later) : std::nullopt;
            const bool several = following && following->m_Time < end;
            if (several || (changes == 1 && seen[size_t(x)] != time)) {
                changes = 2;
                next[size_t(x)] = x + 1;
            } else if (changes == 0) {
                changes = 1;
                seen[size_t(x)] = time;
            }
            c = nextOpenColumn(next, x + 1);
        }
    }
}

// Each leaf is walked over the columns that hold its events: a column is unknown when the state
// held on entering it, or one of its own states, is; the state after its last event holds up to
// the next such column. Runs are marked at their ends and summed once, so a leaf costs its columns.
void Dovlin_Hierarchy::GetUnknownColumns(const Dovlin_ColumnMap &map, Dovlin_ChangeColumns &columns) const
{
    const int width = qMax(map.m_Width, 0);
    std::vector<int> runs(size_t(width) + 1, 0);
    const auto mark = [&runs](int from, int to) {
        if (from <= to) {
            ++runs[size_t(from)];
            --runs[size_t(to) + 1];
        }
    };
    // Not LeafSignals: a bit without events has no value anywhere, and that counts.
    std::vector<const Dovlin_Signal *> signalList;
    CollectSignals(signalList);
    for (const Dovlin_Signal *signal : signalList) {
        const quint32 known = Dovlin_StateType::KnownStates(signal->GetTypeCode());
        // The sentinel (stored event 0) is no value.
        const auto unknown = [&](qint64 i) {
            const std::optional<CSignalEvent> event = i > 0 ? signal->GetEvent(i) : std::nullopt;
            return !event || !(known & Dovlin_ValueRange::StateBit(event->m_Value.m_State));
        };
        const qint64 count = signal->HasEvent() ? signal->GetnEvent() : 0;
        qint64 index = count ? signal->FindEventIndex(map.m_Start) : 0;
        bool held = index >= count || unknown(index - 1);
        // Most bits hold 0 and 1 throughout: the summaries of their events in the window say so
        // without a walk, and only their end can fall inside it. The state held on entering the
        // window does not show when an event opens it.
        const std::optional<CSignalEvent> opening = index < count ? signal->GetEvent(index) : std::nullopt;
        if (!held || (opening && opening->m_Time == map.m_Start)) {
            const qint64 end = signal->FindEventIndex(map.FirstTimeOf(width), index);
            Dovlin_ValueRange range;
            signal->SummariseValues(index, end, range);
            if (!(range.m_StateMask & ~known)) {
                if (end >= count)
                    mark(map.ColumnOf(signal->GetLastTime()) + 1, width - 1);
                continue;
            }
        }
        bool ended = true;
        int from = 0;
        Dovlin_Column column;
        while (index < count && signal->NextColumn(map, index, column)) {
            const int x = column.m_X;
            if (x >= width) {
                ended = false;
                break;
            }
            const std::optional<CSignalEvent> first = signal->GetEvent(column.m_First);
            const bool opensColumn = first && first->m_Time == map.FirstTimeOf(x);
            if (held)
                mark(from, opensColumn ? x - 1 : x);
            if (column.m_First == 0 || (column.m_Values.m_StateMask & ~known))
                mark(x, x);
            held = unknown(column.m_End - 1);
            from = x + 1;
            index = column.m_End;
        }
        if (ended || held)
            mark(from, width - 1);
    }
    columns.m_Unknown.assign(size_t(width), 0);
    int depth = 0;
    for (int x = 0; x < width; ++x) {
        depth += runs[size_t(x)];
        columns.m_Unknown[size_t(x)] = depth > 0;
    }
}

const std::vector<const Dovlin_Signal *> &Dovlin_Hierarchy::LeafSignals() const
{
    if (m_LeafStructure != m_FileManager->Structure()) {
        m_LeafSignals.clear();
        CollectSignals(m_LeafSignals);
        // Aliases put one signal under several leaves; it counts once.
        std::sort(m_LeafSignals.begin(), m_LeafSignals.end());
        m_LeafSignals.erase(std::unique(m_LeafSignals.begin(), m_LeafSignals.end()), m_LeafSignals.end());
        m_LeafSignals.erase(std::remove_if(m_LeafSignals.begin(), m_LeafSignals.end(),
                                           [](const Dovlin_Signal *signal) { return !signal->HasEvent(); }),
                            m_LeafSignals.end());
        // Latest last event first: a walk can stop at the first leaf that ends left of what it needs.
        std::stable_sort(m_LeafSignals.begin(), m_LeafSignals.end(), [](const Dovlin_Signal *a, const Dovlin_Signal *b) {
            return a->GetLastTime() > b->GetLastTime();
        });
        m_LeafStructure = m_FileManager->Structure();
    }
    return m_LeafSignals;
}

Dovlin_ScalarHierarchy::Dovlin_ScalarHierarchy(Dovlin_FileManager *fileManager, int index)
    : Dovlin_Hierarchy(fileManager, index, Dovlin_HierarchyCode::Scalar)
{
}

void Dovlin_ScalarHierarchy::SetSignal(Dovlin_Signal *signal)
{
    m_SignalIndex = signal && signal->GetFileManager() == m_FileManager ? signal->GetIndex() : -1;
    m_FileManager->StructureChanged();
}

Dovlin_Signal *Dovlin_ScalarHierarchy::GetSignal() const
{
    return m_SignalIndex == -1 ? nullptr : m_FileManager->GetSignal(m_SignalIndex);
}

qint64 Dovlin_ScalarHierarchy::GetNextChangeTime(qint64 time) const
{
    const Dovlin_Signal *signal = GetSignal();
    if (!signal || time == std::numeric_limits<qint64>::max())
        return -1;
    const qint64 count = signal->GetnEvent();
    qint64 i = signal->FindEventIndex(qMax<qint64>(time + 1, 0));
    while (i < count && !signal->IsChange(i) && !signal->Damaged())
        ++i;
    const std::optional<CSignalEvent> event = i < count ? signal->GetEvent(i) : std::nullopt;
    return event ? event->m_Time : -1;
}

qint64 Dovlin_ScalarHierarchy::GetPrevChangeTime(qint64 time) const
{
    const Dovlin_Signal *signal = GetSignal();
    if (!signal)
        return -1;
    qint64 i = signal->FindEventIndex(time) - 1;
    while (i >= 1 && !signal->IsChange(i) && !signal->Damaged())
        --i;
    const std::optional<CSignalEvent> event = i >= 1 ? signal->GetEvent(i) : std::nullopt;
    return event ? event->m_Time : -1;
}

void Dovlin_ScalarHierarchy::CollectSignals(std::vector<const Dovlin_Signal *> &signalList) const
{
    if (const Dovlin_Signal *signal = GetSignal())
        signalList.push_back(signal);
}

QString Dovlin_ScalarHierarchy::ValueText(qint64 time, int radix)
{
    Dovlin_Signal *signal = GetSignal();
    if (!signal)
        return QString();
    const Dovlin_EnumTable *names = m_FileManager->EnumTable(m_EnumTable);
    if (radix != Dovlin_Radix::Names || !names)
        return signal->GetSignalState(time, radix);
    // A bit shows its state letter, an integer " <bits>b".
    QString bits = signal->GetSignalState(time, Dovlin_Radix::Binary);
    if (bits.startsWith(QLatin1Char(' ')) && bits.endsWith(QLatin1Char('b')))
        bits = bits.mid(1, bits.size() - 2);
    const QString literal = LiteralText(bits, radix, names);
    return literal.isEmpty() ? signal->GetSignalState(time, radix) : literal;
}

Dovlin_CompositeHierarchy::Dovlin_CompositeHierarchy(Dovlin_FileManager *fileManager, int index)
    : Dovlin_Hierarchy(fileManager, index, Dovlin_HierarchyCode::Composite)
{
}

bool Dovlin_CompositeHierarchy::AddHierarchy(Dovlin_Hierarchy *child)
{
    if (!child || child->m_FileManager != m_FileManager || child->m_ParentIndex != -1)
        return false;
    int pathLength = 0;
    for (const Dovlin_Hierarchy *node = this; node; node = m_FileManager->GetHierarchy(node->m_ParentIndex)) {
        if (node == child)
            return false;
        ++pathLength;
    }
    if (pathLength + child->GetMaxLevel() - child->m_Level >= m_MaxDepth)
        return false;
    m_Children.append(child->m_Index);
    child->m_ParentIndex = m_Index;
    child->ModifyLevels(m_Level + 1);
    m_FileManager->StructureChanged();
    return true;
}

bool Dovlin_CompositeHierarchy::IsBus() const
{
    if (m_BusStructure != m_FileManager->Structure()) {
        // A vector of the dump: one-bit logic leaves named after it ("data[3]"). A scope that
        // happens to hold only one-bit wires has no value of its own.
        const QString prefix = m_Name + QLatin1Char('[');
        constexpr int logicTypes = Dovlin_TypeCode::Bit | Dovlin_TypeCode::Verilog | Dovlin_TypeCode::StdLogic;
        m_Bus = !m_Children.isEmpty();
        for (int i = 0; m_Bus && i < m_Children.size(); ++i) {
            const Dovlin_Hierarchy *child = GetHierarchy(i);
            const Dovlin_Signal *signal = child ? child->GetSignal() : nullptr;
            m_Bus = signal && (signal->GetTypeCode() & logicTypes) && child->m_Name.startsWith(prefix);
        }
        m_BusStructure = m_FileManager->Structure();
    }
    return m_Bus;
}

Dovlin_Hierarchy *Dovlin_CompositeHierarchy::GetHierarchy(int i) const
{
    return i >= 0 && i < m_Children.size() ? m_FileManager->GetHierarchy(m_Children.at(i)) : nullptr;
}

int Dovlin_CompositeHierarchy::GetMaxLevel() const
{
    int maxLevel = m_Level;
    for (int i = 0; i < m_Children.size(); ++i) {
        if (const Dovlin_Hierarchy *child = GetHierarchy(i))
            maxLevel = qMax(maxLevel, child->GetMaxLevel());
    }
    return maxLevel;
}

void Dovlin_CompositeHierarchy::ModifyLevels(int level)
{
    m_Level = level;
    for (int i = 0; i < m_Children.size(); ++i) {
        if (Dovlin_Hierarchy *child = GetHierarchy(i))
            child->ModifyLevels(level + 1);
    }
}

qint64 Dovlin_CompositeHierarchy::GetNextChangeTime(qint64 time) const
{
    qint64 earliest = -1;
    for (int i = 0; i < m_Children.size(); ++i) {
        const Dovlin_Hierarchy *child = GetHierarchy(i);
        const qint64 next = child ? child->GetNextChangeTime(time) : -1;
        if (next >= 0 && (earliest < 0 || next < earliest))
            earliest = next;
    }
    return earliest;
}

qint64 Dovlin_CompositeHierarchy::GetPrevChangeTime(qint64 time) const
{
    qint64 latest = -1;
    for (int i = 0; i < m_Children.size(); ++i) {
        if (const Dovlin_Hierarchy *child = GetHierarchy(i))
            latest = qMax(latest, child->GetPrevChangeTime(time));
    }
    return latest;
}

void Dovlin_CompositeHierarchy::CollectSignals(std::vector<const Dovlin_Signal *> &signalList) const
{
    for (int i = 0; i < m_Children.size(); ++i)
        if (const Dovlin_Hierarchy *child = GetHierarchy(i))
            child->CollectSignals(signalList);
}

QString Dovlin_CompositeHierarchy::ValueText(qint64 time, int radix)
{
    if (IsBus()) {
        // A bit without a value next to bits with one (a damaged file) reads "?".
        QString bits;
        bool valued = false;
        for (int i = 0; i < m_Children.size(); ++i) {
            const QString bit = GetHierarchy(i)->ValueText(time);
            valued = valued || !bit.isEmpty();
            bits += bit.isEmpty() ? QStringLiteral("?") : bit;
        }
        return valued ? BusText(bits, radix, m_FileManager->EnumTable(m_EnumTable)) : QString();
    }
    // A scope has no value of its own: its members' texts run together, as far as anyone reads.
    QString text;
    for (int i = 0; i < m_Children.size(); ++i) {
        if (Dovlin_Hierarchy *child = GetHierarchy(i))
            text += child->ValueText(time);
        if (text.size() > m_ScopeTextLimit) {
            text.truncate(m_ScopeTextLimit);
            text += QChar(0x2026);
            break;
        }
    }
    return text;
}
