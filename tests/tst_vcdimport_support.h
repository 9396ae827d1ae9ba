#ifndef TST_VCDIMPORT_SUPPORT_H
#define TST_VCDIMPORT_SUPPORT_H

// Helpers of the VCD import tests: a reporter that records, and a text form of a wave model.

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ImportReporter.h"
#include "Dovlin_Signals.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class RecordingReporter : public Dovlin_ImportReporter
{
public:
    QStringList m_Errors;
    QStringList m_Warnings;
    QList<qint64> m_Progress;
    qint64 m_Total = -1;
    // Progress returns false once this many bytes were read; -1 never.
    qint64 m_CancelAt = -1;
    // WriteProgress returns false once this many signals were written; -1 never.
    qint64 m_CancelWriteAt = -1;

    void Error(const QString &text) override { m_Errors << text; }
    void Warning(const QString &text) override { m_Warnings << text; }
    bool Progress(qint64 bytesRead, qint64 bytesTotal) override
    {
        m_Progress << bytesRead;
        m_Total = bytesTotal;
        return m_CancelAt < 0 || bytesRead < m_CancelAt;
    }
    bool WriteProgress(qint64 written, qint64) override { return m_CancelWriteAt < 0 || written < m_CancelWriteAt; }
};

namespace VcdTesting {

inline QString typeLetter(int typeCode)
{
    static const QHash<int, QString> letters{{Dovlin_TypeCode::Integer, "i"}, {Dovlin_TypeCode::Real, "r"},
                                             {Dovlin_TypeCode::Verilog, "4"}, {Dovlin_TypeCode::StdLogic, "9"},
                                             {Dovlin_TypeCode::Event, "e"},   {Dovlin_TypeCode::String, "s"}};
    return letters.value(typeCode, QStringLiteral("?"));
}

inline QString valueText(const Dovlin_Signal *signal, const CSignalEvent *event)
{
    const QString states = signal->GetTypeCode() == Dovlin_TypeCode::StdLogic ? QStringLiteral("UX01ZWLH-") : QStringLiteral("01ZX");
    const int state = event->m_Value.m_State;
    switch (signal->GetTypeCode()) {
    case Dovlin_TypeCode::Integer:
        return QString::number(event->m_Value.m_IntValue);
    case Dovlin_TypeCode::Real:
        return QString::number(event->m_Value.m_RealValue);
    case Dovlin_TypeCode::Verilog:
    case Dovlin_TypeCode::Event:
    case Dovlin_TypeCode::StdLogic:
        return state >= 0 && state < states.size() ? states.mid(state, 1) : QStringLiteral("?");
    case Dovlin_TypeCode::String:
        return '"' + signal->GetFileManager()->GetString(event->m_Value.m_IntValue) + '"';
    default:
        return QStringLiteral("?");
    }
}

// "value@time" of every stored change, the sentinel left out.
inline QString eventsText(const Dovlin_Signal *signal)
{
    QStringList events;
    for (qint64 i = 1; i < signal->GetnEvent(); ++i) {
        const std::optional<CSignalEvent> event = signal->GetEvent(i);
        events << QStringLiteral("%1@%2").arg(valueText(signal, &*event)).arg(event->m_Time);
    }
    return events.join(',');
}

// A node as "name=T:events" (T the type letter) or "name(children)"; a stored level that does
// not match the depth is shown as "!L<level>".
inline QString nodeText(const Dovlin_Hierarchy *node, int depth)
{
    QString text = node->GetName();
    if (node->m_Level != depth)
        text += QStringLiteral("!L%1").arg(node->m_Level);
    // "<type LITERAL=bits ...>", with "names " when the node shows them.
    if (const Dovlin_EnumTable *names = node->GetFileManager()->EnumTable(node->m_EnumTable)) {
        text += QStringLiteral("<%1%2").arg(node->m_Radix == Dovlin_Radix::Names ? "names " : "", names->m_Name);
        for (qsizetype i = 0; i < names->m_Literals.size(); ++i)
            text += ' ' + names->m_Literals.at(i) + '=' + names->m_Values.value(i);
        text += '>';
    }
    if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Scalar) {
        const Dovlin_Signal *signal = node->GetSignal();
        return text + (signal ? QStringLiteral("=%1:%2").arg(typeLetter(signal->GetTypeCode()), eventsText(signal))
                              : QStringLiteral("=none"));
    }
    const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
    QStringList children;
    for (int i = 0; i < composite->GetnChild(); ++i)
        children << nodeText(composite->GetHierarchy(i), depth + 1);
    return text + "(" + children.join(' ') + ")";
}

// Every top-level node in table order.
inline QString modelText(const Dovlin_FileManager &model)
{
    QStringList roots;
    for (int i = 0; i < model.GetnHierarchy(); ++i)
        if (model.GetHierarchy(i)->GetParentIndex() == -1)
            roots << nodeText(model.GetHierarchy(i), 0);
    return roots.join(' ');
}

// Every node by its dotted path.
inline QHash<QString, Dovlin_Hierarchy *> nodesByPath(const Dovlin_FileManager &model)
{
    QHash<QString, Dovlin_Hierarchy *> nodes;
    model.VisitDottedPaths([&nodes](Dovlin_Hierarchy *node, const QString &path) { nodes.insert(path, node); });
    return nodes;
}

} // namespace VcdTesting

#endif
