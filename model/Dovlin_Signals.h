#ifndef DOVLIN_SIGNALS_H
#define DOVLIN_SIGNALS_H

#include "Dovlin_Columns.h"
#include "Dovlin_Types.h"

#include <QString>

#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

class Dovlin_FileManager;
class Dovlin_SpillLane;
struct Dovlin_Summaries;

// One of an import's storing threads: the signals it fills leave the file manager's count of
// changes alone (the import raises it once when it is done with the lanes), and their full boxes
// go to the spill store through spill (its own lane when null).
struct alignas(64) Dovlin_AppendLane
{
    Dovlin_SpillLane *m_Spill = nullptr;
};

// One value change. Its 16 bytes are the event record of a wave file, so boxes are read and
// written as they lie in memory, and the boxes of an opened file are its mapped bytes: events
// may lie at any address, hence no alignment (compare values through m_IntValue, which covers
// all 8 bytes, rather than through the address of m_Value).
struct __attribute__((packed)) CSignalEvent
{
    qint64 m_Time = -1;
    union __attribute__((packed)) Value {
        qint32 m_State; // logic types: the low 4 bytes; the upper 4 stay zero
        qint64 m_IntValue = 0;
        double m_RealValue;
    } m_Value;
};
static_assert(sizeof(CSignalEvent) == 16, "an event is one 16-byte wave file record");
static_assert(alignof(CSignalEvent) == 1, "events may lie anywhere in a mapped wave file");
static_assert(std::is_trivially_copyable_v<CSignalEvent>, "events are read and written as raw bytes");
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "events are stored in the little-endian wave file layout");

// Memory for the events of one loaded file: a single anonymous mapping that slices are taken
// from in file order. Fresh 4 KB pages cost more to fault in than their bytes cost to copy, so
// huge pages are asked for and each slice is populated before it is filled.
class Dovlin_EventArena
{
public:
    explicit Dovlin_EventArena(qint64 capacity);
    ~Dovlin_EventArena();
    Dovlin_EventArena(const Dovlin_EventArena &) = delete;
    Dovlin_EventArena &operator=(const Dovlin_EventArena &) = delete;

    // False when the mapping could not be made.
    bool IsValid() const { return m_Capacity == 0 || m_Events; }
    // The next count events, ready to be written; null when fewer are left.
    CSignalEvent *Take(qint64 count);

private:
    CSignalEvent *m_Events = nullptr;
    qint64 m_Capacity;
    qint64 m_Used = 0;
};

// Where one box of a signal's events lies: in memory (boxes being appended, and those of a file of
// format 1, which are its mapped bytes), in the import's spill store, or packed in a mapped file of
// format 2, unpacked when read.
class Dovlin_BoxRef
{
public:
    enum Kind { InMemory, Spilled, Packed };

    static Dovlin_BoxRef Memory(CSignalEvent *events) { return Dovlin_BoxRef(quint64(quintptr(events))); }
    static Dovlin_BoxRef SpillSlot(qint64 slot) { return Dovlin_BoxRef(quint64(slot) | quint64(Spilled) << m_KindShift); }
    // Box box of the signal's packed events.
    static Dovlin_BoxRef PackedBox(qint64 box) { return Dovlin_BoxRef(quint64(box) | quint64(Packed) << m_KindShift); }

    Kind GetKind() const { return Kind(m_Bits >> m_KindShift); }
    CSignalEvent *Events() const { return reinterpret_cast<CSignalEvent *>(quintptr(m_Bits)); }
    qint64 Number() const { return qint64(m_Bits & ~(quint64(3) << m_KindShift)); }

private:
    // User-space addresses leave the top bits free for the kind.
    static constexpr int m_KindShift = 62;
    explicit Dovlin_BoxRef(quint64 bits) : m_Bits(bits) {}
    quint64 m_Bits;
};

struct Dovlin_PackedBox;
struct Dovlin_PackedSignal;

