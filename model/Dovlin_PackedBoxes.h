#ifndef DOVLIN_PACKEDBOXES_H
#define DOVLIN_PACKEDBOXES_H

#include <QString>
#include <QtEndian>

#include <memory>
#include <vector>

struct CSignalEvent;


// One box as packed by Dovlin_BoxCodec: the time of its first event, kept apart, and its bytes,
// which lie where the box is kept or, read from a file, in m_Buffer.
struct Dovlin_PackedBox
{
    qint64 m_FirstTime = 0;
    const unsigned char *m_Bytes = nullptr;
    int m_Size = 0;
    unsigned char m_Buffer[600];
};

// Decoded boxes, a bounded number of them: every box of a file may be looked at, but only the
// latest few thousand stay. A box is found by a key that names where its packed bytes lie.
// A pointer handed out stays valid until the next Insert.
class Dovlin_BoxCache
{
public:
    static constexpr int m_Ways = 4;

    // Room for about capacity boxes of 32 events.
    explicit Dovlin_BoxCache(qint64 capacity);
    ~Dovlin_BoxCache();
    Dovlin_BoxCache(const Dovlin_BoxCache &) = delete;
    Dovlin_BoxCache &operator=(const Dovlin_BoxCache &) = delete;

    // A box goes by its key, which names it, into the set its place picks: a signal gives its
    // boxes consecutive places, so that a walk through them reads the cache in order.
    CSignalEvent *Find(quint64 key, quint64 place);
    // Counts the boxes the cache let go: a box it handed out is still there while the count stays.
    const quint64 *Evictions() const { return &m_Evictions; }
    // The slot of key, which the caller fills; the least recently used box of its set goes.
    CSignalEvent *Insert(quint64 key, quint64 place);
    // Drops key, whose slot the caller could not fill.
    void Forget(quint64 key, quint64 place);
    // Asks the memory for the keys of place's set, for a read planned ahead.
    void PrefetchSet(quint64 place) const
    {
        const Set &set = m_Sets[size_t(place & m_Mask)];
        __builtin_prefetch(&set);
        __builtin_prefetch(reinterpret_cast<const char *>(&set + 1) - 1);
    }

private:
    struct Set
    {
        quint64 m_Keys[m_Ways];
        quint32 m_Used[m_Ways];
    };
    Set &SetOf(quint64 place) { return m_Sets[size_t(place & m_Mask)]; }
    // Each way's boxes lie in the order of their sets.
    CSignalEvent *EventsOf(const Set &set, int way) const;

    std::vector<Set> m_Sets;
    struct FreeDeleter
    {
        void operator()(CSignalEvent *events) const;
    };
    std::unique_ptr<CSignalEvent[], FreeDeleter> m_Events;
    quint64 m_Mask = 0;
    quint32 m_Clock = 0;
    quint64 m_Evictions = 0;
};

// The events of one signal as a file of format 2 keeps them: box b holds stored events
// [32 b, 32 b + 32) (box 0 without the sentinel, the last one without an implied closing event),
// packed one after the other; an index gives each box's first time and where its bytes start.
struct Dovlin_PackedSignal
{
    qint64 m_nEvent = 0;
    qint64 m_nBox = 0;
    qint64 m_FirstTime = 0;
    // The last stored event is not packed: it repeats the value before it at m_EndTime.
    bool m_Closed = false;
    qint64 m_EndTime = -1;
    // The signal's packed boxes, and where they lie in the file's packed-box section.
    const unsigned char *m_Data = nullptr;
    qint64 m_DataBytes = 0;
    qint64 m_DataOffset = 0;
    // For boxes 1 to m_nBox - 1: the first time less m_FirstTime, and where the box starts in m_Data,
    // little-endian fields of m_TimeBytes and m_OffsetBytes.
    const unsigned char *m_Times = nullptr;
    const unsigned char *m_Offsets = nullptr;
    int m_TimeBytes = 1;
    int m_OffsetBytes = 1;

    // Searches ask for these at every step: inline, one load of the field's width.
    static quint64 Field(const unsigned char *at, int bytes)
    {
        switch (bytes) {
        case 1: return *at;
        case 2: return qFromLittleEndian<quint16>(at);
        case 4: return qFromLittleEndian<quint32>(at);
        default: return qFromLittleEndian<quint64>(at);
        }
    }
    qint64 BoxFirstTime(qint64 box) const
    {
        return box == 0 ? m_FirstTime : qint64(quint64(m_FirstTime) + Field(m_Times + (box - 1) * m_TimeBytes, m_TimeBytes));
    }
    qint64 BoxOffset(qint64 box) const { return box == 0 ? 0 : qint64(Field(m_Offsets + (box - 1) * m_OffsetBytes, m_OffsetBytes)); }
    qint64 BoxEnd(qint64 box) const { return box + 1 < m_nBox ? BoxOffset(box + 1) : m_DataBytes; }
    // Stored events in a box, and those of them that are packed.
    int EventsIn(qint64 box) const;
    int PackedEventsIn(qint64 box) const;
};

// The packed boxes of a loaded file of format 2, whose bytes lie in memory (mapped, or read into a
// buffer when the file cannot be mapped) for as long as this lives. They are checked against the
// file's checksums a chunk at a time, the first time a box in the chunk is read.
class Dovlin_PackedFile
{
public:
    // The packed-box section, and the little-endian CRC-32C of each of its chunks of chunkBytes.
    Dovlin_PackedFile(const unsigned char *boxes, qint64 size, qint64 chunkBytes, const unsigned char *checksums);
    const unsigned char *Boxes() const { return m_Boxes; }
    qint64 BoxesSize() const { return m_BoxesSize; }
    // Checks the chunks that hold [offset, offset + size) of the box section; false with the reason.
    bool Check(qint64 offset, qint64 size, QString &reason);
    std::vector<Dovlin_PackedSignal> &Signals() { return m_Signals; }

private:
    const unsigned char *m_Boxes = nullptr;
    qint64 m_BoxesSize = 0;
    qint64 m_ChunkBytes = 1;
    const unsigned char *m_Checksums = nullptr;
    // 0 not checked yet, 1 good, 2 damaged.
    std::vector<quint8> m_Checked;
    std::vector<Dovlin_PackedSignal> m_Signals;
};

#endif
