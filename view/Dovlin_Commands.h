#ifndef DOVLIN_COMMANDS_H
#define DOVLIN_COMMANDS_H

#include <QAction>

// The commands on a document's time axis and cursors, which both the main window's menus and
// the canvas's context menu offer: one text, icon, shortcut and tip for each.
namespace Dovlin_Commands {
enum Command { ZoomIn, ZoomOut, ZoomFull, ZoomArea, NextTransition, PrevTransition, ToggleDigitalAnalog,
               AddCursor, RemoveCursor };

// A new action of parent for the command, not yet connected.
QAction *Make(Command command, QObject *parent);

// A new action of receiver for the command, triggering slot.
template <class Receiver>
QAction *Make(Command command, Receiver *receiver, void (Receiver::*slot)())
{
    QAction *action = Make(command, receiver);
    QObject::connect(action, &QAction::triggered, receiver, slot);
    return action;
}
}

#endif