// The value history of one variable: an append-only list of events in boxes of 32.
// Stored event 0 of a non-empty signal is the sentinel (time -1, value zero). Events are handed
// out as copies: a box may lie packed or spilled, and be unpacked into the file manager's bounded
// cache only for as long as it is looked at. A box that cannot be read (its bytes damaged, the
// spill file failed) makes the query that needed it report nothing, marks the signal damaged and
// tells the file manager why (Damaged, DamageString).
class alignas(64) Dovlin_Signal
{
public:
    static constexpr int m_BoxSize = 32;

    // Signals are made by the file manager (AddSignal), which owns them; index is their place in its table.
    Dovlin_Signal(Dovlin_FileManager *fileManager, int index);
    virtual ~Dovlin_Signal();
    Dovlin_Signal(const Dovlin_Signal &) = delete;
    Dovlin_Signal &operator=(const Dovlin_Signal &) = delete;

    virtual int GetTypeCode() const = 0;
    // Text of the value at time (GetEventAt) in a radix; empty where the signal has no value.
    virtual QString GetSignalState(qint64 time, int radix) = 0;
    // Sets m_MinEvent and m_MaxEvent over the stored events, the sentinel excluded. Loading does
    // not call it (it would read every event of the file): GetMinEvent and GetMaxEvent do, once.
    virtual void PostLoadNotification() = 0;

    int GetIndex() const { return m_Index; }
    Dovlin_FileManager *GetFileManager() const { return m_FileManager; }

    // Appending never compares: equal, repeated or earlier times are stored as given.
    void AddEvent(qint64 time, int state)
    {
        // The state takes the low 4 bytes; the upper 4 stay zero.
        AddEvent(time, qint64(quint32(state)));
    }
    void AddEvent(qint64 time, qint64 value)
    {
        CSignalEvent *event = NextSlot();
        event->m_Time = time;
        event->m_Value.m_IntValue = value;
    }
    void AddEvent(qint64 time, double value)
    {
        CSignalEvent *event = NextSlot();
        event->m_Time = time;
        event->m_Value.m_RealValue = value;
    }
    // Appending many events in a row without a call each: the caller fills the free slots
    // [AppendFree(), AppendEnd()) of the working box in order and takes them with Appended; the
    // range is empty when the next event needs AddEvent (no box yet, or the box is full).
    CSignalEvent *AppendFree() const { return m_AppendNext; }
    CSignalEvent *AppendEnd() const { return m_AppendEnd; }
    void Appended(int count)
    {
        m_AppendNext += count;
        m_LastSlot += count;
        if (!m_Lane)
            *m_Structure += quint64(count);
    }
    // Appends a copy of the last stored event at time; nothing for a signal without events.
    void AddLastEvent(qint64 time);
    // Multiplies the time of every event but the sentinel by factor (a finer time unit); false when
    // a time does not fit in 64 bits or a box cannot be read, and the times are then partly scaled.
    bool ScaleTimes(qint64 factor);

    bool HasEvent() const { return m_LastSlot >= 0 && m_LastBox >= 0; }
    qint64 GetnEvent() const { return qint64(m_BoxSize) * m_LastBox + m_LastSlot + 1; }
    int GetLastSlot() const { return m_LastSlot; }
    int GetLastBox() const { return m_LastBox; }
    // Stored event i, the last one for -1; nothing without events, for an index out of range, or
    // when its box cannot be read.
    std::optional<CSignalEvent> GetEvent(qint64 i) const;
    std::optional<CSignalEvent> GetFirstEvent() const { return GetEvent(0); }
    std::optional<CSignalEvent> GetLastEvent() const { return GetEvent(-1); }
    // -1 without events (or when the last box cannot be read).
    qint64 GetLastTime() const;
    // Number of the first stored event whose time is >= time; GetnEvent() when there is none (or
    // a box it needed cannot be read).
    qint64 FindEventIndex(qint64 time) const;
    // The same, searching from stored event `from` on: steps that double from there, then a
    // binary search, so a nearby answer costs a few steps.
    qint64 FindEventIndex(qint64 time, qint64 from) const;
    // True when stored event i holds another value than the one before it. The first event after
    // the sentinel always does; a repeated value (the closing copy at the end of a converted
    // file, or a value dumped again) does not, except on an event signal, where every stored
    // event is a trigger.
    bool IsChange(qint64 i) const;

