#include "Dovlin_NameWidget.h"

#include "DovlinWidget.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_HierarchyView.h"
#include "Dovlin_ListWidget.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Signals.h"
#include "Dovlin_Utilities.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>
#include <QWheelEvent>

Dovlin_NameWidget::Dovlin_NameWidget(QWidget *parent, DovlinWidget *owner)
    : Dovlin_RowsWidget(parent, owner)
{
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &Dovlin_NameWidget::vScroll);
    connect(this, &QTreeWidget::itemExpanded, this, &Dovlin_NameWidget::itemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &Dovlin_NameWidget::itemCollapsed);
    // clear() deletes every line, whoever calls it.
    connect(model(), &QAbstractItemModel::modelReset, this, [this] { m_TreeItems.clear(); });

    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);

    createActions();
    createContextMenu();
    loadIcons();
}

void Dovlin_NameWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A signal or a bus goes to the wave list; a scope opens or closes as usual.
    QTreeWidgetItem *item = itemAt(event->position().toPoint());
    const Dovlin_Hierarchy *node = item ? Dovlin_HierarchyView::GetHierarchy(item) : nullptr;
    const bool scope = node && node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite
                       && !static_cast<const Dovlin_CompositeHierarchy *>(node)->IsBus();
    if (event->button() == Qt::LeftButton && node && !scope) {
        if (!item->isSelected())
            setCurrentItem(item);
        m_Owner->addToList();
        event->accept();
        return;
    }
    Dovlin_RowsWidget::mouseDoubleClickEvent(event);
}

QStringList Dovlin_NameWidget::mimeTypes() const
{
    return {QLatin1String(m_NodesMimeType)};
}

