#ifndef DOVLIN_SIGNALS_H
#define DOVLIN_SIGNALS_H

#include "Dovlin_Columns.h"
#include "Dovlin_Types.h"

#include <QList>
#include <QString>

#include <memory>
#include <type_traits>
#include <vector>

class Dovlin_FileManager;
struct Dovlin_Summaries;
class Dovlin_WaveReader;
class Dovlin_WaveWriter;

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

// The value history of one variable: an append-only list of events in boxes of 32.
// Stored event 0 of a non-empty signal is the sentinel (time -1, value zero). Events never
// move: every CSignalEvent pointer handed out stays valid for the life of the signal.
// Boxes are plain pointers: those of appended events point into blocks the signal owns (the
// first into the file manager's first boxes), those of a loaded signal into its event arena.
class Dovlin_Signal
{
public:
    static constexpr int m_BoxSize = 32;

    // Signals are made by the file manager (AddSignal), which owns them; index is their place in its table.
    Dovlin_Signal(Dovlin_FileManager *fileManager, int index);
    virtual ~Dovlin_Signal();
    Dovlin_Signal(const Dovlin_Signal &) = delete;
    Dovlin_Signal &operator=(const Dovlin_Signal &) = delete;

    virtual int GetTypeCode() const = 0;
    // The signal's own part of the signal table, after its type code: empty for every class.
    virtual bool SaveHeader(Dovlin_WaveWriter &writer);
    virtual bool LoadHeader(Dovlin_WaveReader &reader);
    // Appends a copy of the last event at lastTime unless it is -1 (the model keeps it), then
    // writes the event block.
    virtual bool SaveSignalEvents(Dovlin_WaveWriter &writer, qint64 lastTime);
    // Reads the event block into a signal without events, checking it against the bytes left;
    // the boxes point into a slice of arena.
    // Without an arena the boxes point into the reader's mapped bytes.
    virtual bool LoadSignalEvents(Dovlin_WaveReader &reader, Dovlin_EventArena *arena);
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
    // Appends a copy of the last stored event at time; nothing for a signal without events.
    void AddLastEvent(qint64 time);
    // Reserves the next slot, opening a box when the last one is full.
    CSignalEvent *AddEventCheck();

    bool HasEvent() const { return m_LastSlot >= 0 && m_LastBox >= 0; }
    qint64 GetnEvent() const { return qint64(m_BoxSize) * m_LastBox + m_LastSlot + 1; }
    int GetLastSlot() const { return m_LastSlot; }
    int GetLastBox() const { return m_LastBox; }
    // Stored event i, the last one for -1; null without events or for an index out of range.
    CSignalEvent *GetEvent(qint64 i) const;
    CSignalEvent *GetFirstEvent() const { return GetEvent(0); }
    CSignalEvent *GetLastEvent() const { return GetEvent(-1); }
    qint64 GetLastTime() const;
    // Number of the first stored event whose time is >= time; GetnEvent() when there is none.
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
    // at time counts, as in the dump. Null before the first change (the sentinel is no value)
    // and after the last stored event, where the dump has ended.
    const CSignalEvent *GetEventAt(qint64 time) const;

    // The events with the smallest and the largest value, found when first asked for.
    CSignalEvent *GetMinEvent();
    CSignalEvent *GetMaxEvent();

    CSignalEvent *m_MinEvent = nullptr;
    CSignalEvent *m_MaxEvent = nullptr;

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
    void UpdateSummaries() const;
    template <class Merge>
    void SummariseWith(qint64 first, qint64 end, Dovlin_ValueRange &range) const;

    // The slot for the next appended event: while the working box has room, without a call.
    CSignalEvent *NextSlot()
    {
        if (m_AppendNext != m_AppendEnd) {
            ++m_LastSlot;
            ++*m_Structure;
            return m_AppendNext++;
        }
        return NextSlotSlow();
    }
    // Writes the sentinel first when the signal has no events yet.
    CSignalEvent *NextSlotSlow();