    // The next pixel column of a canvas window that holds stored events, from stored event
    // `from` on: its column, its events and, when asked for, the range of their values. False
    // after the last event.
    bool NextColumn(const Dovlin_ColumnMap &map, qint64 from, Dovlin_Column &column, bool withValues = true) const;
    // The range of the values of stored events [first, end).
    void SummariseValues(qint64 first, qint64 end, Dovlin_ValueRange &range) const;
    // Copies count stored events from number first on into to; false when they are not all there.
    bool ReadEvents(qint64 first, qint64 count, CSignalEvent *to) const;
    // The event whose value the signal holds at time: the last one at or before it, so a change
    // at time counts, as in the dump. Nothing before the first change (the sentinel is no value)
    // and after the last stored event, where the dump has ended.
    std::optional<CSignalEvent> GetEventAt(qint64 time) const;

    // The events with the smallest and the largest value, found when first asked for.
    std::optional<CSignalEvent> GetMinEvent();
    std::optional<CSignalEvent> GetMaxEvent();

    // True once a box of the signal could not be read; DamageString says why.
    bool Damaged() const { return m_Damaged; }
    QString DamageString() const;

    // Where box b lies, and, when it lies packed (spilled, or in a mapped file), its packed form;
    // false for a box in memory or one that cannot be read. For writers.
    Dovlin_BoxRef BoxRefOf(qint64 box) const;
    bool PackedBoxOf(qint64 box, Dovlin_PackedBox &packed) const;
    // A writer asks for box b some boxes ahead: a spilled box's place, then its bytes, lie apart
    // from the others' (nothing for boxes kept otherwise).
    void PrefetchPackedBox(qint64 box, bool bytes) const;
    // For readers of wave files: the boxes of a signal without events lie, one after the other,
    // at events (a mapped file, or memory that outlives the signal); or they lie packed as packed
    // describes, which must outlive the signal too.
    void SetLoadedBoxes(CSignalEvent *events, int lastSlot, int lastBox);
    void SetPackedEvents(const Dovlin_PackedSignal *packed);
    // For an import that appends on several threads: the signal is filled through lane until it is
    // set back to null, which counts its appends in the file manager again. Only the lane's thread
    // appends meanwhile.
    void SetAppendLane(Dovlin_AppendLane *lane);

protected:
    template <typename ValueOf>
    void FindMinMax(ValueOf valueOf);

private:
    // Summaries of whole boxes, of each box's run up to it and from it on, and of runs of
    // m_BoxSize boxes, built when first needed: they let a column crowded with millions of changes
    // be summed up in a few steps. Each type keeps only
    // what it needs (a logic signal a 4-byte state mask per box), so that summing up every column
    // of a canvas reads little memory.
    template <class Merge>
    bool UpdateSummaries() const;
    template <class Merge>
    void SummariseWith(qint64 first, qint64 end, Dovlin_ValueRange &range) const;

