#include "Dovlin_ListWidget.h"

#include "DovlinWidget.h"
#include "Dovlin_Dialogs.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_NameWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Utilities.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QHash>
#include <QHeaderView>
#include <QInputDialog>
#include <QMenu>
#include <QScrollBar>

#include <algorithm>

namespace {
class ListItem : public QTreeWidgetItem
{
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 2;

    ListItem(const Dovlin_ListRow &row, Dovlin_WaveList::Pos pos, Dovlin_Hierarchy *node, bool bit)
        : QTreeWidgetItem(Type), m_Pos(pos), m_Node(node), m_Bit(bit), m_Kind(row.m_Kind),
          m_Radix(bit && node ? node->m_Radix : row.m_Radix), m_Digital(row.m_Digital)
    {
    }

    QVariant data(int column, int role) const override
    {
        // The tree's node role, which Dovlin_HierarchyView::GetHierarchy reads.
        if (column == 0 && role == Qt::UserRole)
            return QVariant::fromValue(quintptr(m_Node));
        if (column == 1 && role == Qt::DisplayRole && m_Node)
            return valueText();
        const auto *list = static_cast<const Dovlin_ListWidget *>(treeWidget());
        if (column == 0 && role == Qt::DecorationRole && m_Node && list)
            return list->owner()->nameWidget()->icon(Dovlin_NameWidget::IconKindOf(m_Node));
        // Every line as tall as the tree's, dividers and groups too, whose rows then look alike.
        if (column == 0 && role == Qt::SizeHintRole && list) {
            const int height = list->owner()->nameWidget()->sizeHintForRow(0);
            if (height > 0)
                return QSize(-1, height);
        }
        return QTreeWidgetItem::data(column, role);
    }

    // The value at the default cursor, read for the lines that are painted only.
    QString valueText() const
    {
        const auto *list = static_cast<const Dovlin_ListWidget *>(treeWidget());
        const DovlinWidget *owner = list ? list->owner() : nullptr;
        if (!owner || owner->nCursor() == 0)
            return QString();
        const qint64 time = owner->cursorTime(owner->defaultCursor());
        if (time != m_Time) {
            m_Text = Dovlin_RowsWidget::ShownValue(m_Node, time, m_Radix);
            m_Time = time;
        }
        return m_Text;
    }

    Dovlin_WaveList::Pos m_Pos;
    Dovlin_Hierarchy *m_Node;
    bool m_Bit;
    Dovlin_ListRow::Kind m_Kind;
    int m_Radix;
    bool m_Digital;
    mutable qint64 m_Time = -1;
    mutable QString m_Text;
};

const ListItem *listItem(const QTreeWidgetItem *item)
{
    return item && item->type() == ListItem::Type ? static_cast<const ListItem *>(item) : nullptr;
}

// A line of text asked for in a dialog that tests can answer; false when cancelled.
bool askText(QWidget *parent, const QString &title, const QString &label, QString &text)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(text);
    if (Dovlin_Dialogs::exec(&dialog) != QDialog::Accepted)
        return false;
    text = dialog.textValue();
    return true;
}

bool isBus(const Dovlin_Hierarchy *node)
{
    return node && node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite
           && static_cast<const Dovlin_CompositeHierarchy *>(node)->IsBus();
}
} // namespace

