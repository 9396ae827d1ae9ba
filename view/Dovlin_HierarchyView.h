#ifndef DOVLIN_HIERARCHYVIEW_H
#define DOVLIN_HIERARCHYVIEW_H

class Dovlin_Hierarchy;
class Dovlin_NameWidget;
class QString;
class QTreeWidget;
class QTreeWidgetItem;

// The name-tree operations on the hierarchy nodes, by hierarchy code: the tree's lines, the
// check-list of all nodes and the Values column.
namespace Dovlin_HierarchyView {
// Builds node's line as the last child of parent, or as a top-level line when parent is null;
// a node the tree does not list gets none. Below a closed composite, the lines are built when
// it first opens (GenerateChildren).
void GenerateNameView(Dovlin_NameWidget *nameWidget, Dovlin_Hierarchy *node, QTreeWidgetItem *parent);
// Builds the lines below a line that was built closed; false when it has them already.
bool GenerateChildren(Dovlin_NameWidget *nameWidget, QTreeWidgetItem *item);
// Builds node's line of the check-list, and those of every node below it, hidden ones included.
void GenerateSignalsDlg(QTreeWidget *tree, Dovlin_Hierarchy *node, QTreeWidgetItem *parent);
// Sets the Values text of node's line to the node's value at the default cursor, and leaves it
// as it is without a cursor; false when the node has no line.
bool UpdateSignalState(Dovlin_NameWidget *nameWidget, Dovlin_Hierarchy *node);
// The node of a line of the name tree or of the check-list.
Dovlin_Hierarchy *GetHierarchy(const QTreeWidgetItem *item);
// Whether a signal the node shows (its own, or a leaf's below it) was found damaged, and why.
// Such a node shows neither a row nor a value: they would be drawn from half-read events, and a
// bus's or a scope's from those of every bit or member.
bool IsDamaged(const Dovlin_Hierarchy *node, QString *reason = nullptr);
}

#endif
