#include "Dovlin_SpillFile.h"

#include "Dovlin_FileIo.h"
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

constexpr int BoxEvents = Dovlin_Signal::m_BoxSize;
// A box whose fields need all 8 bytes is kept as it is, after a mode byte: never more than this.
constexpr qint64 MaxPacked = 1 + Dovlin_SpillFile::m_BoxBytes;
constexpr unsigned char RawBox = 0xff;
// Fields are read and written 8 bytes at a time whatever their width: the bytes past a box's
// end must be there to be touched.
constexpr qint64 Slack = 8;
constexpr int BlockShift = 20;
static_assert(Dovlin_SpillFile::m_BlockBytes <= (qint64(1) << BlockShift), "an offset in a block fits its bits");
constexpr qint64 BlocksPerMapping = 128;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

int bytesFor(quint64 value)
{
    return value ? (64 - __builtin_clzll(value) + 7) / 8 : 0;
}

quint64 load(const unsigned char *from)
{
    quint64 value;
    std::memcpy(&value, from, sizeof value);
    return value;
}

quint64 loadBytes(const unsigned char *from, int width)
{
    return width ? load(from) & (~quint64(0) >> (64 - 8 * width)) : 0;
}

void store(unsigned char *to, quint64 value)
{
    std::memcpy(to, &value, sizeof value);
}

// The inverse of an odd number modulo 2^64 (Newton's iteration, each step doubling the bits).
quint64 inverseOf(quint64 odd)
{
    quint64 inverse = odd;
    for (int i = 0; i < 5; ++i)
        inverse *= 2 - odd * inverse;
    return inverse;
}

// Value codes past the byte widths 0 to 8: fields of 1, 2 and 4 bits.
constexpr int FirstBitCode = 9;
int bitsOf(int code)
{
    return code >= FirstBitCode ? 1 << (code - FirstBitCode) : 8 * code;
}

// Packs a box into to (MaxPacked + Slack bytes of room) and returns its size. Three bytes give the
// widths: of the time steps and the value code; of the first time and of the step unit; of the
// smallest value. Then the first time, the unit, the smallest value, the 31 times as steps of the
// unit, and the 32 values as offsets from the smallest. Times of a dump are multiples of a
// clock's period, so their steps in units of the box's smallest step mostly take one byte.
qint64 pack(const CSignalEvent *box, unsigned char *to)
{
    quint64 deltas[BoxEvents - 1], values[BoxEvents];
    quint64 time = quint64(box[0].m_Time), allDeltas = 0, smallest = ~quint64(0);
    qint64 low = box[0].m_Value.m_IntValue, high = low;
    for (int i = 0; i < BoxEvents; ++i) {
        values[i] = quint64(box[i].m_Value.m_IntValue);
        low = qMin(low, qint64(values[i]));
        high = qMax(high, qint64(values[i]));
        if (i == 0)
            continue;
        // A time that goes backwards wraps around to a step that needs all 8 bytes.
        const quint64 delta = quint64(box[i].m_Time) - time;
        time = quint64(box[i].m_Time);
        deltas[i - 1] = delta;
        allDeltas |= delta;
        smallest = qMin(smallest, delta ? delta : ~quint64(0));
    }
    // The smallest step is the unit when it divides every step (tested by multiplying with the
    // inverse of its odd part), else the largest power of two that does.
    quint64 unit = allDeltas ? allDeltas & (~allDeltas + 1) : 1;
    if (allDeltas && smallest != unit) {
        const int shift = __builtin_ctzll(smallest);
        const quint64 odd = smallest >> shift, inverse = inverseOf(odd), limit = ~quint64(0) / odd;
        bool divides = (allDeltas & ((quint64(1) << shift) - 1)) == 0;
        for (int i = 0; i < BoxEvents - 1; ++i)
            divides &= (deltas[i] >> shift) * inverse <= limit;
        if (divides)
            unit = smallest;
    }
    const int unitShift = __builtin_ctzll(unit);
    const quint64 oddInverse = inverseOf(unit >> unitShift);
    quint64 allSteps = 0;
    for (quint64 &delta : deltas) {
        delta = (delta >> unitShift) * oddInverse;
        allSteps |= delta;
    }
    const quint64 range = quint64(high) - quint64(low);
    const int timeWidth = bytesFor(allSteps);
    const int valueCode = range < 2 ? (range ? FirstBitCode : 0) : range < 4 ? FirstBitCode + 1 : range < 16 ? FirstBitCode + 2 : bytesFor(range);
    const int firstWidth = bytesFor(quint64(box[0].m_Time)), unitWidth = bytesFor(unit), lowWidth = bytesFor(quint64(low));
    const int valueBits = bitsOf(valueCode);
    const qint64 size = 3 + firstWidth + unitWidth + lowWidth + (BoxEvents - 1) * timeWidth + BoxEvents * valueBits / 8;
    if (size >= MaxPacked) {
        to[0] = RawBox;
        std::memcpy(to + 1, box, size_t(Dovlin_SpillFile::m_BoxBytes));
        return MaxPacked;
    }
    to[0] = static_cast<unsigned char>(timeWidth | valueCode << 4);
    to[1] = static_cast<unsigned char>(firstWidth | unitWidth << 4);
    to[2] = static_cast<unsigned char>(lowWidth);
    unsigned char *out = to + 3;
    store(out, quint64(box[0].m_Time));
    store(out += firstWidth, unit);
    store(out += unitWidth, quint64(low));
    out += lowWidth;
    for (const quint64 delta : deltas) {
        store(out, delta);
        out += timeWidth;
    }
    if (valueBits >= 8) {
        for (const quint64 value : values) {
            store(out, value - quint64(low));
            out += valueBits / 8;
        }
    } else if (valueBits > 0) {
        std::memset(out, 0, size_t(BoxEvents * valueBits / 8));
        for (int i = 0; i < BoxEvents; ++i)
            out[i * valueBits / 8] |= static_cast<unsigned char>((values[i] - quint64(low)) << (i * valueBits % 8));
    }
    return size;
}

