#include "Dovlin_Signals.h"

#include "Dovlin_BoxCodec.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_PackedBoxes.h"
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
    : m_Structure(fileManager->StructureCounter()), m_FileManager(fileManager), m_Index(index)
{
}

Dovlin_Signal::~Dovlin_Signal() = default;

namespace {
// The box of a signal whose only event is its sentinel.
const CSignalEvent sentinelBox[Dovlin_Signal::m_BoxSize] = {};
// Cache keys of packed boxes have the top bit; those of spilled boxes are their slots.
constexpr quint64 PackedKey = quint64(1) << 63;
}

CSignalEvent *Dovlin_Signal::AllocateBox()
{
    m_Blocks.emplace_back(static_cast<CSignalEvent *>(::operator new[](m_BoxSize * sizeof(CSignalEvent))));
    CSignalEvent *box = m_Blocks.back().get();
    std::fill_n(box, m_BoxSize, CSignalEvent());
    return box;
}

bool Dovlin_Signal::Fail(const QString &reason) const
{
    m_Damaged = true;
    m_FileManager->ReportDamage(m_Index, reason);
    return false;
}

QString Dovlin_Signal::DamageString() const
{
    return m_FileManager->DamageOf(m_Index);
}

Dovlin_BoxRef Dovlin_Signal::BoxRefOf(qint64 box) const
{
    return m_Packed ? Dovlin_BoxRef::PackedBox(box) : m_Boxes[size_t(box)];
}

void Dovlin_Signal::SetLoadedBoxes(CSignalEvent *events, int lastSlot, int lastBox)
{
    m_Boxes.clear();
    m_Boxes.reserve(size_t(lastBox + 1));
    for (qint64 box = 0; box <= lastBox; ++box)
        m_Boxes.push_back(Dovlin_BoxRef::Memory(events + box * m_BoxSize));
    m_LastSlot = lastSlot;
    m_LastBox = lastBox;
    m_WorkingBox = m_AppendNext = m_AppendEnd = nullptr;
    m_FileManager->StructureChanged();
}

void Dovlin_Signal::SetAppendLane(Dovlin_AppendLane *lane)
{
    m_Lane = lane;
}

void Dovlin_Signal::SetPackedEvents(const Dovlin_PackedSignal *packed)
{
    m_Boxes.clear();
    m_Packed = packed;
    m_LastBox = packed->m_nEvent > 0 ? int((packed->m_nEvent - 1) / m_BoxSize) : -1;
    m_LastSlot = packed->m_nEvent > 0 ? int((packed->m_nEvent - 1) % m_BoxSize) : m_BoxSize - 1;
    m_WorkingBox = m_AppendNext = m_AppendEnd = nullptr;
    m_FileManager->StructureChanged();
}

void Dovlin_Signal::Unpack()
{
    std::vector<Dovlin_BoxRef> boxes;
    boxes.reserve(size_t(m_LastBox + 1));
    for (qint64 box = 0; box <= m_LastBox; ++box) {
        CSignalEvent *events = AllocateBox();
        // A box that cannot be read leaves its events at their defaults; the signal says it is damaged.
        if (const CSignalEvent *from = Box(box))
            std::copy_n(from, m_BoxSize, events);
        boxes.push_back(Dovlin_BoxRef::Memory(events));
    }
    m_Boxes = std::move(boxes);
    m_Packed = nullptr;
    m_WorkingBox = m_LastBox >= 0 ? m_Boxes.back().Events() : nullptr;
}

namespace {
// Where a signal's boxes start in the box cache: signals spread over it.
quint64 PlaceHash(int index)
{
    return quint64(index) * 0x9E3779B97F4A7C15ull >> 32;
}
} // namespace