QMimeData *Dovlin_NameWidget::mimeData(const QList<QTreeWidgetItem *> &items) const
{
    if (items.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(QLatin1String(m_NodesMimeType), QByteArray());
    return data;
}

void Dovlin_NameWidget::createActions()
{
    m_CollapseAllAct = new QAction(tr("&Collapse All"), this);
    m_CollapseAllAct->setStatusTip(tr("Collapse the selected node and everything below it, or the whole tree"));
    connect(m_CollapseAllAct, &QAction::triggered, this, &Dovlin_NameWidget::collapseAll);
    m_ExpandAllAct = new QAction(tr("&Expand All"), this);
    m_ExpandAllAct->setStatusTip(tr("Expand the scopes below the selected node, or of the whole tree"));
    connect(m_ExpandAllAct, &QAction::triggered, this, &Dovlin_NameWidget::expandAll);
    m_ExpandBitsAct = new QAction(tr("Expand Bi&ts"), this);
    m_ExpandBitsAct->setStatusTip(tr("Expand the buses below the selected node, or of the whole tree, into their bits"));
    connect(m_ExpandBitsAct, &QAction::triggered, this, &Dovlin_NameWidget::expandBits);
    m_ShowAct = new QAction(tr("&Show"), this);
    m_ShowAct->setStatusTip(tr("Show this hidden node, and the scopes that hold it, in the tree"));
    connect(m_ShowAct, &QAction::triggered, this, &Dovlin_NameWidget::showContextNode);
    m_CopyValueAct = new QAction(tr("Co&py Value"), this);
    m_CopyValueAct->setObjectName("copyValueAct");
    m_CopyValueAct->setStatusTip(tr("Copy the node's value at the cursor"));
    // Ctrl+C in the tree copies the selected line's value.
    m_CopyValueAct->setShortcut(QKeySequence::Copy);
    m_CopyValueAct->setShortcutContext(Qt::WidgetShortcut);
    addAction(m_CopyValueAct);
    connect(m_CopyValueAct, &QAction::triggered, this, &Dovlin_NameWidget::copyValue);

    m_RadixGroup = new QActionGroup(this);
    m_RadixGroup->setExclusive(true);
    for (const Dovlin_RadixFormat &format : Dovlin_RadixFormats()) {
        auto *action = new QAction(QLatin1String(format.m_MenuText), m_RadixGroup);
        action->setStatusTip(QLatin1String(format.m_StatusTip));
        action->setCheckable(true);
        action->setData(format.m_Code);
        connect(action, &QAction::triggered, this, [this, code = format.m_Code] { setRadix(code); });
    }
}

void Dovlin_NameWidget::createContextMenu()
{
    m_ContextMenu = new QMenu(this);
    m_ContextMenu->addActions(m_RadixGroup->actions());
    m_ContextMenu->addSeparator();
    m_ContextMenu->addAction(m_CopyValueAct);
    m_ContextMenu->addAction(m_ShowAct);
    m_TreeMenu = new QMenu(this);
    for (QMenu *menu : {m_ContextMenu, m_TreeMenu})
        menu->addActions({m_CollapseAllAct, m_ExpandAllAct, m_ExpandBitsAct});
}

Dovlin_NameWidget::IconKind Dovlin_NameWidget::IconKindOf(const Dovlin_Hierarchy *node)
{
    if (node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite)
        return VectorIcon;
    const Dovlin_Signal *signal = node->GetSignal();
    const int typeCode = signal ? signal->GetTypeCode() : 0;
    return typeCode == Dovlin_TypeCode::Integer ? IntIcon : typeCode == Dovlin_TypeCode::Real ? RealIcon : BitIcon;
}

void Dovlin_NameWidget::AddContextAction(QAction *action)
{
    m_ContextMenu->insertAction(m_ContextMenu->actions().value(0), action);
    m_ContextMenu->insertSeparator(m_ContextMenu->actions().value(1));
}

// The icons ship next to the program; a copy in ./Resources is taken too.
void Dovlin_NameWidget::loadIcons()
{
    static const char *const files[] = {"bmpBit.bmp", "bmpInt.bmp", "bmpReal.bmp", "bmpVector.bmp"};
    const QString appDir = QCoreApplication::applicationDirPath();
    const QStringList dirs = {appDir + "/Resources", appDir + "/../share/dovlin/Resources", "./Resources"};
    for (int kind = 0; kind < 4; ++kind) {
        for (const QString &dir : dirs) {
            const QString path = QDir(dir).filePath(files[kind]);
            if (QFileInfo::exists(path)) {
                m_Icons[kind] = QIcon(path);
                break;
            }
        }
    }
}

// Items are built apart from the tree and handed to it in one go, then opened before the tree lays
// them out: added or expanded one by one, each would lay the tree out again, and a file of many
// thousands of top-level scopes would open in minutes.
void Dovlin_NameWidget::GenerateNameView(Dovlin_FileManager &fileManager)
{
    setUpdatesEnabled(false);
    m_TreeItems.assign(size_t(fileManager.GetnHierarchy()), nullptr);
    m_ValueTexts.clear();
    for (int i = 0; i < fileManager.GetnHierarchy(); ++i) {
        Dovlin_Hierarchy *node = fileManager.GetHierarchy(i);
        if (node && node->m_Level == 0)
            Dovlin_HierarchyView::GenerateNameView(this, node, nullptr);
    }
    addTopLevelItems(m_NewTopLevelItems);
    m_NewTopLevelItems.clear();
    {
        // The nodes hold their expanded flags already: nothing to record, nothing to redraw yet.
        const QSignalBlocker blocker(this);
        // With no line left closed, the view opens them all as it lays them out, in one pass.
        if (HasClosedLines(fileManager))
            ExpandAsNodes(QModelIndex());
        else
            QTreeWidget::expandAll();
    }
    // Qt's default of 100 px elides most names; widen to the longest one, within reason.
    setColumnWidth(0, qBound(100, sizeHintForColumn(0), 320));
    setUpdatesEnabled(true);
}

// Walks the items by model index: an item's own index is found by searching its siblings, which
// for a scope of a million members would make the walk quadratic.
void Dovlin_NameWidget::ExpandAsNodes(const QModelIndex &parent)
{
    const QAbstractItemModel *items = model();
    for (int row = 0, rows = items->rowCount(parent); row < rows; ++row) {
        const QModelIndex index = items->index(row, 0, parent);
        if (!items->hasChildren(index))
            continue;
        const Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(itemFromIndex(index));
        // A filtered tree opens every line it has: each one leads to a match.
        if (node && node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite
            && (IsFiltered() || static_cast<const Dovlin_CompositeHierarchy *>(node)->m_Expanded))
            setExpanded(index, true);
        ExpandAsNodes(index);
    }
}

void Dovlin_NameWidget::BuildChildren(QTreeWidgetItem *item)
{
    if (!Dovlin_HierarchyView::GenerateChildren(this, item))
        return;
    const QSignalBlocker blocker(this);
    ExpandAsNodes(indexFromItem(item));
}

bool Dovlin_NameWidget::HasClosedLines(const Dovlin_FileManager &fileManager) const
{
    if (IsFiltered())
        return false;
    for (int i = 0; i < fileManager.GetnHierarchy(); ++i) {
        const Dovlin_Hierarchy *node = fileManager.GetHierarchy(i);
        if (node && node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite) {
            const auto *composite = static_cast<const Dovlin_CompositeHierarchy *>(node);
            if (!composite->m_Expanded && IsListed(composite) && HasListedChild(composite))
                return true;
        }
    }
    return false;
}

void Dovlin_NameWidget::ReGenerateNameView(Dovlin_FileManager &fileManager)
{
    clear();
    GenerateNameView(fileManager);
}

QTreeWidgetItem *Dovlin_NameWidget::TreeItem(const Dovlin_Hierarchy *node) const
{
    if (!node || node->m_Index < 0 || size_t(node->m_Index) >= m_TreeItems.size())
        return nullptr;
    return m_TreeItems[size_t(node->m_Index)];
}

void Dovlin_NameWidget::SetTreeItem(const Dovlin_Hierarchy *node, QTreeWidgetItem *item)
{
    if (node->m_Index >= 0 && size_t(node->m_Index) < m_TreeItems.size())
        m_TreeItems[size_t(node->m_Index)] = item;
}

bool Dovlin_NameWidget::HasListedChild(const Dovlin_CompositeHierarchy *node) const
{
    for (int i = 0; i < node->GetnChild(); ++i)
        if (const Dovlin_Hierarchy *child = node->GetHierarchy(i); child && IsListed(child))
            return true;
    return false;
}

bool Dovlin_NameWidget::IsListed(const Dovlin_Hierarchy *node) const
{
    if (!IsFiltered())
        return node->m_Shown;
    return node->m_Index >= 0 && size_t(node->m_Index) < m_FilterMarks.size()
           && m_FilterMarks[size_t(node->m_Index)] != Dovlin_NameFilter::Unmarked;
}

bool Dovlin_NameWidget::SetFilter(const QString &pattern)
{
    // One filter serves every pattern: it keeps the dotted paths it built.
    if (!m_Filter.SetPattern(pattern))
        return false;
    std::vector<unsigned char> marks;
    const int matches = m_Filter.IsEmpty() ? 0 : m_Filter.Apply(m_Owner->fileManager(), marks);
    // An expression that stopped on a path leaves the tree as the last pattern left it.
    if (matches < 0)
        return false;
    const bool wasFiltered = m_Filtered;
    m_Filtered = !m_Filter.IsEmpty();
    if (!m_Filtered) {
        m_FilterMarks.clear();
        m_FilterMatches = 0;
        if (!wasFiltered)
            return true;
    } else {
        m_FilterMatches = matches;
        // Another letter often picks the same nodes: the tree stays as it is.
        if (wasFiltered && marks == m_FilterMarks)
            return true;
        m_FilterMarks.swap(marks);
    }
    Dovlin_Hierarchy *current = Dovlin_HierarchyView::GetHierarchy(currentItem());
    ReGenerateNameView(m_Owner->fileManager());
    // The chosen node stays chosen when its line is in sight; opening lines for it would change the tree.
    if (QTreeWidgetItem *item = TreeItem(current)) {
        bool inSight = true;
        for (QTreeWidgetItem *up = item->parent(); up && inSight; up = up->parent())
            inSight = up->isExpanded();
        if (inSight) {
            setCurrentItem(item);
            scrollToItem(item, QAbstractItemView::PositionAtCenter);
        }
    }
    UpdateVisibleSignalStates();
    m_Owner->listWidget()->ApplyFilter();
    m_Owner->shapeWidget()->invalidatePicture();
    return true;
}

void Dovlin_NameWidget::FilterNewModel(const Dovlin_FileManager &fileManager)
{
    if (m_Filtered)
        m_FilterMatches = qMax(0, m_Filter.Apply(fileManager, m_FilterMarks));
}

bool Dovlin_NameWidget::IsMatch(const Dovlin_Hierarchy *node) const
{
    return m_Filtered && node->m_Index >= 0 && size_t(node->m_Index) < m_FilterMarks.size()
           && m_FilterMarks[size_t(node->m_Index)] == Dovlin_NameFilter::Match;
}

bool Dovlin_NameWidget::SelectFirstMatch()
{
    if (!IsFiltered())
        return false;
    // Lines collapsed since the filter opened them are searched too; scrolling opens their parents.
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        const Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(*it);
        if (node && m_FilterMarks[size_t(node->m_Index)] == Dovlin_NameFilter::Match) {
            setCurrentItem(*it);
            scrollToItem(*it);
            return true;
        }
    }
    return false;
}

