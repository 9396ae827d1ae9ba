#include "Dovlin_SpillFile.h"

#include "Dovlin_BoxCodec.h"
#include "Dovlin_FileIo.h"
#include "Dovlin_PackedBoxes.h"
#include "Dovlin_Signals.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A box is kept as its first time (a zigzag varint) and its packed form, never more than this.
constexpr qint64 MaxPacked = 10 + Dovlin_BoxCodec::MaxBoxBytes;
// Room a box may need beyond its bytes: packing stores, and unpacking reads, 8 bytes at a time.
constexpr qint64 Slack = Dovlin_BoxCodec::Padding;
static_assert(Dovlin_BoxCodec::MaxEncodedBytes - Dovlin_BoxCodec::MaxBoxBytes <= Slack, "packing stays in its room");
static_assert(sizeof(Dovlin_PackedBox::m_Buffer) >= MaxPacked + Slack, "a box read from the file fits its buffer");
// A slot's place: its block in the upper 32 bits, then the offset of its box in the block, then
// the box's size in the low bits.
constexpr int SizeBits = 12;
constexpr int OffsetBits = 20;
static_assert(MaxPacked < (qint64(1) << SizeBits), "a box's size fits its bits");
static_assert(Dovlin_SpillFile::m_BlockBytes <= (qint64(1) << OffsetBits), "an offset in a block fits its bits");
constexpr quint64 SlotPlace(size_t block, qint64 offset, qint64 size)
{
    return quint64(block) << (SizeBits + OffsetBits) | quint64(offset) << SizeBits | quint64(size);
}
constexpr size_t SlotBlock(quint64 place) { return size_t(place >> (SizeBits + OffsetBits)); }
constexpr qint64 SlotOffset(quint64 place) { return qint64(place >> SizeBits & ((quint64(1) << OffsetBits) - 1)); }
constexpr qint64 SlotSize(quint64 place) { return qint64(place & ((quint64(1) << SizeBits) - 1)); }
constexpr qint64 BlocksPerMapping = 128;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

Dovlin_SpillFile::Dovlin_SpillFile()
{
    AddLane();
}

Dovlin_SpillFile::~Dovlin_SpillFile()
{
    if (m_Placer.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_Mutex);
            m_Stop = true;
        }
        m_Changed.notify_all();
        m_Placer.join();
    }
    if (m_Descriptor >= 0)
        ::close(m_Descriptor);
    for (const auto &[base, size] : m_Mappings)
        munmap(base, size);
}

bool Dovlin_SpillFile::Open(const QString &directory, bool packOnThread)
{
    const QByteArray path = QFile::encodeName(QDir(directory).filePath(QStringLiteral(".dovlin-spill-XXXXXX")));
    std::vector<char> name(path.constData(), path.constData() + path.size() + 1);
    m_Descriptor = ::mkstemp(name.data());
    if (m_Descriptor < 0) {
        m_ErrorString = QStringLiteral("cannot create a spill file in %1: %2").arg(directory, systemError());
        return false;
    }
    ::unlink(name.data());
    m_Directory = directory;
    // Without a thread of its own, the store places each batch as it is handed off.
    try {
        if (packOnThread)
            m_Placer = std::thread(&Dovlin_SpillFile::Run, this);
    } catch (const std::system_error &) {
    }
    return true;
}

Dovlin_SpillLane *Dovlin_SpillFile::AddLane()
{
    m_Lanes.push_back(std::make_unique<Dovlin_SpillLane>());
    m_Lanes.back()->m_Batch = NewBatch();
    return m_Lanes.back().get();
}

// Room for a batch's boxes at their largest, and for the last one's packing to overrun.
const size_t Dovlin_SpillFile::BatchBytes = BatchBoxes * size_t(MaxPacked) + size_t(Slack);

Dovlin_SpillFile::Batch Dovlin_SpillFile::NewBatch()
{
    Batch batch;
    batch.m_Bytes.reset(new unsigned char[BatchBytes]);
    batch.m_Sizes.reset(new quint16[BatchBoxes]);
    return batch;
}

qint64 Dovlin_SpillFile::BytesInFlight(int lanes)
{
    // A batch being filled in each lane, and those handed over.
    return qint64(2 * size_t(lanes) + Batches) * qint64(BatchBytes + BatchBoxes * sizeof(quint16));
}

void Dovlin_SpillFile::PlaceBatch(const Batch &batch)
{
    const unsigned char *bytes = batch.m_Bytes.get();
    for (size_t i = 0; i < batch.m_Count; ++i) {
        Place(bytes, batch.m_Sizes[i], batch.m_FirstSlot + qint64(i));
        bytes += batch.m_Sizes[i];
    }
}

void Dovlin_SpillFile::Run()
{
    std::unique_lock<std::mutex> lock(m_Mutex);
    for (;;) {
        m_Changed.wait(lock, [this] { return m_Stop || !m_Queue.empty(); });
        if (m_Stop)
            return;
        Batch batch = std::move(m_Queue.front());
        m_Queue.pop_front();
        lock.unlock();
        PlaceBatch(batch);
        const qint64 packed = qint64(batch.m_Count);
        batch.m_Count = 0;
        batch.m_Used = 0;
        lock.lock();
        m_FreeBatches.push_back(std::move(batch));
        --m_BatchesOut;
        m_PackedBoxes.fetch_add(packed, std::memory_order_release);
        m_Changed.notify_all();
    }
}

