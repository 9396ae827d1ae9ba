#ifndef DOVLIN_FSTREADER_H
#define DOVLIN_FSTREADER_H

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

class Dovlin_FileMapping;

// Reads an FST file: its header, hierarchy, geometry and blackouts when opened, and one
// value-change block at a time on request. Every length, offset, size, handle and alias is
// checked against the bytes that hold it; damage makes Open or ReadBlock return false with a
// reason naming the block. A file cut short (its writer still running, or killed) opens up to its
// last complete block, with the hierarchy from the writer's side file "<file>.hier".
class Dovlin_FstReader
{
public:
    // EnumTable: a misc attribute of subtype 7, a table's definition or, with an empty name, the
    // next variable's reference to a table; its id is m_Length << 32 | m_Handle.
    enum RecordKind : unsigned char { ScopeBegin, ScopeEnd, Variable, EnumTable };
    // Variable types of the format that hold doubles, strings and extended-VCD port states.
    enum : unsigned char { RealType = 3, RealParameterType = 4, PortType = 18, RealTimeType = 20,
                           StringType = 21, ShortRealType = 29, LastVariableType = 29 };
    // A handle's geometry: a double, a string of any length, or else the count of value characters.
    static constexpr quint32 RealGeometry = 0;
    static constexpr quint32 StringGeometry = 0xFFFFFFFF;

    struct HierarchyRecord
    {
        RecordKind m_Kind;
        // The scope's or the variable's type.
        unsigned char m_Type = 0;
        // The variable's length as declared.
        quint32 m_Length = 0;
        // The variable's handle, from 1.
        quint32 m_Handle = 0;
        // Empty for a scope end.
        QByteArray m_Name;
    };
    struct Blackout
    {
        quint64 m_Time;
        // Dumping went on at m_Time, else off.
        bool m_On;
    };

    // One value-change block, decoded but for its chains' records (see NextChange).
    struct Block
    {
        quint64 m_Begin = 0;
        quint64 m_End = 0;
        std::vector<quint64> m_Times;
        // The values at m_Begin of handles 1..m_FrameHandles, each as wide as its geometry (none for strings).
        QByteArray m_Frame;
        quint64 m_FrameHandles = 0;
        // The decompressed chains; handle h's is [m_ChainStart[h-1], + m_ChainSize[h-1]), empty
        // when it has no change in the block. A dynamic alias shares its target's bytes.
        std::vector<unsigned char> m_Chains;
        std::vector<size_t> m_ChainStart;
        std::vector<size_t> m_ChainSize;
    };
    // A value change read from a chain: where its value lies and how it is coded.
    struct Change
    {
        enum Coding { Scalar, PackedBits, Characters, Double, PackedDouble, Bytes } m_Coding;
        // The time index delta before this change.
        quint64 m_Delta;
        // Scalar: the value character; otherwise the value's bytes in the chain.
        char m_Scalar = 0;
        const unsigned char *m_Data = nullptr;
        size_t m_Size = 0;
    };

    Dovlin_FstReader();
    ~Dovlin_FstReader();

    // The file starts with an FST header block or the whole-file gzip wrapper.
    static bool Recognises(const QString &path);
    bool Open(const QString &path);
    QString ErrorString() const { return m_ErrorString; }
    // Why the file was read only in part; empty when it was complete.
    QString Truncation() const { return m_Truncation; }

    // One time unit is 10^TimeExponent() seconds.
    int TimeExponent() const { return m_TimeExponent; }
    QByteArray Version() const { return m_Version; }
    QByteArray Date() const { return m_Date; }
    bool BigEndianReals() const { return m_BigEndian; }
    const std::vector<HierarchyRecord> &Hierarchy() const { return m_Hierarchy; }
    const std::vector<Blackout> &Blackouts() const { return m_Blackouts; }
    quint32 HandleCount() const { return quint32(m_Geometry.size()); }
    quint32 Geometry(quint32 handle) const { return m_Geometry[handle - 1]; }

    int BlockCount() const { return int(m_ValueBlocks.size()); }
    // The file offset where block i starts, for progress.
    qint64 BlockOffset(int i) const { return qint64(m_ValueBlocks[size_t(i)].m_Position); }
    qint64 Size() const { return qint64(m_Size); }
    bool ReadBlock(int i, Block &block);
    // Reads the change at p of a chain for a handle of the given geometry, moving p past it.
    static bool NextChange(quint32 geometry, const unsigned char *&p, const unsigned char *end, Change &change)
    {
        // Most changes start with a one-byte number: a scalar's, or packed bits', read without a call.
        if (p == end || *p >= 0x80 || geometry == StringGeometry || geometry == RealGeometry)
            return NextChangeAt(geometry, p, end, change);
        const quint32 v = *p;
        if (geometry == 1) {
            ++p;
            ScalarChange(v, change);
            return true;
        }
        if ((v & 1) || size_t(end - p - 1) < (size_t(geometry) + 7) / 8)
            return NextChangeAt(geometry, p, end, change);
        change.m_Coding = Change::PackedBits;
        change.m_Delta = v >> 1;
        change.m_Data = p + 1;
        change.m_Size = (size_t(geometry) + 7) / 8;
        p += 1 + change.m_Size;
        return true;
    }
    // NextChange for every change: longer numbers, strings, reals and characters too.
    static bool NextChangeAt(quint32 geometry, const unsigned char *&p, const unsigned char *end, Change &change);
    // A scalar's change from the number v that starts it.
    static void ScalarChange(quint32 v, Change &change)
    {
        change.m_Coding = Change::Scalar;
        if (v & 1) {
            change.m_Scalar = "xzhuwl-?"[(v >> 1) & 7];
            change.m_Delta = v >> 4;
        } else {
            change.m_Scalar = char('0' + ((v >> 1) & 1));
            change.m_Delta = v >> 2;
        }
    }
    // Sets the error for damage found in block i while its changes are read.
    void SetBlockError(int i, const QString &reason);

private:
    struct BlockPlace
    {
        unsigned char m_Type;
        size_t m_Position;
        size_t m_Length;
    };
    bool Fail(const QString &reason);
    bool Unwrap();
    bool WalkBlocks();
    bool ReadHeader();
    bool ReadHierarchy(const BlockPlace &place);
    bool ParseHierarchy(const unsigned char *data, size_t size, QString &reason);
    bool ReadGeometry(const BlockPlace &place);
    bool ReadBlackouts(const BlockPlace &place);
    QString BlockName(const BlockPlace &place) const;

    QString m_Path;
    QString m_ErrorString;
    QString m_Truncation;
    std::unique_ptr<Dovlin_FileMapping> m_Mapping;
    // The inner file of a gzip-wrapped one.
    std::vector<unsigned char> m_Unwrapped;
    const unsigned char *m_Data = nullptr;
    size_t m_Size = 0;
    std::vector<BlockPlace> m_ValueBlocks;
    int m_TimeExponent = 0;
    bool m_BigEndian = false;
    QByteArray m_Version;
    QByteArray m_Date;
    std::vector<HierarchyRecord> m_Hierarchy;
    std::vector<quint32> m_Geometry;
    std::vector<Blackout> m_Blackouts;
};

#endif