Dovlin_RowsWidget::Look Dovlin_NameWidget::LookOf(const QTreeWidgetItem *item) const
{
    Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(item);
    return node ? Look{node, node->m_Radix, node->m_Digital} : Look{};
}

void Dovlin_NameWidget::UpdateVisibleSignalStates()
{
    const int bottom = viewport()->height();
    for (QTreeWidgetItem *item = itemAt(QPoint(1, 0)); item; item = itemBelow(item)) {
        if (QTreeWidget::visualItemRect(item).top() >= bottom)
            break;
        if (Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(item))
            FillValueText(node);
    }
    viewport()->update();
}

QString Dovlin_NameWidget::ValueText(const Dovlin_Hierarchy *node) const
{
    return m_ValueTexts.value(node->m_Index);
}

void Dovlin_NameWidget::SetValueText(const Dovlin_Hierarchy *node, const QString &text)
{
    m_ValueTexts.insert(node->m_Index, text);
    if (QTreeWidgetItem *item = TreeItem(node))
        update(indexFromItem(item, 1));
}

void Dovlin_NameWidget::RefreshValueText(Dovlin_Hierarchy *node)
{
    const int cursor = m_Owner->defaultCursor();
    if (cursor == -1)
        return;
    m_ValueTexts.remove(node->m_Index);
    FillValueText(node);
    if (QTreeWidgetItem *item = TreeItem(node))
        update(indexFromItem(item, 1));
}

