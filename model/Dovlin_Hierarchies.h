#ifndef DOVLIN_HIERARCHIES_H
#define DOVLIN_HIERARCHIES_H

#include "Dovlin_Types.h"

#include <QList>
#include <QString>

#include <vector>

class Dovlin_FileManager;
class Dovlin_Signal;
struct Dovlin_ChangeColumns;
struct Dovlin_ColumnMap;

// Hierarchy codes, stored per node in a wave file.
namespace Dovlin_HierarchyCode {
enum { Scalar = 1, Composite = 2 };
}

// A node of the signal tree. Nodes live in the file manager's table and refer to each other
// and to signals by index. Each node has at most one parent, and the tree has no cycles:
// linking and loading both refuse anything else.
class Dovlin_Hierarchy
{
public:
    // Deepest nesting a wave file may have; the tree code recurses once per level.
    static constexpr int m_MaxDepth = 1024;

    // Nodes are made by the file manager (AddNode), which owns them; index is their place in its table.
    Dovlin_Hierarchy(Dovlin_FileManager *fileManager, int index, int hierarchyCode);
    virtual ~Dovlin_Hierarchy() = default;
    Dovlin_Hierarchy(const Dovlin_Hierarchy &) = delete;
    Dovlin_Hierarchy &operator=(const Dovlin_Hierarchy &) = delete;

    virtual int GetHierarchyCode() const { return m_HierarchyCode; }
    // Deepest level in the subtree of this node.
    virtual int GetMaxLevel() const = 0;
    // Sets the level of this node and renumbers its subtree below it.
    virtual void ModifyLevels(int level) = 0;
    virtual Dovlin_Signal *GetSignal() const { return nullptr; }
    virtual Dovlin_Hierarchy *GetHierarchy() const { return nullptr; }
    // Over every leaf below the node, without moving any cursor: the earliest change after time,
    // and the latest before it; -1 when there is none. A change is an event whose value differs
    // from the one before it, so the sentinel and repeated values (the closing copy of the last
    // value, values dumped again) are passed over.
    virtual qint64 GetNextChangeTime(qint64 time) const = 0;
    virtual qint64 GetPrevChangeTime(qint64 time) const = 0;
    // Appends the signals of every leaf below the node (the node itself when it is a leaf).
    virtual void CollectSignals(std::vector<const Dovlin_Signal *> &signalList) const = 0;
    // How many events of the leaves below the node fall into each pixel column of a window.
    void GetChangeColumns(const Dovlin_ColumnMap &map, Dovlin_ChangeColumns &columns) const;
    // Fills columns.m_Unknown: whether, at some time of a pixel column, a leaf below the node holds
    // a state that is not 0, 1, L or H, or has no value (before its first change, after its last
    // event). A crowded column counts when any of its states does.
    void GetUnknownColumns(const Dovlin_ColumnMap &map, Dovlin_ChangeColumns &columns) const;
    // The signals of the leaves below the node, each once, the latest to end first; kept until
    // the tree or the events change.
    const std::vector<const Dovlin_Signal *> &LeafSignals() const;
    // Every distinct time at which a leaf below the node has an event (sentinels left out),
    // sorted; null when the leaves hold more events than it is worth merging.
    // The lists are kept, the least recently used dropped past the file manager's budget for them.
    const std::vector<qint64> *ChangeTimes() const;
    // Frees the merged times; they are merged again when next asked for.
    void DropChangeTimes() const;
    // Leaves holding more events than this are not merged into ChangeTimes (2^25 unless set).
    static qint64 MaxMergedEvents();
    static void SetMaxMergedEvents(qint64 events);
    // The value text at time in m_Radix; empty where the node has no value (before its first
    // change, past the end of the dump). The name tree keeps the texts of its lines.
    QString GetSignalState(qint64 time) { return ValueText(time, m_Radix); }
    QString ValueText(qint64 time) { return ValueText(time, m_Radix); }
    // In another radix: a wave list's row shows its node in its own.
    virtual QString ValueText(qint64 time, int radix) = 0;