const CSignalEvent *Dovlin_Signal::CachedBox(qint64 box) const
{
    if (m_Packed && m_Packed->m_nBox == 0)
        return sentinelBox;
    Dovlin_BoxCache *cache = m_FileManager->BoxCache();
    if (!cache) {
        Fail(QStringLiteral("no room to unpack its events"));
        return nullptr;
    }
    const quint64 key = m_Packed ? PackedKey | quint64(m_Packed->m_DataOffset + m_Packed->BoxOffset(box))
                                 : quint64(m_Boxes[size_t(box)].Number());
    // Spilled boxes are numbered in the order they were written; a packed signal's boxes follow
    // one another from a place of its own.
    const quint64 place = m_Packed ? PlaceHash(m_Index) + quint64(box) : key;
    CSignalEvent *events = cache->Find(key, place);
    if (!events) {
        events = cache->Insert(key, place);
        if (!UnpackInto(box, events)) {
            cache->Forget(key, place);
            return nullptr;
        }
    }
    // Its place may have been taken by another box since it was read before.
    m_CacheEvictions = cache->Evictions();
    if (m_RecentEvictions != *m_CacheEvictions) {
        for (Recent &recent : m_Recent)
            recent.m_Box = -1;
        m_RecentEvictions = *m_CacheEvictions;
    }
    m_Recent[m_RecentNext] = Recent{int(box), events};
    m_RecentNext = (m_RecentNext + 1) % m_nRecent;
    return events;
}

bool Dovlin_Signal::UnpackInto(qint64 box, CSignalEvent *events) const
{
    std::fill_n(events, m_BoxSize, CSignalEvent());
    // Box 0 is kept without its sentinel.
    const int skip = box == 0 ? 1 : 0;
    if (!m_Packed) {
        Dovlin_SpillFile *spill = m_FileManager->SpillFile();
        if (!spill)
            return Fail(QStringLiteral("the temporary event file is gone"));
        if (!spill->Read(m_Boxes[size_t(box)].Number(), events + skip, m_BoxSize - skip))
            return Fail(spill->ErrorString());
        return true;
    }
    const Dovlin_PackedSignal &packed = *m_Packed;
    Dovlin_PackedFile *file = m_FileManager->PackedFile();
    const qint64 start = packed.BoxOffset(box), end = packed.BoxEnd(box);
    QString reason;
    if (!file || !file->Check(packed.m_DataOffset + start, end - start, reason))
        return Fail(reason);
    if (end - start > Dovlin_BoxCodec::MaxBoxBytes)
        return Fail(QStringLiteral("box %1 takes %2 bytes, more than a box can").arg(box).arg(end - start));
    const int size = int(end - start);
    const unsigned char *bytes = packed.m_Data + start;
    // Unpacking reads a few bytes past a box: near the end of the section, from a padded copy.
    unsigned char padded[Dovlin_BoxCodec::MaxBoxBytes + Dovlin_BoxCodec::Padding];
    if (packed.m_DataOffset + end + Dovlin_BoxCodec::Padding > file->BoxesSize()) {
        std::memcpy(padded, bytes, size_t(size));
        std::memset(padded + size, 0, Dovlin_BoxCodec::Padding);
        bytes = padded;
    }
    if (!Dovlin_BoxCodec::Decode(bytes, size, packed.PackedEventsIn(box), packed.BoxFirstTime(box), events + skip))
        return Fail(QStringLiteral("box %1 at byte %2 of section BOXS does not unpack").arg(box).arg(packed.m_DataOffset + start));
    const int count = packed.EventsIn(box);
    if (packed.m_Closed && box == packed.m_nBox - 1) {
        events[count - 1].m_Time = packed.m_EndTime;
        events[count - 1].m_Value = events[count - 2].m_Value;
    }
    // The searches rely on times that never go back.
    for (int i = skip + 1; i < count; ++i)
        if (events[i].m_Time < events[i - 1].m_Time)
            return Fail(QStringLiteral("box %1 at byte %2 of section BOXS goes back in time").arg(box).arg(packed.m_DataOffset + start));
    if (box + 1 < packed.m_nBox && events[count - 1].m_Time > packed.BoxFirstTime(box + 1))
        return Fail(QStringLiteral("box %1 at byte %2 of section BOXS ends after the next box starts").arg(box).arg(packed.m_DataOffset + start));
    return true;
}

