#include "Dovlin_Hierarchies.h"

#include "Dovlin_Columns.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"

#include <algorithm>
#include <limits>

Dovlin_Hierarchy::Dovlin_Hierarchy(Dovlin_FileManager *fileManager, int hierarchyCode)
    : m_HierarchyCode(hierarchyCode), m_FileManager(fileManager)
{
    m_FileManager->AddHierarchy(this);
}

bool Dovlin_Hierarchy::SaveHeader(Dovlin_WaveWriter &writer)
{
    return writer.WriteInt32(m_Level) && writer.WriteInt32(m_Shown ? 1 : 0) && writer.WriteInt32(m_Digital ? 1 : 0);
}

bool Dovlin_Hierarchy::LoadHeader(Dovlin_WaveReader &reader)
{
    qint32 level = 0;
    qint32 shown = 0;
    qint32 digital = 0;
    if (!reader.ReadInt32(level) || !reader.ReadInt32(shown) || !reader.ReadInt32(digital))
        return reader.Truncated(QStringLiteral("record of node %1").arg(m_Index));
    m_Level = level;
    m_Shown = shown != 0;
    m_Digital = digital != 0;
    return true;
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
}

// Every leaf is walked only over the columns that are not yet known to hold two changes, so a
// bus or scope of many busy leaves costs about as much as the canvas is wide.
void Dovlin_Hierarchy::GetChangeColumns(const Dovlin_ColumnMap &map, Dovlin_ChangeColumns &columns) const
{
    const int width = qMax(map.m_Width, 0);
    columns.m_Changes.assign(size_t(width), 0);
    columns.m_Before = false;
    columns.m_After = false;

    std::vector<const Dovlin_Signal *> signalList;
    CollectSignals(signalList);
    std::sort(signalList.begin(), signalList.end());
    signalList.erase(std::unique(signalList.begin(), signalList.end()), signalList.end());

    std::vector<int> next(size_t(width) + 1);
    for (int c = 0; c <= width; ++c)
        next[size_t(c)] = c;
    const qint64 beyond = map.FirstTimeOf(width);

    for (const Dovlin_Signal *signal : signalList) {
        const qint64 count = signal->GetnEvent();
        if (count == 0)
            continue;
        qint64 index = signal->FindEventIndex(map.m_Start);
        columns.m_Before = columns.m_Before || index > 0;
        columns.m_After = columns.m_After || signal->GetLastTime() >= beyond;
        for (int c = nextOpenColumn(next, 0); c < width && index < count;) {
            index = signal->FindEventIndex(map.FirstTimeOf(c), index);
            if (index >= count)
                break;
            const int x = map.ColumnOf(signal->GetEvent(index)->m_Time);
            if (x >= width)
                break;
            if (nextOpenColumn(next, x) != x) {
                c = nextOpenColumn(next, x);
                continue;
            }
            const qint64 end = map.FirstTimeOf(x + 1);
            quint8 &changes = columns.m_Changes[size_t(x)];
            const bool several = index + 1 < count && signal->GetEvent(index + 1)->m_Time < end;
            changes = quint8(qMin(2, changes + (several ? 2 : 1)));
            if (changes >= 2)
                next[size_t(x)] = x + 1;
            c = nextOpenColumn(next, x + 1);
        }
    }
}

Dovlin_ScalarHierarchy::Dovlin_ScalarHierarchy(Dovlin_FileManager *fileManager)
    : Dovlin_Hierarchy(fileManager, Dovlin_HierarchyCode::Scalar)
{
}

void Dovlin_ScalarHierarchy::SetSignal(Dovlin_Signal *signal)
{
    m_SignalIndex = signal && signal->GetFileManager() == m_FileManager ? signal->GetIndex() : -1;
    m_EventPos = nullptr;
}

Dovlin_Signal *Dovlin_ScalarHierarchy::GetSignal() const
{
    return m_SignalIndex == -1 ? nullptr : m_FileManager->GetSignal(m_SignalIndex);
}

