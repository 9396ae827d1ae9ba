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
constexpr int BlockShift = 20;
static_assert(Dovlin_SpillFile::m_BlockBytes <= (qint64(1) << BlockShift), "an offset in a block fits its bits");
constexpr qint64 BlocksPerMapping = 128;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

Dovlin_SpillFile::~Dovlin_SpillFile()
{
    if (m_Descriptor >= 0)
        ::close(m_Descriptor);
    for (const auto &[base, size] : m_Mappings)
        munmap(base, size);
}

bool Dovlin_SpillFile::Open(const QString &directory)
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
    return true;
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
    if (m_Descriptor < 0 || m_Failed)
        return -1;
    if ((m_Blocks.empty() || m_Blocks.back().m_Used + MaxPacked + Slack > m_BlockBytes) && !NextBlock())
        return -1;
    Block &block = m_Blocks.back();
    m_Slots.push_back(quint64(m_Blocks.size() - 1) << BlockShift | quint64(block.m_Used));
    auto *to = reinterpret_cast<unsigned char *>(block.m_Memory + block.m_Used);
    const int timeBytes = Dovlin_BoxCodec::PutVarint(Dovlin_BoxCodec::ZigZag(events[0].m_Time), to);
    block.m_Used += timeBytes + Dovlin_BoxCodec::Encode(events, count, to + timeBytes);
    return qint64(m_Slots.size()) - 1;
}

qint64 Dovlin_SpillFile::BytesInMemory() const
{
    qint64 bytes = 0;
    for (const Block &block : m_Blocks)
        bytes += block.m_Memory ? block.m_Used : 0;
    return bytes;
}

bool Dovlin_SpillFile::Failure(const QString &what, int error)
{
    m_Failed = true;
    m_DiskFull = error == ENOSPC || error == EDQUOT;
    const QString directory = QDir::toNativeSeparators(m_Directory);
    m_ErrorString = m_DiskFull ? QStringLiteral("disk full while writing the temporary event file in %1").arg(directory)
                               : QStringLiteral("cannot %1 the temporary event file in %2: %3").arg(what, directory,
                                     error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("it ended early"));
    return false;
}

void Dovlin_SpillFile::PrefetchBox(qint64 slot) const
{
    const quint64 where = m_Slots[size_t(slot)];
    const char *memory = m_Blocks[size_t(where >> BlockShift)].m_Memory;
    if (memory)
        __builtin_prefetch(memory + (where & ((quint64(1) << BlockShift) - 1)));
}

bool Dovlin_SpillFile::ReadPacked(qint64 slot, Dovlin_PackedBox &packed)
{
    if (m_Descriptor < 0 || m_Failed || slot < 0 || slot >= Boxes())
        return false;
    const quint64 where = m_Slots[size_t(slot)];
    const size_t blockIndex = size_t(where >> BlockShift);
    const Block &block = m_Blocks[blockIndex];
    const qint64 offset = qint64(where & ((quint64(1) << BlockShift) - 1));
    // A box ends where the next one of its block starts.
    const quint64 next = size_t(slot) + 1 < m_Slots.size() ? m_Slots[size_t(slot) + 1] : 0;
    const qint64 end = next >> BlockShift == blockIndex && next != 0 ? qint64(next & ((quint64(1) << BlockShift) - 1)) : block.m_Used;
    const qint64 bytes = end - offset;
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