    // A box lies in memory, or in the spill file while a dump is imported: the top bit of its
    // reference tells which, the rest is the pointer or the slot in the file.
    static constexpr quint64 m_Spilled = quint64(1) << 63;
    CSignalEvent *Box(qint64 box) const
    {
        const quint64 ref = m_Boxes[size_t(box)];
        return ref & m_Spilled ? Unspill(box) : reinterpret_cast<CSignalEvent *>(quintptr(ref));
    }
    // Brings a spilled box back into memory for good (only searches during an import need it).
    CSignalEvent *Unspill(qint64 box) const;
    // A box of default events that the signal owns.
    CSignalEvent *AllocateBox() const;
    // Appends a box, which lies in m_Blocks or in the file manager's event arena.
    void AddSignalEventBox(CSignalEvent *box);
    CSignalEvent *EventAt(qint64 box, qint64 slot) const;
    bool WriteBoxes(Dovlin_WaveWriter &writer) const;

    int m_Index;
    Dovlin_FileManager *m_FileManager;
    // m_MinEvent and m_MaxEvent are up to date for m_MinMaxRevision.
    quint64 m_MinMaxRevision = ~quint64(0);
    // The file manager's count of changes, which every append raises.
    quint64 *m_Structure;
    int m_LastSlot = m_BoxSize - 1;
    int m_LastBox = -1;
    mutable std::vector<quint64> m_Boxes;
    // The boxes the signal owns.
    struct RawDeleter
    {
        void operator()(CSignalEvent *events) const { ::operator delete[](events); }
    };
    mutable std::vector<std::unique_ptr<CSignalEvent[], RawDeleter>> m_Blocks;
    // The box that appended events go to. While spilling, the same box is filled again once
    // its events went to the spill file.
    CSignalEvent *m_WorkingBox = nullptr;
    // The free slots of the working box when it is the last box; empty otherwise.
    CSignalEvent *m_AppendNext = nullptr;
    CSignalEvent *m_AppendEnd = nullptr;
    mutable std::unique_ptr<Dovlin_Summaries> m_Summaries;
};

template <typename ValueOf>
void Dovlin_Signal::FindMinMax(ValueOf valueOf)
{
    m_MinEvent = nullptr;
    m_MaxEvent = nullptr;
    decltype(valueOf(CSignalEvent())) minValue{}, maxValue{};
    qint64 left = GetnEvent();
    for (qint64 b = 0; b <= m_LastBox; ++b) {
        CSignalEvent *box = Box(b);
        const int inBox = int(qMin<qint64>(left, m_BoxSize));
        left -= inBox;
        for (CSignalEvent *event = box; event != box + inBox; ++event) {
            if (event->m_Time == -1)
                continue;
            const auto value = valueOf(*event);
            // Strict comparisons: ties keep the earliest event, and a NaN never replaces one.
            if (!m_MaxEvent || value > maxValue) {
                m_MaxEvent = event;
                maxValue = value;
            }
            if (!m_MinEvent || value < minValue) {
                m_MinEvent = event;
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
        return T::GetSignalState(GetEventAt(time), radix);
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
    // A copy of the last trigger at the end time would read as one more trigger.
    bool SaveSignalEvents(Dovlin_WaveWriter &writer, qint64 lastTime) override;
    // "1" when a trigger lies exactly at time, else empty: an event holds no value between triggers.
    QString GetSignalState(qint64 time, int radix) override;
    void PostLoadNotification() override
    {
        FindMinMax([](const CSignalEvent &event) { return event.m_Value.m_State; });
    }
};

extern template class Dovlin_StateSignalT<Dovlin_BitType>;
extern template class Dovlin_StateSignalT<Dovlin_VerilogType>;
extern template class Dovlin_StateSignalT<Dovlin_StdLogicType>;

#endif
