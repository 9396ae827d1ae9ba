#include "Dovlin_Format1Reader.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_WaveIo.h"

namespace {

// Smallest record of a node: code, name length, level, shown, digital and one more int32.
constexpr qint64 MinHierarchyRecord = 6 * 4;
// Every signal has a type code and, later, the two int32 of its event block header.
constexpr qint64 MinSignalBytes = 3 * 4;
constexpr qint64 EventHeaderBytes = 2 * 4;
constexpr int BoxSize = Dovlin_Signal::m_BoxSize;

} // namespace

bool Dovlin_Format1Reader::LoadHeader()
{
    Dovlin_WaveReader &reader = m_Reader;
    qint32 timeBase = 0;
    if (!reader.ReadInt32(timeBase))
        return reader.Truncated(QStringLiteral("time base"));
    m_Model.SetTimeBase(timeBase);

    qint64 at = reader.Offset();
    qint32 nSignal = 0;
    if (!reader.ReadInt32(nSignal))
        return reader.Truncated(QStringLiteral("signal count"));
    if (nSignal < 0)
        return reader.Fail(QStringLiteral("negative signal count %1 at offset %2").arg(nSignal).arg(at));
    if (nSignal * MinSignalBytes > reader.BytesLeft())
        return reader.Fail(QStringLiteral("signal count %1 at offset %2 does not fit in the %3 bytes left").arg(nSignal).arg(at).arg(reader.BytesLeft()));
    for (int i = 0; i < nSignal; ++i) {
        at = reader.Offset();
        qint32 typeCode = 0;
        if (!reader.ReadInt32(typeCode))
            return reader.Truncated(QStringLiteral("type code of signal %1").arg(i));
        // The string type is of format 2 only.
        Dovlin_Signal *signal = typeCode == Dovlin_TypeCode::String ? nullptr : m_Model.AddSignalOfType(typeCode);
        if (!signal)
            return reader.Fail(QStringLiteral("unknown type code %1 at offset %2").arg(typeCode).arg(at));
    }

    at = reader.Offset();
    qint32 nHierarchy = 0;
    if (!reader.ReadInt32(nHierarchy))
        return reader.Truncated(QStringLiteral("hierarchy count"));
    if (nHierarchy < 0)
        return reader.Fail(QStringLiteral("negative hierarchy count %1 at offset %2").arg(nHierarchy).arg(at));
    if (nHierarchy * MinHierarchyRecord + nSignal * EventHeaderBytes > reader.BytesLeft())
        return reader.Fail(QStringLiteral("hierarchy count %1 at offset %2 does not fit in the %3 bytes left").arg(nHierarchy).arg(at).arg(reader.BytesLeft()));
    for (int i = 0; i < nHierarchy; ++i) {
        if (!LoadNode(i))
            return false;
    }
    QString reason;
    if (!m_Model.LinkHierarchies(true, reason))
        return reader.Fail(reason);
    return true;
}

