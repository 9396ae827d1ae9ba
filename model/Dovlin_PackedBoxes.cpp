#include "Dovlin_PackedBoxes.h"

#include "Dovlin_BoxCodec.h"
#include "Dovlin_Crc32c.h"
#include "Dovlin_Signals.h"

#include <QtEndian>

#include <cstdlib>
#include <new>

#include <sys/mman.h>


namespace {

constexpr quint64 NoKey = ~quint64(0);

} // namespace

Dovlin_BoxCache::Dovlin_BoxCache(qint64 capacity)
{
    // A power of two of sets, so that a place's set is its low bits.
    int bits = 0;
    while ((qint64(m_Ways) << (bits + 1)) <= qMax<qint64>(capacity, m_Ways))
        ++bits;
    m_Sets.resize(size_t(1) << bits);
    for (Set &set : m_Sets)
        for (int way = 0; way < m_Ways; ++way) {
            set.m_Keys[way] = NoKey;
            set.m_Used[way] = 0;
        }
    m_Mask = (quint64(1) << bits) - 1;
    // A walk over a file reads its boxes at scattered places of the cache: in huge pages they
    // cost few address translations, each of which is dear in a virtual machine. A small cache
    // (an import's) keeps its own size.
    constexpr size_t hugePage = size_t(2) << 20;
    const size_t bytes = m_Sets.size() * m_Ways * Dovlin_Signal::m_BoxSize * sizeof(CSignalEvent);
    const bool huge = bytes >= hugePage;
    const size_t size = huge ? (bytes + hugePage - 1) / hugePage * hugePage : bytes;
    void *memory = std::aligned_alloc(huge ? hugePage : alignof(std::max_align_t), size);
    if (!memory)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (huge)
        madvise(memory, size, MADV_HUGEPAGE);
#endif
    m_Events.reset(static_cast<CSignalEvent *>(memory));
}

void Dovlin_BoxCache::FreeDeleter::operator()(CSignalEvent *events) const
{
    std::free(events);
}

Dovlin_BoxCache::~Dovlin_BoxCache() = default;

CSignalEvent *Dovlin_BoxCache::EventsOf(const Set &set, int way) const
{
    return m_Events.get() + (size_t(way) * m_Sets.size() + size_t(&set - m_Sets.data())) * Dovlin_Signal::m_BoxSize;
}

CSignalEvent *Dovlin_BoxCache::Find(quint64 key, quint64 place)
{
    Set &set = SetOf(place);
    for (int way = 0; way < m_Ways; ++way) {
        if (set.m_Keys[way] == key) {
            set.m_Used[way] = ++m_Clock;
            return EventsOf(set, way);
        }
    }
    return nullptr;
}

CSignalEvent *Dovlin_BoxCache::Insert(quint64 key, quint64 place)
{
    Set &set = SetOf(place);
    int oldest = 0;
    for (int way = 1; way < m_Ways; ++way)
        // The clock wraps: what lies furthest back from it is the oldest.
        if (m_Clock - set.m_Used[way] > m_Clock - set.m_Used[oldest])
            oldest = way;
    m_Evictions += set.m_Keys[oldest] != NoKey ? 1 : 0;
    set.m_Keys[oldest] = key;
    set.m_Used[oldest] = ++m_Clock;
    return EventsOf(set, oldest);
}

void Dovlin_BoxCache::Forget(quint64 key, quint64 place)
{
    Set &set = SetOf(place);
    for (int way = 0; way < m_Ways; ++way)
        if (set.m_Keys[way] == key) {
            set.m_Keys[way] = NoKey;
            ++m_Evictions;
        }
}

int Dovlin_PackedSignal::EventsIn(qint64 box) const
{
    return int(qMin<qint64>(Dovlin_Signal::m_BoxSize, m_nEvent - box * Dovlin_Signal::m_BoxSize));
}

int Dovlin_PackedSignal::PackedEventsIn(qint64 box) const
{
    return EventsIn(box) - (box == 0 ? 1 : 0) - (m_Closed && box == m_nBox - 1 ? 1 : 0);
}

Dovlin_PackedFile::Dovlin_PackedFile(const unsigned char *boxes, qint64 size, qint64 chunkBytes,
                                     const unsigned char *checksums)
    : m_Boxes(boxes), m_BoxesSize(size), m_ChunkBytes(qMax<qint64>(1, chunkBytes)), m_Checksums(checksums),
      m_Checked(size_t((size + m_ChunkBytes - 1) / m_ChunkBytes), 0)
{
}

bool Dovlin_PackedFile::Check(qint64 offset, qint64 size, QString &reason)
{
    if (offset < 0 || size < 0 || offset + size > m_BoxesSize) {
        reason = QStringLiteral("bytes %1 to %2 lie outside the packed boxes").arg(offset).arg(offset + size);
        return false;
    }
    for (qint64 chunk = offset / m_ChunkBytes; chunk * m_ChunkBytes < offset + size; ++chunk) {
        quint8 &checked = m_Checked[size_t(chunk)];
        if (checked == 0) {
            const qint64 start = chunk * m_ChunkBytes;
            const qint64 bytes = qMin(m_ChunkBytes, m_BoxesSize - start);
            checked = Dovlin_Crc32c(m_Boxes + start, bytes) == Dovlin_PackedSignal::Field(m_Checksums + 4 * chunk, 4) ? 1 : 2;
        }
        if (checked == 2) {
            reason = QStringLiteral("section BOXS: the checksum of bytes %1 to %2 does not match")
                         .arg(chunk * m_ChunkBytes)
                         .arg(qMin(m_BoxesSize, (chunk + 1) * m_ChunkBytes));
            return false;
        }
    }
    return true;
}