void Dovlin_SpillFile::HandOff(Dovlin_SpillLane &lane)
{
    Batch &batch = lane.m_Batch;
    if (batch.m_Count == 0)
        return;
    m_Issued.fetch_add(qint64(batch.m_Count), std::memory_order_relaxed);
    if (!m_Placer.joinable()) {
        {
            const std::lock_guard<std::mutex> placing(m_PlaceMutex);
            PlaceBatch(batch);
        }
        m_PackedBoxes.fetch_add(qint64(batch.m_Count), std::memory_order_release);
        batch.m_Count = 0;
        batch.m_Used = 0;
        return;
    }
    std::unique_lock<std::mutex> lock(m_Mutex);
    // A bounded number of batches in flight: the appending threads wait for the placing thread past them.
    m_Changed.wait(lock, [this] { return m_BatchesOut < Batches + m_Lanes.size(); });
    m_Queue.push_back(std::move(batch));
    ++m_BatchesOut;
    if (!m_FreeBatches.empty()) {
        batch = std::move(m_FreeBatches.back());
        m_FreeBatches.pop_back();
    } else {
        batch = NewBatch();
    }
    lock.unlock();
    m_Changed.notify_all();
}

void Dovlin_SpillFile::Settle() const
{
    if (m_Settled.load(std::memory_order_acquire))
        return;
    auto *self = const_cast<Dovlin_SpillFile *>(this);
    // Only a thread that appends, or one that took over from the lanes, asks: their batches are its own.
    for (const auto &lane : m_Lanes)
        if (lane->m_Batch.m_Count > 0)
            self->HandOff(*lane);
    if (m_PackedBoxes.load(std::memory_order_acquire) != m_Issued.load(std::memory_order_relaxed)) {
        std::unique_lock<std::mutex> lock(m_Mutex);
        m_Changed.wait(lock, [this] {
            return m_PackedBoxes.load(std::memory_order_acquire) == m_Issued.load(std::memory_order_relaxed);
        });
    }
    m_Settled.store(true, std::memory_order_release);
}

// Blocks are carved from large mappings that ask for huge pages: faulting in packed events 4 KB
// at a time costs more than packing them.
char *Dovlin_SpillFile::BlockMemory()
{
    if (m_BlocksLeft == 0) {
        const size_t bytes = size_t(BlocksPerMapping * m_BlockBytes);
        void *base = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
        madvise(base, bytes, MADV_HUGEPAGE);
#endif
        m_Mappings.emplace_back(base, bytes);
        m_NextBlock = static_cast<char *>(base);
        m_BlocksLeft = int(BlocksPerMapping);
    }
    char *memory = m_NextBlock;
    m_NextBlock += m_BlockBytes;
    --m_BlocksLeft;
    return memory;
}

bool Dovlin_SpillFile::NextBlock()
{
    char *memory = nullptr;
    if (!m_Blocks.empty()) {
        Block &full = m_Blocks.back();
        if (m_InMemory + m_BlockBytes > m_Budget) {
            // The bytes count as wanted even when the write fails: the space the file wanted is known.
            m_Wanted += full.m_Used;
            if (!Dovlin_FileIo::WriteAll(Dovlin_FileIo::SpillFile, m_Descriptor, full.m_Memory, full.m_Used))
                return Failure(QStringLiteral("write"), errno);
            full.m_Offset = m_Written;
            m_Written += full.m_Used;
            memory = full.m_Memory;
            full.m_Memory = nullptr;
        } else {
            m_InMemory += m_BlockBytes;
        }
    }
    Block next;
    next.m_Memory = memory ? memory : BlockMemory();
    m_Blocks.push_back(next);
    return true;
}

qint64 Dovlin_SpillFile::Append(const CSignalEvent *events, int count)
{
    return Append(*m_Lanes.front(), events, count);
}

qint64 Dovlin_SpillFile::Append(Dovlin_SpillLane &lane, const CSignalEvent *events, int count)
{
    if (m_Descriptor < 0 || Failed())
        return -1;
    Batch &batch = lane.m_Batch;
    if (batch.m_Count == 0) {
        batch.m_FirstSlot = m_NextSlot.fetch_add(qint64(BatchBoxes), std::memory_order_relaxed);
        m_Settled.store(false, std::memory_order_relaxed);
    }
    const qint64 slot = batch.m_FirstSlot + qint64(batch.m_Count);
    unsigned char *to = batch.m_Bytes.get() + batch.m_Used;
    const int timeBytes = Dovlin_BoxCodec::PutVarint(Dovlin_BoxCodec::ZigZag(events[0].m_Time), to);
    const int size = timeBytes + Dovlin_BoxCodec::Encode(events, count, to + timeBytes);
    batch.m_Sizes[batch.m_Count++] = quint16(size);
    batch.m_Used += size_t(size);
    if (batch.m_Count == BatchBoxes)
        HandOff(lane);
    return slot;
}