bool Dovlin_Format1Reader::LoadNode(int index)
{
    Dovlin_WaveReader &reader = m_Reader;
    const QString record = QStringLiteral("record of node %1").arg(index);
    qint64 at = reader.Offset();
    qint32 code = 0;
    if (!reader.ReadInt32(code))
        return reader.Truncated(record);
    Dovlin_Hierarchy *node = m_Model.AddNodeOfCode(code);
    if (!node)
        return reader.Fail(QStringLiteral("unknown hierarchy code %1 at offset %2").arg(code).arg(at));

    at = reader.Offset();
    qint32 length = 0;
    if (!reader.ReadInt32(length))
        return reader.Truncated(record);
    if (length < 0)
        return reader.Fail(QStringLiteral("negative name length %1 of node %2 at offset %3").arg(length).arg(index).arg(at));
    if (length > reader.BytesLeft())
        return reader.Fail(QStringLiteral("name length %1 of node %2 at offset %3 does not fit in the %4 bytes left").arg(length).arg(index).arg(at).arg(reader.BytesLeft()));
    QByteArray name(length, Qt::Uninitialized);
    if (!reader.Read(name.data(), length))
        return reader.Truncated(record);
    // A name ends at its first zero byte.
    const qsizetype end = name.indexOf('\0');
    node->SetName(QString::fromLatin1(name.constData(), end < 0 ? name.size() : end));

    qint32 level = 0;
    qint32 shown = 0;
    qint32 digital = 0;
    if (!reader.ReadInt32(level) || !reader.ReadInt32(shown) || !reader.ReadInt32(digital))
        return reader.Truncated(record);
    node->m_Level = level;
    node->m_Shown = shown != 0;
    node->m_Digital = digital != 0;

    if (code == Dovlin_HierarchyCode::Scalar) {
        at = reader.Offset();
        qint32 signalIndex = 0;
        if (!reader.ReadInt32(signalIndex))
            return reader.Truncated(record);
        if (signalIndex < -1 || signalIndex >= m_Model.GetnSignal())
            return reader.Fail(QStringLiteral("signal index %1 of node %2 at offset %3 out of range").arg(signalIndex).arg(index).arg(at));
        static_cast<Dovlin_ScalarHierarchy *>(node)->m_SignalIndex = signalIndex;
        return true;
    }
    auto *composite = static_cast<Dovlin_CompositeHierarchy *>(node);
    qint32 expanded = 0;
    if (!reader.ReadInt32(expanded))
        return reader.Truncated(record);
    composite->m_Expanded = expanded != 0;
    at = reader.Offset();
    qint32 nChild = 0;
    if (!reader.ReadInt32(nChild))
        return reader.Truncated(record);
    if (nChild < 0)
        return reader.Fail(QStringLiteral("negative child count %1 of node %2 at offset %3").arg(nChild).arg(index).arg(at));
    if (nChild * qint64(4) > reader.BytesLeft())
        return reader.Fail(QStringLiteral("child count %1 of node %2 at offset %3 does not fit in the %4 bytes left").arg(nChild).arg(index).arg(at).arg(reader.BytesLeft()));
    composite->m_Children.reserve(nChild);
    for (int i = 0; i < nChild; ++i) {
        qint32 child = 0;
        if (!reader.ReadInt32(child))
            return reader.Truncated(record);
        composite->m_Children.append(child);
    }
    return true;
}

bool Dovlin_Format1Reader::LoadSignalEvents(Dovlin_EventArena *arena)
{
    Dovlin_WaveReader &reader = m_Reader;
    qint64 endTime = -1;
    for (int index = 0; index < m_Model.GetnSignal(); ++index) {
        Dovlin_Signal *signal = m_Model.GetSignal(index);
        const QString block = QStringLiteral("event block of signal %1").arg(index);
        const qint64 at = reader.Offset();
        qint32 lastSlot = 0;
        qint32 lastBox = 0;
        if (!reader.ReadInt32(lastSlot) || !reader.ReadInt32(lastBox))
            return reader.Truncated(block);
        if (signal->HasEvent())
            return reader.Fail(QStringLiteral("signal %1 already holds events").arg(index));
        if (lastSlot < 0 || lastSlot >= BoxSize)
            return reader.Fail(QStringLiteral("last slot %1 of signal %2 at offset %3 out of range").arg(lastSlot).arg(index).arg(at));
        if (lastBox < -1)
            return reader.Fail(QStringLiteral("last box %1 of signal %2 at offset %3 out of range").arg(lastBox).arg(index).arg(at));
        if (lastBox == -1 && lastSlot != BoxSize - 1)
            return reader.Fail(QStringLiteral("signal %1 without boxes has last slot %2 at offset %3").arg(index).arg(lastSlot).arg(at));

        const qint64 nEvent = (qint64(lastBox) + 1) * BoxSize;
        const qint64 bytes = nEvent * qint64(sizeof(CSignalEvent));
        if (bytes > reader.BytesLeft())
            return reader.Truncated(block);
        if (nEvent > 0) {
            CSignalEvent *events = nullptr;
            if (arena) {
                // The arena holds exactly the event bytes of a well-formed file, so a block that does
                // not fit leaves too few bytes for the blocks after it.
                events = arena->Take(nEvent);
                if (!events || !reader.Read(events, bytes))
                    return reader.Truncated(block);
            } else {
                events = reinterpret_cast<CSignalEvent *>(const_cast<char *>(reader.MappedAt()));
                if (!events || !reader.Skip(bytes))
                    return reader.Truncated(block);
            }
            signal->SetLoadedBoxes(events, lastSlot, lastBox);
        }
        endTime = qMax(endTime, signal->GetLastTime());
    }
    if (reader.BytesLeft() != 0)
        return reader.Fail(QStringLiteral("%1 trailing bytes after the last event block at offset %2")
                               .arg(reader.BytesLeft()).arg(reader.Offset()));
    m_Model.SetEndTime(endTime);
    return true;
}
