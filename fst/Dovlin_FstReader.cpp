#include "Dovlin_FstReader.h"

#include "Dovlin_FastLz.h"
#include "Dovlin_FileMapping.h"

#include <QFile>
#include <QFileInfo>

#include <lz4.h>
#include <zlib.h>

#include <climits>
#include <cstring>

namespace {

constexpr size_t HeaderSize = 330;
constexpr unsigned char HeaderBlock = 0, ValueBlock = 1, BlackoutBlock = 2, GeometryBlock = 3, GzipHierarchy = 4,
                        ValueBlockAlias = 5, Lz4Hierarchy = 6, Lz4TwiceHierarchy = 7, ValueBlockAlias2 = 8,
                        WrapperBlock = 254, SkipBlock = 255;
// Longest name of a scope or variable, and longest attribute text, taken.
constexpr size_t MaxName = 1 << 16;
constexpr size_t MaxAttribute = 1 << 20;
// The most a byte of deflate or of LZ4 and FastLZ input can expand to, with room for short inputs.
constexpr quint64 DeflateRatio = 1100, Lz4Ratio = 260, Slack = 64;

quint64 u64(const unsigned char *p)
{
    quint64 value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | p[i];
    return value;
}

// Reads the little-endian base-128 numbers and other fields of a buffer; a read past its end
// clears m_Ok and yields 0.
struct Cursor
{
    const unsigned char *m_P;
    const unsigned char *m_End;
    bool m_Ok = true;