// On the placing thread. After a failure every box still takes its slot, empty: the slots keep
// matching what was handed out, though nothing may be read any more.
bool Dovlin_SpillFile::Place(const unsigned char *bytes, qint64 size, qint64 slot)
{
    // Lanes hand their batches over in any order: a slot's place may be set before those of lower slots.
    if (size_t(slot) >= m_Slots.size())
        m_Slots.resize(size_t(slot) + 1);
    // A box read from its block is unpacked 8 bytes at a time: the block has room past its end.
    if (Failed() || ((m_Blocks.empty() || m_Blocks.back().m_Used + size + Slack > m_BlockBytes) && !NextBlock()))
        return false;
    Block &block = m_Blocks.back();
    std::memcpy(block.m_Memory + block.m_Used, bytes, size_t(size));
    m_Slots[size_t(slot)] = SlotPlace(m_Blocks.size() - 1, block.m_Used, size);
    block.m_Used += size;
    return true;
}

qint64 Dovlin_SpillFile::Boxes() const
{
    Settle();
    return m_PackedBoxes.load(std::memory_order_acquire);
}

qint64 Dovlin_SpillFile::BytesWritten() const
{
    Settle();
    return m_Written;
}

qint64 Dovlin_SpillFile::BytesWanted() const
{
    Settle();
    return m_Wanted;
}

bool Dovlin_SpillFile::DiskFull() const
{
    Settle();
    return m_DiskFull;
}

QString Dovlin_SpillFile::ErrorString() const
{
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_ErrorString;
}

qint64 Dovlin_SpillFile::BytesInMemory() const
{
    Settle();
    qint64 bytes = 0;
    for (const Block &block : m_Blocks)
        bytes += block.m_Memory ? block.m_Used : 0;
    return bytes;
}

// The first failure is the one told.
bool Dovlin_SpillFile::Failure(const QString &what, int error)
{
    const std::lock_guard<std::mutex> lock(m_Mutex);
    if (Failed())
        return false;
    m_DiskFull = error == ENOSPC || error == EDQUOT;
    const QString directory = QDir::toNativeSeparators(m_Directory);
    m_ErrorString = m_DiskFull ? QStringLiteral("disk full while writing the temporary event file in %1").arg(directory)
                               : QStringLiteral("cannot %1 the temporary event file in %2: %3").arg(what, directory,
                                     error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("it ended early"));
    m_Failed.store(true, std::memory_order_release);
    return false;
}

void Dovlin_SpillFile::PrefetchSlot(qint64 slot) const
{
    Settle();
    if (size_t(slot) < m_Slots.size())
        __builtin_prefetch(&m_Slots[size_t(slot)]);
}

void Dovlin_SpillFile::PrefetchBox(qint64 slot) const
{
    Settle();
    const quint64 place = size_t(slot) < m_Slots.size() ? m_Slots[size_t(slot)] : 0;
    const char *memory = place ? m_Blocks[SlotBlock(place)].m_Memory : nullptr;
    if (memory)
        __builtin_prefetch(memory + SlotOffset(place));
}

bool Dovlin_SpillFile::ReadPacked(qint64 slot, Dovlin_PackedBox &packed)
{
    Settle();
    if (m_Descriptor < 0 || Failed() || slot < 0 || size_t(slot) >= m_Slots.size() || m_Slots[size_t(slot)] == 0)
        return false;
    const quint64 place = m_Slots[size_t(slot)];
    const Block &block = m_Blocks[SlotBlock(place)];
    const qint64 offset = SlotOffset(place);
    const qint64 bytes = SlotSize(place);
    const unsigned char *from = nullptr;
    if (block.m_Memory) {
        from = reinterpret_cast<const unsigned char *>(block.m_Memory + offset);
    } else {
        if (bytes > MaxPacked || !Dovlin_FileIo::ReadAll(m_Descriptor, packed.m_Buffer, bytes, block.m_Offset + offset))
            return Failure(QStringLiteral("read"), errno);
        std::memset(packed.m_Buffer + bytes, 0, size_t(Slack));
        from = packed.m_Buffer;
    }
    quint64 time = 0;
    const int timeBytes = Dovlin_BoxCodec::GetVarint(from, from + bytes, time);
    if (timeBytes == 0)
        return Failure(QStringLiteral("read"), 0);
    packed.m_FirstTime = Dovlin_BoxCodec::UnZigZag(time);
    packed.m_Bytes = from + timeBytes;
    packed.m_Size = int(bytes - timeBytes);
    return true;
}

bool Dovlin_SpillFile::Read(qint64 slot, CSignalEvent *events, int count)
{
    Dovlin_PackedBox packed;
    if (!ReadPacked(slot, packed))
        return false;
    if (!Dovlin_BoxCodec::Decode(packed.m_Bytes, packed.m_Size, count, packed.m_FirstTime, events))
        return Failure(QStringLiteral("read"), 0);
    return true;
}