bool Dovlin_Signal::PackedBoxOf(qint64 box, Dovlin_PackedBox &packed) const
{
    if (box < 0 || box > m_LastBox)
        return false;
    if (m_Packed) {
        if (box >= m_Packed->m_nBox)
            return false;
        const qint64 start = m_Packed->BoxOffset(box), end = m_Packed->BoxEnd(box);
        QString reason;
        if (!m_FileManager->PackedFile()->Check(m_Packed->m_DataOffset + start, end - start, reason))
            return Fail(reason);
        packed.m_FirstTime = m_Packed->BoxFirstTime(box);
        packed.m_Bytes = m_Packed->m_Data + start;
        packed.m_Size = int(qMin<qint64>(end - start, Dovlin_BoxCodec::MaxBoxBytes + 1));
        return true;
    }
    const Dovlin_BoxRef ref = m_Boxes[size_t(box)];
    if (ref.GetKind() != Dovlin_BoxRef::Spilled)
        return false;
    Dovlin_SpillFile *spill = m_FileManager->SpillFile();
    if (!spill || !spill->ReadPacked(ref.Number(), packed))
        return Fail(spill ? spill->ErrorString() : QStringLiteral("the temporary event file is gone"));
    return true;
}

void Dovlin_Signal::PrefetchPackedBox(qint64 box, bool bytes) const
{
    if (m_Packed || box > m_LastBox || m_Boxes[size_t(box)].GetKind() != Dovlin_BoxRef::Spilled)
        return;
    const Dovlin_SpillFile *spill = m_FileManager->SpillFile();
    if (spill && bytes)
        spill->PrefetchBox(m_Boxes[size_t(box)].Number());
    else if (spill)
        spill->PrefetchSlot(m_Boxes[size_t(box)].Number());
}

