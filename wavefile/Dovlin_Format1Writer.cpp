#include "Dovlin_Format1Writer.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"
#include "Dovlin_WaveIo.h"

#include <algorithm>

namespace {
constexpr int BoxSize = Dovlin_Signal::m_BoxSize;
constexpr qint64 BoxBytes = BoxSize * qint64(sizeof(CSignalEvent));
}

Dovlin_Format1Writer::Dovlin_Format1Writer(const Dovlin_FileManager &model, Dovlin_WaveWriter &writer)
    : m_Model(model), m_Writer(writer)
{
    for (int s = 0; s < model.GetnSignal(); ++s) {
        const bool string = model.GetSignal(s)->GetTypeCode() == Dovlin_TypeCode::String;
        m_SignalIndex.push_back(string ? -1 : m_nSignal++);
        m_StringSignals += string ? 1 : 0;
    }
    for (int i = 0; i < model.GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        const Dovlin_Signal *signal = node->GetSignal();
        const bool leftOut = signal && m_SignalIndex[size_t(signal->GetIndex())] < 0;
        m_NodeIndex.push_back(leftOut ? -1 : m_nNode++);
    }
}

bool Dovlin_Format1Writer::SaveHeader()
{
    if (!m_Writer.WriteInt32(m_Model.GetTimeBase()) || !m_Writer.WriteInt32(m_nSignal))
        return false;
    for (int s = 0; s < m_Model.GetnSignal(); ++s) {
        if (m_SignalIndex[size_t(s)] >= 0 && !m_Writer.WriteInt32(m_Model.GetSignal(s)->GetTypeCode()))
            return false;
    }
    if (!m_Writer.WriteInt32(m_nNode))
        return false;
    m_InexactNames = 0;
    for (int i = 0; i < m_Model.GetnHierarchy(); ++i) {
        if (m_NodeIndex[size_t(i)] < 0)
            continue;
        const Dovlin_Hierarchy *node = m_Model.GetHierarchy(i);
        // The format reads a name up to its first NUL: what lies beyond is not written.
        const QString text = node->GetName();
        const qsizetype nul = text.indexOf(QChar(0));
        const QByteArray name = (nul < 0 ? text : text.left(nul)).toLatin1();
        m_InexactNames += nul >= 0 || std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() > 0xff; }) ? 1 : 0;
        if (!m_Writer.WriteInt32(node->GetHierarchyCode()) || !m_Writer.WriteInt32(qint32(name.size()))
            || !m_Writer.Write(name.constData(), name.size()) || !m_Writer.WriteInt32(node->m_Level)
            || !m_Writer.WriteInt32(node->m_Shown ? 1 : 0) || !m_Writer.WriteInt32(node->m_Digital ? 1 : 0))
            return false;
        if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Scalar) {
            const int signal = static_cast<const Dovlin_ScalarHierarchy *>(node)->m_SignalIndex;
            if (!m_Writer.WriteInt32(signal >= 0 && signal < m_Model.GetnSignal() ? m_SignalIndex[size_t(signal)] : signal))
                return false;
            continue;
        }
        const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
        QList<int> children;
        for (const int child : composite->m_Children)
            if (child < 0 || child >= m_Model.GetnHierarchy() || m_NodeIndex[size_t(child)] >= 0)
                children.append(child >= 0 && child < m_Model.GetnHierarchy() ? m_NodeIndex[size_t(child)] : child);
        if (!m_Writer.WriteInt32(composite->m_Expanded ? 1 : 0) || !m_Writer.WriteInt32(qint32(children.size())))
            return false;
        for (const int child : std::as_const(children))
            if (!m_Writer.WriteInt32(child))
                return false;
    }
    return true;
}

// Boxes that lie one after the other in memory (all of a file of format 1 that was loaded) go out
// in one write, as they are; the others (spilled, or packed) are unpacked a box at a time.
bool Dovlin_Format1Writer::SaveSignalEvents(const std::function<bool(qint64, qint64)> &progress)
{
    CSignalEvent box[BoxSize];
    qint64 written = 0;
    for (int s = 0; s < m_Model.GetnSignal(); ++s) {
        if (m_SignalIndex[size_t(s)] < 0)
            continue;
        const Dovlin_Signal &signal = *m_Model.GetSignal(s);
        if (!m_Writer.WriteInt32(signal.GetLastSlot()) || !m_Writer.WriteInt32(signal.GetLastBox()))
            return false;
        const qint64 nBox = qint64(signal.GetLastBox()) + 1;
        for (qint64 first = 0; first < nBox;) {
            const Dovlin_BoxRef ref = signal.BoxRefOf(first);
            qint64 end = first + 1;
            if (ref.GetKind() == Dovlin_BoxRef::InMemory) {
                while (end < nBox && signal.BoxRefOf(end).GetKind() == Dovlin_BoxRef::InMemory
                       && signal.BoxRefOf(end).Events() == ref.Events() + (end - first) * BoxSize)
                    ++end;
                if (!m_Writer.Write(ref.Events(), (end - first) * BoxBytes))
                    return false;
            } else {
                const qint64 events = qMin<qint64>(BoxSize, signal.GetnEvent() - first * BoxSize);
                std::fill_n(box, BoxSize, CSignalEvent());
                if (!signal.ReadEvents(first * BoxSize, events, box))
                    return m_Writer.Fail(signal.DamageString());
                if (!m_Writer.Write(box, BoxBytes))
                    return false;
            }
            first = end;
        }
        if (progress && !progress(++written, m_nSignal))
            return m_Writer.Fail(QStringLiteral("cancelled"));
    }
    return true;
}

qint64 Dovlin_Format1Writer::FileBytes(const Dovlin_FileManager &model)
{
    qint64 bytes = 12 + 4 * qint64(model.GetnSignal());
    for (int i = 0; i < model.GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(i);
        bytes += 20 + node->GetName().size() + 4;
        if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite)
            bytes += 4 + 4 * qint64(static_cast<const Dovlin_CompositeHierarchy *>(node)->m_Children.size());
    }
    for (int s = 0; s < model.GetnSignal(); ++s) {
        const Dovlin_Signal *signal = model.GetSignal(s);
        bytes += 8 + (signal->HasEvent() ? (qint64(signal->GetLastBox()) + 1) * BoxBytes : 0);
    }
    return bytes;
}
