#include "Dovlin_Format2Writer.h"

#include "Dovlin_BoxCodec.h"
#include "Dovlin_BoxGatherer.h"
#include "Dovlin_Crc32c.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Format2.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_PackedBoxes.h"
#include "Dovlin_Signals.h"
#include "Dovlin_WaveIo.h"

#include <QByteArray>
#include <QIODevice>
#include <QtEndian>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using namespace Dovlin_Format2;

namespace {

template <typename T>
void appendLittle(QByteArray &to, T value)
{
    char bytes[sizeof(T)];
    qToLittleEndian(value, bytes);
    to.append(bytes, sizeof(T));
}

void appendVarint(QByteArray &to, quint64 value)
{
    unsigned char bytes[10];
    to.append(reinterpret_cast<const char *>(bytes), Dovlin_BoxCodec::PutVarint(value, bytes));
}

// Unsigned fields of an index, each in the smallest of 1, 2, 4 or 8 bytes that the code gives:
// two a box, so into a string grown once for a signal's fields, each put 8 bytes at a time.
void appendWidths(std::string &to, const std::vector<quint64> &values, int code)
{
    const size_t width = size_t(WidthOf(code)), at = to.size();
    to.resize(at + values.size() * width + 8);
    char *out = to.data() + at;
    for (const quint64 value : values) {
        qToLittleEndian(value, out);
        out += width;
    }
    to.resize(at + values.size() * width);
}

struct SectionRecord
{
    quint32 m_Kind = 0;
    qint64 m_Offset = 0;
    qint64 m_Length = 0;
    quint32 m_Crc = 0;
};

// The file's bytes as they go out: where each section starts and ends, and its CRC; the packed
// boxes also get a CRC per chunk. Small pieces (a box each) are gathered first, so that the CRCs
// and the writer take them in large runs.
class Output
{
public:
    Output(Dovlin_WaveWriter &writer, qint64 start) : m_Writer(writer), m_Offset(start) {}

    void Begin(quint32 kind)
    {
        m_Section = SectionRecord();
        m_Section.m_Kind = kind;
        m_Section.m_Offset = m_Offset;
    }
    bool Put(const void *data, qint64 size)
    {
        m_Offset += size;
        const char *bytes = static_cast<const char *>(data);
        // The stage goes out full, which the writer passes straight to the device: a stage sent
        // half full would be copied once more into the writer's buffer.
        while (size > 0) {
            if (m_Staged == 0 && size >= StageBytes)
                return Pass(bytes, size);
            const qint64 take = qMin(size, StageBytes - m_Staged);
            std::memcpy(m_Stage.get() + m_Staged, bytes, size_t(take));
            m_Staged += take;
            bytes += take;
            size -= take;
            if (m_Staged == StageBytes && !Drain())
                return false;
        }
        return true;
    }
    bool Put(const QByteArray &bytes) { return Put(bytes.constData(), bytes.size()); }
    bool End()
    {
        const bool written = Drain();
        if (m_Chunks && m_ChunkFill > 0)
            EndChunk();
        m_Chunks = false;
        m_Section.m_Length = m_Offset - m_Section.m_Offset;
        m_Records.push_back(m_Section);
        return written;
    }
    bool Section(quint32 kind, const QByteArray &bytes)
    {
        Begin(kind);
        const bool written = Put(bytes);
        return End() && written;
    }
    // From now until End, the bytes are checked in chunks as well.
    void CountChunks() { m_Chunks = true; }
    const std::vector<quint32> &ChunkCrcs() const { return m_ChunkCrcs; }
    const std::vector<SectionRecord> &Records() const { return m_Records; }
    qint64 SectionOffset() const { return m_Offset - m_Section.m_Offset; }

private:
    static constexpr qint64 StageBytes = 4 * Dovlin_WaveWriter::DirectBytes;

