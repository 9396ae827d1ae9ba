// Shared pieces of the fuzz targets: checked invariants, model (de)serialisation through
// buffers, and a walk over a loaded model that runs the queries the views make.
#ifndef FUZZ_SUPPORT_H
#define FUZZ_SUPPORT_H

#include "Dovlin_Columns.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Types.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
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

inline bool Load(Dovlin_FileManager &model, const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return model.LoadAll(&buffer);
}

inline QByteArray Save(Dovlin_FileManager &model)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    Require(model.SaveAll(&buffer), "saving to a buffer failed:", model.ErrorString());
    return bytes;
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
            const qint64 t = signal->GetEvent(e)->m_Time;
            if (e == 0 ? t != -1 : t < qMax<qint64>(last, 0))
                return false;
            last = t;
        }
    }
    return true;
}

// Value texts in every radix, event searches, change navigation and the pixel columns of a
// window over the whole file, for a bounded number of nodes and times.
inline void Walk(Dovlin_FileManager &model)
{
    constexpr int MaxNodes = 32;
    constexpr qint64 MaxTimes = 8;
    const qint64 end = model.GetEndTime();
    Require(end == model.FindEndTime(), "the end time differs from the recomputed one");
    const bool inOrder = InOrder(model);

    for (int s = 0; s < model.GetnSignal() && s < MaxNodes; ++s) {
        Dovlin_Signal *signal = model.GetSignal(s);
        const qint64 n = signal->GetnEvent();
        Require(signal->HasEvent() ? n >= 1 : signal->GetLastTime() == -1, "an empty signal has a last time");
        for (qint64 e = 0; e < n && e < MaxTimes; ++e) {
            const qint64 t = signal->GetEvent(e)->m_Time;
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
                              Dovlin_Radix::Signed}) {
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
