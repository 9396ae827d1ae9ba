#ifndef DOVLIN_SHAPES_H
#define DOVLIN_SHAPES_H

class QPainter;
class Dovlin_Hierarchy;
class Dovlin_NameWidget;
class Dovlin_ShapeWidget;

// The drawing of waveform rows, chosen by the node's hierarchy code and its signal's type code.
namespace Dovlin_Shapes {
enum class Row {
    // The line has no room above the time bar, which ends the rows in view.
    NoRoom,
    Drawn,
    // A signal of the row was found damaged while it was drawn: part of the row may be drawn.
    FoundDamage
};
// Draws the row of node's tree line: a scalar's signal, or the changes of a bus or scope; nothing
// for a node that shows a damaged signal (Dovlin_HierarchyView::IsDamaged).
Row UpdateSignalShape(Dovlin_ShapeWidget *shape, Dovlin_NameWidget *nameWidget, QPainter *painter,
                      Dovlin_Hierarchy *node);
}

#endif