    bool Drain()
    {
        const qint64 staged = m_Staged;
        m_Staged = 0;
        return staged == 0 || Pass(m_Stage.get(), staged);
    }
    // Bytes of the section in hand, their offset counted already.
    bool Pass(const void *data, qint64 size)
    {
        m_Section.m_Crc = Dovlin_Crc32c(data, size, m_Section.m_Crc);
        if (m_Chunks) {
            const char *bytes = static_cast<const char *>(data);
            for (qint64 done = 0; done < size;) {
                const qint64 take = qMin(size - done, ChunkBytes - m_ChunkFill);
                m_ChunkCrc = Dovlin_Crc32c(bytes + done, take, m_ChunkCrc);
                m_ChunkFill += take;
                done += take;
                if (m_ChunkFill == ChunkBytes)
                    EndChunk();
            }
        }
        return m_Writer.Write(data, size);
    }
    void EndChunk()
    {
        m_ChunkCrcs.push_back(m_ChunkCrc);
        m_ChunkCrc = 0;
        m_ChunkFill = 0;
    }

    Dovlin_WaveWriter &m_Writer;
    qint64 m_Offset;
    SectionRecord m_Section;
    std::vector<SectionRecord> m_Records;
    bool m_Chunks = false;
    quint32 m_ChunkCrc = 0;
    qint64 m_ChunkFill = 0;
    std::vector<quint32> m_ChunkCrcs;
    std::unique_ptr<char[]> m_Stage{new char[size_t(StageBytes)]};
    qint64 m_Staged = 0;
};

QByteArray headSection(const Dovlin_FileManager &model, qint64 endTime)
{
    QByteArray bytes;
    appendLittle<qint32>(bytes, model.GetTimeBase());
    appendLittle<quint32>(bytes, 0);
    appendLittle<qint64>(bytes, endTime);
    appendLittle<quint32>(bytes, quint32(model.GetnSignal()));
    appendLittle<quint32>(bytes, quint32(model.GetnHierarchy()));
    return bytes;
}

// One byte per integer signal, in signal order: the width its variable was declared with.
QByteArray widthSection(const Dovlin_FileManager &model)
{
    QByteArray bytes;
    for (int s = 0; s < model.GetnSignal(); ++s)
        if (const auto *integer = dynamic_cast<const Dovlin_IntSignal *>(model.GetSignal(s)))
            bytes.append(char(integer->DeclaredWidth()));
    return bytes;
}

QByteArray dumpSection(const Dovlin_DumpIdentity &identity)
{
    QByteArray bytes;
    appendLittle<qint64>(bytes, identity.m_Size);
    appendLittle<qint64>(bytes, identity.m_Modified);
    bytes.append(identity.m_Digest);
    return bytes;
}

void appendWindow(QByteArray &bytes, const Dovlin_SavedView::Window &window)
{
    appendLittle<qint64>(bytes, window.m_Start);
    appendLittle<qint64>(bytes, window.m_End);
    appendLittle<qint64>(bytes, window.m_TickTime);
    appendLittle<qint32>(bytes, window.m_ZoomCo);
    quint64 ratio;
    std::memcpy(&ratio, &window.m_ZoomRatio, sizeof ratio);
    appendLittle<quint64>(bytes, ratio);
}

QByteArray viewSection(const Dovlin_SavedView &view)
{
    QByteArray bytes;
    appendWindow(bytes, view.m_Window);
    bytes.append(char(view.m_Cursors.size()));
    for (const qint64 time : view.m_Cursors)
        appendLittle<qint64>(bytes, time);
    bytes.append(char(view.m_DefaultCursor));
    quint16 mask = 0;
    for (int i = 0; i < Dovlin_SavedView::m_nBookmark; ++i)
        mask |= view.m_BookmarkSet[size_t(i)] ? quint16(1 << i) : 0;
    appendLittle<quint16>(bytes, mask);
    for (int i = 0; i < Dovlin_SavedView::m_nBookmark; ++i)
        if (view.m_BookmarkSet[size_t(i)])
            appendWindow(bytes, view.m_Bookmarks[size_t(i)]);
    return bytes;
}

void appendText(QByteArray &bytes, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    appendVarint(bytes, quint64(utf8.size()));
    bytes.append(utf8);
}

void appendRows(QByteArray &bytes, const Dovlin_ListRows &rows)
{
    appendVarint(bytes, quint64(rows.size()));
    for (const Dovlin_ListRow &row : rows) {
        bytes.append(char(row.m_Kind));
        bytes.append(char((row.m_Digital ? RowDigital : 0) | (row.m_Open ? RowOpen : 0)));
        bytes.append(char(row.m_Radix));
        appendText(bytes, row.m_Path);
        appendText(bytes, row.m_Label);
        if (row.m_Kind == Dovlin_ListRow::Group)
            appendRows(bytes, row.m_Rows);
    }
}

// The enumeration tables, then each node that has one, in node order.
QByteArray enumSection(const Dovlin_FileManager &model)
{
    QByteArray bytes;
    const std::vector<Dovlin_EnumTable> &tables = model.EnumTables();
    if (tables.empty())
        return bytes;
    appendVarint(bytes, quint64(tables.size()));
    for (const Dovlin_EnumTable &table : tables) {
        appendText(bytes, table.m_Name);
        const qsizetype count = qMin(table.m_Literals.size(), table.m_Values.size());
        appendVarint(bytes, quint64(count));
        for (qsizetype i = 0; i < count; ++i) {
            appendText(bytes, table.m_Literals.at(i));
            appendText(bytes, table.m_Values.at(i));
        }
    }
    QByteArray nodes;
    quint64 nNode = 0;
    int expected = 0;
    for (int i = 0; i < model.GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        if (!model.EnumTable(node->m_EnumTable))
            continue;
        appendVarint(nodes, quint64(i - expected));
        appendVarint(nodes, quint64(node->m_EnumTable));
        nodes.append(char(node->m_Radix == Dovlin_Radix::Names ? NodeShowsNames : 0));
        expected = i + 1;
        ++nNode;
    }
    appendVarint(bytes, nNode);
    bytes.append(nodes);
    return bytes;
}

// Text by text: a dump may hold millions of texts, which need not be copied all at once.
bool putStrings(Output &out, const Dovlin_FileManager &model)
{
    QByteArray length;
    appendVarint(length, quint64(model.GetnString()));
    out.Begin(Strings);
    bool written = out.Put(length);
    for (qint64 i = 0; written && i < model.GetnString(); ++i) {
        const QByteArrayView text = model.GetStringUtf8(i);
        length.clear();
        appendVarint(length, quint64(text.size()));
        written = out.Put(length) && out.Put(text.data(), text.size());
    }
    return out.End() && written;
}

// Names are kept in ENUM: readers without it show the numbers.
int treeRadix(int radix)
{
    return radix == Dovlin_Radix::Names ? Dovlin_Radix::Binary : radix;
}

int radixCode(int radix)
{
    return radix > 0 && (radix & (radix - 1)) == 0 ? __builtin_ctz(unsigned(radix)) : 2;
}

// Each name is written as the bytes it shares with the one before and the rest: the bits of a
// vector, and the members of a scope, mostly differ in their last characters.
QByteArray treeSection(const Dovlin_FileManager &model)
{
    QByteArray bytes, previous;
    qint64 expectedSignal = 0;
    for (int i = 0; i < model.GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        const bool composite = node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite;
        const auto *scope = composite ? static_cast<const Dovlin_CompositeHierarchy *>(node) : nullptr;
        int flags = (composite ? Composite : 0) | (node->m_Shown ? Shown : 0) | (node->m_Digital ? Digital : 0)
                    | (scope && scope->m_Expanded ? Expanded : 0) | radixCode(treeRadix(node->m_Radix)) << RadixShift;
        bytes.append(char(flags));
        const QByteArray name = node->GetName().toUtf8();
        qsizetype shared = 0;
        while (shared < name.size() && shared < previous.size() && name[shared] == previous[shared])
            ++shared;
        appendVarint(bytes, quint64(shared));
        appendVarint(bytes, quint64(name.size() - shared));
        bytes.append(name.constData() + shared, name.size() - shared);
        previous = name;
        if (scope) {
            appendVarint(bytes, quint64(scope->m_Children.size()));
            qint64 expected = i + 1;
            for (const int child : scope->m_Children) {
                appendVarint(bytes, Dovlin_BoxCodec::ZigZag(child - expected));
                expected = qint64(child) + 1;
            }
        } else {
            const qint64 signal = static_cast<const Dovlin_ScalarHierarchy *>(node)->m_SignalIndex;
            appendVarint(bytes, Dovlin_BoxCodec::ZigZag(signal - expectedSignal));
            expectedSignal = signal + 1;
        }
    }
    return bytes;
}

bool sameValue(const CSignalEvent &a, const CSignalEvent &b)
{
    return a.m_Value.m_IntValue == b.m_Value.m_IntValue;
}

} // namespace

