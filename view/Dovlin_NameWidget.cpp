#include "Dovlin_NameWidget.h"

#include "DovlinWidget.h"
#include "Dovlin_FileManager.h"
#include "Dovlin_Hierarchies.h"
#include "Dovlin_ShapeWidget.h"
#include "Dovlin_Utilities.h"

#include <QAction>
#include <QActionGroup>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QWheelEvent>

Dovlin_NameWidget::Dovlin_NameWidget(QWidget *parent, DovlinWidget *owner)
    : QTreeWidget(parent), m_Owner(owner)
{
    setColumnCount(2);
    setSortingEnabled(false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, QColor(0x00FF00));
    // The styles draw the expand arrows in WindowText, which would be black on black.
    pal.setColor(QPalette::WindowText, QColor(0x00FF00));
    setPalette(pal);
    setHeaderLabels({QStringLiteral("Signals"), QStringLiteral("Values")});
    header()->setSectionsClickable(false);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &Dovlin_NameWidget::vScroll);
    connect(this, &QTreeWidget::itemExpanded, this, &Dovlin_NameWidget::itemExpanded);
    connect(this, &QTreeWidget::itemCollapsed, this, &Dovlin_NameWidget::itemCollapsed);

    createActions();
    createContextMenu();
    loadIcons();
}

void Dovlin_NameWidget::createActions()
{
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

// Items are built apart from the tree and handed to it in one go, then expanded while its layout
// is still pending: added or expanded one by one, each would lay the tree out again, and a file
// of many thousands of top-level scopes would open in minutes.
void Dovlin_NameWidget::GenerateNameView(Dovlin_FileManager &fileManager)
{
    setUpdatesEnabled(false);
    for (int i = 0; i < fileManager.GetnHierarchy(); ++i) {
        Dovlin_Hierarchy *node = fileManager.GetHierarchy(i);
        if (node && node->m_Level == 0)
            node->GenerateNameView(this, nullptr);
    }
    addTopLevelItems(m_NewTopLevelItems);
    m_NewTopLevelItems.clear();
    {
        // The nodes hold their expanded flags already: nothing to record, nothing to redraw yet.
        const QSignalBlocker blocker(this);
        ExpandAsNodes(QModelIndex());
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
        const Dovlin_Hierarchy *node = Dovlin_Hierarchy::GetHierarchy(itemFromIndex(index));
        if (node && node->GetHierarchyCode() == Dovlin_HierarchyCode::Composite
            && static_cast<const Dovlin_CompositeHierarchy *>(node)->m_Expanded)
            setExpanded(index, true);
        ExpandAsNodes(index);
    }
}

void Dovlin_NameWidget::ReGenerateNameView(Dovlin_FileManager &fileManager)
{
    clear();
    for (int i = 0; i < fileManager.GetnHierarchy(); ++i)
        if (Dovlin_Hierarchy *node = fileManager.GetHierarchy(i))
            node->m_TreeItem = nullptr;
    GenerateNameView(fileManager);
}

int Dovlin_NameWidget::headerHeight() const
{
    const QRect geometry = header()->geometry();
    return geometry.bottom() - geometry.top() + 2;
}

QRect Dovlin_NameWidget::visualItemRect(const QTreeWidgetItem *item) const
{
    return QTreeWidget::visualItemRect(item).translated(0, headerHeight());
}

QTreeWidgetItem *Dovlin_NameWidget::itemAtY(int y) const
{
    return itemAt(QPoint(1, y - headerHeight()));
}

QString Dovlin_NameWidget::GetSignalState(const QPoint &pos, qint64 time, bool withName) const
{
    QTreeWidgetItem *item = itemAtY(pos.y());
    if (!item)
        return QString();
    QString text;
    if (withName)
        text = item->text(0) + " = ";
    if (Dovlin_Hierarchy *node = Dovlin_Hierarchy::GetHierarchy(item))
        text += node->GetSignalState(time);
    return text;
}

void Dovlin_NameWidget::UpdateVisibleSignalStates()
{
    const int bottom = viewport()->height();
    for (QTreeWidgetItem *item = itemAt(QPoint(1, 0)); item; item = itemBelow(item)) {
        if (QTreeWidget::visualItemRect(item).top() >= bottom)
            break;
        if (Dovlin_Hierarchy *node = Dovlin_Hierarchy::GetHierarchy(item))
            node->UpdateSignalState(this);
    }
}

void Dovlin_NameWidget::wheelEvent(QWheelEvent *event)
{
    m_Owner->shapeWidget()->update(true);
    event->ignore();
}

void Dovlin_NameWidget::contextMenuEvent(QContextMenuEvent *event)
{
    if (ConfigPopupMenu(itemAt(event->pos())))
        m_ContextMenu->exec(event->globalPos());
}

bool Dovlin_NameWidget::ConfigPopupMenu(QTreeWidgetItem *item)
{
    if (!item)
        return false;
    m_ContextHierarchy = Dovlin_Hierarchy::GetHierarchy(item);
    if (!m_ContextHierarchy)
        return false;
    for (QAction *action : m_RadixGroup->actions())
        action->setChecked(action->data().toInt() == m_ContextHierarchy->m_Radix);
    return true;
}

void Dovlin_NameWidget::setRadix(int radix)
{
    if (!m_ContextHierarchy)
        return;
    if (m_ContextHierarchy->m_Radix != radix) {
        m_ContextHierarchy->m_Radix = radix;
        m_ContextHierarchy->m_StateTime = -1;
        m_ContextHierarchy->UpdateSignalState(this);
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
    m_Owner->shapeWidget()->update(true);
}

void Dovlin_NameWidget::itemExpanded(QTreeWidgetItem *item)
{
    auto *node = dynamic_cast<Dovlin_CompositeHierarchy *>(Dovlin_Hierarchy::GetHierarchy(item));
    if (node && !node->m_Expanded) {
        node->m_Expanded = true;
        m_Owner->setModified(true);
    }
    UpdateVisibleSignalStates();
    m_Owner->shapeWidget()->update(true);
}

void Dovlin_NameWidget::itemCollapsed(QTreeWidgetItem *item)
{
    auto *node = dynamic_cast<Dovlin_CompositeHierarchy *>(Dovlin_Hierarchy::GetHierarchy(item));
    if (node && node->m_Expanded) {
        node->m_Expanded = false;
        m_Owner->setModified(true);
    }
    UpdateVisibleSignalStates();
    m_Owner->shapeWidget()->update(true);
}
