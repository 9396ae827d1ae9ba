#ifndef DOVLIN_SHAPES_H
#define DOVLIN_SHAPES_H

class QPainter;
class QRect;
class Dovlin_Hierarchy;
class Dovlin_ShapeWidget;

// The drawing of waveform rows, chosen by the node's hierarchy code and its signal's type code.
namespace Dovlin_Shapes {
enum class Row {
    Drawn,
    // A signal of the row was found damaged while it was drawn: part of the row may be drawn.
    FoundDamage
};
// Draws node's row in rect, its values in radix, light in the light theme's colours: a scalar's
// signal, or the changes of a bus or scope; nothing for a node that shows a damaged signal
// (Dovlin_HierarchyView::IsDamaged).
Row paintRow(Dovlin_ShapeWidget *shape, QPainter *painter, const QRect &rect, Dovlin_Hierarchy *node, int radix,
             bool digital, bool light);
}

#endif
