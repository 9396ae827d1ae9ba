#include "Dovlin_Commands.h"

#include <QAction>
#include <QCoreApplication>
#include <QIcon>

namespace {
struct CommandText
{
    const char *m_Name;
    const char *m_Text;
    const char *m_Icon;
    const char *m_Shortcut;
    const char *m_Tip;
};

// In the order of Dovlin_Commands::Command.
constexpr CommandText Commands[] = {
    {"zoomInAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom &In"), ":/images/zoom_in.png", "Ctrl+I",
     QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom In")},
    {"zoomOutAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom &Out"), ":/images/zoom_out.png", "Ctrl+U",
     QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom Out")},
    {"zoomFullAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom &Full"), ":/images/zoom_full.png", "Ctrl+F",
     QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom Full")},
    {"zoomAreaAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom &Area"), "", "Ctrl+A",
     QT_TRANSLATE_NOOP("Dovlin_Commands", "Zoom Area")},
    {"nextTransAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "&Next Transition"), ":/images/navigate_right.png",
     "Ctrl+Right", QT_TRANSLATE_NOOP("Dovlin_Commands", "Move the cursor to the next change of the selected node")},
    {"prevTransAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "&Previous Transition"), ":/images/navigate_left.png",
     "Ctrl+Left", QT_TRANSLATE_NOOP("Dovlin_Commands", "Move the cursor to the previous change of the selected node")},
    {"toggleDAAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "&Toggle Digital/Analog"), "", "",
     QT_TRANSLATE_NOOP("Dovlin_Commands", "Toggle Digital/Analog")},
    {"addCursorAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "A&dd Cursor"), ":/images/step_add.png", "F8",
     QT_TRANSLATE_NOOP("Dovlin_Commands", "Add Cursor")},
    {"removeCursorAct", QT_TRANSLATE_NOOP("Dovlin_Commands", "&Remove Cursor"), ":/images/step_delete.png", "F7",
     QT_TRANSLATE_NOOP("Dovlin_Commands", "Remove Cursor")},
};
}

QAction *Dovlin_Commands::Make(Command command, QObject *parent)
{
    const CommandText &c = Commands[command];
    const auto tr = [](const char *text) { return QCoreApplication::translate("Dovlin_Commands", text); };
    auto *action = new QAction(tr(c.m_Text), parent);
    action->setObjectName(QLatin1String(c.m_Name));
    if (*c.m_Icon)
        action->setIcon(QIcon(QLatin1String(c.m_Icon)));
    if (*c.m_Shortcut)
        action->setShortcut(QKeySequence(QLatin1String(c.m_Shortcut)));
    action->setStatusTip(tr(c.m_Tip));
    return action;
}
