#include "Dovlin_Format2Reader.h"

#include "Dovlin_BoxCodec.h"
#include "Dovlin_Crc32c.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Format2.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_PackedBoxes.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"

#include <QHash>
#include <QStringDecoder>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

using namespace Dovlin_Format2;

namespace {

QString kindName(quint32 kind)
{
    QString name;
    for (int i = 0; i < 4; ++i) {
        const char c = char(kind >> (8 * i));
        name += c >= 32 && c < 127 ? QChar(c) : QChar('?');
    }
    return name;
}

// Reads the fields of one section, never past its end.
class Fields
{
public:
    Fields(const unsigned char *from, qint64 size) : m_At(from), m_End(from + size) {}

    qint64 Left() const { return m_End - m_At; }
    const unsigned char *At() const { return m_At; }
    bool Skip(qint64 bytes)
    {
        if (bytes < 0 || bytes > Left())
            return false;
        m_At += bytes;
        return true;
    }
    template <typename T>
    bool Little(T &value)
    {
        if (Left() < qint64(sizeof(T)))
            return false;
        value = qFromLittleEndian<T>(m_At);
        m_At += sizeof(T);
        return true;
    }
    bool Byte(int &value)
    {
        if (Left() < 1)
            return false;
        value = *m_At++;
        return true;
    }
    bool Varint(quint64 &value)
    {
        const int n = Dovlin_BoxCodec::GetVarint(m_At, m_End, value);
        m_At += n;
        return n > 0;
    }
    bool SignedVarint(qint64 &value)
    {
        quint64 raw = 0;
        if (!Varint(raw))
            return false;
        value = Dovlin_BoxCodec::UnZigZag(raw);
        return true;
    }

private:
    const unsigned char *m_At;
    const unsigned char *m_End;
};

struct Section
{
    const unsigned char *m_Data = nullptr;
    qint64 m_Size = 0;
    bool m_Present = false;
};

template <typename Field>
qint64 firstOutOfOrder(const unsigned char *fields, qint64 count, quint64 minStep)
{
    quint64 previous = 0;
    for (qint64 i = 0; i < count; ++i) {
        const quint64 value = qFromLittleEndian<Field>(fields + i * qint64(sizeof(Field)));
        if (value < previous || value - previous < minStep)
            return i + 1;
        previous = value;
    }
    return 0;
}

// The first box (from 1) whose index field of width bytes is below the one before it (box 0's is 0)
// or less than minStep above it; 0 when they all keep order.
qint64 firstOutOfOrder(const unsigned char *fields, int width, qint64 count, quint64 minStep)
{
    switch (width) {
    case 1: return firstOutOfOrder<quint8>(fields, count, minStep);
    case 2: return firstOutOfOrder<quint16>(fields, count, minStep);
    case 4: return firstOutOfOrder<quint32>(fields, count, minStep);
    default: return firstOutOfOrder<quint64>(fields, count, minStep);
    }
}

bool validUtf8(const char *text, qsizetype size)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder(QByteArrayView(text, size));
    Q_UNUSED(decoded);
    return !decoder.hasError();
}

bool readText(Fields &fields, QString &text)
{
    quint64 length = 0;
    if (!fields.Varint(length) || length > quint64(fields.Left()))
        return false;
    const char *bytes = reinterpret_cast<const char *>(fields.At());
    if (!validUtf8(bytes, qsizetype(length)))
        return false;
    text = Utf8Text(QByteArrayView(bytes, qsizetype(length)));
    return fields.Skip(qint64(length));
}

