// Name-tree operations of the hierarchy nodes: building the tree's items, the check-list of all
// nodes, and the Values column.

#include "DovlinWidget.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_Signals.h"

#include <QTreeWidget>

namespace {
void attach(QTreeWidgetItem *item, Dovlin_Hierarchy *node)
{
    item->setData(0, Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(node)));
}

void insert(QTreeWidget *tree, QTreeWidgetItem *parent, QTreeWidgetItem *item)
{
    if (parent)
        parent->addChild(item);
    else
        tree->addTopLevelItem(item);
}

// The name tree takes its top-level items in one go; the tree expands the items afterwards.
// A node the filter found although it is hidden reads grey.
void addToNameView(Dovlin_NameWidget *nameWidget, QTreeWidgetItem *parent, QTreeWidgetItem *item,
                   const Dovlin_Hierarchy *node)
{
    if (!node->m_Shown)
        item->setForeground(0, QColor(0x808080));
    if (parent)
        parent->addChild(item);
    else
        nameWidget->AddTopLevelItem(item);
}
}

Dovlin_Hierarchy *Dovlin_Hierarchy::GetHierarchy(QTreeWidgetItem *item)
{
    if (!item)
        return nullptr;
    return reinterpret_cast<Dovlin_Hierarchy *>(item->data(0, Qt::UserRole).value<quintptr>());
}

void Dovlin_ScalarHierarchy::GenerateNameView(Dovlin_NameWidget *nameWidget, QTreeWidgetItem *parent)
{
    if (!nameWidget->IsListed(this))
        return;
    auto *item = new QTreeWidgetItem;
    m_TreeItem = item;
    item->setText(0, m_Name);
    addToNameView(nameWidget, parent, item, this);
    Dovlin_Signal *signal = GetSignal();
    const int typeCode = signal ? signal->GetTypeCode() : 0;
    const Dovlin_NameWidget::IconKind kind = typeCode == Dovlin_TypeCode::Integer ? Dovlin_NameWidget::IntIcon
                                             : typeCode == Dovlin_TypeCode::Real  ? Dovlin_NameWidget::RealIcon
                                                                                  : Dovlin_NameWidget::BitIcon;
    item->setIcon(0, nameWidget->icon(kind));
    attach(item, this);
}

void Dovlin_CompositeHierarchy::GenerateNameView(Dovlin_NameWidget *nameWidget, QTreeWidgetItem *parent)
{
    if (!nameWidget->IsListed(this))
        return;
    auto *item = new QTreeWidgetItem;
    m_TreeItem = item;
    item->setText(0, m_Name);
    item->setIcon(0, nameWidget->icon(Dovlin_NameWidget::VectorIcon));
    attach(item, this);
    addToNameView(nameWidget, parent, item, this);
    for (int i = 0; i < GetnChild(); ++i)
        if (Dovlin_Hierarchy *child = GetHierarchy(i))
            child->GenerateNameView(nameWidget, item);
}

void Dovlin_ScalarHierarchy::GenerateSignalsDlg(QTreeWidget *tree, QTreeWidgetItem *parent)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, m_Name);
    item->setCheckState(0, m_Shown ? Qt::Checked : Qt::Unchecked);
    attach(item, this);
    insert(tree, parent, item);
}

void Dovlin_CompositeHierarchy::GenerateSignalsDlg(QTreeWidget *tree, QTreeWidgetItem *parent)
{
    auto *item = new QTreeWidgetItem;
    item->setText(0, m_Name);
    item->setCheckState(0, m_Shown ? Qt::Checked : Qt::Unchecked);
    attach(item, this);
    insert(tree, parent, item);
    for (int i = 0; i < GetnChild(); ++i)
        if (Dovlin_Hierarchy *child = GetHierarchy(i))
            child->GenerateSignalsDlg(tree, item);
    item->setExpanded(m_Expanded);
}

bool Dovlin_Hierarchy::UpdateSignalState(Dovlin_NameWidget *nameWidget)
{
    if (!m_TreeItem)
        return false;
    const DovlinWidget *document = nameWidget->owner();
    const int cursor = document->defaultCursor();
    if (cursor != -1)
        m_TreeItem->setText(1, GetSignalState(document->cursorTime(cursor)));
    return true;
}
