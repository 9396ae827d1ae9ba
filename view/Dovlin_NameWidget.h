#ifndef DOVLIN_NAMEWIDGET_H
#define DOVLIN_NAMEWIDGET_H

#include <QIcon>
#include <QTreeWidget>

class DovlinWidget;
class Dovlin_FileManager;
class Dovlin_Hierarchy;
class QAction;
class QActionGroup;
class QMenu;

// The tree of scopes, buses and signals with their values at the current cursor. It is also the
// row layout of the wave canvas: each visible line has its waveform row beside it.
class Dovlin_NameWidget : public QTreeWidget
{
    Q_OBJECT

public:
    enum IconKind { BitIcon, IntIcon, RealIcon, VectorIcon };

    Dovlin_NameWidget(QWidget *parent, DovlinWidget *owner);

    void GenerateNameView(Dovlin_FileManager &fileManager);
    void ReGenerateNameView(Dovlin_FileManager &fileManager);
    int headerHeight() const;
    QRect visualItemRect(const QTreeWidgetItem *item) const;
    QTreeWidgetItem *itemAtY(int y) const;
    QString GetSignalState(const QPoint &pos, qint64 time, bool withName) const;
    // Refreshes the Values column of the lines in view only.
    void UpdateVisibleSignalStates();
    bool ConfigPopupMenu(QTreeWidgetItem *item);
    Dovlin_Hierarchy *contextHierarchy() const { return m_ContextHierarchy; }
    DovlinWidget *owner() const { return m_Owner; }
    const QIcon &icon(IconKind kind) const { return m_Icons[kind]; }
    // A top-level item built by GenerateNameView: the tree takes them all at once at the end.
    void AddTopLevelItem(QTreeWidgetItem *item) { m_NewTopLevelItems.append(item); }

protected:
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

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

    QList<QTreeWidgetItem *> m_NewTopLevelItems;
    void createActions();
    void createContextMenu();
    void loadIcons();
    void setRadix(int radix);

    DovlinWidget *m_Owner;
    Dovlin_Hierarchy *m_ContextHierarchy = nullptr;
    QActionGroup *m_RadixGroup = nullptr;
    QMenu *m_ContextMenu = nullptr;
    QIcon m_Icons[4];
};

#endif