    void SetName(const QString &name) { m_Name = name; }
    QString GetName() const { return m_Name; }
    Dovlin_FileManager *GetFileManager() const { return m_FileManager; }
    // Hierarchy index of the parent; -1 for a node not linked under a composite.
    int GetParentIndex() const { return m_ParentIndex; }

    int m_Index;
    int m_Level = 0;
    QString m_Name;
    bool m_Shown = true;
    bool m_Digital = true;
    int m_Radix = Dovlin_Radix::Unsigned;
    // The file manager's enumeration table whose literals name the node's values; -1 for none.
    int m_EnumTable = -1;

protected:
    int m_HierarchyCode;
    Dovlin_FileManager *m_FileManager;

private:
    // Loading restores the parent links it checked, and a replacing node takes over its place under the parent.
    friend class Dovlin_FileManager;
    friend class Dovlin_CompositeHierarchy;

    int m_ParentIndex = -1;
    mutable std::vector<const Dovlin_Signal *> m_LeafSignals;
    mutable quint64 m_LeafStructure = ~quint64(0);
    mutable std::vector<qint64> m_ChangeTimes;
    mutable bool m_ChangeTimesMerged = false;
    mutable qint64 m_ChangeTimesLimit = -1;
    mutable quint64 m_ChangeTimesStructure = ~quint64(0);
};

// A leaf showing one signal.
class Dovlin_ScalarHierarchy : public Dovlin_Hierarchy
{
public:
    Dovlin_ScalarHierarchy(Dovlin_FileManager *fileManager, int index);

    // Stores the signal's index; a null signal or one of another file manager detaches.
    void SetSignal(Dovlin_Signal *signal);
    Dovlin_Signal *GetSignal() const override;

    int GetMaxLevel() const override { return m_Level; }
    void ModifyLevels(int level) override { m_Level = level; }
    qint64 GetNextChangeTime(qint64 time) const override;
    qint64 GetPrevChangeTime(qint64 time) const override;
    void CollectSignals(std::vector<const Dovlin_Signal *> &signalList) const override;
    using Dovlin_Hierarchy::ValueText;
    QString ValueText(qint64 time, int radix) override;

    int m_SignalIndex = -1;
};

// A scope, or a vector whose children are its bits. Refers to its children by index and owns
// none of them; its change-time queries merge those of all its children.
class Dovlin_CompositeHierarchy : public Dovlin_Hierarchy
{
public:
    static constexpr unsigned int m_Color = 0xFFFF00;
    // A bus where one of its bits is unknown: the colour of X.
    static constexpr unsigned int m_UnknownColor = Dovlin_VerilogType::m_Colors[3];

    Dovlin_CompositeHierarchy(Dovlin_FileManager *fileManager, int index);

    int GetnChild() const { return int(m_Children.size()); }
    // Links child as the last child and renumbers its levels. Refuses a null child, one of
    // another file manager, one that already has a parent, this node or an ancestor, and a
    // child whose subtree would then reach deeper than m_MaxDepth levels.
    bool AddHierarchy(Dovlin_Hierarchy *child);
    // Child i; null for an index out of range.
    virtual Dovlin_Hierarchy *GetHierarchy(int i) const;
    using Dovlin_Hierarchy::GetHierarchy;

    int GetMaxLevel() const override;
    void ModifyLevels(int level) override;
    qint64 GetNextChangeTime(qint64 time) const override;
    qint64 GetPrevChangeTime(qint64 time) const override;
    void CollectSignals(std::vector<const Dovlin_Signal *> &signalList) const override;
    using Dovlin_Hierarchy::ValueText;
    QString ValueText(qint64 time, int radix) override;

    QList<int> m_Children;
    bool m_Expanded = true;

    // Characters of a scope's value text: beyond them it ends in an ellipsis.
    static constexpr int m_ScopeTextLimit = 256;
    // True for a vector of the dump, whose children are its bits: shown in its radix.
    bool IsBus() const;

private:
    mutable bool m_Bus = false;
    mutable quint64 m_BusStructure = ~quint64(0);
};

#endif
