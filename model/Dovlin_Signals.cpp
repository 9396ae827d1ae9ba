#include "Dovlin_Signals.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_SpillFile.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <sys/mman.h>
#include <unistd.h>

template class Dovlin_StateSignalT<Dovlin_BitType>;
template class Dovlin_StateSignalT<Dovlin_VerilogType>;
template class Dovlin_StateSignalT<Dovlin_StdLogicType>;

Dovlin_EventArena::Dovlin_EventArena(qint64 capacity) : m_Capacity(qMax<qint64>(0, capacity))
{
    if (m_Capacity == 0)
        return;
    void *base = mmap(nullptr, size_t(m_Capacity) * sizeof(CSignalEvent), PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return;
    m_Events = static_cast<CSignalEvent *>(base);
#ifdef MADV_HUGEPAGE
    madvise(base, size_t(m_Capacity) * sizeof(CSignalEvent), MADV_HUGEPAGE);
#endif
}

Dovlin_EventArena::~Dovlin_EventArena()
{
    if (m_Events)
        munmap(m_Events, size_t(m_Capacity) * sizeof(CSignalEvent));
}

CSignalEvent *Dovlin_EventArena::Take(qint64 count)
{
    if (!m_Events || count > m_Capacity - m_Used)
        return nullptr;
    CSignalEvent *slice = m_Events + m_Used;
    m_Used += count;
#ifdef MADV_POPULATE_WRITE
    // A kernel without this advice just faults the pages in while the slice is read.
    static const quintptr pageMask = ~quintptr(sysconf(_SC_PAGESIZE) - 1);
    const quintptr start = quintptr(slice) & pageMask;
    madvise(reinterpret_cast<void *>(start), quintptr(slice + count) - start, MADV_POPULATE_WRITE);
#endif
    return slice;
}

Dovlin_Signal::Dovlin_Signal(Dovlin_FileManager *fileManager, int index)
    : m_Index(index), m_FileManager(fileManager), m_Structure(fileManager->StructureCounter())
{
}

Dovlin_Signal::~Dovlin_Signal() = default;

bool Dovlin_Signal::SaveHeader(Dovlin_WaveWriter &)
{
    return true;
}

bool Dovlin_Signal::LoadHeader(Dovlin_WaveReader &)
{
    return true;
}

void Dovlin_Signal::AddSignalEventBox(CSignalEvent *box)
{
    m_Boxes.push_back(quint64(quintptr(box)));
}

CSignalEvent *Dovlin_Signal::AllocateBox() const
{
    m_Blocks.emplace_back(static_cast<CSignalEvent *>(::operator new[](m_BoxSize * sizeof(CSignalEvent))));
    CSignalEvent *box = m_Blocks.back().get();
    std::fill_n(box, m_BoxSize, CSignalEvent());
    return box;
}

CSignalEvent *Dovlin_Signal::Unspill(qint64 box) const
{
    const qint64 slot = qint64(m_Boxes[size_t(box)] & ~m_Spilled);
    CSignalEvent *events = AllocateBox();
    Dovlin_SpillFile *spill = m_FileManager->SpillFile();
    // A box the file cannot give back stays spilled: the failed file fails the import, and until
    // the parser stops, the search sees a box of default events.
    if (!spill || !spill->Read(slot, events))
        return events;
    m_Boxes[size_t(box)] = quint64(quintptr(events));
    return events;
}

CSignalEvent *Dovlin_Signal::AddEventCheck()
{
    m_FileManager->StructureChanged();
    if (m_LastSlot + 1 == m_BoxSize) {
        CSignalEvent *box = nullptr;
        Dovlin_SpillFile *spill = m_FileManager->SpillFile();
        // The working box is always the last one: reading the list of boxes to be sure would cost
        // a cache miss for every box of an import.
        const bool ours = m_WorkingBox && m_LastBox >= 0;
        // While importing, a full box goes to the spill file and its memory takes the next
        // events, so the boxes being filled stay few and in the cache; a box the file cannot
        // take stays in memory.
        const qint64 slot = spill && ours ? spill->Append(m_WorkingBox) : -1;
        if (slot >= 0) {
            m_Boxes[size_t(m_LastBox)] = quint64(slot) | m_Spilled;
            box = m_WorkingBox;
            std::fill_n(box, m_BoxSize, CSignalEvent());
        } else {
            box = m_WorkingBox = m_LastBox < 0 ? m_FileManager->TakeFirstBox() : AllocateBox();
        }
        AddSignalEventBox(box);
        m_LastSlot = 0;
        ++m_LastBox;
    } else {
        ++m_LastSlot;
        // The last box of a loaded signal may be shared with the file: appends go to a copy.
        CSignalEvent *last = Box(m_LastBox);
        if (last != m_WorkingBox) {
            m_WorkingBox = AllocateBox();
            std::copy_n(last, m_BoxSize, m_WorkingBox);
            m_Boxes[size_t(m_LastBox)] = quint64(quintptr(m_WorkingBox));
        }
    }
    m_AppendNext = m_WorkingBox + m_LastSlot + 1;
    m_AppendEnd = m_WorkingBox + m_BoxSize;
    return m_WorkingBox + m_LastSlot;
}

CSignalEvent *Dovlin_Signal::NextSlotSlow()
{
    if (!HasEvent())
        *AddEventCheck() = CSignalEvent();
    return AddEventCheck();
}

void Dovlin_Signal::AddLastEvent(qint64 time)
{
    if (!HasEvent())
        return;
    const CSignalEvent last = *GetLastEvent();
    CSignalEvent *event = AddEventCheck();
    *event = last;
    event->m_Time = time;
}

CSignalEvent *Dovlin_Signal::EventAt(qint64 box, qint64 slot) const
{
    if (box < 0 || box > m_LastBox || slot < 0 || slot >= m_BoxSize || (box == m_LastBox && slot > m_LastSlot))
        return nullptr;
    return Box(box) + slot;
}

CSignalEvent *Dovlin_Signal::GetEvent(qint64 i) const
{
    if (!HasEvent())
        return nullptr;
    if (i == -1)
        return EventAt(m_LastBox, m_LastSlot);
    if (i < 0)
        return nullptr;
    return EventAt(i / m_BoxSize, i % m_BoxSize);
}

qint64 Dovlin_Signal::GetLastTime() const
{
    const CSignalEvent *last = GetLastEvent();
    return last ? last->m_Time : -1;
}

const CSignalEvent *Dovlin_Signal::GetEventAt(qint64 time) const
{
    const qint64 lastTime = GetLastTime();
    if (time < 0 || time > lastTime)
        return nullptr;
    // time + 1 would overflow at the largest time, which only the last event can hold.
    const qint64 index = time == lastTime ? GetnEvent() - 1 : FindEventIndex(time + 1) - 1;
    const CSignalEvent *event = index >= 0 ? GetEvent(index) : nullptr;
    return event && event->m_Time >= 0 ? event : nullptr;
}

qint64 Dovlin_Signal::FindEventIndex(qint64 time) const
{
    qint64 lo = -1;
    qint64 hi = GetnEvent();
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (Box(mid / m_BoxSize)[mid % m_BoxSize].m_Time < time)
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

qint64 Dovlin_Signal::FindEventIndex(qint64 time, qint64 from) const
{
    const qint64 count = GetnEvent();
    if (from < 0)
        from = 0;
    if (from >= count)
        return count;
    const auto timeAt = [this](qint64 i) { return Box(i / m_BoxSize)[i % m_BoxSize].m_Time; };
    const qint64 fromTime = timeAt(from);
    if (fromTime >= time)
        return from;
    const qint64 lastTime = timeAt(count - 1);
    if (lastTime < time)
        return count;
    // Guess the answer from the density of the events still ahead, then widen a bracket around
    // the guess in doubling steps: evenly spread changes take a few steps, bursts a few more.
    const double share = (double(time) - double(fromTime)) / (double(lastTime) - double(fromTime));
    const qint64 guess = qBound(from + 1, from + 1 + qint64(share * (count - 1 - from)), count - 1);
    qint64 lo = from;      // timeAt(lo) < time
    qint64 hi = count - 1; // timeAt(hi) >= time
    if (timeAt(guess) >= time) {
        hi = guess;
        for (qint64 step = 1; hi - step > lo; step *= 2) {
            if (timeAt(hi - step) < time) {
                lo = hi - step;
                break;
            }
            hi -= step;
        }
    } else {
        lo = guess;
        for (qint64 step = 1; lo + step < hi; step *= 2) {
            if (timeAt(lo + step) >= time) {
                hi = lo + step;
                break;
            }
            lo += step;
        }
    }
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (timeAt(mid) < time)
            lo = mid;
        else
            hi = mid;
    }
    return hi;
}

bool Dovlin_Signal::IsChange(qint64 i) const
{
    if (i <= 0 || i >= GetnEvent())
        return false;
    if (i == 1 || GetTypeCode() == Dovlin_TypeCode::Event)
        return true;
    const CSignalEvent *event = GetEvent(i);
    const CSignalEvent *before = GetEvent(i - 1);
    return event->m_Value.m_IntValue != before->m_Value.m_IntValue;
}

// The summaries of one signal's boxes and runs, of the summary type of its values.
struct Dovlin_Summaries
{
    virtual ~Dovlin_Summaries() = default;
};

namespace {
// Beside each box's own summary, that of its run up to it and from it on: the boxes of a range
// that crosses runs then take two steps, however many of them there are.
template <class Summary>
struct SummaryLevels : Dovlin_Summaries
{
    std::vector<Summary> m_Boxes;
    std::vector<Summary> m_Prefixes;
    std::vector<Summary> m_Suffixes;
    std::vector<Summary> m_Runs;
};

// How the values of one type go into a range, and into the summary of a box or run.
struct IntegerSummary
{
    qint64 m_Min = std::numeric_limits<qint64>::max();
    qint64 m_Max = std::numeric_limits<qint64>::min();
};

struct MergeInteger
{
    using Summary = IntegerSummary;
    static void Fold(const CSignalEvent &event, Summary &summary)
    {
        // Copied first: the packed field may sit misaligned in a mapped file.
        const qint64 value = event.m_Value.m_IntValue;
        summary.m_Min = qMin(summary.m_Min, value);
        summary.m_Max = qMax(summary.m_Max, value);
    }
    static void Fold(const Summary &part, Summary &summary)
    {
        summary.m_Min = qMin(summary.m_Min, part.m_Min);
        summary.m_Max = qMax(summary.m_Max, part.m_Max);
    }
    static void Add(const Summary &summary, Dovlin_ValueRange &range)
    {
        range.m_MinInt = qMin(range.m_MinInt, summary.m_Min);
        range.m_MaxInt = qMax(range.m_MaxInt, summary.m_Max);
    }
};

struct RealSummary
{
    double m_Min = std::numeric_limits<double>::infinity();
    double m_Max = -std::numeric_limits<double>::infinity();
    bool m_HasNaN = false;
};

struct MergeReal
{
    using Summary = RealSummary;
    static void Fold(const CSignalEvent &event, Summary &summary)
    {
        const double value = event.m_Value.m_RealValue;
        if (std::isnan(value)) {
            summary.m_HasNaN = true;
        } else {
            summary.m_Min = qMin(summary.m_Min, value);
            summary.m_Max = qMax(summary.m_Max, value);
        }
    }
    static void Fold(const Summary &part, Summary &summary)
    {
        summary.m_Min = qMin(summary.m_Min, part.m_Min);
        summary.m_Max = qMax(summary.m_Max, part.m_Max);
        summary.m_HasNaN = summary.m_HasNaN || part.m_HasNaN;
    }
    static void Add(const Summary &summary, Dovlin_ValueRange &range)
    {
        range.m_MinReal = qMin(range.m_MinReal, summary.m_Min);
        range.m_MaxReal = qMax(range.m_MaxReal, summary.m_Max);
        range.m_HasNaN = range.m_HasNaN || summary.m_HasNaN;
    }
};

struct MergeState
{
    // Bit s set when state s occurs (see Dovlin_ValueRange::StateBit).
    using Summary = quint32;
    static void Fold(const CSignalEvent &event, Summary &summary)
    {
        summary |= Dovlin_ValueRange::StateBit(event.m_Value.m_State);
    }
    static void Fold(const Summary &part, Summary &summary) { summary |= part; }
    static void Add(const Summary &summary, Dovlin_ValueRange &range) { range.m_StateMask |= summary; }
};

} // namespace

// The events at both ends one by one, the boxes between from their summaries: within one run box
// by box, across runs from the first box's run on, whole runs, and the last box's run up to it.
// The summary being built stays in registers: folding into the range in memory chains every step
// to a store.
template <class Merge>
void Dovlin_Signal::SummariseWith(qint64 first, qint64 end, Dovlin_ValueRange &range) const
{
    using Summary = typename Merge::Summary;
    // Summaries exist once a range has spanned two boxes; the signal's type never changes.
    const auto *levels = static_cast<const SummaryLevels<Summary> *>(m_Summaries.get());
    // Events lie in summarised boxes only up to this end.
    const qint64 boxedEnd = levels ? qMin(end, qint64(levels->m_Boxes.size()) * m_BoxSize) : first;
    Summary summary{};
    const auto foldEvents = [this, &summary](qint64 from, qint64 to) {
        while (from < to) {
            const qint64 stop = qMin(to, (from / m_BoxSize + 1) * m_BoxSize);
            const CSignalEvent *box = Box(from / m_BoxSize);
            for (const CSignalEvent *event = box + from % m_BoxSize, *last = box + (stop - 1) % m_BoxSize;
                 event <= last; ++event)
                Merge::Fold(*event, summary);
            from = stop;
        }
    };
    qint64 i = first;
    if (boxedEnd - i >= m_BoxSize) {
        const qint64 boxStart = (i + m_BoxSize - 1) / m_BoxSize * m_BoxSize;
        const qint64 boxStop = boxedEnd / m_BoxSize * m_BoxSize;
        const qint64 firstBox = boxStart / m_BoxSize, lastBox = boxStop / m_BoxSize - 1;
        const qint64 firstRun = firstBox / m_BoxSize, lastRun = lastBox / m_BoxSize;
        // The pieces lie far apart: ask for the last ones now so that their cache misses overlap
        // the first ones' folding.
        if (firstRun != lastRun) {
            __builtin_prefetch(&levels->m_Suffixes[size_t(firstBox)]);
            __builtin_prefetch(&levels->m_Prefixes[size_t(lastBox)]);
        }
        if (end > boxStop) {
            const char *tail = reinterpret_cast<const char *>(Box(boxStop / m_BoxSize));
            const qint64 bytes = qMin<qint64>(end - boxStop, m_BoxSize) * qint64(sizeof(CSignalEvent));
            for (qint64 line = 0; line < bytes; line += 64)
                __builtin_prefetch(tail + line);
        }
        foldEvents(i, boxStart);
        if (firstRun == lastRun) {
            for (qint64 b = firstBox; b <= lastBox; ++b)
                Merge::Fold(levels->m_Boxes[size_t(b)], summary);
        } else {
            // Every run before the last box's is whole, so the first box's has its suffixes.
            Merge::Fold(levels->m_Suffixes[size_t(firstBox)], summary);
            for (qint64 r = firstRun + 1; r < lastRun; ++r)
                Merge::Fold(levels->m_Runs[size_t(r)], summary);
            Merge::Fold(levels->m_Prefixes[size_t(lastBox)], summary);
        }
        i = boxStop;
    }
    foldEvents(i, end);
    range.m_Count += end - first;
    Merge::Add(summary, range);
}

template <class Merge>
void Dovlin_Signal::UpdateSummaries() const
{
    using Summary = typename Merge::Summary;
    if (!m_Summaries)
        m_Summaries = std::make_unique<SummaryLevels<Summary>>();
    auto &levels = static_cast<SummaryLevels<Summary> &>(*m_Summaries);
    const qint64 fullBoxes = m_LastSlot == m_BoxSize - 1 ? qint64(m_LastBox) + 1 : qint64(m_LastBox);
    for (qint64 box = qint64(levels.m_Boxes.size()); box < fullBoxes; ++box) {
        const CSignalEvent *events = Box(box);
        Summary summary{};
        for (int slot = 0; slot < m_BoxSize; ++slot)
            Merge::Fold(events[slot], summary);
        levels.m_Boxes.push_back(summary);
        Summary prefix = summary;
        if (box % m_BoxSize != 0)
            Merge::Fold(levels.m_Prefixes.back(), prefix);
        levels.m_Prefixes.push_back(prefix);
    }
    for (qint64 run = qint64(levels.m_Runs.size()); run < fullBoxes / m_BoxSize; ++run) {
        const size_t start = size_t(run * m_BoxSize);
        levels.m_Suffixes.resize(start + m_BoxSize);
        Summary suffix{};
        for (size_t box = start + m_BoxSize; box-- > start;) {
            Merge::Fold(levels.m_Boxes[box], suffix);
            levels.m_Suffixes[box] = suffix;
        }
        levels.m_Runs.push_back(suffix);
    }
}

void Dovlin_Signal::SummariseValues(qint64 first, qint64 end, Dovlin_ValueRange &range) const
{
    first = qMax<qint64>(first, 0);
    end = qMin(end, GetnEvent());
    const bool summarised = end - first >= 2 * m_BoxSize;
    switch (GetTypeCode()) {
    case Dovlin_TypeCode::Integer:
        if (summarised)
            UpdateSummaries<MergeInteger>();
        SummariseWith<MergeInteger>(first, end, range);
        break;
    case Dovlin_TypeCode::Real:
        if (summarised)
            UpdateSummaries<MergeReal>();
        SummariseWith<MergeReal>(first, end, range);
        break;
    default:
        if (summarised)
            UpdateSummaries<MergeState>();
        SummariseWith<MergeState>(first, end, range);
        break;
    }
}

bool Dovlin_Signal::NextColumn(const Dovlin_ColumnMap &map, qint64 from, Dovlin_Column &column, bool withValues) const
{
    if (from < 0 || from >= GetnEvent())
        return false;
    const int x = map.ColumnOf(Box(from / m_BoxSize)[from % m_BoxSize].m_Time);
    column.m_X = x;
    column.m_First = from;
    column.m_End = x >= map.m_Width ? from + 1 : FindEventIndex(map.FirstTimeOf(x + 1), from + 1);
    column.m_Values = Dovlin_ValueRange();
    if (withValues)
        SummariseValues(column.m_First, column.m_End, column.m_Values);
    else
        column.m_Values.m_Count = column.m_End - column.m_First;
    return true;
}

bool Dovlin_Signal::SaveSignalEvents(Dovlin_WaveWriter &writer, qint64 lastTime)
{
    if (lastTime != -1)
        AddLastEvent(lastTime);
    return writer.WriteInt32(m_LastSlot) && writer.WriteInt32(m_LastBox) && WriteBoxes(writer);
}

// Boxes that lie one after the other in memory (all of a loaded signal) go out in one write;
// spilled boxes are read back into one buffer, many at a time, without bringing them into memory.
bool Dovlin_Signal::WriteBoxes(Dovlin_WaveWriter &writer) const
{
    constexpr qint64 boxBytes = m_BoxSize * qint64(sizeof(CSignalEvent));
    constexpr size_t maxRun = 2048;
    const size_t nBox = m_Boxes.size();
    std::vector<CSignalEvent> &buffer = m_FileManager->ReadBackBuffer();
    for (size_t first = 0; first < nBox;) {
        const quint64 ref = m_Boxes[first];
        size_t end = first + 1;
        if (ref & m_Spilled) {
            while (end < nBox && end - first < maxRun && (m_Boxes[end] & m_Spilled))
                ++end;
            buffer.resize((end - first) * m_BoxSize);
            Dovlin_SpillFile *spill = m_FileManager->SpillFile();
            if (!spill)
                return writer.Fail(QStringLiteral("the spill file is gone"));
            // A signal's boxes lie apart, among those of the others: where each lies, and then its
            // bytes, are asked for some boxes ahead.
            constexpr size_t slotsAhead = 16, boxesAhead = 8;
            for (size_t box = first; box < end; ++box) {
                if (box + slotsAhead < end)
                    spill->PrefetchSlot(qint64(m_Boxes[box + slotsAhead] & ~m_Spilled));
                if (box + boxesAhead < end)
                    spill->PrefetchBox(qint64(m_Boxes[box + boxesAhead] & ~m_Spilled));
                if (!spill->Read(qint64(m_Boxes[box] & ~m_Spilled), buffer.data() + (box - first) * m_BoxSize))
                    return writer.Fail(spill->ErrorString());
            }
            if (!writer.Write(buffer.data(), qint64(end - first) * boxBytes))
                return false;
        } else {
            while (end < nBox && !(m_Boxes[end] & m_Spilled) && m_Boxes[end] == m_Boxes[end - 1] + quint64(boxBytes))
                ++end;
            if (!writer.Write(reinterpret_cast<const CSignalEvent *>(quintptr(ref)), qint64(end - first) * boxBytes))
                return false;
        }
        first = end;
    }
    return true;
}

bool Dovlin_Signal::ReadEvents(qint64 first, qint64 count, CSignalEvent *to) const
{
    if (first < 0 || count < 0 || first + count > GetnEvent())
        return false;
    CSignalEvent spilled[m_BoxSize];
    while (count > 0) {
        const qint64 box = first / m_BoxSize;
        const qint64 slot = first % m_BoxSize;
        const qint64 take = qMin(count, m_BoxSize - slot);
        const quint64 ref = m_Boxes[size_t(box)];
        const CSignalEvent *events = reinterpret_cast<const CSignalEvent *>(quintptr(ref));
        if (ref & m_Spilled) {
            Dovlin_SpillFile *spill = m_FileManager->SpillFile();
            if (!spill || !spill->Read(qint64(ref & ~m_Spilled), spilled))
                return false;
            events = spilled;
        }
        std::copy_n(events + slot, take, to);
        to += take;
        first += take;
        count -= take;
    }
    return true;
}

CSignalEvent *Dovlin_Signal::GetMinEvent()
{
    if (m_MinMaxRevision != *m_Structure) {
        PostLoadNotification();
        m_MinMaxRevision = *m_Structure;
    }
    return m_MinEvent;
}

CSignalEvent *Dovlin_Signal::GetMaxEvent()
{
    GetMinEvent();
    return m_MaxEvent;
}

bool Dovlin_Signal::LoadSignalEvents(Dovlin_WaveReader &reader, Dovlin_EventArena *arena)
{
    const QString block = QStringLiteral("event block of signal %1").arg(m_Index);
    const qint64 at = reader.Offset();
    qint32 lastSlot = 0;
    qint32 lastBox = 0;
    if (!reader.ReadInt32(lastSlot) || !reader.ReadInt32(lastBox))
        return reader.Truncated(block);
    if (!m_Boxes.empty())
        return reader.Fail(QStringLiteral("signal %1 already holds events").arg(m_Index));
    if (lastSlot < 0 || lastSlot >= m_BoxSize)
        return reader.Fail(QStringLiteral("last slot %1 of signal %2 at offset %3 out of range").arg(lastSlot).arg(m_Index).arg(at));
    if (lastBox < -1)
        return reader.Fail(QStringLiteral("last box %1 of signal %2 at offset %3 out of range").arg(lastBox).arg(m_Index).arg(at));
    if (lastBox == -1 && lastSlot != m_BoxSize - 1)
        return reader.Fail(QStringLiteral("signal %1 without boxes has last slot %2 at offset %3").arg(m_Index).arg(lastSlot).arg(at));

    const qint64 nEvent = (qint64(lastBox) + 1) * m_BoxSize;
    const qint64 bytes = nEvent * qint64(sizeof(CSignalEvent));
    if (bytes > reader.BytesLeft())
        return reader.Truncated(block);
    if (nEvent > 0) {
        CSignalEvent *events = nullptr;
        if (arena) {
            // The arena holds exactly the event bytes of a well-formed file, so a block that does
            // not fit leaves too few bytes for the blocks after it.
            events = arena->Take(nEvent);
            if (!events || !reader.Read(events, bytes))
                return reader.Truncated(block);
        } else {
            events = reinterpret_cast<CSignalEvent *>(const_cast<char *>(reader.MappedAt()));
            if (!events || !reader.Skip(bytes))
                return reader.Truncated(block);
        }
        m_Boxes.reserve(lastBox + 1);
        for (qint64 box = 0; box <= lastBox; ++box)
            AddSignalEventBox(events + box * m_BoxSize);
    }
    m_LastSlot = lastSlot;
    m_LastBox = lastBox;
    m_MinEvent = nullptr;
    m_MaxEvent = nullptr;
    return true;
}

QString Dovlin_IntSignal::GetSignalState(qint64 time, int radix)
{
    return Dovlin_IntType::GetSignalState(GetEventAt(time), radix);
}

void Dovlin_IntSignal::PostLoadNotification()
{
    FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_IntValue; });
}

QString Dovlin_RealSignal::GetSignalState(qint64 time, int radix)
{
    return Dovlin_RealType::GetSignalState(GetEventAt(time), radix);
}

void Dovlin_RealSignal::PostLoadNotification()
{
    FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_RealValue; });
}

bool Dovlin_EventSignal::SaveSignalEvents(Dovlin_WaveWriter &writer, qint64)
{
    return Dovlin_Signal::SaveSignalEvents(writer, -1);
}

QString Dovlin_EventSignal::GetSignalState(qint64 time, int)
{
    // Stored event 0 is the sentinel, not a trigger.
    const qint64 i = qMax<qint64>(FindEventIndex(time), 1);
    const CSignalEvent *event = GetEvent(i);
    return event && event->m_Time == time ? QStringLiteral("1") : QString();
}
