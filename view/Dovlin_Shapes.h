#ifndef DOVLIN_SHAPES_H
#define DOVLIN_SHAPES_H

class QPainter;
class Dovlin_Hierarchy;
class Dovlin_NameWidget;
class Dovlin_ShapeWidget;

// The drawing of waveform rows, chosen by the node's hierarchy code and its signal's type code.
namespace Dovlin_Shapes {
// Draws the row of node's tree line: a scalar's signal, or the changes of a bus or scope. False
// when the line has no room above the time bar, which ends the rows in view.
bool UpdateSignalShape(Dovlin_ShapeWidget *shape, Dovlin_NameWidget *nameWidget, QPainter *painter,
                       Dovlin_Hierarchy *node);
}

#endif