CSignalEvent *Dovlin_Signal::AddEventCheck()
{
    if (m_Packed)
        Unpack();
    if (!m_Lane)
        ++*m_Structure;
    if (m_LastSlot + 1 == m_BoxSize) {
        CSignalEvent *box = nullptr;
        Dovlin_SpillFile *spill = m_FileManager->SpillFile();
        // The working box is always the last one: reading the list of boxes to be sure would cost
        // a cache miss for every box of an import.
        const bool ours = m_WorkingBox && m_LastBox >= 0;
        // While importing, a full box goes to the spill file (box 0 without its sentinel) and its
        // memory takes the next events, so the boxes being filled stay few and in the cache; a box
        // the file cannot take stays in memory.
        const int skip = m_LastBox == 0 ? 1 : 0;
        const qint64 slot = !spill || !ours ? -1
                            : m_Lane && m_Lane->m_Spill ? spill->Append(*m_Lane->m_Spill, m_WorkingBox + skip, m_BoxSize - skip)
                                     : spill->Append(m_WorkingBox + skip, m_BoxSize - skip);
        if (slot >= 0) {
            m_Boxes[size_t(m_LastBox)] = Dovlin_BoxRef::SpillSlot(slot);
            box = m_WorkingBox;
            std::fill_n(box, m_BoxSize, CSignalEvent());
        } else {
            box = m_WorkingBox = m_LastBox < 0 ? m_FileManager->TakeFirstBox() : AllocateBox();
        }
        m_Boxes.push_back(Dovlin_BoxRef::Memory(box));
        m_LastSlot = 0;
        ++m_LastBox;
    } else {
        ++m_LastSlot;
        // The last box of a loaded signal may be shared with the file: appends go to a copy.
        CSignalEvent *last = m_Boxes[size_t(m_LastBox)].Events();
        if (last != m_WorkingBox) {
            m_WorkingBox = AllocateBox();
            std::copy_n(last, m_BoxSize, m_WorkingBox);
            m_Boxes[size_t(m_LastBox)] = Dovlin_BoxRef::Memory(m_WorkingBox);
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
    const std::optional<CSignalEvent> last = GetLastEvent();
    if (!last)
        return;
    CSignalEvent *event = AddEventCheck();
    *event = *last;
    event->m_Time = time;
}

bool Dovlin_Signal::ScaleTimes(qint64 factor)
{
    if (m_Packed)
        Unpack();
    for (qint64 box = 0; box <= m_LastBox; ++box) {
        CSignalEvent *events = m_Boxes[size_t(box)].Events();
        // A box kept elsewhere comes into memory to take its new times.
        if (m_Boxes[size_t(box)].GetKind() != Dovlin_BoxRef::InMemory) {
            const CSignalEvent *kept = Box(box);
            if (!kept)
                return false;
            events = AllocateBox();
            std::copy_n(kept, m_BoxSize, events);
            m_Boxes[size_t(box)] = Dovlin_BoxRef::Memory(events);
        }
        const int count = box == m_LastBox ? m_LastSlot + 1 : m_BoxSize;
        for (int i = box == 0 ? 1 : 0; i < count; ++i) {
            qint64 time = events[i].m_Time;
            if (__builtin_mul_overflow(time, factor, &time))
                return false;
            events[i].m_Time = time;
        }
    }
    m_FileManager->StructureChanged();
    return true;
}

std::optional<CSignalEvent> Dovlin_Signal::GetEvent(qint64 i) const
{
    if (!HasEvent())
        return std::nullopt;
    if (i == -1)
        i = GetnEvent() - 1;
    if (i < 0 || i >= GetnEvent())
        return std::nullopt;
    const CSignalEvent *box = Box(i / m_BoxSize);
    if (!box)
        return std::nullopt;
    return box[i % m_BoxSize];
}

qint64 Dovlin_Signal::GetLastTime() const
{
    // A closed signal's last event needs no unpacking.
    if (m_Packed && m_Packed->m_Closed)
        return m_Packed->m_EndTime;
    const std::optional<CSignalEvent> last = GetLastEvent();
    return last ? last->m_Time : -1;
}

std::optional<CSignalEvent> Dovlin_Signal::GetEventAt(qint64 time) const
{
    const qint64 lastTime = GetLastTime();
    if (time < 0 || time > lastTime)
        return std::nullopt;
    // time + 1 would overflow at the largest time, which only the last event can hold.
    const qint64 index = time == lastTime ? GetnEvent() - 1 : FindEventIndex(time + 1) - 1;
    const std::optional<CSignalEvent> event = index >= 0 ? GetEvent(index) : std::nullopt;
    return event && event->m_Time >= 0 ? event : std::nullopt;
}

qint64 Dovlin_Signal::BoxFirstTime(qint64 box) const
{
    if (m_Packed)
        return box == 0 ? -1 : m_Packed->BoxFirstTime(box);
    const CSignalEvent *events = Box(box);
    // A box that cannot be read ends the search there; the signal is marked damaged.
    return events ? events[0].m_Time : std::numeric_limits<qint64>::max();
}

qint64 Dovlin_Signal::FindInBox(qint64 time, qint64 from) const
{
    const qint64 box = from / m_BoxSize;
    const CSignalEvent *events = Box(box);
    if (!events)
        return -1;
    qint64 lo = from % m_BoxSize - 1;
    qint64 hi = box == m_LastBox ? m_LastSlot + 1 : m_BoxSize;
    // The halving steps would wait for one cache line after another, and a column's values are
    // read up to the answer: all the lines are asked for at once.
    const quintptr stop = quintptr(events + hi);
    for (quintptr line = quintptr(events + lo + 1) & ~quintptr(63); line < stop; line += 64)
        __builtin_prefetch(reinterpret_cast<const void *>(line));
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (events[mid].m_Time < time)
            lo = mid;
        else
            hi = mid;
    }
    return box * m_BoxSize + hi;
}

// The box the answer lies in is found from the boxes' first times, and only that box is searched:
// a signal kept packed unpacks one box a search.
qint64 Dovlin_Signal::FindEventIndex(qint64 time) const
{
    const qint64 count = GetnEvent();
    if (count <= 0 || BoxFirstTime(0) >= time)
        return 0;
    qint64 lo = 0, hi = qint64(m_LastBox) + 1;
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (BoxFirstTime(mid) < time)
            lo = mid;
        else
            hi = mid;
    }
    const qint64 found = FindInBox(time, lo * m_BoxSize);
    return found < 0 ? count : found;
}

