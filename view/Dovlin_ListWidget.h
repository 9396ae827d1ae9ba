#ifndef DOVLIN_LISTWIDGET_H
#define DOVLIN_LISTWIDGET_H

#include "Dovlin_RowsWidget.h"
#include "Dovlin_WaveList.h"

#include <vector>

class QAction;
class QActionGroup;
class QMenu;

// The wave list: rows the user picked from the tree, in the user's order, with dividers and
// groups, each node row in its own radix and display. The canvas draws its rows when it is shown.
class Dovlin_ListWidget : public Dovlin_RowsWidget
{
    Q_OBJECT

public:
    using Pos = Dovlin_WaveList::Pos;

    Dovlin_ListWidget(QWidget *parent, DovlinWidget *owner);

    const Dovlin_WaveList &waveList() const { return m_List; }
    // Takes the rows of a file or a view file as the list, with nothing to undo.
    void SetRows(Dovlin_ListRows rows);
    // Builds the lines from the rows against the document's model, as after a reload.
    void Rebuild();
    // Puts the nodes' rows after the current row, or at the end, and selects them.
    void AddNodes(const std::vector<Dovlin_Hierarchy *> &nodes);
    Look LookOf(const QTreeWidgetItem *item) const override;
    // The row of a line; a bus's bit line gives its bus row.
    static Pos PosOf(const QTreeWidgetItem *item);
    // A node row whose path the model does not have: kept, and shown greyed.
    static bool IsMissing(const QTreeWidgetItem *item);
    QTreeWidgetItem *ItemOf(Pos pos) const;
    // While the tree's name filter is on, shows only the node rows it matched, in their groups.
    void ApplyFilter();
    bool SelectFirstMatch() override;

public Q_SLOTS:
    void moveUp() { moveBy(-1); }
    void moveDown() { moveBy(1); }
    void removeRows();
    void undo();
    // Asks for a label and puts a divider before the current row.
    void insertDivider();
    // Asks for a name and puts the selected top rows into a group.
    void groupRows();
    // Asks for the text the current row shows instead of its node's name.
    void renameRow();
    void toggleDigital();

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    QStringList mimeTypes() const override;

private:
    void moveBy(int step);
    void insertNodes(const std::vector<Dovlin_Hierarchy *> &nodes, Pos at);
    void setRadix(int radix);
    // The selected rows, each once, bit lines giving their bus row.
    std::vector<Pos> selectedRows() const;
    // After an edit: the lines again, these rows selected, the canvas and the file told.
    void edited(const std::vector<Pos> &select);
    void changed();

    Dovlin_WaveList m_List;
    QMenu *m_ContextMenu = nullptr;
    QActionGroup *m_RadixGroup = nullptr;
    QAction *m_DigitalAct = nullptr;
};

#endif