CSignalEvent *Dovlin_ScalarHierarchy::FindEvent(qint64 time)
{
    Dovlin_Signal *signal = GetSignal();
    if (!signal)
        return nullptr;
    m_EventPos = signal->FindEventPos(time);
    return signal->GetPrevEventPos(m_EventPos);
}

CSignalEvent *Dovlin_ScalarHierarchy::GetPrevEvent()
{
    Dovlin_Signal *signal = GetSignal();
    return signal ? signal->GetPrevEventPos(m_EventPos) : nullptr;
}

CSignalEvent *Dovlin_ScalarHierarchy::GetNextEvent(qint64 time)
{
    Dovlin_Signal *signal = GetSignal();
    if (!signal || !m_EventPos)
        return nullptr;
    // A cursor on the sentinel has no head; it counts as earlier than any time.
    CSignalEvent *head = signal->GetPrevEventPos(m_EventPos);
    if (head && head->m_Time > time)
        return head;
    return signal->GetNextEventPos(m_EventPos);
}

qint64 Dovlin_ScalarHierarchy::GetNextChangeTime(qint64 time) const
{
    const Dovlin_Signal *signal = GetSignal();
    if (!signal || time == std::numeric_limits<qint64>::max())
        return -1;
    const qint64 count = signal->GetnEvent();
    qint64 i = signal->FindEventIndex(qMax<qint64>(time + 1, 0));
    while (i < count && !signal->IsChange(i))
        ++i;
    return i < count ? signal->GetEvent(i)->m_Time : -1;
}

qint64 Dovlin_ScalarHierarchy::GetPrevChangeTime(qint64 time) const
{
    const Dovlin_Signal *signal = GetSignal();
    if (!signal)
        return -1;
    qint64 i = signal->FindEventIndex(time) - 1;
    while (i >= 1 && !signal->IsChange(i))
        --i;
    return i >= 1 ? signal->GetEvent(i)->m_Time : -1;
}

void Dovlin_ScalarHierarchy::CollectSignals(std::vector<const Dovlin_Signal *> &signalList) const
{
    if (const Dovlin_Signal *signal = GetSignal())
        signalList.push_back(signal);
}

bool Dovlin_ScalarHierarchy::SaveHeader(Dovlin_WaveWriter &writer)
{
    return Dovlin_Hierarchy::SaveHeader(writer) && writer.WriteInt32(m_SignalIndex);
}

bool Dovlin_ScalarHierarchy::LoadHeader(Dovlin_WaveReader &reader)
{
    if (!Dovlin_Hierarchy::LoadHeader(reader))
        return false;
    const qint64 at = reader.Offset();
    qint32 signalIndex = 0;
    if (!reader.ReadInt32(signalIndex))
        return reader.Truncated(QStringLiteral("record of node %1").arg(m_Index));
    if (signalIndex < -1 || signalIndex >= m_FileManager->GetnSignal())
        return reader.Fail(QStringLiteral("signal index %1 of node %2 at offset %3 out of range").arg(signalIndex).arg(m_Index).arg(at));
    m_SignalIndex = signalIndex;
    return true;
}

QString Dovlin_ScalarHierarchy::GetSignalState(qint64 time)
{
    if (!IsCached(time)) {
        m_StateTime = time;
        Dovlin_Signal *signal = GetSignal();
        m_StateText = signal ? signal->GetSignalState(time, m_Radix) : QStringLiteral(" ");
    }
    return m_StateText;
}

Dovlin_CompositeHierarchy::Dovlin_CompositeHierarchy(Dovlin_FileManager *fileManager)
    : Dovlin_Hierarchy(fileManager, Dovlin_HierarchyCode::Composite)
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
    return true;
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