qint64 Dovlin_Signal::FindEventIndex(qint64 time, qint64 from) const
{
    const qint64 count = GetnEvent();
    if (from < 0)
        from = 0;
    if (from >= count)
        return count;
    const qint64 box = from / m_BoxSize;
    const CSignalEvent *events = Box(box);
    if (!events)
        return count;
    const qint64 last = box == m_LastBox ? m_LastSlot : m_BoxSize - 1;
    if (events[last].m_Time >= time || box == m_LastBox) {
        const qint64 found = FindInBox(time, from);
        return found < 0 ? count : found;
    }
    // The box is guessed from the density of the boxes still ahead, then a bracket around the
    // guess widens in doubling steps: evenly spread changes take a few probes, bursts a few more.
    // Each probe may touch a box of its own (format 1), so few count. Every event of box lo is
    // before time, and box hi starts at or after it (or is past the last).
    const qint64 lastBox = m_LastBox;
    const qint64 lastFirst = BoxFirstTime(lastBox);
    qint64 lo = box, hi = lastBox + 1;
    if (lastFirst < time) {
        lo = lastBox;
    } else if (lastBox - box > 1) {
        hi = lastBox;
        const double share = (double(time) - double(events[last].m_Time)) / (double(lastFirst) - double(events[last].m_Time));
        const qint64 guess = qBound(lo + 1, lo + qint64(share * double(hi - lo)), hi - 1);
        if (BoxFirstTime(guess) >= time) {
            hi = guess;
            for (qint64 step = 1; hi - step > lo; step *= 2) {
                if (BoxFirstTime(hi - step) < time) {
                    lo = hi - step;
                    break;
                }
                hi -= step;
            }
        } else {
            lo = guess;
            for (qint64 step = 1; lo + step < hi; step *= 2) {
                if (BoxFirstTime(lo + step) >= time) {
                    hi = lo + step;
                    break;
                }
                lo += step;
            }
        }
    } else {
        hi = lastBox;
    }
    while (hi - lo > 1) {
        const qint64 mid = lo + (hi - lo) / 2;
        if (BoxFirstTime(mid) < time)
            lo = mid;
        else
            hi = mid;
    }
    // A walk over columns searches next from about here and as far again.
    if (m_Packed && lo > box && 2 * lo - box < lastBox)
        PrefetchBoxIndex(2 * lo - box);
    const qint64 found = lo == box ? (lo + 1) * m_BoxSize : FindInBox(time, lo * m_BoxSize);
    return found < 0 ? count : qMin(found, count);
}

void Dovlin_Signal::PrefetchBoxIndex(qint64 box) const
{
    const Dovlin_PackedSignal &packed = *m_Packed;
    __builtin_prefetch(packed.m_Times + (box - 1) * packed.m_TimeBytes);
    __builtin_prefetch(packed.m_Offsets + (box - 1) * packed.m_OffsetBytes);
    if (const Dovlin_BoxCache *cache = m_FileManager->BoxCache())
        cache->PrefetchSet(PlaceHash(m_Index) + quint64(box));
}