// Texts for another cursor time are dropped all at once: they are recomputed as lines are painted.
void Dovlin_NameWidget::FillValueText(Dovlin_Hierarchy *node) const
{
    const int cursor = m_Owner->defaultCursor();
    if (cursor == -1)
        return;
    const qint64 time = m_Owner->cursorTime(cursor);
    // Scrolling through a large tree at one time would otherwise keep a text for every line.
    if (time != m_ValueTime || m_ValueTexts.size() >= 4096) {
        m_ValueTexts.clear();
        m_ValueTime = time;
    }
    if (!m_ValueTexts.contains(node->m_Index))
        m_ValueTexts.insert(node->m_Index, ShownValue(node, time, node->m_Radix));
}

void Dovlin_NameWidget::ForgetDamagedValues()
{
    const Dovlin_FileManager &model = m_Owner->fileManager();
    m_ValueTexts.removeIf([&model](const QHash<int, QString>::iterator &text) {
        const Dovlin_Hierarchy *node = model.GetHierarchy(text.key());
        return node && Dovlin_HierarchyView::IsDamaged(node);
    });
    viewport()->update();
}

void Dovlin_NameWidget::drawRow(QPainter *painter, const QStyleOptionViewItem &options, const QModelIndex &index) const
{
    if (Dovlin_Hierarchy *node = Dovlin_HierarchyView::GetHierarchy(itemFromIndex(index)))
        FillValueText(node);
    QTreeWidget::drawRow(painter, options, index);
}

// The tree scrolls; its scroll bar takes the canvas along (vScroll).
void Dovlin_NameWidget::wheelEvent(QWheelEvent *event)
{
    QTreeWidget::wheelEvent(event);
}

void Dovlin_NameWidget::contextMenuEvent(QContextMenuEvent *event)
{
    if (ConfigPopupMenu(itemAt(event->pos()))) {
        m_ContextMenu->exec(event->globalPos());
        // A menu closed without a choice must not leave its node to Ctrl+C, which copies the selected line's.
        m_ContextHierarchy = nullptr;
        return;
    }
    clearSelection();
    m_TreeMenu->exec(event->globalPos());
}