// Asks every child (each call moves the child's cursor) and keeps the earliest answer; on
// equal times the earlier child wins.
template <typename Query>
CSignalEvent *Dovlin_CompositeHierarchy::EarliestOfChildren(Query query)
{
    CSignalEvent *earliest = nullptr;
    for (int i = 0; i < m_Children.size(); ++i) {
        Dovlin_Hierarchy *child = GetHierarchy(i);
        if (!child)
            continue;
        CSignalEvent *event = query(child);
        if (event && (!earliest || event->m_Time < earliest->m_Time))
            earliest = event;
    }
    return earliest;
}

CSignalEvent *Dovlin_CompositeHierarchy::FindEvent(qint64 time)
{
    return EarliestOfChildren([time](Dovlin_Hierarchy *child) { return child->FindEvent(time); });
}

CSignalEvent *Dovlin_CompositeHierarchy::GetPrevEvent()
{
    return EarliestOfChildren([](Dovlin_Hierarchy *child) { return child->GetPrevEvent(); });
}

CSignalEvent *Dovlin_CompositeHierarchy::GetNextEvent(qint64 time)
{
    return EarliestOfChildren([time](Dovlin_Hierarchy *child) { return child->GetNextEvent(time); });
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

bool Dovlin_CompositeHierarchy::SaveHeader(Dovlin_WaveWriter &writer)
{
    if (!Dovlin_Hierarchy::SaveHeader(writer) || !writer.WriteInt32(m_Expanded ? 1 : 0)
        || !writer.WriteInt32(qint32(m_Children.size())))
        return false;
    for (int child : std::as_const(m_Children)) {
        if (!writer.WriteInt32(child))
            return false;
    }
    return true;
}

bool Dovlin_CompositeHierarchy::LoadHeader(Dovlin_WaveReader &reader)
{
    const QString record = QStringLiteral("record of node %1").arg(m_Index);
    if (!Dovlin_Hierarchy::LoadHeader(reader))
        return false;
    qint32 expanded = 0;
    if (!reader.ReadInt32(expanded))
        return reader.Truncated(record);
    m_Expanded = expanded != 0;
    const qint64 at = reader.Offset();
    qint32 nChild = 0;
    if (!reader.ReadInt32(nChild))
        return reader.Truncated(record);
    if (nChild < 0)
        return reader.Fail(QStringLiteral("negative child count %1 of node %2 at offset %3").arg(nChild).arg(m_Index).arg(at));
    if (nChild * qint64(4) > reader.BytesLeft())
        return reader.Fail(QStringLiteral("child count %1 of node %2 at offset %3 does not fit in the %4 bytes left").arg(nChild).arg(m_Index).arg(at).arg(reader.BytesLeft()));
    m_Children.reserve(nChild);
    for (int i = 0; i < nChild; ++i) {
        qint32 child = 0;
        if (!reader.ReadInt32(child))
            return reader.Truncated(record);
        m_Children.append(child);
    }
    return true;
}

QString Dovlin_CompositeHierarchy::GetSignalState(qint64 time)
{
    if (IsCached(time))
        return m_StateText;
    m_StateTime = time;
    QString bits;
    for (int i = 0; i < m_Children.size(); ++i) {
        if (Dovlin_Hierarchy *child = GetHierarchy(i))
            bits += child->GetSignalState(time);
    }
    // Only a bus, whose children are all leaves, is shown in a radix; a scope concatenates.
    if (GetMaxLevel() != m_Level + 1) {
        m_StateText = bits;
        return m_StateText;
    }
    switch (m_Radix) {
    case Dovlin_Radix::Binary:
        m_StateText = QLatin1Char(' ') + bits + QLatin1Char('b');
        break;
    case Dovlin_Radix::Hexadecimal:
        m_StateText = QLatin1Char(' ') + DecToHex(BinToUnsigned(bits));
        break;
    case Dovlin_Radix::Unsigned:
        m_StateText = QStringLiteral(" %1u ").arg(quint64(BinToUnsigned(bits)));
        break;
    case Dovlin_Radix::Signed:
        m_StateText = QStringLiteral(" %1d ").arg(BinToSigned(bits));
        break;
    default:
        m_StateText = bits;
        break;
    }
    return m_StateText;
}