    size_t Left() const { return size_t(m_End - m_P); }
    quint64 Varint(int maxBytes = 10)
    {
        quint64 value = 0;
        for (int i = 0; i < maxBytes && m_P < m_End; ++i) {
            const unsigned char b = *m_P++;
            if (i == 9 && b > 1)
                break;
            value |= quint64(b & 0x7F) << (7 * i);
            if (!(b & 0x80))
                return value;
        }
        m_Ok = false;
        return 0;
    }
    quint32 Varint32()
    {
        const quint64 value = Varint(5);
        if (value > 0xFFFFFFFFu)
            m_Ok = false;
        return m_Ok ? quint32(value) : 0;
    }
    qint64 SignedVarint()
    {
        quint64 value = 0;
        int shift = 0;
        for (int i = 0; i < 10 && m_P < m_End; ++i) {
            const unsigned char b = *m_P++;
            value |= quint64(b & 0x7F) << shift;
            shift += 7;
            if (!(b & 0x80)) {
                if (shift < 64 && (b & 0x40))
                    value |= ~quint64(0) << shift;
                return qint64(value);
            }
        }
        m_Ok = false;
        return 0;
    }
    unsigned char Byte()
    {
        if (m_P < m_End)
            return *m_P++;
        m_Ok = false;
        return 0;
    }
    QByteArray String(size_t maxLength)
    {
        const void *nul = std::memchr(m_P, 0, qMin(Left(), maxLength + 1));
        if (!nul) {
            m_Ok = false;
            m_P = m_End;
            return QByteArray();
        }
        const auto *end = static_cast<const unsigned char *>(nul);
        QByteArray text(reinterpret_cast<const char *>(m_P), qsizetype(end - m_P));
        m_P = end + 1;
        return text;
    }
};

// Inflates a zlib stream (or with gzip a gzip member) into exactly size bytes.
bool inflateExactly(const unsigned char *in, size_t inSize, unsigned char *out, size_t size, bool gzip)
{
    z_stream stream{};
    if (inflateInit2(&stream, gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK)
        return false;
    int result = Z_OK;
    size_t inDone = 0, outDone = 0;
    // zlib counts in 32 bits: large buffers go through in slices.
    constexpr size_t Slice = 1u << 30;
    while (result == Z_OK) {
        stream.next_in = const_cast<unsigned char *>(in + inDone);
        stream.avail_in = uInt(qMin(inSize - inDone, Slice));
        stream.next_out = out + outDone;
        stream.avail_out = uInt(qMin(size - outDone, Slice));
        const uInt inBefore = stream.avail_in, outBefore = stream.avail_out;
        result = inflate(&stream, Z_NO_FLUSH);
        inDone += inBefore - stream.avail_in;
        outDone += outBefore - stream.avail_out;
        if (result == Z_OK && inBefore == stream.avail_in && outBefore == stream.avail_out)
            break;
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END && outDone == size;
}

bool lz4Exactly(const unsigned char *in, size_t inSize, unsigned char *out, size_t size)
{
    if (inSize >= size_t(INT_MAX) || size >= size_t(INT_MAX))
        return false;
    return LZ4_decompress_safe(reinterpret_cast<const char *>(in), reinterpret_cast<char *>(out), int(inSize),
                               int(size)) == int(size);
}

// Times add up modulo 2^64: a writer that went back in time stored the difference as a huge step.
quint64 wrappingSum(quint64 a, quint64 b)
{
    quint64 sum;
    __builtin_add_overflow(a, b, &sum);
    return sum;
}

QString hex(unsigned value)
{
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0'));
}

} // namespace

Dovlin_FstReader::Dovlin_FstReader() = default;
Dovlin_FstReader::~Dovlin_FstReader() = default;

bool Dovlin_FstReader::Recognises(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(9);
    if (head.size() < 9)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(head.constData());
    return (p[0] == HeaderBlock && u64(p + 1) == HeaderSize - 1) || p[0] == WrapperBlock;
}

bool Dovlin_FstReader::Fail(const QString &reason)
{
    if (m_ErrorString.isEmpty())
        m_ErrorString = reason;
    return false;
}

void Dovlin_FstReader::SetBlockError(int i, const QString &reason)
{
    Fail(QStringLiteral("%1: %2").arg(BlockName(m_ValueBlocks[size_t(i)]), reason));
}

QString Dovlin_FstReader::BlockName(const BlockPlace &place) const
{
    QString kind;
    switch (place.m_Type) {
    case HeaderBlock: kind = QStringLiteral("header"); break;
    case BlackoutBlock: kind = QStringLiteral("blackout block"); break;
    case GeometryBlock: kind = QStringLiteral("geometry block"); break;
    case GzipHierarchy:
    case Lz4Hierarchy:
    case Lz4TwiceHierarchy: kind = QStringLiteral("hierarchy block"); break;
    default: {
        size_t n = 0;
        while (n < m_ValueBlocks.size() && m_ValueBlocks[n].m_Position != place.m_Position)
            ++n;
        kind = QStringLiteral("value-change block %1").arg(n + 1);
    }
    }
    return QStringLiteral("%1 at offset %2%3").arg(kind).arg(place.m_Position)
        .arg(m_Unwrapped.empty() ? QString() : QStringLiteral(" of the unwrapped file"));
}

bool Dovlin_FstReader::Open(const QString &path)
{
    m_Path = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(file.errorString());
    m_Mapping = std::make_unique<Dovlin_FileMapping>();
    if (file.size() > 0 && !m_Mapping->Map(file.handle(), file.size()))
        return Fail(QStringLiteral("it cannot be mapped into memory"));
    m_Data = reinterpret_cast<const unsigned char *>(m_Mapping->Data());
    m_Size = size_t(file.size());
    if (m_Size > 0 && m_Data[0] == WrapperBlock && !Unwrap())
        return false;
    return ReadHeader() && WalkBlocks() && !m_Mapping->Cut();
}

bool Dovlin_FstReader::Unwrap()
{
    if (m_Size < 17)
        return Fail(QStringLiteral("the gzip wrapper is cut short"));
    const quint64 length = u64(m_Data + 1);
    if (length == 0)
        return Fail(QStringLiteral("its writer was still compressing it (the gzip wrapper has no length)"));
    if (length < 16 || length > m_Size - 1)
        return Fail(QStringLiteral("the gzip wrapper claims %1 bytes, the file holds %2").arg(length).arg(m_Size - 1));
    const quint64 inner = u64(m_Data + 9);
    const quint64 compressed = length - 16;
    if (inner < HeaderSize || inner > compressed * DeflateRatio + Slack)
        return Fail(QStringLiteral("the gzip wrapper claims an inner file of %1 bytes from %2").arg(inner).arg(compressed));
    try {
        m_Unwrapped.resize(size_t(inner));
    } catch (const std::bad_alloc &) {
        return Fail(QStringLiteral("no memory for the %1 bytes of the unwrapped file").arg(inner));
    }
    if (!inflateExactly(m_Data + 17, size_t(compressed), m_Unwrapped.data(), size_t(inner), true))
        return Fail(QStringLiteral("the gzip wrapper does not unpack to its %1 bytes").arg(inner));
    m_Data = m_Unwrapped.data();
    m_Size = m_Unwrapped.size();
    return true;
}

bool Dovlin_FstReader::ReadHeader()
{
    if (m_Size < HeaderSize || m_Data[0] != HeaderBlock)
        return Fail(QStringLiteral("it does not start with an FST header"));
    if (u64(m_Data + 1) != HeaderSize - 1)
        return Fail(QStringLiteral("its header claims %1 bytes, not %2").arg(u64(m_Data + 1)).arg(HeaderSize - 1));
    static const unsigned char little[8] = {0x69, 0x57, 0x14, 0x8B, 0x0A, 0xBF, 0x05, 0x40};
    unsigned char big[8];
    for (int i = 0; i < 8; ++i)
        big[i] = little[7 - i];
    if (std::memcmp(m_Data + 25, little, 8) == 0)
        m_BigEndian = false;
    else if (std::memcmp(m_Data + 25, big, 8) == 0)
        m_BigEndian = true;
    else
        return Fail(QStringLiteral("its header's byte-order test holds no known value"));
    m_TimeExponent = static_cast<signed char>(m_Data[73]);
    const auto field = [this](size_t offset, size_t size) {
        const char *text = reinterpret_cast<const char *>(m_Data + offset);
        return QByteArray(text, qsizetype(qstrnlen(text, uint(size))));
    };
    m_Version = field(74, 128);
    m_Date = field(202, 119).trimmed();
    return true;
}

bool Dovlin_FstReader::WalkBlocks()
{
    const BlockPlace *hierarchy = nullptr, *geometry = nullptr, *blackout = nullptr;
    std::vector<BlockPlace> places;
    size_t pos = HeaderSize;
    while (pos < m_Size) {
        if (m_Size - pos < 9) {
            m_Truncation = QStringLiteral("it ends inside a block's frame at offset %1").arg(pos);
            break;
        }
        const unsigned char type = m_Data[pos];
        const quint64 length = u64(m_Data + pos + 1);
        if (length == 0) {
            if (type != SkipBlock || pos + 9 < m_Size)
                m_Truncation = QStringLiteral("its writer had not finished the block at offset %1").arg(pos);
            else
                m_Truncation = QStringLiteral("its writer had not finished it");
            break;
        }
        if (length < 8)
            return Fail(QStringLiteral("the block at offset %1 claims %2 bytes, fewer than its length field").arg(pos).arg(length));
        if (length > m_Size - pos - 1) {
            m_Truncation = QStringLiteral("the block at offset %1 claims %2 bytes and the file ends after %3")
                               .arg(pos).arg(length).arg(m_Size - pos - 1);
            break;
        }
        places.push_back({type, pos, size_t(length)});
        pos += 1 + size_t(length);
    }
    // The blocks are known before any is decoded: a writer may put the hierarchy first or last.
    // Of several hierarchy, geometry or blackout blocks the last one counts.
    for (const BlockPlace &place : places) {
        switch (place.m_Type) {
        case ValueBlock:
        case ValueBlockAlias:
        case ValueBlockAlias2: m_ValueBlocks.push_back(place); break;
        case GzipHierarchy:
        case Lz4Hierarchy:
        case Lz4TwiceHierarchy: hierarchy = &place; break;
        case GeometryBlock: geometry = &place; break;
        case BlackoutBlock: blackout = &place; break;
        case HeaderBlock: return Fail(QStringLiteral("a second header at offset %1").arg(place.m_Position));
        default: break;
        }
    }
    if (hierarchy) {
        if (!ReadHierarchy(*hierarchy))
            return false;
    } else {
        // The writer keeps the hierarchy in a side file until it closes the dump.
        QFile side(m_Path + QStringLiteral(".hier"));
        if (!side.open(QIODevice::ReadOnly))
            return Fail(m_Truncation.isEmpty() ? QStringLiteral("it holds no hierarchy")
                                               : QStringLiteral("%1, before its hierarchy was written, and %2 is missing")
                                                     .arg(m_Truncation, side.fileName()));
        const QByteArray records = side.readAll();
        QString reason;
        if (!ParseHierarchy(reinterpret_cast<const unsigned char *>(records.constData()), size_t(records.size()), reason))
            return Fail(QStringLiteral("%1: %2").arg(side.fileName(), reason));
    }
    if (geometry) {
        if (!ReadGeometry(*geometry))
            return false;
    } else {
        for (const HierarchyRecord &record : m_Hierarchy) {
            if (record.m_Kind != Variable || record.m_Handle <= m_Geometry.size())
                continue;
            const bool real = record.m_Type == RealType || record.m_Type == RealParameterType
                              || record.m_Type == RealTimeType || record.m_Type == ShortRealType;
            m_Geometry.push_back(real ? RealGeometry : record.m_Length == 0 ? StringGeometry : record.m_Length);
        }
    }
    quint32 handles = 0;
    for (const HierarchyRecord &record : m_Hierarchy)
        if (record.m_Kind == Variable)
            handles = qMax(handles, record.m_Handle);
    if (handles != m_Geometry.size())
        return Fail(QStringLiteral("the hierarchy declares %1 handles and the geometry %2").arg(handles).arg(m_Geometry.size()));
    if (blackout && !ReadBlackouts(*blackout))
        return false;
    if (!m_Truncation.isEmpty() && !m_Unwrapped.empty())
        return Fail(QStringLiteral("the unwrapped file is cut short: %1").arg(m_Truncation));
    return true;
}

bool Dovlin_FstReader::ReadHierarchy(const BlockPlace &place)
{
    const unsigned char *payload = m_Data + place.m_Position + 9;
    const size_t size = place.m_Length - 8;
    if (size < 8)
        return Fail(QStringLiteral("%1: too short").arg(BlockName(place)));
    const quint64 unpacked = u64(payload);
    Cursor in{payload + 8, payload + size};
    quint64 first = 0;
    if (place.m_Type == Lz4TwiceHierarchy) {
        first = in.Varint();
        if (!in.m_Ok)
            return Fail(QStringLiteral("%1: its first size is cut short").arg(BlockName(place)));
    }
    const size_t packed = in.Left();
    const quint64 ratio = place.m_Type == GzipHierarchy ? DeflateRatio : Lz4Ratio;
    const quint64 limit = place.m_Type == Lz4TwiceHierarchy ? (qMin(first, packed * ratio + Slack)) * ratio + Slack
                                                            : packed * ratio + Slack;
    if (unpacked > limit || (place.m_Type == Lz4TwiceHierarchy && first > packed * ratio + Slack))
        return Fail(QStringLiteral("%1: %2 bytes cannot unpack to the %3 it claims").arg(BlockName(place)).arg(packed).arg(unpacked));
    std::vector<unsigned char> records;
    try {
        records.resize(size_t(unpacked));
        bool ok = false;
        if (place.m_Type == GzipHierarchy) {
            ok = inflateExactly(in.m_P, packed, records.data(), records.size(), true);
        } else if (place.m_Type == Lz4Hierarchy) {
            ok = lz4Exactly(in.m_P, packed, records.data(), records.size());
        } else {
            std::vector<unsigned char> middle(static_cast<size_t>(first));
            ok = lz4Exactly(in.m_P, packed, middle.data(), middle.size())
                 && lz4Exactly(middle.data(), middle.size(), records.data(), records.size());
        }
        if (!ok)
            return Fail(QStringLiteral("%1: does not unpack to its %2 bytes").arg(BlockName(place)).arg(unpacked));
    } catch (const std::bad_alloc &) {
        return Fail(QStringLiteral("%1: no memory for its %2 bytes").arg(BlockName(place)).arg(unpacked));
    }
    QString reason;
    if (!ParseHierarchy(records.data(), records.size(), reason))
        return Fail(QStringLiteral("%1: %2").arg(BlockName(place), reason));
    return true;
}

bool Dovlin_FstReader::ParseHierarchy(const unsigned char *data, size_t size, QString &reason)
{
    Cursor in{data, data + size};
    quint32 handles = 0;
    int depth = 0;
    const auto failAt = [&](const QString &what) {
        reason = QStringLiteral("%1 at byte %2 of the hierarchy").arg(what).arg(in.m_P - data);
        return false;
    };
    while (in.m_P < in.m_End) {
        const unsigned char tag = in.Byte();
        if (tag <= LastVariableType) {
            HierarchyRecord record{Variable, tag, 0, 0, QByteArray()};
            in.Byte();
            record.m_Name = in.String(MaxName);
            record.m_Length = in.Varint32();
            const quint32 alias = in.Varint32();
            if (!in.m_Ok)
                return failAt(QStringLiteral("a variable cut short"));
            if (alias > handles)
                return failAt(QStringLiteral("variable '%1' shares handle %2, but only %3 exist before it")
                                  .arg(QString::fromLatin1(record.m_Name)).arg(alias).arg(handles));
            if (alias == 0 && handles == 0xFFFFFFFF)
                return failAt(QStringLiteral("too many handles"));
            record.m_Handle = alias ? alias : ++handles;
            m_Hierarchy.push_back(std::move(record));
        } else if (tag == 252) {
            const unsigned char type = in.Byte();
            const unsigned char subtype = in.Byte();
            const QByteArray name = in.String(MaxAttribute);
            const quint64 argument = in.Varint();
            if (!in.m_Ok)
                return failAt(QStringLiteral("an attribute cut short"));
            if (type == 0 && subtype == 7)
                m_Hierarchy.push_back({EnumTable, subtype, quint32(argument >> 32), quint32(argument), name});
        } else if (tag == 253) {
            continue;
        } else if (tag == 254) {
            HierarchyRecord record{ScopeBegin, in.Byte(), 0, 0, QByteArray()};
            record.m_Name = in.String(MaxName);
            in.String(MaxName);
            if (!in.m_Ok)
                return failAt(QStringLiteral("a scope cut short"));
            ++depth;
            m_Hierarchy.push_back(std::move(record));
        } else if (tag == 255) {
            // A scope end with no scope open is dropped.
            if (depth > 0) {
                --depth;
                m_Hierarchy.push_back({ScopeEnd, 0, 0, 0, QByteArray()});
            }
        } else {
            in.m_P -= 1;
            return failAt(QStringLiteral("a record of unknown kind %1").arg(hex(tag)));
        }
    }
    for (; depth > 0; --depth)
        m_Hierarchy.push_back({ScopeEnd, 0, 0, 0, QByteArray()});
    return true;
}

bool Dovlin_FstReader::ReadGeometry(const BlockPlace &place)
{
    const unsigned char *payload = m_Data + place.m_Position + 9;
    const size_t size = place.m_Length - 8;
    if (size < 16)
        return Fail(QStringLiteral("%1: too short").arg(BlockName(place)));
    const quint64 unpacked = u64(payload), handles = u64(payload + 8);
    const size_t packed = size - 16;
    if (handles > unpacked || (packed != unpacked && unpacked > packed * DeflateRatio + Slack))
        return Fail(QStringLiteral("%1: %2 handles in %3 bytes from %4").arg(BlockName(place)).arg(handles).arg(unpacked).arg(packed));
    std::vector<unsigned char> bytes;
    const unsigned char *entries = payload + 16;
    if (packed != unpacked) {
        bytes.resize(size_t(unpacked));
        if (!inflateExactly(payload + 16, packed, bytes.data(), bytes.size(), false))
            return Fail(QStringLiteral("%1: does not unpack to its %2 bytes").arg(BlockName(place)).arg(unpacked));
        entries = bytes.data();
    }
    Cursor in{entries, entries + unpacked};
    m_Geometry.clear();
    m_Geometry.reserve(size_t(handles));
    for (quint64 h = 0; h < handles; ++h)
        m_Geometry.push_back(in.Varint32());
    if (!in.m_Ok || in.m_P != in.m_End)
        return Fail(QStringLiteral("%1: its %2 entries do not fill its %3 bytes").arg(BlockName(place)).arg(handles).arg(unpacked));
    return true;
}

bool Dovlin_FstReader::ReadBlackouts(const BlockPlace &place)
{
    const unsigned char *payload = m_Data + place.m_Position + 9;
    Cursor in{payload, payload + place.m_Length - 8};
    const quint32 count = in.Varint32();
    if (count > in.Left() / 2)
        return Fail(QStringLiteral("%1: %2 entries cannot fit").arg(BlockName(place)).arg(count));
    quint64 time = 0;
    for (quint32 i = 0; i < count && in.m_Ok; ++i) {
        const bool on = in.Byte() != 0;
        time = wrappingSum(time, in.Varint());
        m_Blackouts.push_back({time, on});
    }
    if (!in.m_Ok || in.m_P != in.m_End)
        return Fail(QStringLiteral("%1: its entries do not fill it").arg(BlockName(place)));
    return true;
}

bool Dovlin_FstReader::ReadBlock(int i, Block &block)
{
    const BlockPlace &place = m_ValueBlocks[size_t(i)];
    const auto fail = [&](const QString &reason) {
        SetBlockError(i, reason);
        return false;
    };
    const unsigned char *const start = m_Data + place.m_Position;
    const unsigned char *const end = start + 1 + place.m_Length;
    if (place.m_Length < 69)
        return fail(QStringLiteral("too short"));
    block.m_Begin = u64(start + 9);
    block.m_End = u64(start + 17);
    const quint64 memory = u64(start + 25);
    Cursor in{start + 33, end};
    const quint64 frameUnpacked = in.Varint(), framePacked = in.Varint(), frameHandles = in.Varint();
    if (!in.m_Ok || framePacked > in.Left())
        return fail(QStringLiteral("its frame runs past the block"));
    if (frameHandles > m_Geometry.size())
        return fail(QStringLiteral("its frame covers %1 handles of %2").arg(frameHandles).arg(m_Geometry.size()));
    quint64 expected = 0;
    for (quint64 h = 0; h < frameHandles; ++h)
        expected += m_Geometry[h] == RealGeometry ? 8 : m_Geometry[h] == StringGeometry ? 0 : m_Geometry[h];
    if (frameUnpacked != expected)
        return fail(QStringLiteral("its frame holds %1 bytes where its handles take %2").arg(frameUnpacked).arg(expected));
    if (framePacked != frameUnpacked && frameUnpacked > framePacked * DeflateRatio + Slack)
        return fail(QStringLiteral("its frame cannot unpack to %1 bytes").arg(frameUnpacked));
    block.m_FrameHandles = frameHandles;
    block.m_Frame.resize(qsizetype(frameUnpacked));
    if (framePacked == frameUnpacked)
        std::memcpy(block.m_Frame.data(), in.m_P, size_t(framePacked));
    else if (!inflateExactly(in.m_P, size_t(framePacked), reinterpret_cast<unsigned char *>(block.m_Frame.data()),
                             size_t(frameUnpacked), false))
        return fail(QStringLiteral("its frame does not unpack to its %1 bytes").arg(frameUnpacked));
    in.m_P += framePacked;
    const quint64 indexHandles = in.Varint();
    if (!in.m_Ok || in.m_P >= end)
        return fail(QStringLiteral("it ends before its changes"));
    if (indexHandles > m_Geometry.size())
        return fail(QStringLiteral("its changes cover %1 handles of %2").arg(indexHandles).arg(m_Geometry.size()));
    const unsigned char *const packType = in.m_P;

    // The time table and the chain index are found from the block's end.
    const quint64 timesUnpacked = u64(end - 24), timesPacked = u64(end - 16), timeCount = u64(end - 8);
    if (timesPacked > quint64(end - 24 - (packType + 1)))
        return fail(QStringLiteral("its time table runs past the block"));
    const unsigned char *const timeData = end - 24 - timesPacked;
    if (timeData - 8 < packType + 1)
        return fail(QStringLiteral("its time table leaves no room for the index"));
    const quint64 indexLength = u64(timeData - 8);
    if (indexLength > quint64((timeData - 8) - (packType + 1)))
        return fail(QStringLiteral("its index runs past the block"));
    const unsigned char *const index = timeData - 8 - indexLength;
    if (timeCount > timesUnpacked || (timesPacked != timesUnpacked && timesUnpacked > timesPacked * DeflateRatio + Slack))
        return fail(QStringLiteral("%1 times cannot be in %2 bytes").arg(timeCount).arg(timesUnpacked));
    std::vector<unsigned char> timeBytes;
    const unsigned char *times = timeData;
    if (timesPacked != timesUnpacked) {
        timeBytes.resize(size_t(timesUnpacked));
        if (!inflateExactly(timeData, size_t(timesPacked), timeBytes.data(), timeBytes.size(), false))
            return fail(QStringLiteral("its time table does not unpack to its %1 bytes").arg(timesUnpacked));
        times = timeBytes.data();
    }
    Cursor timeIn{times, times + timesUnpacked};
    block.m_Times.resize(size_t(timeCount));
    quint64 time = 0;
    for (quint64 t = 0; t < timeCount; ++t)
        block.m_Times[size_t(t)] = time = wrappingSum(time, timeIn.Varint());
    if (!timeIn.m_Ok || timeIn.m_P != timeIn.m_End)
        return fail(QStringLiteral("its %1 times do not fill its time table").arg(timeCount));

    // The index: for each handle a chain at an offset from the pack-type byte, none, or another
    // handle's chain (a dynamic alias).
    enum : qint64 { None = -1 };
    std::vector<qint64> offsets(size_t(indexHandles), None);
    std::vector<qint64> aliasOf(size_t(indexHandles), None);
    const unsigned char blockType = place.m_Type;
    Cursor ix{index, timeData - 8};
    const qint64 area = index - packType;
    quint64 h = 0;
    qint64 offset = 0, lastAlias = None;
    while (ix.m_P < ix.m_End) {
        qint64 target = None;
        bool chain = false;
        if (blockType == ValueBlockAlias2) {
            if (*ix.m_P & 1) {
                const qint64 s = ix.SignedVarint() >> 1;
                if (s > 0) {
                    if (s >= area - offset)
                        return fail(QStringLiteral("the chain of handle %1 starts past the changes").arg(h + 1));
                    offset += s;
                    chain = true;
                } else if (s < 0) {
                    if (s < -qint64(indexHandles))
                        return fail(QStringLiteral("handle %1 shares the chain of a handle out of range").arg(h + 1));
                    target = lastAlias = -s - 1;
                } else {
                    if (lastAlias == None)
                        return fail(QStringLiteral("handle %1 repeats a shared chain before any").arg(h + 1));
                    target = lastAlias;
                }
            } else {
                const quint64 run = ix.Varint32() >> 1;
                if (run > indexHandles - h)
                    return fail(QStringLiteral("its index covers more than its %1 handles").arg(indexHandles));
                h += run;
                continue;
            }
        } else {
            const quint32 v = ix.Varint32();
            if (v == 0 && blockType == ValueBlockAlias) {
                const quint32 a = ix.Varint32();
                if (a == 0)
                    return fail(QStringLiteral("handle %1 shares the chain of handle 0").arg(h + 1));
                target = qint64(a) - 1;
            } else if (v & 1) {
                if (qint64(v >> 1) >= area - offset || v >> 1 == 0)
                    return fail(QStringLiteral("the chain of handle %1 starts past the changes").arg(h + 1));
                offset += v >> 1;
                chain = true;
            } else {
                if ((v >> 1) > indexHandles - h)
                    return fail(QStringLiteral("its index covers more than its %1 handles").arg(indexHandles));
                h += v >> 1;
                continue;
            }
        }
        if (!ix.m_Ok)
            return fail(QStringLiteral("its index is cut short"));
        if (h >= indexHandles)
            return fail(QStringLiteral("its index covers more than its %1 handles").arg(indexHandles));
        if (chain) {
            offsets[size_t(h)] = offset;
        } else {
            if (target >= qint64(h) || offsets[size_t(target)] == None)
                return fail(QStringLiteral("handle %1 shares the chain of handle %2, which has none before it").arg(h + 1).arg(target + 1));
            aliasOf[size_t(h)] = target;
        }
        ++h;
    }
    if (!ix.m_Ok)
        return fail(QStringLiteral("its index is cut short"));

    // Each chain ends where the next begins; the last one at the index.
    block.m_ChainStart.assign(size_t(indexHandles), 0);
    block.m_ChainSize.assign(size_t(indexHandles), 0);
    std::vector<size_t> storedEnd(size_t(indexHandles), 0);
    quint64 total = 0;
    qint64 next = area;
    struct Stored
    {
        qint64 m_Payload = 0;
        quint64 m_Size = 0;
        bool m_Raw = false;
    };
    std::vector<Stored> sizes(static_cast<size_t>(indexHandles));
    for (quint64 k = indexHandles; k > 0; --k) {
        const size_t h = size_t(k - 1);
        if (offsets[h] == None)
            continue;
        const unsigned char *p = packType + offsets[h];
        const unsigned char *const chainEnd = packType + next;
        Cursor c{p, chainEnd};
        const quint32 unpacked = c.Varint32();
        if (!c.m_Ok)
            return fail(QStringLiteral("the chain of handle %1 is cut short").arg(h + 1));
        const quint64 stored = quint64(chainEnd - c.m_P);
        const quint64 size = unpacked ? unpacked : stored;
        const quint64 ratio = *packType == 'Z' || (*packType != 'F' && *packType != '4') ? DeflateRatio : Lz4Ratio;
        if (unpacked && size > stored * ratio + Slack)
            return fail(QStringLiteral("the chain of handle %1 cannot unpack to %2 bytes").arg(h + 1).arg(size));
        sizes[h] = {c.m_P - packType, size, unpacked == 0};
        storedEnd[h] = size_t(next);
        total += size;
        next = offsets[h];
    }
    // The writer's own count bounds what the chains may unpack to; a little more is allowed for its rounding.
    if (total > memory && total - memory > (memory >> 3) + (quint64(1) << 20))
        return fail(QStringLiteral("its chains unpack to %1 bytes").arg(total));
    try {
        block.m_Chains.resize(size_t(total));
    } catch (const std::bad_alloc &) {
        return fail(QStringLiteral("no memory for its %1 bytes of changes").arg(total));
    }
    size_t at = 0;
    for (quint64 k = 0; k < indexHandles; ++k) {
        if (offsets[size_t(k)] == None)
            continue;
        const unsigned char *payload = packType + sizes[size_t(k)].m_Payload;
        const size_t stored = size_t(packType + storedEnd[size_t(k)] - payload);
        const size_t size = size_t(sizes[size_t(k)].m_Size);
        unsigned char *out = block.m_Chains.data() + at;
        bool ok = true;
        if (sizes[size_t(k)].m_Raw)
            std::memcpy(out, payload, size);
        else if (*packType == 'F')
            ok = Dovlin_FastLzDecode(payload, stored, out, size);
        else if (*packType == '4')
            ok = lz4Exactly(payload, stored, out, size);
        else
            ok = inflateExactly(payload, stored, out, size, false);
        if (!ok)
            return fail(QStringLiteral("the chain of handle %1 does not unpack to its %2 bytes").arg(k + 1).arg(size));
        block.m_ChainStart[size_t(k)] = at;
        block.m_ChainSize[size_t(k)] = size;
        at += size;
    }
    for (quint64 k = 0; k < indexHandles; ++k) {
        if (aliasOf[size_t(k)] == None)
            continue;
        block.m_ChainStart[size_t(k)] = block.m_ChainStart[size_t(aliasOf[size_t(k)])];
        block.m_ChainSize[size_t(k)] = block.m_ChainSize[size_t(aliasOf[size_t(k)])];
    }
    return true;
}

bool Dovlin_FstReader::NextChangeAt(quint32 geometry, const unsigned char *&p, const unsigned char *end, Change &change)
{
    Cursor in{p, end};
    const quint32 v = in.Varint32();
    if (!in.m_Ok)
        return false;
    if (geometry == 1) {
        ScalarChange(v, change);
        p = in.m_P;
        return true;
    }
    change.m_Delta = v >> 1;
    size_t size = 0;
    if (geometry == StringGeometry) {
        change.m_Coding = Change::Bytes;
        size = in.Varint32();
        if (!in.m_Ok)
            return false;
    } else if (geometry == RealGeometry) {
        change.m_Coding = v & 1 ? Change::Double : Change::PackedDouble;
        size = v & 1 ? 8 : 1;
    } else {
        change.m_Coding = v & 1 ? Change::Characters : Change::PackedBits;
        size = v & 1 ? geometry : (size_t(geometry) + 7) / 8;
    }
    if (size > in.Left())
        return false;
    change.m_Data = in.m_P;
    change.m_Size = size;
    p = in.m_P + size;
    return true;
}