bool Dovlin_Signal::IsChange(qint64 i) const
{
    if (i <= 0 || i >= GetnEvent())
        return false;
    if (i == 1 || GetTypeCode() == Dovlin_TypeCode::Event)
        return true;
    const std::optional<CSignalEvent> event = GetEvent(i);
    const std::optional<CSignalEvent> before = GetEvent(i - 1);
    return event && before && event->m_Value.m_IntValue != before->m_Value.m_IntValue;
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
            if (!box)
                return;
            // Two summaries in turn halve the chain of comparisons each event waits for.
            Summary other{};
            const CSignalEvent *event = box + from % m_BoxSize, *end = box + (stop - 1) % m_BoxSize + 1;
            for (; end - event >= 2; event += 2) {
                Merge::Fold(event[0], summary);
                Merge::Fold(event[1], other);
            }
            if (event < end)
                Merge::Fold(*event, summary);
            Merge::Fold(other, summary);
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
        // Only boxes in memory: one kept packed would be unpacked for nothing.
        if (end > boxStop && BoxRefOf(boxStop / m_BoxSize).GetKind() == Dovlin_BoxRef::InMemory) {
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
bool Dovlin_Signal::UpdateSummaries() const
{
    using Summary = typename Merge::Summary;
    if (!m_Summaries)
        m_Summaries = std::make_unique<SummaryLevels<Summary>>();
    auto &levels = static_cast<SummaryLevels<Summary> &>(*m_Summaries);
    const qint64 fullBoxes = m_LastSlot == m_BoxSize - 1 ? qint64(m_LastBox) + 1 : qint64(m_LastBox);
    for (qint64 box = qint64(levels.m_Boxes.size()); box < fullBoxes; ++box) {
        const CSignalEvent *events = Box(box);
        if (!events)
            return false;
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
    return true;
}

void Dovlin_Signal::SummariseValues(qint64 first, qint64 end, Dovlin_ValueRange &range) const
{
    first = qMax<qint64>(first, 0);
    end = qMin(end, GetnEvent());
    const bool summarised = end - first >= 2 * m_BoxSize;
    switch (GetTypeCode()) {
    case Dovlin_TypeCode::Integer:
    case Dovlin_TypeCode::String:
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
    const CSignalEvent *box = Box(from / m_BoxSize);
    if (!box)
        return false;
    const qint64 time = box[from % m_BoxSize].m_Time;
    // Crowded columns follow one another: after one, the boundary that confirms the next column is
    // the one its end is searched by, which saves a division a column.
    qint64 endTime = 0;
    int x = 0;
    if (column.m_Found && from == column.m_End && column.m_End - column.m_First > 1 && column.m_X >= -1
        && column.m_X + 2 <= map.m_Width
        && time < (endTime = map.FirstTimeOf(column.m_X + 2))) {
        x = column.m_X + 1;
    } else {
        x = map.ColumnOf(time);
        endTime = x >= map.m_Width ? 0 : map.FirstTimeOf(x + 1);
    }
    column.m_X = x;
    column.m_First = from;
    column.m_End = x >= map.m_Width ? from + 1 : FindEventIndex(endTime, from + 1);
    column.m_Found = true;
    column.m_Values = Dovlin_ValueRange();
    if (withValues)
        SummariseValues(column.m_First, column.m_End, column.m_Values);
    else
        column.m_Values.m_Count = column.m_End - column.m_First;
    return true;
}

bool Dovlin_Signal::ReadEvents(qint64 first, qint64 count, CSignalEvent *to) const
{
    if (first < 0 || count < 0 || first + count > GetnEvent())
        return false;
    while (count > 0) {
        const qint64 slot = first % m_BoxSize;
        const qint64 take = qMin(count, m_BoxSize - slot);
        const CSignalEvent *events = Box(first / m_BoxSize);
        if (!events)
            return false;
        std::copy_n(events + slot, take, to);
        to += take;
        first += take;
        count -= take;
    }
    return true;
}

std::optional<CSignalEvent> Dovlin_Signal::GetMinEvent()
{
    if (m_MinMaxRevision != *m_Structure) {
        PostLoadNotification();
        m_MinMaxRevision = *m_Structure;
    }
    return m_MinEvent;
}

std::optional<CSignalEvent> Dovlin_Signal::GetMaxEvent()
{
    GetMinEvent();
    return m_MaxEvent;
}

namespace {
template <class Type>
QString stateText(const Type &type, const std::optional<CSignalEvent> &event, int radix)
{
    return type.GetSignalState(event ? &*event : nullptr, radix);
}
}

QString Dovlin_IntSignal::GetSignalState(qint64 time, int radix)
{
    return stateText<Dovlin_IntType>(*this, GetEventAt(time), radix);
}

int Dovlin_IntSignal::DeclaredWidth() const
{
    if (m_Width > 0)
        return m_Width;
    if (m_GuessedWidth == 0) {
        Dovlin_ValueRange range;
        if (GetnEvent() > 1)
            SummariseValues(1, GetnEvent(), range);
        const bool fits = range.m_Count == 0
                          || (range.m_MinInt >= std::numeric_limits<qint32>::min()
                              && range.m_MaxInt <= qint64(std::numeric_limits<quint32>::max()));
        m_GuessedWidth = fits ? 32 : 64;
    }
    return m_GuessedWidth;
}

void Dovlin_IntSignal::PostLoadNotification()
{
    FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_IntValue; });
}

QString Dovlin_RealSignal::GetSignalState(qint64 time, int radix)
{
    return stateText<Dovlin_RealType>(*this, GetEventAt(time), radix);
}

void Dovlin_RealSignal::PostLoadNotification()
{
    FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_RealValue; });
}

QString Dovlin_StringSignal::GetSignalState(qint64 time, int radix)
{
    return stateText<Dovlin_StringType>(*this, GetEventAt(time), radix);
}

void Dovlin_StringSignal::PostLoadNotification()
{
    FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_IntValue; });
}

QString Dovlin_EventSignal::GetSignalState(qint64 time, int)
{
    // Stored event 0 is the sentinel, not a trigger.
    const qint64 i = qMax<qint64>(FindEventIndex(time), 1);
    const std::optional<CSignalEvent> event = GetEvent(i);
    return event && event->m_Time == time ? QStringLiteral("1") : QString();
}