    // The slot for the next appended event: while the working box has room, without a call.
    CSignalEvent *NextSlot()
    {
        if (m_AppendNext != m_AppendEnd) {
            ++m_LastSlot;
            if (!m_Lane)
                ++*m_Structure;
            return m_AppendNext++;
        }
        return NextSlotSlow();
    }
    // Writes the sentinel first when the signal has no events yet.
    CSignalEvent *NextSlotSlow();
    // Reserves the next slot, opening a box when the last one is full.
    CSignalEvent *AddEventCheck();
    // The events of box b, in memory or unpacked into the cache (valid until the cache takes
    // another box); null when the box cannot be read.
    const CSignalEvent *Box(qint64 box) const
    {
        if (!m_Packed) {
            const Dovlin_BoxRef ref = m_Boxes[size_t(box)];
            if (ref.GetKind() == Dovlin_BoxRef::InMemory)
                return ref.Events();
        }
        // The boxes read last are still where they were while the cache let none go.
        if (m_CacheEvictions && m_RecentEvictions == *m_CacheEvictions)
            for (const Recent &recent : m_Recent)
                if (recent.m_Box == box)
                    return recent.m_Events;
        return CachedBox(box);
    }
    const CSignalEvent *CachedBox(qint64 box) const;
    bool UnpackInto(qint64 box, CSignalEvent *events) const;
    // The time of the first stored event of box b (the sentinel's for box 0); a search for a time
    // needs to unpack only the box it falls into.
    qint64 BoxFirstTime(qint64 box) const;
    // Asks the memory for what reading packed box b (past box 0) starts with: its entries in the
    // box index and its set in the box cache.
    void PrefetchBoxIndex(qint64 box) const;
    // The first stored event at or after from whose time is >= time, looked for in box from's box only:
    // from's box end when none there; -1 when the box cannot be read.
    qint64 FindInBox(qint64 time, qint64 from) const;
    bool Fail(const QString &reason) const;
    // A box of default events that the signal owns.
    CSignalEvent *AllocateBox();
    // Brings every box of a packed signal into memory before it takes more events.
    void Unpack();

    // What every append touches comes first, on the object's first cache line (the class is
    // aligned to one): an import appends to thousands of signals in turn, a miss each. A full box
    // reads the rest of the line too.
    // The free slots of the working box when it is the last box; empty otherwise.
    CSignalEvent *m_AppendNext = nullptr;
    CSignalEvent *m_AppendEnd = nullptr;
    // The file manager's count of changes, which every append raises but those through a lane.
    quint64 *m_Structure;
    int m_LastSlot = m_BoxSize - 1;
    int m_LastBox = -1;
    // The box that appended events go to. While spilling, the same box is filled again once
    // its events went to the spill file.
    CSignalEvent *m_WorkingBox = nullptr;
    Dovlin_AppendLane *m_Lane = nullptr;
    // The events of a signal loaded from a file of format 2; m_Boxes is then empty.
    const Dovlin_PackedSignal *m_Packed = nullptr;
    Dovlin_FileManager *m_FileManager;
    int m_Index;
    mutable bool m_Damaged = false;
    // m_MinEvent and m_MaxEvent are up to date for m_MinMaxRevision.
    quint64 m_MinMaxRevision = ~quint64(0);
    std::vector<Dovlin_BoxRef> m_Boxes;
    // The boxes the signal owns.
    struct RawDeleter
    {
        void operator()(CSignalEvent *events) const { ::operator delete[](events); }
    };
    std::vector<std::unique_ptr<CSignalEvent[], RawDeleter>> m_Blocks;
    mutable std::unique_ptr<Dovlin_Summaries> m_Summaries;
    // The last four boxes read from the cache, the oldest replaced first: a column's queries ask
    // for the boxes it spans (up to three when it holds one box of events) over and over, and a
    // walk's columns share their end boxes. They hold while the cache's count of boxes let go
    // stays m_RecentEvictions.
    struct Recent
    {
        int m_Box = -1;
        const CSignalEvent *m_Events = nullptr;
    };
    static constexpr int m_nRecent = 4;
    mutable Recent m_Recent[m_nRecent];
    mutable int m_RecentNext = 0;
    mutable quint64 m_RecentEvictions = 0;
    mutable const quint64 *m_CacheEvictions = nullptr;
    std::optional<CSignalEvent> m_MinEvent;
    std::optional<CSignalEvent> m_MaxEvent;
};

