#ifndef DOVLIN_NAMEWIDGET_H
#define DOVLIN_NAMEWIDGET_H

#include "Dovlin_NameFilter.h"
#include "Dovlin_RowsWidget.h"

#include <QHash>
#include <QIcon>

#include <vector>

class DovlinWidget;
class Dovlin_CompositeHierarchy;
class Dovlin_FileManager;
class Dovlin_Hierarchy;
class QAction;
class QActionGroup;
class QMenu;

// The tree of scopes, buses and signals with their values at the current cursor. It is also the
// row layout of the wave canvas: each visible line has its waveform row beside it.
class Dovlin_NameWidget : public Dovlin_RowsWidget
{
    Q_OBJECT

public:
    enum IconKind { BitIcon, IntIcon, RealIcon, VectorIcon };
    // What a drag of the tree's lines carries: the lines themselves are the tree's selection.
    static constexpr const char *m_NodesMimeType = "application/x-dovlin-tree-lines";

    Dovlin_NameWidget(QWidget *parent, DovlinWidget *owner);

    void GenerateNameView(Dovlin_FileManager &fileManager);
    void ReGenerateNameView(Dovlin_FileManager &fileManager);
    // A tree line shows its node as the node says.
    Look LookOf(const QTreeWidgetItem *item) const override;
    // Refreshes the Values column of the lines in view only; the others get their texts when they
    // are painted.
    void UpdateVisibleSignalStates();
    // The Values text of node's line, as last computed or set; empty when there is none.
    QString ValueText(const Dovlin_Hierarchy *node) const;
    void SetValueText(const Dovlin_Hierarchy *node, const QString &text);
    // Computes the Values text of node's line again for the default cursor; without a cursor the
    // line keeps its text.
    void RefreshValueText(Dovlin_Hierarchy *node);
    // Blanks the Values texts of the nodes that show a damaged signal, computed before the damage
    // was found.
    void ForgetDamagedValues();
    bool ConfigPopupMenu(QTreeWidgetItem *item);
    // Puts a command of the document on top of the line's context menu.
    void AddContextAction(QAction *action);
    Dovlin_Hierarchy *contextHierarchy() const { return m_ContextHierarchy; }
    const QIcon &icon(IconKind kind) const { return m_Icons[kind]; }
    static IconKind IconKindOf(const Dovlin_Hierarchy *node);
    // A top-level item built by GenerateNameView: the tree takes them all at once at the end.
    void AddTopLevelItem(QTreeWidgetItem *item) { m_NewTopLevelItems.append(item); }
    // The line of a node; null while it has none (not listed, or below a line never opened).
    QTreeWidgetItem *TreeItem(const Dovlin_Hierarchy *node) const;
    void SetTreeItem(const Dovlin_Hierarchy *node, QTreeWidgetItem *item);

    // Shows only the nodes the pattern picks, with their ancestors expanded, hidden nodes
    // included; an empty pattern brings back the tree the nodes' flags describe. False for a
    // pattern that does not compile or an expression stopped on a path (see FilterError and
    // FilterStopped), which leaves the tree as the last pattern that did made it.
    bool SetFilter(const QString &pattern);
    // A reload put another model in place of the one the filter marked: marks it afresh, before
    // GenerateNameView builds the tree from it.
    void FilterNewModel(const Dovlin_FileManager &fileManager);
    bool IsFiltered() const { return m_Filtered; }
    int FilterMatches() const { return m_FilterMatches; }
    QString FilterError() const { return FilterStopped() ? m_Filter.LimitString() : m_Filter.ErrorString(); }
    bool FilterStopped() const { return !m_Filter.LimitString().isEmpty(); }
    // Whether the tree has a line for node: shown by its flag, or picked by the filter.
    bool IsListed(const Dovlin_Hierarchy *node) const;
    bool HasListedChild(const Dovlin_CompositeHierarchy *node) const;
    bool SelectFirstMatch() override;
    // Whether the filter is on and matched node.
    bool IsMatch(const Dovlin_Hierarchy *node) const;

public Q_SLOTS:
    // On the selected line's subtree, or the whole tree when no line is selected: Collapse All
    // closes every line, Expand All opens every scope but leaves buses as they are, Expand Bits
    // opens the buses. Unfiltered, the nodes keep the new state.
    void collapseAll();
    void expandAll();
    void expandBits();
    // Shows the context node, which the filter found although it is hidden, with the scopes
    // that hold it: it keeps its line once the filter is cleared.
    void showContextNode();
    // Puts the value text of the context node, or of the selected line, at the default cursor
    // on the clipboard, without the blanks the Values column pads it with.
    void copyValue();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &options, const QModelIndex &index) const override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    // Lines are dragged onto the wave list, which reads the tree's selection: they are copied there,
    // never moved out of the tree.
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QList<QTreeWidgetItem *> &items) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

private Q_SLOTS:
    void vScroll(int value);
    void itemExpanded(QTreeWidgetItem *item);
    void itemCollapsed(QTreeWidgetItem *item);
    void toBinary();
    void toHexadecimal();
    void toUnsigned();
    void toSigned();

private:
    void ExpandAsNodes(const QModelIndex &parent);
    // Builds the lines below a line opened for the first time, opened as their nodes say.
    void BuildChildren(QTreeWidgetItem *item);
    // Whether some line of the unfiltered tree starts closed.
    bool HasClosedLines(const Dovlin_FileManager &fileManager) const;
    enum TreeCommand { CollapseAll, ExpandAll, ExpandBits };
    void RunTreeCommand(TreeCommand command);
    void RunTreeCommand(TreeCommand command, const QModelIndex &index, bool &changed);
    void RunTreeCommand(TreeCommand command, Dovlin_Hierarchy *node, bool &changed);
    // Computes node's Values text for the default cursor unless it has one for that time.
    void FillValueText(Dovlin_Hierarchy *node) const;

    QList<QTreeWidgetItem *> m_NewTopLevelItems;
    // The line of each node, by node index.
    std::vector<QTreeWidgetItem *> m_TreeItems;
    // Values texts by node index, all for the cursor time m_ValueTime.
    mutable QHash<int, QString> m_ValueTexts;
    mutable qint64 m_ValueTime = -1;
    Dovlin_NameFilter m_Filter;
    bool m_Filtered = false;
    std::vector<unsigned char> m_FilterMarks;
    int m_FilterMatches = 0;
    void createActions();
    void createContextMenu();
    void loadIcons();
    void setRadix(int radix);

    Dovlin_Hierarchy *m_ContextHierarchy = nullptr;
    QActionGroup *m_RadixGroup = nullptr;
    QAction *m_CollapseAllAct = nullptr;
    QAction *m_ExpandAllAct = nullptr;
    QAction *m_ExpandBitsAct = nullptr;
    QAction *m_ShowAct = nullptr;
    QAction *m_CopyValueAct = nullptr;
    QMenu *m_ContextMenu = nullptr;
    // Over no line: the tree commands alone.
    QMenu *m_TreeMenu = nullptr;
    QIcon m_Icons[4];
};

#endif
