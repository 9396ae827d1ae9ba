#ifndef TESTWAVES_H
#define TESTWAVES_H

// Small wave files built through the model, for the tests of the views.

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_Signals.h"

#include <QList>
#include <QPair>
#include <QString>

class TestWave
{
public:
    Dovlin_FileManager m_Model;

    Dovlin_CompositeHierarchy *Scope(const QString &name, Dovlin_CompositeHierarchy *parent = nullptr)
    {
        auto *node = &m_Model.AddNode<Dovlin_CompositeHierarchy>(name);
        if (parent)
            parent->AddHierarchy(node);
        return node;
    }

    template <class Signal>
    Dovlin_ScalarHierarchy *Leaf(const QString &name, Dovlin_CompositeHierarchy *parent, Signal *signal)
    {
        auto *node = &m_Model.AddNode<Dovlin_ScalarHierarchy>(name);
        node->SetSignal(signal);
        if (parent)
            parent->AddHierarchy(node);
        return node;
    }

    // A four-state signal: 0, 1, 2 (Z) and 3 (X).
    Dovlin_ScalarHierarchy *Logic(const QString &name, Dovlin_CompositeHierarchy *parent,
                                  const QList<QPair<qint64, int>> &changes)
    {
        auto *signal = &m_Model.AddSignal<Dovlin_StateSignalT<Dovlin_VerilogType>>();
        for (const auto &change : changes)
            signal->AddEvent(change.first, change.second);
        return Leaf(name, parent, signal);
    }

    Dovlin_ScalarHierarchy *Integer(const QString &name, Dovlin_CompositeHierarchy *parent,
                                    const QList<QPair<qint64, qint64>> &changes)
    {
        auto *signal = &m_Model.AddSignal<Dovlin_IntSignal>();
        for (const auto &change : changes)
            signal->AddEvent(change.first, change.second);
        return Leaf(name, parent, signal);
    }

    Dovlin_ScalarHierarchy *Real(const QString &name, Dovlin_CompositeHierarchy *parent,
                                 const QList<QPair<qint64, double>> &changes)
    {
        auto *signal = &m_Model.AddSignal<Dovlin_RealSignal>();
        for (const auto &change : changes)
            signal->AddEvent(change.first, change.second);
        return Leaf(name, parent, signal);
    }

    // A string signal: each text goes to the string table, the event holds its index.
    Dovlin_ScalarHierarchy *Text(const QString &name, Dovlin_CompositeHierarchy *parent,
                                 const QList<QPair<qint64, QString>> &changes)
    {
        auto *signal = &m_Model.AddSignal<Dovlin_StringSignal>();
        for (const auto &change : changes)
            signal->AddEvent(change.first, m_Model.AddString(change.second));
        return Leaf(name, parent, signal);
    }

    // An event signal with one trigger at each time, repeated times included.
    Dovlin_ScalarHierarchy *Event(const QString &name, Dovlin_CompositeHierarchy *parent, const QList<qint64> &triggers)
    {
        auto *signal = &m_Model.AddSignal<Dovlin_EventSignal>();
        for (qint64 time : triggers)
            signal->AddEvent(time, 1);
        return Leaf(name, parent, signal);
    }

    // A vector whose children are its bits, most significant first; values are bit texts such as "1x0z".
    Dovlin_CompositeHierarchy *Bus(const QString &name, Dovlin_CompositeHierarchy *parent, int width,
                                   const QList<QPair<qint64, QString>> &changes)
    {
        Dovlin_CompositeHierarchy *bus = Scope(name, parent);
        for (int bit = 0; bit < width; ++bit) {
            // As an import stores them: a bit has an event only where it changes.
            QList<QPair<qint64, int>> bitChanges;
            for (const auto &change : changes) {
                const QChar c = change.second.at(bit).toLower();
                const int state = c == '0' ? 0 : c == '1' ? 1 : c == 'z' ? 2 : 3;
                if (bitChanges.isEmpty() || bitChanges.last().second != state)
                    bitChanges.append({change.first, state});
            }
            Logic(QString("%1[%2]").arg(name).arg(width - 1 - bit), bus, bitChanges);
        }
        return bus;
    }

    bool Save(const QString &path, qint64 lastTime = -1) { return m_Model.Save(path, lastTime); }
};

#endif
