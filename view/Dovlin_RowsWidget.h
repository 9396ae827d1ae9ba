#ifndef DOVLIN_ROWSWIDGET_H
#define DOVLIN_ROWSWIDGET_H

#include <QTreeWidget>

class DovlinWidget;
class Dovlin_Hierarchy;

// The lines beside the wave canvas, the name tree's or the wave list's: the canvas draws a row
// at each line in view, in the look the line gives it.
class Dovlin_RowsWidget : public QTreeWidget
{
    Q_OBJECT

public:
    struct Look
    {
        // Null for a line without a waveform: a divider, a group, a path the file lacks.
        Dovlin_Hierarchy *m_Node = nullptr;
        int m_Radix = 0;
        bool m_Digital = true;
        // A divider, drawn as a line across the canvas.
        bool m_Divider = false;
    };

    Dovlin_RowsWidget(QWidget *parent, DovlinWidget *owner);

    DovlinWidget *owner() const { return m_Owner; }
    virtual Look LookOf(const QTreeWidgetItem *item) const = 0;
    // Selects the first line the name filter matched and scrolls to it; false when there is none.
    virtual bool SelectFirstMatch() = 0;
    // From the canvas's top to the first line: the canvas draws each row at its line.
    int rowOffset() const;
    QRect visualItemRect(const QTreeWidgetItem *item) const;
    QTreeWidgetItem *itemAtY(int y) const;
    // "name = value" of the line at the canvas height pos.y(), at time: the canvas's tool tip.
    QString GetSignalState(const QPoint &pos, qint64 time) const;
    // node's value at time in radix; empty where it has none, and for a node that shows a damaged signal.
    static QString ShownValue(Dovlin_Hierarchy *node, qint64 time, int radix);

protected:
    DovlinWidget *m_Owner;
};

#endif