Dovlin_ListWidget::Dovlin_ListWidget(QWidget *parent, DovlinWidget *owner) : Dovlin_RowsWidget(parent, owner)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Dragged rows move in the list, as the keys move them; lines dragged from the tree are
    // added where they fall (dropEvent).
    setDragDropMode(QAbstractItemView::DragDrop);
    setHeaderLabels({tr("Wave List"), tr("Values")});
    // Renamed rows and dividers read in full where the tree's names would need less.
    header()->resizeSection(0, fontMetrics().averageCharWidth() * 24);

    const auto shortcut = [this](const QString &text, const QKeySequence &keys, void (Dovlin_ListWidget::*slot)()) {
        auto *action = new QAction(text, this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    QAction *up = shortcut(tr("Move &Up"), QKeySequence(Qt::ALT | Qt::Key_Up), &Dovlin_ListWidget::moveUp);
    QAction *down = shortcut(tr("Move Do&wn"), QKeySequence(Qt::ALT | Qt::Key_Down), &Dovlin_ListWidget::moveDown);
    QAction *remove = shortcut(tr("Re&move"), QKeySequence::Delete, &Dovlin_ListWidget::removeRows);
    QAction *undoAct = shortcut(tr("&Undo"), QKeySequence::Undo, &Dovlin_ListWidget::undo);
    QAction *divider = shortcut(tr("Insert &Divider..."), QKeySequence(), &Dovlin_ListWidget::insertDivider);
    QAction *group = shortcut(tr("&Group..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_G), &Dovlin_ListWidget::groupRows);
    QAction *rename = shortcut(tr("Re&name..."), QKeySequence(Qt::Key_F2), &Dovlin_ListWidget::renameRow);
    m_DigitalAct = shortcut(tr("&Analog"), QKeySequence(), &Dovlin_ListWidget::toggleDigital);
    m_DigitalAct->setCheckable(true);

    m_RadixGroup = new QActionGroup(this);
    for (const Dovlin_RadixFormat &format : Dovlin_RadixFormats()) {
        auto *action = new QAction(QLatin1String(format.m_MenuText), m_RadixGroup);
        action->setCheckable(true);
        action->setData(format.m_Code);
        connect(action, &QAction::triggered, this, [this, code = format.m_Code] { setRadix(code); });
    }
    m_ContextMenu = new QMenu(this);
    m_ContextMenu->addActions(m_RadixGroup->actions());
    m_ContextMenu->addAction(m_DigitalAct);
    m_ContextMenu->addSeparator();
    m_ContextMenu->addActions({up, down, rename, divider, group, remove, undoAct});

    const auto opened = [this](QTreeWidgetItem *item, bool open) {
        const ListItem *line = listItem(item);
        Dovlin_ListRow *row = line && !line->m_Bit ? m_List.MutableRow(line->m_Pos) : nullptr;
        if (row && row->m_Open != open) {
            row->m_Open = open;
            m_Owner->setModified(true);
        }
        m_Owner->shapeWidget()->invalidatePicture();
    };
    connect(this, &QTreeWidget::itemExpanded, this, [opened](QTreeWidgetItem *item) { opened(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this, [opened](QTreeWidgetItem *item) { opened(item, false); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { m_Owner->shapeWidget()->invalidatePicture(); });
}

void Dovlin_ListWidget::SetRows(Dovlin_ListRows rows)
{
    m_List.Replace(std::move(rows));
    m_List.ClearUndo();
    Rebuild();
}

void Dovlin_ListWidget::Rebuild()
{
    const int scroll = verticalScrollBar()->value();
    QHash<QString, Dovlin_Hierarchy *> nodes;
    m_Owner->fileManager().VisitDottedPaths([&](Dovlin_Hierarchy *node, const QString &path) { nodes.insert(path, node); });
    QFont bold = font();
    bold.setBold(true);
    const QColor missing(0x808080);
    const auto line = [&](const Dovlin_ListRow &row, Pos pos) {
        Dovlin_Hierarchy *node = row.m_Kind == Dovlin_ListRow::Node ? nodes.value(row.m_Path) : nullptr;
        auto *item = new ListItem(row, pos, node, false);
        switch (row.m_Kind) {
        case Dovlin_ListRow::Node:
            item->setText(0, !row.m_Label.isEmpty() ? row.m_Label : row.m_Path.section(QLatin1Char('.'), -1));
            item->setToolTip(0, node ? row.m_Path : tr("%1 (missing from this file)").arg(row.m_Path));
            if (!node)
                item->setForeground(0, missing);
            if (isBus(node)) {
                const auto &bus = static_cast<const Dovlin_CompositeHierarchy &>(*node);
                for (int i = 0; i < bus.GetnChild(); ++i) {
                    Dovlin_Hierarchy *bit = bus.GetHierarchy(i);
                    auto *bitLine = new ListItem(row, pos, bit, true);
                    bitLine->setText(0, bit ? bit->m_Name : QString());
                    item->addChild(bitLine);
                }
            }
            break;
        case Dovlin_ListRow::Divider:
            item->setText(0, QStringLiteral("\u2014\u2014 %1 \u2014\u2014").arg(row.m_Label));
            break;
        case Dovlin_ListRow::Group:
            item->setText(0, row.m_Label);
            item->setFont(0, bold);
            break;
        }
        return item;
    };
    QList<QTreeWidgetItem *> top;
    const Dovlin_ListRows &rows = m_List.Rows();
    for (int r = 0; r < int(rows.size()); ++r) {
        QTreeWidgetItem *item = line(rows[size_t(r)], Pos{r, -1});
        for (int c = 0; c < int(rows[size_t(r)].m_Rows.size()); ++c)
            item->addChild(line(rows[size_t(r)].m_Rows[size_t(c)], Pos{r, c}));
        top << item;
    }
    const QSignalBlocker blocker(this);
    clear();
    addTopLevelItems(top);
    // A divider's or a group's text may take the Values column too.
    for (QTreeWidgetItem *item : top) {
        if (m_List.Row(PosOf(item))->m_Kind != Dovlin_ListRow::Node)
            item->setFirstColumnSpanned(true);
        for (int c = 0; c < item->childCount(); ++c)
            if (!listItem(item->child(c))->m_Bit && m_List.Row(PosOf(item->child(c)))->m_Kind == Dovlin_ListRow::Divider)
                item->child(c)->setFirstColumnSpanned(true);
    }
    // Opened once in the tree: a line opens only with a parent.
    for (QTreeWidgetItem *item : top) {
        if (item->childCount() == 0)
            continue;
        item->setExpanded(m_List.Row(PosOf(item))->m_Open);
        for (int c = 0; c < item->childCount(); ++c) {
            const ListItem *child = listItem(item->child(c));
            if (!child->m_Bit && child->childCount() > 0)
                item->child(c)->setExpanded(m_List.Row(child->m_Pos)->m_Open);
        }
    }
    ApplyFilter();
    verticalScrollBar()->setValue(scroll);
    m_Owner->shapeWidget()->invalidatePicture();
}

void Dovlin_ListWidget::ApplyFilter()
{
    const Dovlin_NameWidget *tree = m_Owner->nameWidget();
    const bool filtered = tree->IsFiltered();
    const auto shown = [&](QTreeWidgetItem *item) {
        const ListItem *line = listItem(item);
        return !filtered || (line->m_Kind == Dovlin_ListRow::Node && line->m_Node && tree->IsMatch(line->m_Node));
    };
    for (int r = 0; r < topLevelItemCount(); ++r) {
        QTreeWidgetItem *top = topLevelItem(r);
        bool any = false;
        if (listItem(top)->m_Kind == Dovlin_ListRow::Group) {
            for (int c = 0; c < top->childCount(); ++c) {
                const bool show = shown(top->child(c));
                top->child(c)->setHidden(!show);
                any = any || show;
            }
        }
        top->setHidden(!any && !shown(top));
    }
    m_Owner->shapeWidget()->invalidatePicture();
}

bool Dovlin_ListWidget::SelectFirstMatch()
{
    if (!m_Owner->nameWidget()->IsFiltered())
        return false;
    for (QTreeWidgetItem *item = topLevelItem(0); item; item = itemBelow(item)) {
        const ListItem *line = listItem(item);
        if (line->m_Kind == Dovlin_ListRow::Node && !line->m_Bit && !item->isHidden()) {
            setCurrentItem(item);
            scrollToItem(item);
            return true;
        }
    }
    return false;
}

Dovlin_RowsWidget::Look Dovlin_ListWidget::LookOf(const QTreeWidgetItem *item) const
{
    const ListItem *line = listItem(item);
    if (line && line->m_Kind == Dovlin_ListRow::Divider)
        return Look{nullptr, 0, true, true};
    return line && line->m_Node ? Look{line->m_Node, line->m_Radix, line->m_Digital} : Look{};
}

Dovlin_WaveList::Pos Dovlin_ListWidget::PosOf(const QTreeWidgetItem *item)
{
    const ListItem *line = listItem(item);
    return line ? line->m_Pos : Pos{-1, -1};
}

bool Dovlin_ListWidget::IsMissing(const QTreeWidgetItem *item)
{
    const ListItem *line = listItem(item);
    return line && line->m_Kind == Dovlin_ListRow::Node && !line->m_Node;
}

QTreeWidgetItem *Dovlin_ListWidget::ItemOf(Pos pos) const
{
    QTreeWidgetItem *item = topLevelItem(pos.m_Row);
    if (item && pos.m_Child >= 0)
        item = item->child(pos.m_Child);
    return item;
}

void Dovlin_ListWidget::AddNodes(const std::vector<Dovlin_Hierarchy *> &nodes)
{
    Pos at{int(m_List.Rows().size()), -1};
    if (QTreeWidgetItem *current = currentItem()) {
        at = PosOf(current);
        if (at.m_Child >= 0)
            ++at.m_Child;
        else
            ++at.m_Row;
    }
    insertNodes(nodes, at);
}

void Dovlin_ListWidget::insertNodes(const std::vector<Dovlin_Hierarchy *> &nodes, Pos at)
{
    Dovlin_ListRows rows = Dovlin_WaveList::RowsFor(nodes, m_Owner->fileManager());
    if (rows.empty())
        return;
    const int count = int(rows.size());
    const Pos first = m_List.Insert(at, std::move(rows));
    std::vector<Pos> added;
    for (int i = 0; i < count; ++i)
        added.push_back(first.m_Child >= 0 ? Pos{first.m_Row, first.m_Child + i} : Pos{first.m_Row + i, -1});
    edited(added);
}

std::vector<Dovlin_WaveList::Pos> Dovlin_ListWidget::selectedRows() const
{
    std::vector<Pos> rows;
    for (const QTreeWidgetItem *item : selectedItems())
        rows.push_back(PosOf(item));
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void Dovlin_ListWidget::edited(const std::vector<Pos> &select)
{
    Rebuild();
    // One selection of them all: thousands of rows added at once select as fast as one.
    // Neighbours make one range: painting asks each line whether it is selected, range by range.
    QItemSelection selection;
    QModelIndex first, previous;
    const auto flush = [&] {
        if (first.isValid())
            selection.select(first, previous);
    };
    QTreeWidgetItem *last = nullptr;
    for (const Pos &pos : select) {
        QTreeWidgetItem *item = ItemOf(pos);
        if (!item)
            continue;
        const QModelIndex index = indexFromItem(item);
        if (!previous.isValid() || index.parent() != previous.parent() || index.row() != previous.row() + 1) {
            flush();
            first = index;
        }
        previous = index;
        last = item;
    }
    flush();
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (last) {
        setCurrentItem(last, 0, QItemSelectionModel::NoUpdate);
        scrollToItem(last);
    }
    changed();
}

void Dovlin_ListWidget::changed()
{
    m_Owner->setModified(true);
    m_Owner->shapeWidget()->invalidatePicture();
}

void Dovlin_ListWidget::moveBy(int step)
{
    const std::vector<Pos> rows = selectedRows();
    if (rows.empty())
        return;
    // Rows move within their level: the top of the list, or their group.
    const Pos first = rows.front(), last = rows.back();
    const bool inGroup = first.m_Child >= 0;
    if (std::any_of(rows.begin(), rows.end(), [&](const Pos &p) { return (p.m_Child >= 0) != inGroup || (inGroup && p.m_Row != first.m_Row); }))
        return;
    const int count = inGroup ? int(m_List.Row(Pos{first.m_Row, -1})->m_Rows.size()) : int(m_List.Rows().size());
    const int low = inGroup ? first.m_Child : first.m_Row;
    const int high = inGroup ? last.m_Child : last.m_Row;
    if ((step < 0 && low == 0) || (step > 0 && high == count - 1))
        return;
    const int to = step < 0 ? low - 1 : high + 2;
    const Pos at = m_List.Move(rows, inGroup ? Pos{first.m_Row, to} : Pos{to, -1});
    std::vector<Pos> moved;
    for (size_t i = 0; i < rows.size(); ++i)
        moved.push_back(inGroup ? Pos{at.m_Row, at.m_Child + int(i)} : Pos{at.m_Row + int(i), -1});
    edited(moved);
}

void Dovlin_ListWidget::removeRows()
{
    const std::vector<Pos> rows = selectedRows();
    if (rows.empty())
        return;
    m_List.Remove(rows);
    edited({});
}

void Dovlin_ListWidget::undo()
{
    if (m_List.Undo())
        edited({});
}

void Dovlin_ListWidget::insertDivider()
{
    QString label;
    if (!askText(this, tr("Insert Divider"), tr("Label:"), label))
        return;
    Pos at = currentItem() ? PosOf(currentItem()) : Pos{int(m_List.Rows().size()), -1};
    edited({m_List.Insert(at, {Dovlin_ListRow::OfDivider(label)})});
}

void Dovlin_ListWidget::groupRows()
{
    std::vector<Pos> rows = selectedRows();
    rows.erase(std::remove_if(rows.begin(), rows.end(), [](const Pos &p) { return p.m_Child >= 0; }), rows.end());
    if (rows.empty())
        return;
    QString label = tr("Group");
    if (!askText(this, tr("Group"), tr("Group name:"), label))
        return;
    edited({m_List.MakeGroup(rows, label)});
}

void Dovlin_ListWidget::renameRow()
{
    QTreeWidgetItem *item = currentItem();
    const ListItem *line = listItem(item);
    if (!line || line->m_Bit)
        return;
    const Dovlin_ListRow *row = m_List.Row(line->m_Pos);
    QString label = row->m_Label;
    if (!askText(this, tr("Rename"), tr("Shown as (empty for the node's name):"), label))
        return;
    const Pos pos = line->m_Pos;
    m_List.Rename(pos, label);
    edited({pos});
}

void Dovlin_ListWidget::toggleDigital()
{
    const std::vector<Pos> rows = selectedRows();
    if (m_List.SetLook(rows, -1, true))
        edited(rows);
}

void Dovlin_ListWidget::setRadix(int radix)
{
    const std::vector<Pos> rows = selectedRows();
    if (m_List.SetLook(rows, radix, false))
        edited(rows);
}

QStringList Dovlin_ListWidget::mimeTypes() const
{
    return Dovlin_RowsWidget::mimeTypes() << QLatin1String(Dovlin_NameWidget::m_NodesMimeType);
}

void Dovlin_ListWidget::dropEvent(QDropEvent *event)
{
    const bool fromTree = event->source() == m_Owner->nameWidget();
    const std::vector<Pos> rows = fromTree ? std::vector<Pos>() : selectedRows();
    const std::vector<Dovlin_Hierarchy *> nodes = fromTree ? m_Owner->selectedTreeNodes() : std::vector<Dovlin_Hierarchy *>();
    if ((!fromTree && event->source() != this) || (rows.empty() && nodes.empty())) {
        event->ignore();
        return;
    }
    QTreeWidgetItem *target = itemAt(event->position().toPoint());
    Pos to{int(m_List.Rows().size()), -1};
    if (target) {
        to = PosOf(target);
        const Dovlin_ListRow *row = m_List.Row(to);
        const bool intoGroup = dropIndicatorPosition() == OnItem && row->m_Kind == Dovlin_ListRow::Group;
        if (intoGroup)
            to.m_Child = int(row->m_Rows.size());
        else if (dropIndicatorPosition() == BelowItem || dropIndicatorPosition() == OnItem)
            ++(to.m_Child >= 0 ? to.m_Child : to.m_Row);
    }
    // The list moves its rows itself: the view must not move its lines too, nor the tree lose its.
    event->setDropAction(fromTree ? Qt::CopyAction : Qt::IgnoreAction);
    event->accept();
    if (fromTree)
        insertNodes(nodes, to);
    else
        edited({m_List.Move(rows, to)});
}

void Dovlin_ListWidget::contextMenuEvent(QContextMenuEvent *event)
{
    QTreeWidgetItem *item = itemAt(event->pos());
    if (item && !item->isSelected()) {
        clearSelection();
        item->setSelected(true);
        setCurrentItem(item, 0, QItemSelectionModel::NoUpdate);
    }
    const Dovlin_ListRow *row = item ? m_List.Row(PosOf(item)) : nullptr;
    const bool node = row && row->m_Kind == Dovlin_ListRow::Node;
    const ListItem *line = listItem(item);
    const bool named = line && line->m_Node && line->m_Node->m_EnumTable >= 0;
    for (QAction *action : m_RadixGroup->actions()) {
        action->setEnabled(node);
        action->setChecked(node && action->data().toInt() == row->m_Radix);
        if (action->data().toInt() == Dovlin_Radix::Names)
            action->setVisible(named);
    }
    m_DigitalAct->setEnabled(node);
    m_DigitalAct->setChecked(node && !row->m_Digital);
    m_ContextMenu->exec(event->globalPos());
}
