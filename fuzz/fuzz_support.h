// Shared pieces of the fuzz targets: checked invariants, model (de)serialisation through
// buffers, and a walk over a loaded model that runs the queries the views make.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include "Dovlin_Columns.h"
#include "Dovlin_Crc32c.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Format2.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Types.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace Fuzz {

// An invariant that does not hold is a finding: libFuzzer saves the input on abort.
inline void Require(bool condition, const char *what, const QString &detail = QString())
{
    if (condition)
        return;
    std::fprintf(stderr, "invariant violated: %s %s\n", what, qPrintable(detail));
    std::abort();
}

// A wave file for the target to write and read, in memory where the system offers it.
inline const QString &WavePath()
{
    static QTemporaryDir dir(QFileInfo::exists(QStringLiteral("/dev/shm")) ? QStringLiteral("/dev/shm/dovlin-fuzz-XXXXXX")
                                                                           : QDir::tempPath() + "/dovlin-fuzz-XXXXXX");
    static const QString path = dir.filePath(QStringLiteral("fuzz.dvn"));
    return path;
}

inline bool Load(Dovlin_FileManager &model, const QByteArray &bytes, int *format = nullptr)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return model.LoadAll(&buffer, format);
}

// The model in a format; false when the format cannot hold it (times that go back in format 2).
inline bool TrySave(Dovlin_FileManager &model, int format, QByteArray &bytes)
{
    bytes.clear();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return model.SaveAll(&buffer, format);
}

inline QByteArray Save(Dovlin_FileManager &model, int format = Dovlin_WaveFormat::Format1)
{
    QByteArray bytes;
    Require(TrySave(model, format, bytes), "saving to a buffer failed:", model.ErrorString());
    return bytes;
}

// A file of format 2 whose checksums are made right again, so that mutated bytes reach the checks
// behind them; other bytes are left as they are.
inline QByteArray Repaired(QByteArray bytes)
{
    auto *data = reinterpret_cast<unsigned char *>(bytes.data());
    const qint64 size = bytes.size();
    if (size < 20 || std::memcmp(data, Dovlin_Format2::Magic, sizeof Dovlin_Format2::Magic) != 0)
        return bytes;
    const quint32 count = qFromLittleEndian<quint32>(data + 12);
    const qint64 tableEnd = Dovlin_Format2::FileHeaderBytes + qint64(count) * Dovlin_Format2::SectionEntryBytes;
    if (count > Dovlin_Format2::MaxSections || tableEnd + 4 > size)
        return bytes;
    const auto section = [&](quint32 i, qint64 &offset, qint64 &length) {
        const unsigned char *entry = data + Dovlin_Format2::FileHeaderBytes + i * Dovlin_Format2::SectionEntryBytes;
        const quint64 at = qFromLittleEndian<quint64>(entry + 8), bytesLong = qFromLittleEndian<quint64>(entry + 16);
        offset = qint64(at);
        length = qint64(bytesLong);
        return at <= quint64(size) && bytesLong <= quint64(size) - at;
    };
    // The packed boxes' chunks first: the checksum section holds them.
    qint64 boxes = -1, boxesLength = 0;
    for (quint32 i = 0; i < count; ++i) {
        qint64 offset = 0, length = 0;
        const quint32 kind = qFromLittleEndian<quint32>(data + Dovlin_Format2::FileHeaderBytes + i * Dovlin_Format2::SectionEntryBytes);
        if (kind == Dovlin_Format2::Boxes && section(i, offset, length)) {
            boxes = offset;
            boxesLength = length;
        }
    }
    for (quint32 i = 0; i < count; ++i) {
        qint64 offset = 0, length = 0;
        unsigned char *entry = data + Dovlin_Format2::FileHeaderBytes + i * Dovlin_Format2::SectionEntryBytes;
        if (qFromLittleEndian<quint32>(entry) != Dovlin_Format2::BoxChecksums || !section(i, offset, length) || length < 4 || boxes < 0)
            continue;
        const quint32 chunk = qFromLittleEndian<quint32>(data + offset);
        for (qint64 c = 0; chunk >= 1024 && 4 + 4 * (c + 1) <= length && c * chunk < boxesLength; ++c)
            qToLittleEndian(Dovlin_Crc32c(data + boxes + c * chunk, qMin<qint64>(chunk, boxesLength - c * chunk)),
                            data + offset + 4 + 4 * c);
    }
    for (quint32 i = 0; i < count; ++i) {
        qint64 offset = 0, length = 0;
        if (section(i, offset, length))
            qToLittleEndian(Dovlin_Crc32c(data + offset, length),
                            data + Dovlin_Format2::FileHeaderBytes + i * Dovlin_Format2::SectionEntryBytes + 24);
    }
    qToLittleEndian(Dovlin_Crc32c(data, tableEnd), data + tableEnd);
    return bytes;
}