// The rows of the wave list, a group's rows inside it; groups only at the top.
bool readRows(Fields &fields, Dovlin_ListRows &rows, bool top, QString &why)
{
    quint64 count = 0;
    // Every row takes five bytes at least.
    if (!fields.Varint(count) || count > quint64(fields.Left()) / 5) {
        why = QStringLiteral("row count does not fit");
        return false;
    }
    for (quint64 i = 0; i < count; ++i) {
        int kind = 0, flags = 0, radix = 0;
        Dovlin_ListRow row;
        if (!fields.Byte(kind) || !fields.Byte(flags) || !fields.Byte(radix) || !readText(fields, row.m_Path)
            || !readText(fields, row.m_Label)) {
            why = QStringLiteral("row %1 is cut short or not valid UTF-8").arg(i);
            return false;
        }
        if (kind > Dovlin_ListRow::Group || (kind == Dovlin_ListRow::Group && !top) || flags >> 2 || !Dovlin_FindRadix(radix)) {
            why = QStringLiteral("row %1: kind %2, flags %3 or radix %4 unknown here").arg(i).arg(kind).arg(flags).arg(radix);
            return false;
        }
        row.m_Kind = Dovlin_ListRow::Kind(kind);
        row.m_Digital = flags & RowDigital;
        row.m_Open = flags & RowOpen;
        row.m_Radix = radix;
        if (kind == Dovlin_ListRow::Group && !readRows(fields, row.m_Rows, false, why))
            return false;
        rows.push_back(std::move(row));
    }
    return true;
}

} // namespace

bool Dovlin_Format2Reader::Recognises(const unsigned char *data, qint64 size)
{
    return size >= qint64(sizeof Magic) && std::memcmp(data, Magic, sizeof Magic) == 0;
}

bool Dovlin_Format2Reader::Fail(const QString &reason)
{
    if (m_ErrorString.isEmpty())
        m_ErrorString = reason;
    return false;
}