template <typename ValueOf>
void Dovlin_Signal::FindMinMax(ValueOf valueOf)
{
    m_MinEvent.reset();
    m_MaxEvent.reset();
    decltype(valueOf(CSignalEvent())) minValue{}, maxValue{};
    qint64 left = GetnEvent();
    for (qint64 b = 0; b <= m_LastBox; ++b) {
        const CSignalEvent *box = Box(b);
        if (!box) {
            m_MinEvent.reset();
            m_MaxEvent.reset();
            return;
        }
        const int inBox = int(qMin<qint64>(left, m_BoxSize));
        left -= inBox;
        for (const CSignalEvent *event = box; event != box + inBox; ++event) {
            if (event->m_Time == -1)
                continue;
            const auto value = valueOf(*event);
            // Strict comparisons: ties keep the earliest event, and a NaN never replaces one.
            if (!m_MaxEvent || value > maxValue) {
                m_MaxEvent = *event;
                maxValue = value;
            }
            if (!m_MinEvent || value < minValue) {
                m_MinEvent = *event;
                minValue = value;
            }
        }
    }
}

class Dovlin_IntSignal : public Dovlin_Signal, public Dovlin_IntType
{
public:
    Dovlin_IntSignal(Dovlin_FileManager *fileManager, int index) : Dovlin_Signal(fileManager, index) {}
    int GetTypeCode() const override { return m_TypeCode; }
    QString GetSignalState(qint64 time, int radix) override;
    void PostLoadNotification() override;
    // A file that does not record the width (format 1, or format 2 before it did) leaves it
    // guessed from the values on first use: 32 bits when every value fits a 32-bit integer, signed
    // or not, else 64.
    int DeclaredWidth() const override;
    // 0 when unknown; else 1 to 64.
    int RecordedWidth() const { return m_Width; }
    void SetDeclaredWidth(int width) { m_Width = width; }

private:
    int m_Width = 0;
    mutable int m_GuessedWidth = 0;
};

class Dovlin_RealSignal : public Dovlin_Signal, public Dovlin_RealType
{
public:
    Dovlin_RealSignal(Dovlin_FileManager *fileManager, int index) : Dovlin_Signal(fileManager, index) {}
    int GetTypeCode() const override { return m_TypeCode; }
    QString GetSignalState(qint64 time, int radix) override;
    void PostLoadNotification() override;
};

// A logic signal over one of Dovlin_BitType, Dovlin_VerilogType and Dovlin_StdLogicType.
// The three classes are instantiated once, in the model.
template <class T>
class Dovlin_StateSignalT : public Dovlin_Signal, public T
{
public:
    Dovlin_StateSignalT(Dovlin_FileManager *fileManager, int index) : Dovlin_Signal(fileManager, index) {}
    int GetTypeCode() const override { return this->m_TypeCode; }
    QString GetSignalState(qint64 time, int radix) override
    {
        const std::optional<CSignalEvent> event = GetEventAt(time);
        return T::GetSignalState(event ? &*event : nullptr, radix);
    }
    void PostLoadNotification() override
    {
        FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_State; });
    }
};

// An event variable: its triggers are kept as stored, the closing copy of a converted file left out.
class Dovlin_EventSignal : public Dovlin_Signal, public Dovlin_EventType
{
public:
    Dovlin_EventSignal(Dovlin_FileManager *fileManager, int index) : Dovlin_Signal(fileManager, index) {}
    int GetTypeCode() const override { return m_TypeCode; }
    // "1" when a trigger lies exactly at time, else empty: an event holds no value between triggers.
    QString GetSignalState(qint64 time, int radix) override;
    void PostLoadNotification() override
    {
        FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_State; });
    }
};

// A string variable: its events hold indices into the file manager's string table, which adds an
// equal text once, so equal texts are equal values.
class Dovlin_StringSignal : public Dovlin_Signal, public Dovlin_StringType
{
public:
    Dovlin_StringSignal(Dovlin_FileManager *fileManager, int index)
        : Dovlin_Signal(fileManager, index), Dovlin_StringType(fileManager) {}
    int GetTypeCode() const override { return m_TypeCode; }
    QString GetSignalState(qint64 time, int radix) override;
    // By index: texts have no order that matters, and a string row is never drawn on an analog scale.
    void PostLoadNotification() override;
};

extern template class Dovlin_StateSignalT<Dovlin_BitType>;
extern template class Dovlin_StateSignalT<Dovlin_VerilogType>;
extern template class Dovlin_StateSignalT<Dovlin_StdLogicType>;

#endif