// What a model holds, as text: the time base, every signal's type and events, every node's name,
// flags, signal and children (and radix and enumeration table, with radix set, which only format 2 keeps). Empty when a
// box cannot be read.
inline QByteArray ModelText(const Dovlin_FileManager &model, bool radix)
{
    QByteArray text = QByteArray::number(model.GetTimeBase()) + '\n';
    for (int s = 0; s < model.GetnSignal(); ++s) {
        const Dovlin_Signal *signal = model.GetSignal(s);
        text += 'S' + QByteArray::number(signal->GetTypeCode());
        for (qint64 e = 0; e < signal->GetnEvent(); ++e) {
            const std::optional<CSignalEvent> event = signal->GetEvent(e);
            if (!event)
                return QByteArray();
            text += ' ' + QByteArray::number(event->m_Time) + ':' + QByteArray::number(event->m_Value.m_IntValue);
        }
        text += '\n';
    }
    for (int h = 0; h < model.GetnHierarchy(); ++h) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(h);
        text += 'N' + node->GetName().toUtf8() + ' ' + QByteArray::number(node->m_Level) + ' '
                + QByteArray::number(node->m_Shown) + QByteArray::number(node->m_Digital)
                + (radix ? ' ' + QByteArray::number(node->m_Radix) + " e" + QByteArray::number(node->m_EnumTable) : QByteArray());
        if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Scalar) {
            text += " s" + QByteArray::number(static_cast<const Dovlin_ScalarHierarchy *>(node)->m_SignalIndex);
        } else {
            const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
            text += " c" + QByteArray::number(composite->m_Expanded);
            for (const int child : composite->m_Children)
                text += ' ' + QByteArray::number(child);
        }
        text += '\n';
    }
    return text;
}

// A time next to t, or t where that would overflow.
inline qint64 Step(qint64 t, int by)
{
    qint64 result;
    return __builtin_add_overflow(t, by, &result) ? t : result;
}

// Every signal starts with the sentinel and keeps its times in order from 0 on, as the import
// writes them. Loading accepts other times; queries on them must only be safe, not sensible.
inline bool InOrder(const Dovlin_FileManager &model)
{
    for (int s = 0; s < model.GetnSignal(); ++s) {
        const Dovlin_Signal *signal = model.GetSignal(s);
        qint64 last = -1;
        for (qint64 e = 0; e < signal->GetnEvent(); ++e) {
            const std::optional<CSignalEvent> event = signal->GetEvent(e);
            if (!event)
                return false;
            const qint64 t = event->m_Time;
            if (e == 0 ? t != -1 : t < qMax<qint64>(last, 0))
                return false;
            last = t;
        }
    }
    return true;
}

// Value texts in every radix, event searches, change navigation and the pixel columns of a
// window over the whole file, for a bounded number of nodes and times.
// A file of format 1 ends at its last event; one of format 2 says where it ends.
inline void Walk(Dovlin_FileManager &model, int format)
{
    constexpr int MaxNodes = 32;
    constexpr qint64 MaxTimes = 8;
    const qint64 end = model.GetEndTime();
    Require(format == Dovlin_WaveFormat::Format2 || end == model.FindEndTime(), "the end time differs from the recomputed one");
    const bool inOrder = InOrder(model);

    for (int s = 0; s < model.GetnSignal() && s < MaxNodes; ++s) {
        Dovlin_Signal *signal = model.GetSignal(s);
        const qint64 n = signal->GetnEvent();
        Require(signal->HasEvent() ? n >= 1 : signal->GetLastTime() == -1, "an empty signal has a last time");
        for (qint64 e = 0; e < n && e < MaxTimes; ++e) {
            const std::optional<CSignalEvent> event = signal->GetEvent(e);
            // A box whose bytes do not unpack: the signal says so, and its queries answer nothing.
            Require(event || signal->Damaged(), "an event in range is missing");
            if (!event)
                break;
            const qint64 t = event->m_Time;
            const qint64 found = signal->FindEventIndex(t);
            Require(found >= 0 && found <= n, "FindEventIndex out of range");
            Require(signal->FindEventIndex(Step(t, 1), found) >= 0, "FindEventIndex from out of range");
            signal->GetEventAt(t);
            signal->IsChange(e);
            for (int radix : {Dovlin_Radix::Binary, Dovlin_Radix::Hexadecimal, Dovlin_Radix::Unsigned,
                              Dovlin_Radix::Signed})
                signal->GetSignalState(Step(t, 1), radix);
        }
        Dovlin_ValueRange range;
        signal->SummariseValues(0, n, range);
    }

    Dovlin_ColumnMap map;
    map.m_Width = 100;
    map.m_Start = 0;
    map.m_TimePerTick = end > 100 ? end / 100 : 1;
    for (int h = 0; h < model.GetnHierarchy() && h < MaxNodes; ++h) {
        Dovlin_Hierarchy *node = model.GetHierarchy(h);
        for (qint64 t : {qint64(-1), qint64(0), end / 2, end, Step(end, 1)}) {
            for (int radix : {Dovlin_Radix::Binary, Dovlin_Radix::Hexadecimal, Dovlin_Radix::Unsigned,
                              Dovlin_Radix::Signed, Dovlin_Radix::Names}) {
                node->m_Radix = radix;
                node->GetSignalState(t);
            }
            const qint64 next = node->GetNextChangeTime(t);
            const qint64 prev = node->GetPrevChangeTime(t);
            Require(!inOrder || next == -1 || next > t, "the next change is not after the time");
            Require(!inOrder || prev == -1 || prev < t, "the previous change is not before the time");
        }
        node->ChangeTimes();
        Dovlin_ChangeColumns columns;
        node->GetChangeColumns(map, columns);
        if (Dovlin_Signal *signal = node->GetSignal()) {
            // As the canvas walks a row: from the window's start, one column at a time.
            Dovlin_Column column;
            qint64 from = signal->FindEventIndex(map.m_Start);
            while (signal->NextColumn(map, from, column)) {
                Require(column.m_End > from, "NextColumn did not move on");
                if (column.m_X >= map.m_Width)
                    break;
                from = column.m_End;
            }
        }
    }
}

} // namespace Fuzz

#endif