void Dovlin_NameWidget::collapseAll()
{
    RunTreeCommand(CollapseAll);
}

void Dovlin_NameWidget::expandAll()
{
    RunTreeCommand(ExpandAll);
}

void Dovlin_NameWidget::expandBits()
{
    RunTreeCommand(ExpandBits);
}

// With a layout pending, the view only notes each expansion: one layout follows at the end,
// however many lines change.
void Dovlin_NameWidget::RunTreeCommand(TreeCommand command)
{
    QTreeWidgetItem *selected = currentItem() && currentItem()->isSelected() ? currentItem() : nullptr;
    bool changed = false;
    scheduleDelayedItemsLayout();
    {
        const QSignalBlocker blocker(this);
        if (selected) {
            RunTreeCommand(command, indexFromItem(selected), changed);
        } else {
            for (int row = 0, rows = topLevelItemCount(); row < rows; ++row)
                RunTreeCommand(command, model()->index(row, 0), changed);
        }
    }
    if (selected)
        scrollToItem(selected);
    if (changed && !IsFiltered())
        m_Owner->setModified(true);
    UpdateVisibleSignalStates();
    m_Owner->shapeWidget()->invalidatePicture();
}

void Dovlin_NameWidget::RunTreeCommand(TreeCommand command, const QModelIndex &index, bool &changed)
{
    const QAbstractItemModel *items = model();
    if (!items->hasChildren(index))
        return;
    QTreeWidgetItem *item = itemFromIndex(index);
    auto *node = dynamic_cast<Dovlin_CompositeHierarchy *>(Dovlin_HierarchyView::GetHierarchy(item));
    const bool bus = node && node->IsBus();
    bool expanded = isExpanded(index);
    if (command == CollapseAll)
        expanded = false;
    else if (bus == (command == ExpandBits))
        expanded = true;
    if (expanded)
        BuildChildren(item);
    if (expanded != isExpanded(index))
        setExpanded(index, expanded);
    if (node && !IsFiltered() && node->m_Expanded != expanded) {
        node->m_Expanded = expanded;
        changed = true;
    }
    // A line that stays closed and was never opened has no lines below it: the command reaches
    // the flags of its nodes alone.
    if (item->childCount() == 0 && node && !IsFiltered())
        for (int i = 0; i < node->GetnChild(); ++i)
            RunTreeCommand(command, node->GetHierarchy(i), changed);
    for (int row = 0, rows = items->rowCount(index); row < rows; ++row)
        RunTreeCommand(command, items->index(row, 0, index), changed);
}

void Dovlin_NameWidget::RunTreeCommand(TreeCommand command, Dovlin_Hierarchy *node, bool &changed)
{
    auto *composite = dynamic_cast<Dovlin_CompositeHierarchy *>(node);
    if (!composite || !IsListed(composite) || !HasListedChild(composite))
        return;
    bool expanded = composite->m_Expanded;
    if (command == CollapseAll)
        expanded = false;
    else if (composite->IsBus() == (command == ExpandBits))
        expanded = true;
    if (composite->m_Expanded != expanded) {
        composite->m_Expanded = expanded;
        changed = true;
    }
    for (int i = 0; i < composite->GetnChild(); ++i)
        RunTreeCommand(command, composite->GetHierarchy(i), changed);
}

bool Dovlin_NameWidget::ConfigPopupMenu(QTreeWidgetItem *item)
{
    if (!item)
        return false;
    m_ContextHierarchy = Dovlin_HierarchyView::GetHierarchy(item);
    if (!m_ContextHierarchy)
        return false;
    for (QAction *action : m_RadixGroup->actions()) {
        action->setChecked(action->data().toInt() == m_ContextHierarchy->m_Radix);
        if (action->data().toInt() == Dovlin_Radix::Names)
            action->setVisible(m_ContextHierarchy->m_EnumTable >= 0);
    }
    bool hidden = false;
    const Dovlin_FileManager &model = m_Owner->fileManager();
    for (const Dovlin_Hierarchy *node = m_ContextHierarchy; node && !hidden;
         node = model.GetHierarchy(node->GetParentIndex()))
        hidden = !node->m_Shown;
    m_ShowAct->setVisible(hidden);
    return true;
}