bool Dovlin_Format2Writer::Write(std::optional<qint64> end)
{
    const int nSignal = m_Model.GetnSignal();
    // A file ends no sooner than its last box starts (readers refuse it otherwise); without an end
    // time of its own, the model ends at its last event.
    qint64 endTime = end.value_or(-1);
    for (int s = 0; s < nSignal; ++s) {
        const Dovlin_Signal &signal = *m_Model.GetSignal(s);
        const std::optional<CSignalEvent> lastBoxStart =
            signal.GetnEvent() > 1 ? signal.GetEvent(qMax<qint64>(1, qint64(signal.GetLastBox()) * Dovlin_BoxCodec::MaxEvents)) : std::nullopt;
        endTime = qMax(endTime, end ? (lastBoxStart ? lastBoxStart->m_Time : -1) : signal.GetLastTime());
    }
    // The format's end time of -1 says the file holds no events.
    for (int s = 0; s < nSignal && endTime < 0; ++s)
        if (m_Model.GetSignal(s)->GetnEvent() > 1) {
            m_ErrorString = QStringLiteral("every event lies before time 0, and a file of format 2 ends at 0 or later");
            return false;
        }

    const bool hasDump = m_Model.DumpIdentity().IsKnown();
    const bool hasView = m_Model.SavedView().m_Present;
    QByteArray list;
    if (!m_Model.SavedView().m_List.empty())
        appendRows(list, m_Model.SavedView().m_List);
    const bool hasList = !list.isEmpty();
    const bool hasStrings = m_Model.GetnString() > 0;
    const QByteArray widths = widthSection(m_Model);
    const bool hasWidths = !widths.isEmpty();
    const QByteArray enums = enumSection(m_Model);
    const bool hasEnums = !enums.isEmpty();
    const int nSection =
        6 + int(hasDump) + int(hasView) + int(hasStrings) + int(hasWidths) + int(hasList) + int(hasEnums);
    const qint64 tableBytes = FileHeaderBytes + nSection * SectionEntryBytes + TableCrcBytes;

    Dovlin_WaveWriter writer(m_Device);
    const auto fail = [&](const QString &reason) {
        writer.Fail(reason);
        m_ErrorString = writer.ErrorString();
        return false;
    };
    const auto failed = [&] {
        m_ErrorString = writer.ErrorString();
        return false;
    };
    // The table goes in at the end, when the sections' places are known.
    const QByteArray placeholder(tableBytes, '\0');
    if (!writer.Write(placeholder.constData(), placeholder.size()))
        return failed();
    Output out(writer, tableBytes);
    if (!out.Section(Head, headSection(m_Model, endTime)) || (hasDump && !out.Section(Dump, dumpSection(m_Model.DumpIdentity())))
        || (hasView && !out.Section(View, viewSection(m_Model.SavedView()))) || (hasList && !out.Section(List, list))
        || (hasStrings && !putStrings(out, m_Model)) || (hasWidths && !out.Section(Widths, widths))
        || !out.Section(Tree, treeSection(m_Model)) || (hasEnums && !out.Section(Enums, enums)))
        return failed();

    QByteArray signalTable;
    std::string index;
    std::vector<quint64> boxTimes, boxOffsets;
    CSignalEvent events[Dovlin_BoxCodec::MaxEvents];
    unsigned char packed[Dovlin_BoxCodec::MaxEncodedBytes];
    std::optional<Dovlin_BoxGatherer> gatherer;
    if (Dovlin_BoxGatherer::Pays(m_Model, m_Threads))
        gatherer.emplace(m_Model, m_Threads);
    out.Begin(Boxes);
    out.CountChunks();
    for (int s = 0; s < nSignal; ++s) {
        const Dovlin_Signal &signal = *m_Model.GetSignal(s);
        const qint64 nEvent = signal.GetnEvent();
        const qint64 nBox = nEvent <= 1 ? 0 : (nEvent + Dovlin_BoxCodec::MaxEvents - 1) / Dovlin_BoxCodec::MaxEvents;
        const qint64 dataStart = out.SectionOffset();
        boxTimes.clear();
        boxOffsets.clear();
        int flags = 0;
        qint64 firstTime = 0, lastTime = 0;
        if (nEvent >= 1) {
            const std::optional<CSignalEvent> sentinel = signal.GetEvent(0);
            if (!sentinel)
                return fail(signal.DamageString());
            if (sentinel->m_Time != -1 || sentinel->m_Value.m_IntValue != 0)
                return fail(QStringLiteral("signal %1 does not start with an event at time -1 and value 0").arg(s));
        }
        if (nEvent >= 3 && (nEvent - 1) % Dovlin_BoxCodec::MaxEvents != 0) {
            // The copy of the last value that closes a signal at the end time is left implied (when it
            // does not go back: the reader takes an implied end as in order).
            const std::optional<CSignalEvent> last = signal.GetEvent(nEvent - 1), before = signal.GetEvent(nEvent - 2);
            if (last && before && last->m_Time == endTime && last->m_Time >= before->m_Time && sameValue(*last, *before))
                flags |= Closed;
        }
        const qint64 encodedEnd = flags & Closed ? nEvent - 1 : nEvent;
        const auto note = [&](qint64 b, qint64 boxTime, qint64 boxStart) {
            if (b == 0) {
                firstTime = boxTime;
            } else {
                boxTimes.push_back(quint64(boxTime) - quint64(firstTime));
                boxOffsets.push_back(quint64(boxStart));
            }
        };
        for (qint64 b = 0; b < nBox;) {
            const Dovlin_BoxGatherer::Run run = gatherer ? gatherer->Take(s, b) : Dovlin_BoxGatherer::Run();
            if (run.m_Count > 0) {
                const qint64 runStart = out.SectionOffset() - dataStart;
                for (qint64 i = 0; i < run.m_Count; ++i, ++b) {
                    if (b > 0 && run.m_Times[i] < lastTime)
                        return fail(QStringLiteral("the events of signal %1 go back in time in box %2").arg(s).arg(b));
                    lastTime = run.m_Times[i];
                    note(b, lastTime, runStart + (i == 0 ? 0 : run.m_Ends[i - 1] - run.m_Start));
                }
                if (!out.Put(run.m_Bytes + run.m_Start, run.m_Ends[run.m_Count - 1] - run.m_Start))
                    return failed();
                continue;
            }
            if (!gatherer) {
                constexpr qint64 slotsAhead = 16, bytesAhead = 8;
                signal.PrefetchPackedBox(b + slotsAhead, false);
                signal.PrefetchPackedBox(b + bytesAhead, true);
            }
            const qint64 first = b == 0 ? 1 : b * Dovlin_BoxCodec::MaxEvents;
            const qint64 end = qMin(encodedEnd, (b + 1) * Dovlin_BoxCodec::MaxEvents);
            const qint64 boxStart = out.SectionOffset() - dataStart;
            qint64 boxTime = 0;
            Dovlin_PackedBox kept;
            if (b + 1 < nBox && signal.PackedBoxOf(b, kept)) {
                boxTime = kept.m_FirstTime;
                if ((b > 0 && boxTime < lastTime) || !out.Put(kept.m_Bytes, kept.m_Size))
                    return b > 0 && boxTime < lastTime
                               ? fail(QStringLiteral("the events of signal %1 go back in time in box %2").arg(s).arg(b))
                               : failed();
                lastTime = boxTime;
            } else {
                if (!signal.ReadEvents(first, end - first, events))
                    return fail(signal.DamageString());
                boxTime = events[0].m_Time;
                for (qint64 i = 0; i < end - first; ++i) {
                    if ((b > 0 || i > 0) && events[i].m_Time < lastTime)
                        return fail(QStringLiteral("the events of signal %1 go back in time at event %2").arg(s).arg(first + i));
                    lastTime = events[i].m_Time;
                }
                if (!out.Put(packed, Dovlin_BoxCodec::Encode(events, int(end - first), packed)))
                    return failed();
            }
            note(b, boxTime, boxStart);
            ++b;
        }
        const int timeCode = WidthCodeFor(boxTimes.empty() ? 0 : boxTimes.back());
        const int offsetCode = WidthCodeFor(boxOffsets.empty() ? 0 : boxOffsets.back());
        flags |= timeCode << TimeWidthShift | offsetCode << OffsetWidthShift;
        signalTable.append(char(signal.GetTypeCode()));
        signalTable.append(char(flags));
        appendVarint(signalTable, quint64(nEvent));
        if (nEvent >= 2)
            appendVarint(signalTable, Dovlin_BoxCodec::ZigZag(firstTime));
        appendVarint(signalTable, quint64(out.SectionOffset() - dataStart));
        appendWidths(index, boxTimes, timeCode);
        appendWidths(index, boxOffsets, offsetCode);
        if (m_Progress && !m_Progress(s + 1, nSignal))
            return fail(QStringLiteral("cancelled"));
    }
    if (!out.End())
        return failed();

    QByteArray checksums;
    appendLittle<quint32>(checksums, quint32(ChunkBytes));
    for (const quint32 crc : out.ChunkCrcs())
        appendLittle<quint32>(checksums, crc);
    if (!out.Section(Signals, signalTable) || !out.Section(Index, QByteArray::fromRawData(index.data(), qsizetype(index.size()))) || !out.Section(BoxChecksums, checksums)
        || !writer.Flush())
        return failed();

    QByteArray table(reinterpret_cast<const char *>(Magic), sizeof Magic);
    appendLittle<quint32>(table, Version);
    appendLittle<quint32>(table, quint32(out.Records().size()));
    for (const SectionRecord &record : out.Records()) {
        appendLittle<quint32>(table, record.m_Kind);
        appendLittle<quint32>(table, 0);
        appendLittle<quint64>(table, quint64(record.m_Offset));
        appendLittle<quint64>(table, quint64(record.m_Length));
        appendLittle<quint32>(table, record.m_Crc);
        appendLittle<quint32>(table, 0);
    }
    appendLittle<quint32>(table, Dovlin_Crc32c(table.constData(), table.size()));
    Q_ASSERT(table.size() == tableBytes);
    if (!m_Device.seek(0) || m_Device.write(table) != table.size())
        return fail(QStringLiteral("cannot write: %1").arg(m_Device.errorString()));
    return true;
}