bool Dovlin_Format2Reader::Read(const unsigned char *data, qint64 size, Parts parts)
{
    m_ErrorString.clear();
    if (!Recognises(data, size))
        return Fail(QStringLiteral("not a wave file of format 2"));
    if (m_Model.GetnSignal() != 0 || m_Model.GetnHierarchy() != 0)
        return Fail(QStringLiteral("cannot load into a model that already holds signals or nodes"));

    // The table of sections.
    Fields header(data + sizeof Magic, size - qint64(sizeof Magic));
    quint32 version = 0, nSection = 0;
    if (!header.Little(version) || !header.Little(nSection))
        return Fail(QStringLiteral("the file is cut short in its header"));
    if (version > Version)
        return Fail(QStringLiteral("written by a newer version of Dovlin (format %1)").arg(version));
    if (version != Version)
        return Fail(QStringLiteral("unknown format version %1").arg(version));
    if (nSection == 0 || nSection > MaxSections)
        return Fail(QStringLiteral("section count %1 out of range").arg(nSection));
    const qint64 tableEnd = FileHeaderBytes + qint64(nSection) * SectionEntryBytes;
    if (tableEnd + TableCrcBytes > size)
        return Fail(QStringLiteral("the file is cut short: its table of %1 sections needs %2 bytes, the file has %3")
                        .arg(nSection).arg(tableEnd + TableCrcBytes).arg(size));
    if (Dovlin_Crc32c(data, tableEnd) != qFromLittleEndian<quint32>(data + tableEnd))
        return Fail(QStringLiteral("the table of sections is damaged: its checksum does not match"));

    QHash<quint32, Section> sections;
    Fields table(data + FileHeaderBytes, tableEnd - FileHeaderBytes);
    for (quint32 i = 0; i < nSection; ++i) {
        quint32 kind = 0, flags = 0, crc = 0, reserved = 0;
        quint64 offset = 0, length = 0;
        table.Little(kind);
        table.Little(flags);
        table.Little(offset);
        table.Little(length);
        table.Little(crc);
        table.Little(reserved);
        const QString name = kindName(kind);
        if (offset < quint64(tableEnd + TableCrcBytes) || offset > quint64(size) || length > quint64(size) - offset)
            return Fail(QStringLiteral("section %1 at offset %2, %3 bytes long, runs past the end of the file (%4 "
                                       "bytes): the file is cut short or damaged")
                            .arg(name).arg(offset).arg(length).arg(size));
        if (sections.contains(kind))
            return Fail(QStringLiteral("section %1 appears twice").arg(name));
        const bool known = kind == Head || kind == Signals || kind == Index || kind == Tree || kind == Boxes
                           || kind == BoxChecksums || kind == Strings || kind == Dump || kind == View || kind == Widths
                           || kind == List || kind == Enums;
        if (!known)
            continue;
        Section section{data + offset, qint64(length), true};
        // The packed boxes are checked chunk by chunk when they are read.
        const bool needed = kind == Head || (parts == Everything && kind != Boxes) || (parts == ViewOnly && (kind == Tree || kind == View || kind == List || kind == Enums))
                            || (parts == DumpOnly && kind == Dump);
        if (needed && Dovlin_Crc32c(section.m_Data, section.m_Size) != crc)
            return Fail(QStringLiteral("section %1: its checksum does not match").arg(name));
        sections.insert(kind, section);
    }
    for (const quint32 kind : {Head, Signals, Index, Tree, Boxes, BoxChecksums}) {
        if (!sections.contains(kind) && (parts == Everything || kind == Head || (parts == ViewOnly && kind == Tree)))
            return Fail(QStringLiteral("the file has no %1 section").arg(kindName(kind)));
    }

    // HEAD
    const Section head = sections.value(Head);
    Fields fields(head.m_Data, head.m_Size);
    qint32 timeBase = 0;
    quint32 reserved = 0, nSignal = 0, nNode = 0;
    qint64 endTime = 0;
    if (!fields.Little(timeBase) || !fields.Little(reserved) || !fields.Little(endTime) || !fields.Little(nSignal)
        || !fields.Little(nNode))
        return Fail(QStringLiteral("section HEAD: %1 bytes, too short").arg(head.m_Size));
    if (endTime < -1)
        return Fail(QStringLiteral("section HEAD: end time %1 out of range").arg(endTime));
    m_Model.SetTimeBase(timeBase);

    // DUMP
    const auto readDump = [&] {
        const Section dump = sections.value(Dump);
        if (!dump.m_Present)
            return true;
        if (dump.m_Size != DumpBytes)
            return Fail(QStringLiteral("section DUMP: %1 bytes instead of %2").arg(dump.m_Size).arg(DumpBytes));
        Dovlin_DumpIdentity identity;
        identity.m_Size = qFromLittleEndian<qint64>(dump.m_Data);
        identity.m_Modified = qFromLittleEndian<qint64>(dump.m_Data + 8);
        identity.m_Digest = QByteArray(reinterpret_cast<const char *>(dump.m_Data + 16), 32);
        m_Model.SetDumpIdentity(identity);
        return true;
    };
    if (parts == DumpOnly)
        return readDump();

    // SGNL and INDX: the signals, and where each one's boxes lie.
    const Section signalSection = sections.value(Signals), index = sections.value(Index), boxes = sections.value(Boxes),
                  checksums = sections.value(BoxChecksums), tree = sections.value(Tree);
    if (parts == Everything && qint64(nSignal) * 3 > signalSection.m_Size)
        return Fail(QStringLiteral("section HEAD: signal count %1 does not fit in section SGNL of %2 bytes")
                        .arg(nSignal).arg(signalSection.m_Size));
    if (qint64(nNode) * 4 > tree.m_Size)
        return Fail(QStringLiteral("section HEAD: node count %1 does not fit in section TREE of %2 bytes")
                        .arg(nNode).arg(tree.m_Size));
    std::unique_ptr<Dovlin_PackedFile> packed;
    if (parts == Everything) {
        Fields crcs(checksums.m_Data, checksums.m_Size);
        quint32 chunkBytes = 0;
        if (!crcs.Little(chunkBytes) || chunkBytes < 1024 || chunkBytes > (1u << 30))
            return Fail(QStringLiteral("section BCRC: chunk size %1 out of range").arg(chunkBytes));
        const qint64 nChunk = (boxes.m_Size + chunkBytes - 1) / chunkBytes;
        if (crcs.Left() != 4 * nChunk)
            return Fail(QStringLiteral("section BCRC: %1 checksums for the %2 chunks of section BOXS")
                            .arg(crcs.Left() / 4).arg(nChunk));
        packed = std::make_unique<Dovlin_PackedFile>(boxes.m_Data, boxes.m_Size, chunkBytes, crcs.At());
        packed->Signals().resize(nSignal);
    }
    Fields signalFields(signalSection.m_Data, signalSection.m_Size);
    qint64 dataOffset = 0, indexOffset = 0;
    // Carrying a view over needs the tree alone: its leaves then show no signal.
    for (quint32 s = 0; s < (parts == Everything ? nSignal : 0); ++s) {
        const auto fail = [&](const QString &what) {
            return Fail(QStringLiteral("section SGNL: signal %1: %2").arg(s).arg(what));
        };
        int typeCode = 0, flags = 0;
        quint64 nEvent = 0, dataBytes = 0;
        qint64 firstTime = 0;
        if (!signalFields.Byte(typeCode) || !signalFields.Byte(flags) || !signalFields.Varint(nEvent))
            return fail(QStringLiteral("the section is cut short"));
        Dovlin_Signal *signal = m_Model.AddSignalOfType(typeCode);
        if (!signal)
            return fail(QStringLiteral("unknown type code %1").arg(typeCode));
        if (flags >> 5)
            return fail(QStringLiteral("unknown flags %1").arg(flags));
        if (nEvent >= 2 && !signalFields.SignedVarint(firstTime))
            return fail(QStringLiteral("the section is cut short"));
        if (!signalFields.Varint(dataBytes))
            return fail(QStringLiteral("the section is cut short"));
        if (nEvent > (quint64(1) << 60))
            return fail(QStringLiteral("event count %1 out of range").arg(nEvent));
        Dovlin_PackedSignal &events = packed->Signals()[s];
        events.m_nEvent = qint64(nEvent);
        events.m_nBox = nEvent <= 1 ? 0 : qint64((nEvent + Dovlin_Signal::m_BoxSize - 1) / Dovlin_Signal::m_BoxSize);
        events.m_FirstTime = firstTime;
        events.m_Closed = flags & Closed;
        events.m_EndTime = endTime;
        events.m_TimeBytes = WidthOf((flags >> TimeWidthShift) & 3);
        events.m_OffsetBytes = WidthOf((flags >> OffsetWidthShift) & 3);
        if (events.m_Closed && (nEvent < 3 || (nEvent - 1) % Dovlin_Signal::m_BoxSize == 0))
            return fail(QStringLiteral("closed with %1 events").arg(nEvent));
        // Every box holds a packed event, and that takes two bytes at least.
        if (dataBytes > quint64(boxes.m_Size - dataOffset) || qint64(dataBytes) < 2 * events.m_nBox)
            return fail(QStringLiteral("%1 bytes of packed boxes for %2 boxes at offset %3 of section BOXS (%4 bytes)")
                            .arg(dataBytes).arg(events.m_nBox).arg(dataOffset).arg(boxes.m_Size));
        const qint64 indexBytes = events.m_nBox > 1 ? (events.m_nBox - 1) * (events.m_TimeBytes + events.m_OffsetBytes) : 0;
        if (indexBytes > index.m_Size - indexOffset)
            return fail(QStringLiteral("its box index of %1 bytes runs past the end of section INDX").arg(indexBytes));
        events.m_Data = boxes.m_Data + dataOffset;
        events.m_DataOffset = dataOffset;
        events.m_DataBytes = qint64(dataBytes);
        events.m_Times = index.m_Data + indexOffset;
        events.m_Offsets = events.m_Times + (events.m_nBox > 1 ? (events.m_nBox - 1) * events.m_TimeBytes : 0);
        dataOffset += qint64(dataBytes);
        indexOffset += indexBytes;
        // The searches take the index as it is: its times must not go back, its boxes not overlap.
        const qint64 nField = qMax<qint64>(events.m_nBox - 1, 0);
        if (const qint64 box = firstOutOfOrder(events.m_Times, events.m_TimeBytes, nField, 0))
            return Fail(QStringLiteral("section INDX: signal %1: box %2 starts at time %3, before box %4 (%5): "
                                       "the box index is out of order")
                            .arg(s).arg(box).arg(events.BoxFirstTime(box)).arg(box - 1).arg(events.BoxFirstTime(box - 1)));
        if (const qint64 box = firstOutOfOrder(events.m_Offsets, events.m_OffsetBytes, nField, 2))
            return Fail(QStringLiteral("section INDX: signal %1: box %2 at byte %3 of %4: the box index is out of order")
                            .arg(s).arg(box).arg(events.BoxOffset(box)).arg(events.m_DataBytes));
        const quint64 lastStep = nField ? Dovlin_PackedSignal::Field(events.m_Times + (nField - 1) * events.m_TimeBytes, events.m_TimeBytes) : 0;
        if (lastStep > quint64(std::numeric_limits<qint64>::max()) - quint64(firstTime))
            return Fail(QStringLiteral("section INDX: signal %1: box %2 starts after the largest time: the box index is "
                                       "out of order").arg(s).arg(nField));
        if (nField && events.BoxOffset(nField) > events.m_DataBytes - 2)
            return Fail(QStringLiteral("section INDX: signal %1: box %2 at byte %3 of %4: the box index is out of order")
                            .arg(s).arg(nField).arg(events.BoxOffset(nField)).arg(events.m_DataBytes));
        const qint64 previousTime = events.BoxFirstTime(nField);
        if (events.m_nBox > 0 && endTime >= 0 && previousTime > endTime)
            return fail(QStringLiteral("its last box starts at time %1, after the end time %2").arg(previousTime).arg(endTime));
        if (events.m_nBox > 0 && endTime < 0)
            return fail(QStringLiteral("it has events, but the file has no end time"));
        if (events.m_nBox == 0 && dataBytes != 0)
            return fail(QStringLiteral("%1 bytes of packed boxes but no box").arg(dataBytes));
    }
    if (parts == Everything) {
        if (signalFields.Left() != 0)
            return Fail(QStringLiteral("section SGNL: %1 bytes after the last signal").arg(signalFields.Left()));
        if (dataOffset != boxes.m_Size)
            return Fail(QStringLiteral("section BOXS: %1 bytes belong to no signal").arg(boxes.m_Size - dataOffset));
        if (indexOffset != index.m_Size)
            return Fail(QStringLiteral("section INDX: %1 bytes belong to no signal").arg(index.m_Size - indexOffset));
    }

    // TREE
    Fields nodes(tree.m_Data, tree.m_Size);
    QByteArray previousName;
    qint64 expectedSignal = 0;
    for (quint32 i = 0; i < nNode; ++i) {
        const auto fail = [&](const QString &what) {
            return Fail(QStringLiteral("section TREE: node %1: %2").arg(i).arg(what));
        };
        int flags = 0;
        quint64 shared = 0, suffix = 0;
        if (!nodes.Byte(flags) || !nodes.Varint(shared) || !nodes.Varint(suffix))
            return fail(QStringLiteral("the section is cut short"));
        const int radix = (flags >> RadixShift) & 7;
        const bool composite = flags & Composite;
        if ((flags & 0x80) || radix > 4 || (!composite && (flags & Expanded)))
            return fail(QStringLiteral("unknown flags %1").arg(flags));
        if (shared > quint64(previousName.size()) || suffix > quint64(nodes.Left()))
            return fail(QStringLiteral("a name of %1 and %2 bytes does not fit").arg(shared).arg(suffix));
        QByteArray name = previousName.left(qsizetype(shared));
        name.append(reinterpret_cast<const char *>(nodes.At()), qsizetype(suffix));
        nodes.Skip(qint64(suffix));
        if (!validUtf8(name.constData(), name.size()))
            return fail(QStringLiteral("its name is not valid UTF-8"));
        Dovlin_Hierarchy *node = m_Model.AddNodeOfCode(composite ? Dovlin_HierarchyCode::Composite : Dovlin_HierarchyCode::Scalar);
        if (!node)
            return Fail(QStringLiteral("out of memory"));
        node->SetName(Utf8Text(name));
        previousName = std::move(name);
        node->m_Shown = flags & Shown;
        node->m_Digital = flags & Digital;
        node->m_Radix = 1 << radix;
        if (composite) {
            auto *scope = static_cast<Dovlin_CompositeHierarchy *>(node);
            scope->m_Expanded = flags & Expanded;
            quint64 nChild = 0;
            if (!nodes.Varint(nChild) || nChild > quint64(nodes.Left()))
                return fail(QStringLiteral("its child count does not fit"));
            qint64 expected = qint64(i) + 1;
            scope->m_Children.reserve(qsizetype(nChild));
            for (quint64 c = 0; c < nChild; ++c) {
                qint64 delta = 0;
                if (!nodes.SignedVarint(delta))
                    return fail(QStringLiteral("the section is cut short"));
                const qint64 child = expected + delta;
                if (child < 0 || child >= qint64(nNode))
                    return fail(QStringLiteral("child index %1 out of range").arg(child));
                scope->m_Children.append(int(child));
                expected = child + 1;
            }
        } else {
            qint64 delta = 0;
            if (!nodes.SignedVarint(delta))
                return fail(QStringLiteral("the section is cut short"));
            const qint64 signal = expectedSignal + delta;
            if (signal < -1 || signal >= qint64(nSignal))
                return fail(QStringLiteral("signal index %1 out of range").arg(signal));
            static_cast<Dovlin_ScalarHierarchy *>(node)->m_SignalIndex = parts == Everything ? int(signal) : -1;
            expectedSignal = signal + 1;
        }
    }
    if (nodes.Left() != 0)
        return Fail(QStringLiteral("section TREE: %1 bytes after the last node").arg(nodes.Left()));
    QString reason;
    if (!m_Model.LinkHierarchies(false, reason))
        return Fail(QStringLiteral("section TREE: %1").arg(reason));

    // ENUM
    if (const Section enums = sections.value(Enums); enums.m_Present) {
        Fields fields(enums.m_Data, enums.m_Size);
        const auto fail = [&](const QString &what) { return Fail(QStringLiteral("section ENUM: %1").arg(what)); };
        quint64 nTable = 0;
        // Every table takes two bytes at least, every literal two more.
        if (!fields.Varint(nTable) || nTable > quint64(fields.Left()) / 2)
            return fail(QStringLiteral("table count does not fit"));
        for (quint64 t = 0; t < nTable; ++t) {
            Dovlin_EnumTable table;
            quint64 count = 0;
            if (!readText(fields, table.m_Name) || !fields.Varint(count) || count > quint64(fields.Left()) / 2)
                return fail(QStringLiteral("table %1 is cut short or not valid UTF-8").arg(t));
            for (quint64 i = 0; i < count; ++i) {
                QString literal, value;
                if (!readText(fields, literal) || !readText(fields, value))
                    return fail(QStringLiteral("table %1: literal %2 is cut short or not valid UTF-8").arg(t).arg(i));
                table.m_Literals.append(literal);
                table.m_Values.append(value);
            }
            m_Model.AddEnumTable(table);
        }
        quint64 nNamed = 0;
        if (!fields.Varint(nNamed) || nNamed > quint64(fields.Left()) / 3)
            return fail(QStringLiteral("node count does not fit"));
        quint64 expected = 0;
        for (quint64 n = 0; n < nNamed; ++n) {
            quint64 delta = 0, table = 0;
            int flags = 0;
            if (!fields.Varint(delta) || !fields.Varint(table) || !fields.Byte(flags))
                return fail(QStringLiteral("the section is cut short"));
            const quint64 index = expected + delta;
            if (delta >= nNode || index >= nNode || table >= nTable || flags & ~NodeShowsNames)
                return fail(QStringLiteral("entry %1: node %2, table %3 or flags %4 out of range").arg(n).arg(index).arg(table).arg(flags));
            Dovlin_Hierarchy *node = m_Model.GetHierarchy(int(index));
            node->m_EnumTable = int(table);
            if (flags & NodeShowsNames)
                node->m_Radix = Dovlin_Radix::Names;
            expected = index + 1;
        }
        if (fields.Left() != 0)
            return fail(QStringLiteral("%1 bytes after the last node").arg(fields.Left()));
    }

    // VIEW
    if (const Section view = sections.value(View); view.m_Present) {
        Fields fields(view.m_Data, view.m_Size);
        Dovlin_SavedView saved;
        saved.m_Present = true;
        const auto window = [&fields](Dovlin_SavedView::Window &to) {
            quint64 ratio = 0;
            const bool read = fields.Little(to.m_Start) && fields.Little(to.m_End) && fields.Little(to.m_TickTime)
                              && fields.Little(to.m_ZoomCo) && fields.Little(ratio);
            std::memcpy(&to.m_ZoomRatio, &ratio, sizeof ratio);
            return read;
        };
        int nCursor = 0, defaultCursor = 0;
        quint16 mask = 0;
        if (!window(saved.m_Window) || !fields.Byte(nCursor) || nCursor < 1 || nCursor > Dovlin_SavedView::m_MaxCursor)
            return Fail(QStringLiteral("section VIEW: damaged window or cursor count"));
        for (int c = 0; c < nCursor; ++c) {
            qint64 time = 0;
            if (!fields.Little(time))
                return Fail(QStringLiteral("section VIEW: the section is cut short"));
            saved.m_Cursors.push_back(time);
        }
        if (!fields.Byte(defaultCursor) || defaultCursor >= nCursor || !fields.Little(mask)
            || mask >> Dovlin_SavedView::m_nBookmark)
            return Fail(QStringLiteral("section VIEW: damaged default cursor or bookmarks"));
        saved.m_DefaultCursor = defaultCursor;
        for (int b = 0; b < Dovlin_SavedView::m_nBookmark; ++b) {
            saved.m_BookmarkSet[size_t(b)] = mask & (1 << b);
            if (saved.m_BookmarkSet[size_t(b)] && !window(saved.m_Bookmarks[size_t(b)]))
                return Fail(QStringLiteral("section VIEW: the section is cut short"));
        }
        if (fields.Left() != 0)
            return Fail(QStringLiteral("section VIEW: %1 bytes after the view").arg(fields.Left()));
        m_Model.SetSavedView(saved);
    }

    // LIST
    if (const Section list = sections.value(List); list.m_Present) {
        Fields fields(list.m_Data, list.m_Size);
        Dovlin_SavedView saved = m_Model.SavedView();
        QString why;
        if (!readRows(fields, saved.m_List, true, why))
            return Fail(QStringLiteral("section LIST: %1").arg(why));
        if (fields.Left() != 0)
            return Fail(QStringLiteral("section LIST: %1 bytes after the last row").arg(fields.Left()));
        m_Model.SetSavedView(saved);
    }
    if (parts == ViewOnly)
        return true;

    // STRS
    if (const Section strings = sections.value(Strings); strings.m_Present) {
        Fields fields(strings.m_Data, strings.m_Size);
        quint64 count = 0;
        if (!fields.Varint(count) || count > quint64(fields.Left()))
            return Fail(QStringLiteral("section STRS: string count does not fit"));
        for (quint64 i = 0; i < count; ++i) {
            quint64 length = 0;
            if (!fields.Varint(length) || length > quint64(fields.Left()))
                return Fail(QStringLiteral("section STRS: string %1 runs past the end of the section").arg(i));
            const char *text = reinterpret_cast<const char *>(fields.At());
            if (!validUtf8(text, qsizetype(length)))
                return Fail(QStringLiteral("section STRS: string %1 is not valid UTF-8").arg(i));
            // The table adds an equal text once: a repeated one would move every index after it.
            if (m_Model.AddString(Utf8Text(QByteArrayView(text, qsizetype(length)))) != qint64(i))
                return Fail(QStringLiteral("section STRS: string %1 repeats an earlier one").arg(i));
            fields.Skip(qint64(length));
        }
        if (fields.Left() != 0)
            return Fail(QStringLiteral("section STRS: %1 bytes after the last string").arg(fields.Left()));
    }

    // WDTH
    if (const Section widths = sections.value(Widths); widths.m_Present) {
        qint64 at = 0;
        for (quint32 s = 0; s < nSignal; ++s) {
            auto *integer = dynamic_cast<Dovlin_IntSignal *>(m_Model.GetSignal(int(s)));
            if (!integer)
                continue;
            if (at == widths.m_Size)
                return Fail(QStringLiteral("section WDTH: fewer widths than integer signals"));
            const int width = quint8(widths.m_Data[at++]);
            if (width < 1 || width > 64)
                return Fail(QStringLiteral("section WDTH: signal %1: width %2 out of range").arg(s).arg(width));
            integer->SetDeclaredWidth(width);
        }
        if (at != widths.m_Size)
            return Fail(QStringLiteral("section WDTH: %1 bytes after the last integer signal").arg(widths.m_Size - at));
    }

    if (!readDump())
        return false;

    for (quint32 s = 0; s < nSignal; ++s)
        m_Model.GetSignal(int(s))->SetPackedEvents(&packed->Signals()[s]);
    m_Model.SetPackedFile(std::move(packed));
    m_Model.SetEndTime(endTime);
    return true;
}
