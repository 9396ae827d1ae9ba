#include "Dovlin_HierarchyView.h"

#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_Signals.h"

#include <QTreeWidget>

#include <algorithm>

namespace {
// A line of the name tree holds only its node: its texts, icon and colour are read from the node
// when the view asks, so a line costs one item and no stored data.
class NameItem : public QTreeWidgetItem
{
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;

    enum Children { NoChildren, ChildrenNow, ChildrenLater };

    NameItem(Dovlin_Hierarchy *node, Children children)
        : QTreeWidgetItem(Type), m_Node(node), m_ChildrenLater(children == ChildrenLater)
    {
        // The view then neither looks for children nor keeps the line as opened.
        if (children == NoChildren)
            setFlags(flags() | Qt::ItemNeverHasChildren);
        else if (children == ChildrenLater)
            setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }

    QVariant data(int column, int role) const override
    {
        const auto *tree = static_cast<const Dovlin_NameWidget *>(treeWidget());
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            if (column == 0)
                return m_Node->m_Name;
            if (column == 1 && tree)
                return tree->ValueText(m_Node);
        } else if (column == 0) {
            if (role == Qt::DecorationRole && tree)
                return tree->icon(Dovlin_NameWidget::IconKindOf(m_Node));
            // A node the filter found although it is hidden reads grey.
            if (role == Qt::ForegroundRole && !m_Node->m_Shown)
                return QBrush(QColor(0x808080));
        }
        return QTreeWidgetItem::data(column, role);
    }

    void setData(int column, int role, const QVariant &value) override
    {
        if (column == 1 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
            if (auto *tree = static_cast<Dovlin_NameWidget *>(treeWidget()))
                tree->SetValueText(m_Node, value.toString());
            return;
        }
        QTreeWidgetItem::setData(column, role, value);
    }

    Dovlin_Hierarchy *const m_Node;
    bool m_ChildrenLater;
};

// A node's line without the lines below it; null for a node the tree does not list.
NameItem *makeLine(Dovlin_NameWidget *nameWidget, Dovlin_Hierarchy *node)
{
    if (!node || !nameWidget->IsListed(node))
        return nullptr;
    NameItem::Children children = NameItem::NoChildren;
    if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite) {
        const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
        // A filtered tree opens every line it has: each one leads to a match.
        if (nameWidget->HasListedChild(composite))
            children = nameWidget->IsFiltered() || composite->m_Expanded ? NameItem::ChildrenNow : NameItem::ChildrenLater;
    }
    auto *item = new NameItem(node, children);
    nameWidget->SetTreeItem(node, item);
    return item;
}

QList<QTreeWidgetItem *> makeChildLines(Dovlin_NameWidget *nameWidget, const Dovlin_CompositeHierarchy *node)
{
    QList<QTreeWidgetItem *> lines;
    for (int i = 0; i < node->GetnChild(); ++i)
        if (NameItem *line = makeLine(nameWidget, node->GetHierarchy(i)))
            lines.append(line);
    return lines;
}

// Builds the lines below an open line, level by level: a line that takes children already
// holding theirs walks them all, which down a chain of nested scopes grows with the square of
// its depth.
void fillLine(Dovlin_NameWidget *nameWidget, NameItem *item)
{
    if (item->m_ChildrenLater || (item->flags() & Qt::ItemNeverHasChildren))
        return;
    item->addChildren(makeChildLines(nameWidget, static_cast<const Dovlin_CompositeHierarchy *>(item->m_Node)));
    for (int i = 0; i < item->childCount(); ++i)
        fillLine(nameWidget, static_cast<NameItem *>(item->child(i)));
}
}

namespace Dovlin_HierarchyView {
void GenerateNameView(Dovlin_NameWidget *nameWidget, Dovlin_Hierarchy *node, QTreeWidgetItem *parent)
{
    NameItem *item = makeLine(nameWidget, node);
    if (!item)
        return;
    fillLine(nameWidget, item);
    if (parent)
        parent->addChild(item);
    else
        nameWidget->AddTopLevelItem(item);
}

bool GenerateChildren(Dovlin_NameWidget *nameWidget, QTreeWidgetItem *item)
{
    if (!item || item->type() != NameItem::Type)
        return false;
    auto *line = static_cast<NameItem *>(item);
    if (!line->m_ChildrenLater)
        return false;
    line->m_ChildrenLater = false;
    line->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    // Built apart, the lines join the tree in one insertion.
    const QList<QTreeWidgetItem *> lines = makeChildLines(nameWidget, static_cast<const Dovlin_CompositeHierarchy *>(line->m_Node));
    for (QTreeWidgetItem *child : lines)
        fillLine(nameWidget, static_cast<NameItem *>(child));
    line->addChildren(lines);
    return true;
}

void GenerateSignalsDlg(QTreeWidget *tree, Dovlin_Hierarchy *node, QTreeWidgetItem *parent)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, node->m_Name);
    item->setCheckState(0, node->m_Shown ? Qt::Checked : Qt::Unchecked);
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
    if (parent)
        parent->addChild(item);
    else
        tree->addTopLevelItem(item);
    if (node->GetHierarchyCode() != Dovlin_HierarchyCode::Composite)
        return;
    auto *composite = static_cast<Dovlin_CompositeHierarchy *>(node);
    for (int i = 0; i < composite->GetnChild(); ++i)
        if (Dovlin_Hierarchy *child = composite->GetHierarchy(i))
            GenerateSignalsDlg(tree, child, item);
    item->setExpanded(composite->m_Expanded);
}

bool UpdateSignalState(Dovlin_NameWidget *nameWidget, Dovlin_Hierarchy *node)
{
    if (!nameWidget->TreeItem(node))
        return false;
    nameWidget->RefreshValueText(node);
    return true;
}

Dovlin_Hierarchy *GetHierarchy(const QTreeWidgetItem *item)
{
    if (!item)
        return nullptr;
    if (item->type() == NameItem::Type)
        return static_cast<const NameItem *>(item)->m_Node;
    return reinterpret_cast<Dovlin_Hierarchy *>(item->data(0, Qt::UserRole).value<quintptr>());
}

bool IsDamaged(const Dovlin_Hierarchy *node, QString *reason)
{
    const auto damaged = [reason](const Dovlin_Signal *signal) {
        if (!signal || !signal->Damaged())
            return false;
        if (reason)
            *reason = signal->DamageString();
        return true;
    };
    // Drawing asks for every row: a file without damage answers at once.
    if (!node->GetFileManager()->HasDamage())
        return false;
    // A leaf asks its own signal: its list of leaves would be one more thing to keep per line.
    if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Scalar)
        return damaged(node->GetSignal());
    const std::vector<const Dovlin_Signal *> &leaves = node->LeafSignals();
    return std::any_of(leaves.begin(), leaves.end(), damaged);
}
}