void unpack(const unsigned char *from, CSignalEvent *box)
{
    if (from[0] == RawBox) {
        std::memcpy(static_cast<void *>(box), from + 1, size_t(Dovlin_SpillFile::m_BoxBytes));
        return;
    }
    const int timeWidth = from[0] & 15, valueBits = bitsOf(from[0] >> 4);
    const int firstWidth = from[1] & 15, unitWidth = from[1] >> 4, lowWidth = from[2];
    const unsigned char *in = from + 3;
    quint64 time = loadBytes(in, firstWidth);
    const quint64 unit = loadBytes(in += firstWidth, unitWidth);
    const quint64 low = loadBytes(in += unitWidth, lowWidth);
    in += lowWidth;
    // A first time of 8 bytes (the sentinel's -1) reads whole; fewer are a time of that many bytes.
    box[0].m_Time = qint64(time);
    for (int i = 1; i < BoxEvents; ++i, in += timeWidth) {
        time += loadBytes(in, timeWidth) * unit;
        box[i].m_Time = qint64(time);
    }
    if (valueBits >= 8) {
        for (int i = 0; i < BoxEvents; ++i, in += valueBits / 8)
            box[i].m_Value.m_IntValue = qint64(low + loadBytes(in, valueBits / 8));
    } else {
        // No bits at all: every value is the smallest.
        const quint64 mask = (quint64(1) << valueBits) - 1;
        for (int i = 0; i < BoxEvents; ++i)
            box[i].m_Value.m_IntValue = qint64(low + (quint64(in[i * valueBits / 8] >> (i * valueBits % 8)) & mask));
    }
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

qint64 Dovlin_SpillFile::Append(const CSignalEvent *box)
{
    if (m_Descriptor < 0 || m_Failed)
        return -1;
    if ((m_Blocks.empty() || m_Blocks.back().m_Used + MaxPacked + Slack > m_BlockBytes) && !NextBlock())
        return -1;
    Block &block = m_Blocks.back();
    m_Slots.push_back(quint64(m_Blocks.size() - 1) << BlockShift | quint64(block.m_Used));
    block.m_Used += pack(box, reinterpret_cast<unsigned char *>(block.m_Memory + block.m_Used));
    return qint64(m_Slots.size()) - 1;
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
    if (!memory)
        return;
    const char *box = memory + (where & ((quint64(1) << BlockShift) - 1));
    for (int line = 0; line < 3; ++line)
        __builtin_prefetch(box + 64 * line);
}

bool Dovlin_SpillFile::Read(qint64 slot, CSignalEvent *box)
{
    if (m_Descriptor < 0 || m_Failed || slot < 0 || slot >= Boxes())
        return false;
    const quint64 where = m_Slots[size_t(slot)];
    const Block &block = m_Blocks[size_t(where >> BlockShift)];
    const qint64 offset = qint64(where & ((quint64(1) << BlockShift) - 1));
    if (block.m_Memory) {
        unpack(reinterpret_cast<const unsigned char *>(block.m_Memory + offset), box);
        return true;
    }
    // A packed box never runs past its block's end, and no further than MaxPacked.
    unsigned char fromFile[MaxPacked + Slack] = {};
    const qint64 bytes = qMin(MaxPacked, block.m_Used - offset);
    if (!Dovlin_FileIo::ReadAll(m_Descriptor, fromFile, bytes, block.m_Offset + offset))
        return Failure(QStringLiteral("read"), errno);
    unpack(fromFile, box);
    return true;
}