void Dovlin_NameWidget::showContextNode()
{
    if (!m_ContextHierarchy)
        return;
    const Dovlin_FileManager &model = m_Owner->fileManager();
    for (Dovlin_Hierarchy *node = m_ContextHierarchy; node; node = model.GetHierarchy(node->GetParentIndex())) {
        if (node->m_Shown)
            continue;
        node->m_Shown = true;
        m_Owner->setModified(true);
    }
    m_ContextHierarchy = nullptr;
    viewport()->update();
    m_Owner->shapeWidget()->invalidatePicture();
}

void Dovlin_NameWidget::copyValue()
{
    QTreeWidgetItem *current = currentItem() && currentItem()->isSelected() ? currentItem() : nullptr;
    Dovlin_Hierarchy *node = m_ContextHierarchy ? m_ContextHierarchy : Dovlin_HierarchyView::GetHierarchy(current);
    m_ContextHierarchy = nullptr;
    const int cursor = m_Owner->defaultCursor();
    if (!node || cursor < 0 || m_Owner->nCursor() == 0)
        return;
    // The Values column pads some texts with blanks; the copy holds the value alone.
    const QString text = ShownValue(node, m_Owner->cursorTime(cursor), node->m_Radix).trimmed();
    QGuiApplication::clipboard()->setText(text);
    Q_EMIT m_Owner->statusMessage(tr("Copied %1").arg(text));
}

void Dovlin_NameWidget::setRadix(int radix)
{
    if (!m_ContextHierarchy)
        return;
    if (m_ContextHierarchy->m_Radix != radix) {
        m_ContextHierarchy->m_Radix = radix;
        // The buses and scopes that hold the node show its text too.
        const Dovlin_FileManager &model = m_Owner->fileManager();
        for (Dovlin_Hierarchy *node = m_ContextHierarchy; node; node = model.GetHierarchy(node->GetParentIndex()))
            Dovlin_HierarchyView::UpdateSignalState(this, node);
        // The bus rows draw their values in the radix.
        m_Owner->shapeWidget()->invalidatePicture();
        // The file keeps the radix.
        m_Owner->setModified(true);
    }
    m_ContextHierarchy = nullptr;
}

void Dovlin_NameWidget::toBinary()
{
    setRadix(Dovlin_Radix::Binary);
}

void Dovlin_NameWidget::toHexadecimal()
{
    setRadix(Dovlin_Radix::Hexadecimal);
}

void Dovlin_NameWidget::toUnsigned()
{
    setRadix(Dovlin_Radix::Unsigned);
}

void Dovlin_NameWidget::toSigned()
{
    setRadix(Dovlin_Radix::Signed);
}

// Only lines in view carry values, so a taller tree (first show, maximising) has lines to fill.
void Dovlin_NameWidget::resizeEvent(QResizeEvent *event)
{
    QTreeWidget::resizeEvent(event);
    UpdateVisibleSignalStates();
}

// Lines that come into view need values for the current cursor as much as the rows need drawing.
void Dovlin_NameWidget::vScroll(int)
{
    UpdateVisibleSignalStates();
    m_Owner->shapeWidget()->invalidatePicture();
}

void Dovlin_NameWidget::itemExpanded(QTreeWidgetItem *item)
{
    BuildChildren(item);
    auto *node = dynamic_cast<Dovlin_CompositeHierarchy *>(Dovlin_HierarchyView::GetHierarchy(item));
    if (node && !node->m_Expanded && !IsFiltered()) {
        node->m_Expanded = true;
        m_Owner->setModified(true);
    }
    UpdateVisibleSignalStates();
    m_Owner->shapeWidget()->invalidatePicture();
}

void Dovlin_NameWidget::itemCollapsed(QTreeWidgetItem *item)
{
    auto *node = dynamic_cast<Dovlin_CompositeHierarchy *>(Dovlin_HierarchyView::GetHierarchy(item));
    if (node && node->m_Expanded && !IsFiltered()) {
        node->m_Expanded = false;
        m_Owner->setModified(true);
    }
    UpdateVisibleSignalStates();
    m_Owner->shapeWidget()->invalidatePicture();
}
